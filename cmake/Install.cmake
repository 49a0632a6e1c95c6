# cmake --install: the public headers, libmorvel2.so with the platform
# library it needs, the morvel command, a CMake package (find_package(Morvel),
# targets Morvel::morvel2 and Morvel::morvel_platform) and morvel.pc.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS morvel2 morvel_platform EXPORT MorvelTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS morvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The libraries the Orx and Dothan drivers load beside libmorvel2.so, and
# their C headers for programs of their own.
install(TARGETS orxlib LabelPrintAPI LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The drawing process of PDF pages, found beside libmorvel2.so.
install(TARGETS morvel_pdf_pages RUNTIME DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/orxlib DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_SOURCE_DIR}/lpa/LabelPrintAPI.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/lpa)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/morvel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_BINARY_DIR}/include/morvel/version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/morvel)
install(FILES ${CMAKE_SOURCE_DIR}/docs/members.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The installed command and libraries find each other beside themselves.
set_target_properties(morvel PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
set_target_properties(morvel2 orxlib LabelPrintAPI PROPERTIES INSTALL_RPATH "$ORIGIN")

set(MorvelConfigDir ${CMAKE_INSTALL_LIBDIR}/cmake/Morvel)
install(EXPORT MorvelTargets NAMESPACE Morvel:: DESTINATION ${MorvelConfigDir})
file(WRITE ${CMAKE_BINARY_DIR}/MorvelConfig.cmake.in
     "@PACKAGE_INIT@\ninclude(\"\${CMAKE_CURRENT_LIST_DIR}/MorvelTargets.cmake\")\n")
configure_package_config_file(${CMAKE_BINARY_DIR}/MorvelConfig.cmake.in ${CMAKE_BINARY_DIR}/MorvelConfig.cmake
                              INSTALL_DESTINATION ${MorvelConfigDir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/MorvelConfigVersion.cmake VERSION ${PROJECT_VERSION}
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/MorvelConfig.cmake ${CMAKE_BINARY_DIR}/MorvelConfigVersion.cmake
        DESTINATION ${MorvelConfigDir})

# Relative to the .pc file, so the tree may be installed under any prefix.
file(RELATIVE_PATH MorvelPcToPrefix /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
file(WRITE ${CMAKE_BINARY_DIR}/morvel.pc.in [=[
prefix=${pcfiledir}/@MorvelPcToPrefix@
libdir=${prefix}/@CMAKE_INSTALL_LIBDIR@
includedir=${prefix}/@CMAKE_INSTALL_INCLUDEDIR@

Name: morvel
Description: Label printing on thermal label printers (PrintBarCode, PrintInfo, clsBase64)
Version: @PROJECT_VERSION@
Cflags: -I${includedir} -std=c++20
Libs: -L${libdir} -Wl,-rpath,${libdir} -lmorvel2 -lmorvel_platform
]=])
configure_file(${CMAKE_BINARY_DIR}/morvel.pc.in ${CMAKE_BINARY_DIR}/morvel.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/morvel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The Python package for the system's Python, finding the libraries in
# CMAKE_INSTALL_LIBDIR through a path relative to itself.
set(MorvelPythonDir lib/python3/dist-packages)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/python/morvel DESTINATION ${MorvelPythonDir}
        PATTERN __pycache__ EXCLUDE PATTERN lib EXCLUDE)
file(RELATIVE_PATH MorvelPythonToLibs /root/${MorvelPythonDir}/morvel /root/${CMAKE_INSTALL_LIBDIR})
file(WRITE ${CMAKE_BINARY_DIR}/python/_location.py
     "# Written by cmake --install: where the libraries are, from this folder.\nLIBRARY_DIR = \"${MorvelPythonToLibs}\"\n")
install(FILES ${CMAKE_BINARY_DIR}/python/_location.py DESTINATION ${MorvelPythonDir}/morvel)
