# The Debian package (./dev package): `cpack -G DEB` in a Release build. Its dependencies are
# found by dpkg-shlibdeps from the libraries the executable links.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dotwright)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Dotwright developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pictures for monochrome displays as C arrays")
set(CPACK_PACKAGE_DESCRIPTION "\
Dotwright prepares pictures for monochrome graphic displays driven by
microcontrollers (the page-addressed LCD and OLED controllers, 84 x 48 up to
320 x 240). Draw a two-colour picture pixel by pixel on an enlarged board, or
import a bitmap, icon or metafile and turn it into two colours with a
brightness threshold, then get the picture as the text of a C array in the
controller's page layout.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Dotwright developers <developers@dotwright.example.org>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${DOTWRIGHT_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window fonts: Liberation Sans and Mono have the metrics of the fonts the windows are laid
# out for; without them DejaVu (which fontconfig always brings) is used.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation2)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
