# A quick local Debian package, made by "cpack -G DEB" in the build directory:
# sesame-pi_<version>_<architecture>.deb, installing under /usr. The package
# for release is built from debian/ with dpkg-buildpackage.

set(CPACK_PACKAGE_NAME "sesame-pi")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "the sesame-pi team")
set(CPACK_PACKAGE_CONTACT "sesame-pi team <team@sesame-pi.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Sesame Pi estimates pi by chance. It scatters sesame seeds at random over a
square board with a circle drawn in it, colours the seeds that fall inside the
circle blue and the others red, and shows four times the share of seeds inside
the circle. Runs of 10 to 50,000 seeds show the estimate settle as the number
of seeds grows; a chime sounds at every run.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
# The package carries the program, not its debugging information.
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
# Libraries as dpkg-shlibdeps finds them. The program does without the rest,
# as in debian/control: the captions fall back to the system's sans-serif
# face, the chimes go silent without a sound server, and Wayland sessions
# want the Qt plugin.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, pulseaudio | pipewire-pulse, qt6-wayland")

include(CPack)
