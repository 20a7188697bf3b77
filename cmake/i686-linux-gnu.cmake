# Cross-compiling toolchain for 32-bit Linux (i386) with Debian's i686 cross
# compiler, which brings its own libc and libstdc++.
#
# The libraries the build links (X11, libpng, GoogleTest) are Debian's i386
# packages: installed through multiarch in /usr/lib/i386-linux-gnu, where
# the compiler finds them itself, or, where multiarch cannot be had,
# unpacked into a folder of their own, named by BLITVIEW_I386_ROOT
# (scripts/setup.sh and scripts/build-i386.sh). The programs then find
# those libraries, and the compiler's libc and libstdc++, through their
# run paths and loader, without anything installed for i386.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

find_program(CMAKE_C_COMPILER NAMES i686-linux-gnu-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES i686-linux-gnu-g++ REQUIRED)

# Passed on to the compiler checks, which read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BLITVIEW_I386_ROOT)

set(BLITVIEW_CROSS_LIBRARIES /usr/i686-linux-gnu/lib)
if(BLITVIEW_I386_ROOT)
  set(CMAKE_FIND_ROOT_PATH ${BLITVIEW_I386_ROOT})
  set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
  # The headers of the packages that are the same on every architecture
  # (x11proto-dev and the like) are the machine's own.
  set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
  set(root_libraries ${BLITVIEW_I386_ROOT}/usr/lib/i386-linux-gnu:${BLITVIEW_I386_ROOT}/lib/i386-linux-gnu)
  # An old-style run path (DT_RPATH), which the libraries' own dependencies
  # are looked up through as well.
  set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,--dynamic-linker=${BLITVIEW_CROSS_LIBRARIES}/ld-linux.so.2 -Wl,--disable-new-dtags -Wl,-rpath,${BLITVIEW_CROSS_LIBRARIES}:${root_libraries} -Wl,-rpath-link,${root_libraries}")
  set(CMAKE_SHARED_LINKER_FLAGS_INIT
    "-Wl,--disable-new-dtags -Wl,-rpath,${BLITVIEW_CROSS_LIBRARIES}:${root_libraries} -Wl,-rpath-link,${root_libraries}")
endif()
