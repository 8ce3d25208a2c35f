# `make package` (cpack -G DEB): a Debian package of the install tree, with
# its library dependencies found by dpkg-shlibdeps, laid out as Debian's
# policy wants it (cmake/DebianLayout.cmake).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvora3d)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Kelvora team")
set(CPACK_PACKAGE_CONTACT "The Kelvora team <team@kelvora.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "arcade shooter over the moon, in anaglyph 3D if you like")
set(CPACK_PACKAGE_DESCRIPTION
  "Your ship hovers above a scrolling moon landscape and fires from two cannons at
250 aliens that come in from the distance, faster and faster. Every alien that
gets away lowers the Earth's chance of survival. The scene can be drawn as a
two-colour anaglyph picture for coloured 3D glasses. Keyboard, mouse and
gamepad; window or full screen; recorded runs that play back exactly.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kelvora.org/")
# The program is an ordinary dynamically linked executable: the GL driver
# comes from whatever libgl1 provides on the player's machine.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebianLayout.cmake)
set(CPACK_KV_CHANGELOG ${PROJECT_SOURCE_DIR}/dist/changelog)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
