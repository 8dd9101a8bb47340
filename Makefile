# Front door: `make run` builds and runs the calculator, `make test` builds and runs every test.
BUILD := build
JOBS := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build run test clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/zepa4-07

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

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
