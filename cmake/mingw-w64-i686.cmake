# Cross-compiling toolchain for 32-bit Windows with MinGW-w64: the same as
# mingw-w64.cmake, for i686.
set(BLITVIEW_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
