# Cross build for 64-bit Windows with mingw-w64: `make windows`. The tests run under wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZEPA_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-compilers.cmake)

# Tests run under wine, with its own prefix in the build directory and its messages off. The
# prefix is created by `make test-windows` before any test runs (its first start is slow).
# Debian's wine64 loader sits outside PATH; the `wine` wrapper warns about a missing wine32.
find_program(ZEPA_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ZEPA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEDEBUG=-all WINEPREFIX=${CMAKE_BINARY_DIR}/wine ${ZEPA_WINE})
endif()
