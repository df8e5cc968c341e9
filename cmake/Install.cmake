# What `cmake --install` puts under the prefix: the command, the module (outside every plug-in
# search folder), the libraries with their headers, a CMake package and pkg-config files.
include(CMakePackageConfigHelpers)

set(CORVELLE_MODULE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/corvelle)
set(CORVELLE_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Corvelle)

install(TARGETS corvelle RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS corvelle_module corvelle_picture_library LIBRARY DESTINATION ${CORVELLE_MODULE_INSTALL_DIR})
install(TARGETS corvelle_shared corvelle_io_shared EXPORT CorvelleTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/corvelle DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT CorvelleTargets NAMESPACE Corvelle:: DESTINATION ${CORVELLE_CMAKE_INSTALL_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/CorvelleConfig.cmake.in
    ${CMAKE_BINARY_DIR}/CorvelleConfig.cmake
    INSTALL_DESTINATION ${CORVELLE_CMAKE_INSTALL_DIR}
    PATH_VARS CORVELLE_MODULE_INSTALL_DIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/CorvelleConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/CorvelleConfig.cmake ${CMAKE_BINARY_DIR}/CorvelleConfigVersion.cmake
    DESTINATION ${CORVELLE_CMAKE_INSTALL_DIR})

# The .pc files name the prefix relative to their own folder, so an installed tree still works
# after `--install --prefix` elsewhere or a move. The library folder may be lib or lib/<multiarch>.
file(RELATIVE_PATH CORVELLE_PC_PREFIX_FROM_PCDIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" CORVELLE_PC_PREFIX_FROM_PCDIR "${CORVELLE_PC_PREFIX_FROM_PCDIR}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/corvelle.pc.in ${CMAKE_BINARY_DIR}/corvelle.pc @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/corvelle-io.pc.in ${CMAKE_BINARY_DIR}/corvelle-io.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/corvelle.pc ${CMAKE_BINARY_DIR}/corvelle-io.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
