# Cross build for 32-bit Windows with mingw-w64, made by `make test-cross`: a check that the 32-bit
# program gives the same bytes as the others (the release zip is the 64-bit one). The tests run
# under wine's 32-bit loader. The project's CMakeLists.txt adds SSE2 arithmetic for x86-32.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZEPA_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-compilers.cmake)

# Tests run under wine's 32-bit loader (Debian's wine32:i386, outside PATH) in a 32-bit prefix
# of its own in the build directory, created by `make test-cross` before any test runs. A
# prefix made before wine32 was installed cannot load the 32-bit kernel32.dll: hence its own.
find_program(ZEPA_WINE32 NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(ZEPA_WINE32)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEDEBUG=-all WINEARCH=win32 WINEPREFIX=${CMAKE_BINARY_DIR}/wine ${ZEPA_WINE32})
endif()
