# Front door: `make run` builds and runs the calculator, `make test` builds and runs every test.
BUILD := build
# CMake's build runs make inside make: without this every level announces its directories.
MAKEFLAGS += --no-print-directory
JOBS := $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60

.PHONY: all configure configure-tests build build-tests run test clean windows test-windows test-asan valgrind lint bench fuzz coverage \
  test-long exhaustive test-cross

# The Windows build: cross-compiled with mingw-w64, its tests run under wine. `make test` runs
# them too when both are installed.
WINDOWS_BUILD := build-windows
MINGW := $(shell command -v x86_64-w64-mingw32-g++-posix 2>/dev/null)
WINE := $(firstword $(wildcard /usr/lib/wine/wine64) $(shell command -v wine64 wine 2>/dev/null))
WINE_ENV := WINEPREFIX=$(abspath $(WINDOWS_BUILD))/wine WINEDEBUG=-all

all: build

# What a target needs from Debian: installed as root, else named (scripts/packages.sh).
PACKAGES := scripts/packages.sh

# The program and its help page need only a C++20 compiler, CMake and make. The tests (and
# with them GoogleTest and Python) are configured once a test target has asked for them, and
# stay configured in $(BUILD).
configure:
	@$(PACKAGES) build
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null

configure-tests:
	@$(PACKAGES) test
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DZEPA_TESTS=ON >/dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

build-tests: configure-tests
	cmake --build $(BUILD) -j $(JOBS)

# Only the program is built. It runs behind a small shell that lets make take Ctrl+C before
# the program's end is reported to it (see scripts/run_interactive.sh): make then stops with 130.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target zepa4-07
	scripts/run_interactive.sh ./$(BUILD)/zepa4-07

# Every test, native and (where mingw-w64 and wine are installed) Windows, each run to its end;
# then one summary of them all, with the reason of each skip, and the status.
test: build-tests
	@rm -f $(BUILD)/results.xml $(WINDOWS_BUILD)/results.xml
	-ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --output-junit results.xml
ifneq ($(and $(MINGW),$(WINE)),)
	-$(MAKE) test-windows
	@python3 tests/summary.py $(BUILD)/results.xml $(WINDOWS_BUILD)/results.xml
else
	@python3 tests/summary.py $(BUILD)/results.xml \
	  --not-run "Windows tests: mingw-w64 or wine is missing (scripts/packages.sh optional)"
endif

# Many seeded random editing sessions in tmux (keys, pastes, resizes, Ctrl+Z and fg), each
# line checked on the screen; `make test` runs a few. SCREEN_SEED picks the first seed.
SCREEN_SESSIONS ?= 40
SCREEN_SEED ?= 1
test-long: build-tests
	cd $(BUILD) && ZEPA_SCREEN_SESSIONS=$(SCREEN_SESSIONS) ZEPA_SCREEN_SEED=$(SCREEN_SEED) \
	  python3 $(abspath tests/e2e/test_terminal.py) $(abspath $(BUILD))/zepa4-07 test_random_sessions

# The Windows program's end-to-end tests compare it with the native one, built first.
windows: build
	cmake -S . -B $(WINDOWS_BUILD) --no-warn-unused-cli -DZEPA_TESTS=ON \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DZEPA_NATIVE_PROGRAM=$(abspath $(BUILD))/zepa4-07 >/dev/null
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# wine's first start creates its prefix, which takes seconds: done here, before any timed test.
test-windows: windows build-tests
	test -f $(WINDOWS_BUILD)/wine/system.reg || $(WINE_ENV) $(WINE) wineboot -i >/dev/null 2>&1
	ctest --test-dir $(WINDOWS_BUILD) --output-on-failure --output-junit results.xml

