# Where an installation puts each file, and the Debian package made of them: `cpack` in a build
# tree writes comrelay_<version>-<release>_<arch>.deb. scripts/package builds a hardened tree for
# it and checks the result with lintian. Paths are relative to the prefix (/usr in the package)
# except where Debian 12 wants them elsewhere.

# Installing (and so cpack) takes the tree as built rather than building every test first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(COMRELAY_PACKAGE_MAINTAINER "comrelay developers <developers@comrelay.example>"
    CACHE STRING "Maintainer of the Debian package: name <address>")
set(COMRELAY_PACKAGE_RELEASE 1 CACHE STRING "Debian revision of the package")
set(COMRELAY_DEB_VERSION ${PROJECT_VERSION}-${COMRELAY_PACKAGE_RELEASE})

set(source ${CMAKE_CURRENT_LIST_DIR})
set(made ${PROJECT_BINARY_DIR}/packaging)

# The programs: the window's on the PATH, the service's in a private folder, where the window's
# finds it when handing over.
install(TARGETS comrelay RUNTIME DESTINATION bin)
install(TARGETS comrelay-headless RUNTIME DESTINATION lib/comrelay)
install(FILES ${COMRELAY_LOCALE_DIR}/en/LC_MESSAGES/comrelay.mo DESTINATION share/locale/en/LC_MESSAGES)

# The desktop: menu entry, icon, software-centre metadata.
install(FILES ${source}/desktop/comrelay.desktop DESTINATION share/applications)
configure_file(${source}/desktop/comrelay.metainfo.xml ${made}/comrelay.metainfo.xml @ONLY)
install(FILES ${made}/comrelay.metainfo.xml DESTINATION share/metainfo)
install(FILES ${source}/icons/comrelay.svg DESTINATION share/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${source}/icons/comrelay-${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps
          RENAME comrelay.png)
endforeach()

# The service: the template unit, its user, a folder for the instances' files and an example.
install(FILES ${source}/systemd/comrelay@.service DESTINATION /lib/systemd/system)
install(FILES ${source}/systemd/comrelay.sysusers DESTINATION lib/sysusers.d RENAME comrelay.conf)
install(DIRECTORY DESTINATION /etc/comrelay)
install(FILES ${source}/systemd/example.conf DESTINATION share/doc/comrelay/examples RENAME left.conf)

# The manual page and the changelog compressed as Debian keeps them (-n: no name or time stamp,
# so the same sources give the same bytes).
configure_file(${source}/man/comrelay.1.in ${made}/comrelay.1 @ONLY)
configure_file(${source}/debian/changelog.in ${made}/changelog.Debian @ONLY)
configure_file(${source}/debian/copyright ${made}/copyright @ONLY)
find_program(GZIP gzip REQUIRED)
set(compressed)
foreach(file comrelay.1 changelog.Debian)
  add_custom_command(OUTPUT ${made}/${file}.gz
    COMMAND ${GZIP} -9nkf ${made}/${file}
    DEPENDS ${made}/${file}
    COMMENT "Compressing ${file}")
  list(APPEND compressed ${made}/${file}.gz)
endforeach()
add_custom_target(package_documents ALL DEPENDS ${compressed})
install(FILES ${made}/comrelay.1.gz DESTINATION share/man/man1)
install(FILES ${made}/changelog.Debian.gz ${made}/copyright DESTINATION share/doc/comrelay)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME comrelay)
set(CPACK_PACKAGE_VENDOR "comrelay developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${COMRELAY_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "relay between a serial port and a TCP server")
# Lines as the control file shows them: dpkg does not wrap them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "comrelay bridges one serial port and one TCP server: every block the device\n"
  "sends goes to the server unchanged, and every block the server sends goes to\n"
  "the device unchanged. A colour-coded, time-stamped traffic log shows each\n"
  "block as text or hex, with byte counters, and every change or failure of\n"
  "either end.\n"
  "\n"
  "Without a window it runs as a service, one instance per port, from a systemd\n"
  "template unit.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${COMRELAY_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${COMRELAY_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries come from dpkg-shlibdeps; the window's texts need a font with Chinese characters.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-zenhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${source}/debian/postinst ${source}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
