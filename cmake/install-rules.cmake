# SPDX-FileCopyrightText: 2026 The blockbraider authors
# SPDX-License-Identifier: MIT

# Installs the tool with its man page (component "tool") and the library with its header, CMake
# package and pkg-config file (component "dev"), so that consumers write find_package(blockbraider)
# and link blockbraider::util, as they do after add_subdirectory, or ask pkg-config for
# blockbraider-util.
include(CMakePackageConfigHelpers)
include(GNUInstallDirs)

set(package_dir "${CMAKE_INSTALL_LIBDIR}/cmake/blockbraider")

install(TARGETS blockbraider RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT tool)
install(FILES doc/blockbraider.1 DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT tool)

install(TARGETS blockbraider_util EXPORT blockbraiderTargets
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT dev)
install(DIRECTORY util/include/util DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/blockbraider"
        COMPONENT dev)
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

# The pkg-config file finds the prefix from where it lies, so that it stays true wherever
# cmake --install --prefix puts it.
set(pkgconfig_dir "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
file(RELATIVE_PATH pc_prefix "/${pkgconfig_dir}" "/")
string(REGEX REPLACE "/$" "" pc_prefix "\${pcfiledir}/${pc_prefix}")
configure_file(cmake/blockbraider-util.pc.in "${PROJECT_BINARY_DIR}/blockbraider-util.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/blockbraider-util.pc" DESTINATION "${pkgconfig_dir}"
        COMPONENT dev)
