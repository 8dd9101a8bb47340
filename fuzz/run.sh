#!/usr/bin/env bash
# Runs every fuzz target of the build directory $1 for FUZZ_SECONDS (default 60) each, from its
# own corpus under build-fuzz/corpus seeded by fuzz/seeds/<target>/. A crash, a leak or an input
# that runs longer than 10 s stops the target; the reproducer is left in the build directory
# (crash-*, timeout-*, leak-*) and the script fails. A fuzz/<target>.dict is given to its target.
set -uo pipefail
build=$(cd "${1:-build-fuzz}" && pwd)
seconds=${FUZZ_SECONDS:-60}
here=$(cd "$(dirname "$0")" && pwd)
failed=0
for target in "$build"/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  # Absolute paths: a target may change its working directory.
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "$here/seeds/$name" ] && seeds=("$here/seeds/$name")
  dict=()
  [ -f "$here/$name.dict" ] && dict=(-dict="$here/$name.dict")
  echo "== $name: $seconds s"
  if ! (cd "$build" && "./$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
          -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/" "${dict[@]}" "$corpus" "${seeds[@]}" \
          > "$name.log" 2>&1); then
    failed=1
    echo "FAILED: $name (see $build/$name.log)"
    grep -E 'ERROR|SUMMARY|Test unit written' "$build/$name.log" | head -20
  else
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$build/$name.log" | tail -2
  fi
done
exit $failed
