# Cross toolchain: 64-bit Windows console programs, compiled by Debian's
# clang and linked by lld against MinGW-w64's headers, import libraries and
# libstdc++ (posix thread model, the one GoogleTest builds with). lld, unlike
# GNU ld 2.40, points the image's load-configuration directory at
# _load_config_used and builds the Control Flow Guard tables.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZUR_MINGW_TARGET x86_64-w64-mingw32)
set(ZUR_MINGW_GCC /usr/lib/gcc/${ZUR_MINGW_TARGET}/12-posix)
set(CMAKE_SYSROOT /usr/${ZUR_MINGW_TARGET})

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${ZUR_MINGW_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${ZUR_MINGW_TARGET})
set(CMAKE_AR /usr/bin/${ZUR_MINGW_TARGET}-ar)
set(CMAKE_RANLIB /usr/bin/${ZUR_MINGW_TARGET}-ranlib)
set(CMAKE_RC_COMPILER /usr/bin/${ZUR_MINGW_TARGET}-windres)

# clang 14 does not find Debian's MinGW GCC installation by itself: its C++
# headers and its libraries (libstdc++, libgcc, libssp) are named here.
set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -isystem ${ZUR_MINGW_GCC}/include/c++ -isystem ${ZUR_MINGW_GCC}/include/c++/${ZUR_MINGW_TARGET}")
# The compile flags reach the link line too, where -nostdinc++ means nothing.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${ZUR_MINGW_GCC} -Wno-unused-command-line-argument")

set(CMAKE_FIND_ROOT_PATH /usr/${ZUR_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
