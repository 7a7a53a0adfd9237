# Installs the tool with its man page (component "tool") and the library with its header and
# CMake package (component "dev"), so that consumers write find_package(blockbraider) and link
# blockbraider::util, as they do after add_subdirectory.
include(CMakePackageConfigHelpers)
include(GNUInstallDirs)

set(package_dir "${CMAKE_INSTALL_LIBDIR}/cmake/blockbraider")

install(TARGETS blockbraider RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT tool)
install(FILES doc/blockbraider.1 DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT tool)

install(TARGETS util EXPORT blockbraiderTargets
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT dev
        INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
install(DIRECTORY util/include/util DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}" COMPONENT dev)
install(EXPORT blockbraiderTargets NAMESPACE blockbraider:: DESTINATION "${package_dir}"
        COMPONENT dev)

configure_package_config_file(cmake/blockbraiderConfig.cmake.in
                              "${PROJECT_BINARY_DIR}/blockbraiderConfig.cmake"
                              INSTALL_DESTINATION "${package_dir}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/blockbraiderConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/blockbraiderConfig.cmake"
              "${PROJECT_BINARY_DIR}/blockbraiderConfigVersion.cmake"
        DESTINATION "${package_dir}" COMPONENT dev)
