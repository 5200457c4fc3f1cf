# Uninstalling and the Debian package.

add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/velmor-installed.txt
          -P ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake
  COMMENT "Desinstalando velmor"
  VERBATIM)

# cpack -G DEB: the same tree as "cmake --install", under /usr.
set(CPACK_PACKAGE_NAME velmor)
set(CPACK_PACKAGE_VENDOR Tolvane)
set(CPACK_PACKAGE_CONTACT "Marta Velasco <marta.velasco@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "catalogue of music CDs for one person")
set(CPACK_PACKAGE_DESCRIPTION
  "velmor keeps a catalogue of music CDs: key, name, artist, description and up to
twenty songs each, with a form to add, delete and find CDs and one to list and
search them. Its interface is in Spanish. The companion tool velmor-db creates,
checks, backs up, restores, exports, imports and prints the catalogue file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# What the libraries do not say: Qt's platform plugins, which draw the windows,
# and its Spanish texts; the menu entry's actions open and announce what they
# write with the desktop's own tools.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, xdg-user-dirs, libnotify-bin")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian.cmake)
# For debian.cmake: the licence, and the date of this version as CHANGELOG.md gives it.
set(CPACK_VELMOR_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_VELMOR_RELEASED "Mon, 07 Dec 2026 12:00:00 +0000")
include(CPack)
