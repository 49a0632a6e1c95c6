# Cross build for 32-bit Windows with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MORVEL_WINDOWS_ARCH x86)
set(MORVEL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
