# What `make package` installs into kelvane_VERSION_ARCH.deb, and how CPack
# makes it: /usr/bin/kelvane finds its module in /usr/lib/kelvane through
# its RUNPATH; the demo site, the units, the conffile, the maintainer
# scripts, the nginx site file; dependencies found by dpkg-shlibdeps.
set(KELVANE_DEPLOY ${PROJECT_SOURCE_DIR}/deploy)

set_target_properties(kelvane PROPERTIES INSTALL_RPATH "\$ORIGIN/../lib/kelvane")
install(TARGETS kelvane RUNTIME DESTINATION bin)
install(TARGETS Kelvane LIBRARY DESTINATION lib/kelvane)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/site/ DESTINATION share/kelvane/site)
install(FILES ${KELVANE_DEPLOY}/kelvane.service ${KELVANE_DEPLOY}/kelvane@.service
        DESTINATION /lib/systemd/system)
install(FILES ${KELVANE_DEPLOY}/kelvane.conf DESTINATION /etc/kelvane)
install(FILES ${KELVANE_DEPLOY}/nginx/kelvane.conf DESTINATION share/kelvane/nginx)

# Debian wants the changelog compressed, without a time stamp.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND gzip -9n -c ${KELVANE_DEPLOY}/debian/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${KELVANE_DEPLOY}/debian/changelog)
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${KELVANE_DEPLOY}/debian/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        ${KELVANE_DEPLOY}/README.md DESTINATION share/doc/kelvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Kelvane developers <kelvane@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "page server that draws pictures for web pages")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kelvane runs .ksp pages, which draw lines, boxes, circles, text, gradients\nand pictures with the Kelvane.Image object and send the result as JPEG or\nBMP. It serves a folder of pages and files over HTTP, as a systemd\nservice behind a web server such as nginx.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION httpd)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Text in pages is drawn in Arial's metric twin; adduser makes the user.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, fonts-liberation2")
# Pages reach databases through these ODBC drivers, and processes may share
# their visitors' sessions through a Redis or Valkey server.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libsqliteodbc, odbc-postgresql, redis-server | valkey-server")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${KELVANE_DEPLOY}/debian/conffiles ${KELVANE_DEPLOY}/debian/postinst
    ${KELVANE_DEPLOY}/debian/prerm ${KELVANE_DEPLOY}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
