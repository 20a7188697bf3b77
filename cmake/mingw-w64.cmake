# Cross-compiling toolchain for 64-bit Windows with MinGW-w64 (and, included
# by mingw-w64-i686.cmake, for 32-bit Windows).
#
# The posix threads flavour of the compilers is used: it is the one that
# provides std::thread and friends, so that C++20 library headers behave the
# same as on Linux. Everything is linked statically, so blitview.exe needs no
# MinGW runtime DLLs next to it (neither on Windows nor under Wine).

set(CMAKE_SYSTEM_NAME Windows)
if(NOT BLITVIEW_MINGW_TRIPLE)
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
  set(BLITVIEW_MINGW_TRIPLE x86_64-w64-mingw32)
endif()

find_program(CMAKE_C_COMPILER NAMES ${BLITVIEW_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${BLITVIEW_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${BLITVIEW_MINGW_TRIPLE}-windres)
find_program(CMAKE_AR NAMES ${BLITVIEW_MINGW_TRIPLE}-gcc-ar-posix ${BLITVIEW_MINGW_TRIPLE}-ar)
find_program(CMAKE_RANLIB NAMES ${BLITVIEW_MINGW_TRIPLE}-gcc-ranlib-posix ${BLITVIEW_MINGW_TRIPLE}-ranlib)

# Look for headers and libraries only inside the MinGW sysroot, but keep
# build tools (compilers, Ninja) coming from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${BLITVIEW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static libgcc, libstdc++ and winpthread: a self-contained executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
