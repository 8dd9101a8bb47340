# Front door: `make run` builds and runs the calculator, `make test` builds and runs every test.
BUILD := build
JOBS := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build run test clean windows test-windows

# The Windows build: cross-compiled with mingw-w64, its tests run under wine. `make test` runs
# them too when both are installed.
WINDOWS_BUILD := build-windows
MINGW := $(shell command -v x86_64-w64-mingw32-g++-posix 2>/dev/null)
WINE := $(firstword $(wildcard /usr/lib/wine/wine64) $(shell command -v wine64 wine 2>/dev/null))
WINE_ENV := WINEPREFIX=$(abspath $(WINDOWS_BUILD))/wine WINEDEBUG=-all

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/zepa4-07

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
ifneq ($(and $(MINGW),$(WINE)),)
	$(MAKE) test-windows
else
	@echo "mingw-w64 or wine missing: Windows tests not run"
endif

windows:
	cmake -S . -B $(WINDOWS_BUILD) --no-warn-unused-cli \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# wine's first start creates its prefix, which takes seconds: done here, before any timed test.
test-windows: windows build
	test -f $(WINDOWS_BUILD)/wine/system.reg || $(WINE_ENV) $(WINE) wineboot -i >/dev/null 2>&1
	ctest --test-dir $(WINDOWS_BUILD) --output-on-failure
	cd $(BUILD) && $(WINE_ENV) ZEPA_WINE=$(WINE) \
	  ZEPA_WINDOWS_EXE=$(abspath $(WINDOWS_BUILD))/zepa4-07.exe \
	  python3 $(abspath tests/e2e/test_wine.py) $(abspath $(BUILD))/zepa4-07

.PHONY: install package package-check diagram

# Installs under $(PREFIX), staged below $(DESTDIR) when it is given.
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

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
	python3 cmake/check_packages.py $(BUILD)

# Re-renders the diagram from its source (rsvg-convert is in the librsvg2-bin package).
diagram:
	rsvg-convert -w 1200 -h 800 docs/Esquema.svg -o docs/Esquema.png

clean:
	rm -rf build build-*
