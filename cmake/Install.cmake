# Install rules: the freedesktop.org layout under the prefix.
#   bin/kelvora3d                                   the program
#   share/kelvora3d/data/*.ogg                      sounds and music, found as ../share/kelvora3d/data
#   share/applications/<id>.desktop                 desktop entry
#   share/icons/hicolor/NxN/apps/<id>.png           icons, 16 to 256 px
#   share/metainfo/<id>.metainfo.xml                AppStream metadata
#   share/man/man6/kelvora3d.6                      manual page
#   share/doc/kelvora3d/copyright                   the game's and the font's licences
# `cmake --install <build> --prefix P` honours DESTDIR. The .deb moves the
# program to games/ and compresses the manual page (cmake/DebianLayout.cmake).
include(GNUInstallDirs)

set(KV_APP_ID org.kelvora.kelvora3d)
set(KV_RELEASE_DATE 2026-12-09 CACHE STRING "Date of this release, for the metainfo and the manual")
set(KV_DIST ${PROJECT_SOURCE_DIR}/dist)

configure_file(${KV_DIST}/${KV_APP_ID}.metainfo.xml.in ${PROJECT_BINARY_DIR}/dist/${KV_APP_ID}.metainfo.xml @ONLY)
configure_file(${KV_DIST}/kelvora3d.6.in ${PROJECT_BINARY_DIR}/dist/kelvora3d.6 @ONLY)

install(TARGETS kelvora3d RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
file(GLOB kv_install_sounds CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/*.ogg)
install(FILES ${kv_install_sounds} DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvora3d/data)
install(FILES ${KV_DIST}/${KV_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/kelvora3d-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${KV_APP_ID}.png)
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/dist/${KV_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_BINARY_DIR}/dist/kelvora3d.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${KV_DIST}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvora3d)

# The window's icon, the same art as the desktop's, carried in the program.
kv_embed(kv_program_icon RegisterProgramIcon "icons\\kelvora3d.png" ${PROJECT_SOURCE_DIR}/assets/icons/kelvora3d-64.png)
target_link_libraries(kelvora3d PRIVATE kv_program_icon)
