#!/usr/bin/env bash
# The Debian packages that the project's targets need, in one list.
#
# Usage: scripts/packages.sh GROUP...
# Installs the packages of the groups that are missing, with apt-get, when run as root; run as
# anyone else, names the one apt-get line to run and fails. On a system without dpkg it only
# says what the groups need.
#
# Groups:
#   build       make run: a C++20 compiler, CMake and make
#   test        make test: GoogleTest, Python 3 and tmux (the optional tools below are reported
#               as skipped where they are missing)
#   coverage    make coverage: the test group and gcovr
#   lint        make lint: clang-format, clang-tidy and cppcheck
#   bench       make bench: valgrind, strace and GNU time
#   fuzz        make fuzz: clang
#   exhaustive  make exhaustive: MPFR
#   optional    what the rest of make test uses when it is there: mingw-w64 and wine for the
#               Windows build, emscripten for the help page, Chromium and Firefox for its tests,
#               lintian for the packages, qemu-user and the cross compilers for make test-cross
#   ci          everything .ci/run runs
set -euo pipefail

declare -A group=(
  [build]="cmake make g++"
  [test]="libgtest-dev python3 tmux"
  [coverage]="gcovr"
  [lint]="clang-format clang-tidy cppcheck"
  [bench]="valgrind strace time"
  [fuzz]="clang"
  [exhaustive]="libmpfr-dev"
  [optional]="g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 wine32:i386 emscripten
              chromium chromium-driver python3-selenium firefox-esr lintian qemu-user
              g++-i686-linux-gnu g++-arm-linux-gnueabihf g++-aarch64-linux-gnu
              g++-s390x-linux-gnu"
)
# Every group but build and optional stands on what the build needs; the test groups on the
# test group too.
declare -A needs=([test]="build" [coverage]="build test" [lint]="build" [bench]="build"
                  [fuzz]="build" [exhaustive]="build test" [optional]="build test"
                  [ci]="build test lint fuzz exhaustive optional")

[ $# -gt 0 ] || { sed -n '2,21p' "$0"; exit 2; }
wanted=()
for name in "$@"; do
  [ -n "${group[$name]+x}${needs[$name]+x}" ] || { echo "packages.sh: no group '$name'" >&2; exit 2; }
  for part in ${needs[$name]:-} "$name"; do
    [ -n "${group[$part]+x}" ] && wanted+=(${group[$part]})
  done
done

if ! command -v dpkg >/dev/null; then
  echo "Not a Debian system: make sure these (Debian's names) are installed: ${wanted[*]}"
  exit 0
fi
missing=()
for p in $(printf '%s\n' "${wanted[@]}" | sort -u); do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  case " ${missing[*]} " in
    *:i386*) echo "Install them with: sudo dpkg --add-architecture i386 && sudo apt-get update &&" \
                  "sudo apt-get install -y ${missing[*]}" >&2 ;;
    *) echo "Install them with: sudo apt-get install -y ${missing[*]}" >&2 ;;
  esac
  exit 1
fi
case " ${missing[*]} " in
  *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
esac
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