# Cross builds for 32-bit x86, 32-bit ARM (armhf), 64-bit ARM and s390x (big-endian) under
# qemu-user, and for 32-bit Windows under wine's 32-bit loader: each one's unit tests, and a
# batch of 20,000 random cases whose output and memo must be the native program's bytes. A
# target whose compiler or emulator is missing is skipped and said so. CROSS_TARGETS may also
# name ppc64el and riscv64.
CROSS_TARGETS ?= i686 armhf arm64 s390x windows32
test-cross: build-tests
	python3 tests/cross/check_cross.py $(abspath $(BUILD))/zepa4-07 $(CROSS_TARGETS)

# Every test, end-to-end runs included, against a build with AddressSanitizer and
# UndefinedBehaviorSanitizer; any report fails the test that caused it.
test-asan:
	@$(PACKAGES) test
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZEPA_SANITIZE=ON -DZEPA_TESTS=ON >/dev/null
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# The redirected end-to-end runs under valgrind (memcheck): any error or definite leak fails.
VALGRIND_E2E := tests/e2e/test_batch.py tests/e2e/test_record.py
valgrind:
	@$(PACKAGES) test bench
	cmake -S . -B build-valgrind -DCMAKE_BUILD_TYPE=Release -DZEPA_STATIC=OFF -DZEPA_TESTS=OFF >/dev/null
	cmake --build build-valgrind -j $(JOBS)
	printf '#!/bin/sh\nexec valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite %s "$$@"\n' \
	  $(abspath build-valgrind)/zepa4-07 > build-valgrind/memcheck
	chmod +x build-valgrind/memcheck
	cd build-valgrind && for t in $(VALGRIND_E2E); do python3 $(abspath .)/$$t $(abspath build-valgrind)/memcheck || exit 1; done

# The layer check (includes in src/ go down only), clang-tidy (.clang-tidy) and cppcheck over
# the program's sources; any finding fails.
# cppcheck's useStlAlgorithm is off: it asks for std::replace_if/std::fill over three-line loops
# of bytes and records, which read no better; its other style checks stay on.
# Every C and C++ file of the project, as committed: the format is part of the code.
FORMAT_SOURCES = $(shell git ls-files '*.c' '*.cpp' '*.h')
LINT_SOURCES = $(filter-out %_win32.cpp,$(wildcard src/*.cpp src/*/*.cpp))
lint: build-tests
	@$(PACKAGES) lint
	python3 scripts/check_layers.py src
	clang-format --dry-run -Werror $(FORMAT_SOURCES)
	run-clang-tidy -quiet -p $(BUILD) -j $(JOBS) $(abspath $(LINT_SOURCES)) > $(BUILD)/clang-tidy.log 2>&1 \
	  || { grep -E 'warning:|error:' -A3 $(BUILD)/clang-tidy.log; exit 1; }
	@if grep -qE '(warning|error):' $(BUILD)/clang-tidy.log; then \
	  grep -E '(warning|error):' -A3 $(BUILD)/clang-tidy.log; exit 1; fi
	cppcheck --quiet --error-exitcode=1 --std=c++20 --language=c++ --inline-suppr \
	  --enable=warning,style,performance,portability --suppress=missingIncludeSystem \
	  --suppress=useStlAlgorithm -I src src

# Every one of the 2^32 singles through the arctangent, against the correctly rounded value
# (MPFR), and through the number text, against the C library's "%.7g": the count of differences
# and the time taken (minutes; not part of `make test`). Needs libmpfr-dev.
exhaustive: configure-tests
	@$(PACKAGES) exhaustive
	cmake --build $(BUILD) -j $(JOBS) --target zepa_exhaustive
	./$(BUILD)/tests/zepa_exhaustive

# Throughput, start-up, interactive cost and idle CPU against bench/floor.cpp: one table.
bench: build
	@$(PACKAGES) bench
	$(CXX) -std=c++20 -O2 -Wall -Wextra -o $(BUILD)/bench-floor bench/floor.cpp
	$(CXX) -std=c++20 -O2 -Wall -Wextra -Isrc -Itests -o $(BUILD)/bench-interactive \
	  bench/interactive.cpp tests/support/memory_screen.cpp tests/support/scripted_keys.cpp \
	  tests/support/memory_process.cpp $(BUILD)/libzepa_core.a
	python3 bench/run.py $(BUILD)/zepa4-07 $(BUILD)/bench-floor --editor $(BUILD)/bench-interactive

