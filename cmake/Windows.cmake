# The Windows build (mingw-w64, a toolchain file of cmake/toolchains): the
# platform layer over the Windows services and the libraries built on it
# from the same sources as on Linux. Everything links statically to the
# platform layer, so each DLL needs only the system's own libraries.
if(NOT MORVEL_WINDOWS_ARCH)
  set(MORVEL_WINDOWS_ARCH ${CMAKE_SYSTEM_PROCESSOR})
endif()
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
if(MORVEL_WINDOWS_ARCH STREQUAL "x86")
  # Single-precision arithmetic in SSE registers, as on x86-64 and Linux:
  # the x87 unit's wider intermediates move a result that lies a hair below
  # .5 onto .5, and rounding half to even then gives another dot than every
  # other build. Every 32-bit Windows since 8 requires SSE2.
  add_compile_options(-msse2 -mfpmath=sse)
endif()

add_subdirectory(platform)
add_subdirectory(orxlib)

# The control from the sources of libmorvel2.so, as a static library: the
# COM server (hosts/com) makes it the in-process ActiveX control
# Morvel2.ocx, which exports only the four COM entry points; programs that
# use the control's C++ API (morvel.exe, tests) carry their own copy.
add_library(morvel2 STATIC)
target_include_directories(morvel2 PUBLIC ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR})
target_link_libraries(morvel2 PUBLIC morvel_platform)
add_subdirectory(control)
add_subdirectory(control/status)
add_subdirectory(codec)
target_link_libraries(morvel2 PRIVATE morvel_epc)
add_subdirectory(lang)
add_subdirectory(drivers)
add_subdirectory(hosts/com)
add_subdirectory(hosts/serve)
add_subdirectory(hosts/cli)
if(MORVEL_TESTS)
  # Programs that run under Wine; scripts/test-windows.sh drives them.
  add_subdirectory(tests/windows)
endif()
