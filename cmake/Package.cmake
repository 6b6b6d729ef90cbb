# The Debian package: `cpack -G DEB` in the build folder makes
# kavrel_<version>_<arch>.deb of everything `cmake --install` puts in place.
set(CPACK_PACKAGE_NAME kavrel)
set(CPACK_PACKAGE_VENDOR "The Kavrel developers")
set(CPACK_PACKAGE_CONTACT "Kavrel developers <developers@kavrel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "explorer of the Julia and Mandelbrot sets")
set(CPACK_PACKAGE_DESCRIPTION
    "Kavrel shows a Julia set and the Mandelbrot set of the same function side
by side. A click in the Mandelbrot set picks the constant of the Julia set;
pressing and holding zooms either frame. The functions are z^2, z^3, z^5 and
z^10 plus c, or z to a typed complex power. Copying a frame puts its picture
and the command that draws it again on the clipboard.
.
The kavrel-render command draws the same frames without a window, at any
size.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://kavrel.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Directories that other packages own keep their usual modes.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
