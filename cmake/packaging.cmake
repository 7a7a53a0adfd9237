# One Debian package holds the tool, its man page and the library for C++ users: the library is
# a small static archive and a header, not worth a package of its own.
set(CPACK_PACKAGE_NAME blockbraider)
set(CPACK_PACKAGE_VENDOR "blockbraider")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "blockbraider maintainers <maintainers@example.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# The executable is linked statically: it needs no shared library at all.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Rewrites the IMA ADPCM blocks of a RIFF/WAVE file with codec id 0x69 in place, from the\n\
per-channel layout into the interleaved one. Also holds the static utility library\n\
libblockbraider_util.a with its header <util/util.hpp> and CMake package.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY blockbraider)
set(CPACK_STRIP_FILES ON)
include(CPack)
