# Cross build for 64-bit Windows with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MORVEL_WINDOWS_ARCH x64)
set(MORVEL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