# libFuzzer targets (clang++ only), each run for FUZZ_SECONDS.
fuzz:
	@$(PACKAGES) fuzz
	cmake -S fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build build-fuzz -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run.sh build-fuzz

# Line and branch coverage of src/ from the whole suite, end-to-end runs included. The reports
# are written whatever the tests did; a failed test then fails the target.
coverage:
	@$(PACKAGES) coverage
	cmake -S . -B build-coverage -DCMAKE_BUILD_TYPE=Debug -DZEPA_TESTS=ON \
	  -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
	find build-coverage -name '*.gcda' -delete
	cmake --build build-coverage -j $(JOBS)
	ctest --test-dir build-coverage -j $(JOBS) --output-on-failure; echo $$? > build-coverage/ctest-status
	gcovr -r . --object-directory build-coverage --exclude-directories 'build-coverage/CMakeFiles/[0-9.]+' --filter 'src/' --exclude '.*_win32\.cpp' \
	  --branches --exclude-unreachable-branches --exclude-throw-branches --print-summary \
	  --txt build-coverage/coverage-branches.txt
	gcovr -r . --object-directory build-coverage --exclude-directories 'build-coverage/CMakeFiles/[0-9.]+' --filter 'src/' --exclude '.*_win32\.cpp' \
	  --exclude-unreachable-branches --exclude-throw-branches \
	  --html-details build-coverage/coverage.html --txt build-coverage/coverage.txt --print-summary
	@echo "Per-file report: build-coverage/coverage.txt, build-coverage/coverage.html"
	@status=$$(cat build-coverage/ctest-status); if [ "$$status" != 0 ]; then \
	  echo "coverage: a test failed (ctest status $$status)"; exit 1; fi

.PHONY: install uninstall package package-check diagram help-page

# Installs under $(PREFIX), staged below $(DESTDIR) when it is given.
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Removes what `make install` put in place (give it the same DESTDIR), from the list CMake
# wrote at the install.
uninstall:
	@test -f $(BUILD)/install_manifest.txt || { echo "uninstall: $(BUILD) has installed nothing"; exit 1; }
	sed 's|^|$(DESTDIR)|' $(BUILD)/install_manifest.txt | xargs -d '\n' rm -f
	rm $(BUILD)/install_manifest.txt

# The Debian package in $(BUILD)/; the Windows zip too when `make windows` has built the program.
WINDOWS_EXE := build-windows/zepa4-07.exe
package: build
	cmake --build $(BUILD) --target package
	@if [ -f $(WINDOWS_EXE) ]; then \
	  cmake --build $(BUILD) --target package_windows; \
	else \
	  echo "No $(WINDOWS_EXE): run 'make windows' first for the Windows zip."; \
	fi

# Unpacks the Debian package and runs its program on one case; checks the Windows zip if made.
package-check: package
	python3 scripts/check_packages.py $(BUILD)

# Re-renders the diagram from its source (rsvg-convert is in the librsvg2-bin package).
diagram:
	rsvg-convert -w 1200 -h 800 docs/Esquema.svg -o docs/generated/Esquema.png

# Builds the help page with Emscripten and refreshes the committed copy that machines without it
# install (a test fails while that copy is not built from the current sources).
help-page: build
	@command -v emcc >/dev/null || { echo "emcc is missing (Debian package emscripten)"; exit 1; }
	cp $(BUILD)/ajuda-zepa4-07.html docs/generated/ajuda-zepa4-07.html

clean:
	rm -rf build build-*

# Faults put in on purpose (tests/mutants/mutants.toml), one at a time, in a scratch copy of the
# tree: each must make one of its tests fail. MUTANTS picks those whose name holds a word.
.PHONY: mutants
mutants: build-tests
	python3 tests/mutants/run.py $(MUTANTS)
