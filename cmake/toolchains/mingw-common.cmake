# What both Windows cross builds share, with Debian's mingw-w64; the
# including file sets MORVEL_MINGW_TRIPLE. The POSIX-thread compilers by
# their full names: the win32-thread ones (which the plain names may point
# at) have no std::mutex in GCC 12.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MORVEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MORVEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MORVEL_MINGW_TRIPLE}-windres)
find_program(MORVEL_WIDL NAMES ${MORVEL_MINGW_TRIPLE}-widl widl)

set(CMAKE_FIND_ROOT_PATH /usr/${MORVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime goes into each module, so no MinGW DLL must sit beside ours.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
