# Installation and the Debian package. The programs find their shared files in
# share/varnox beside their bin folder, so both keep that relation under any prefix.

# The same layout in the build tree: build/bin/varnox reads build/share/varnox.
add_custom_target(vx_share ALL
  COMMAND ${CMAKE_COMMAND} -DSRC=${PROJECT_SOURCE_DIR} -DDST=${CMAKE_BINARY_DIR}/share/varnox
          -P ${PROJECT_SOURCE_DIR}/cmake/share.cmake
  COMMENT "Files of share/varnox"
  VERBATIM)
add_dependencies(varnox vx_share)
add_dependencies(vxrun vx_share)

install(TARGETS varnox vxrun RUNTIME DESTINATION bin)
install(DIRECTORY lang/ DESTINATION share/varnox FILES_MATCHING PATTERN "*.MSJ")
install(DIRECTORY help/ DESTINATION share/varnox/help)
# Images and other resources (the default PDF header, ...), as they are.
install(DIRECTORY res/ DESTINATION share/varnox OPTIONAL)
install(FILES dist/varnox.png DESTINATION share/varnox)
install(FILES dist/varnox.desktop DESTINATION share/applications)
install(FILES dist/varnox.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES dist/varnox.png DESTINATION share/icons/hicolor/256x256/apps)
install(FILES dist/varnox.1 dist/vxrun.1 DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnox)
set(CPACK_PACKAGE_VENDOR "Varnox")
set(CPACK_PACKAGE_CONTACT "Varnox <varnox@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "line charts over the tables of a PostgreSQL database")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Varnox logs in to a PostgreSQL server and shows chart reports over its tables: each\n"
  "report asks for its limits in a form, reads the records in key order and draws a line\n"
  "chart that can be printed or saved as an image. vxrun runs the business-application\n"
  "run-time inside it (expressions, procedures, forms, table copies) from a shell.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "postgresql")
include(CPack)
