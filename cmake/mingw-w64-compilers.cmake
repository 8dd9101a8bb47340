# The mingw-w64 compilers and search paths for ZEPA_MINGW_PREFIX (x86_64-w64-mingw32 or
# i686-w64-mingw32); included by the two Windows toolchain files.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: GoogleTest needs std::mutex, which the win32 model lacks. The
# program itself starts no thread; -static links the threads library into the one .exe.
set(CMAKE_C_COMPILER ${ZEPA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEPA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEPA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZEPA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
