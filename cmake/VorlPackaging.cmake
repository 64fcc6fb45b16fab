# Installation and the Linux packages. On Linux `cmake --install` puts vorlcli, vorlsim, the
# heartbeat service vorlpulse and the Prometheus exporter vorl_exporter (with their systemd units;
# the exporter's rules are in exporter/CMakeLists.txt) under the prefix with their manual pages,
# and CPack makes a .deb and a .tar.gz of them. The
# Windows installer is built by scripts/package.sh from the windows preset (packaging/windows).
if(WIN32)
  return()
endif()

include(GNUInstallDirs)
install(TARGETS vorlcli vorlsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/man/vorlcli.1 ${PROJECT_SOURCE_DIR}/man/vorlsim.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET vorlpulse)
  install(TARGETS vorlpulse RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/man/vorlpulse.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/vorlpulse.service
          DESTINATION lib/systemd/system)
  # Enabled and started on install, stopped on removal, as Debian services are.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/linux/debian/postinst
      ${PROJECT_SOURCE_DIR}/packaging/linux/debian/prerm
      ${PROJECT_SOURCE_DIR}/packaging/linux/debian/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The JSON Schema of vorlcli --json.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/schema/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vorl/schema
        FILES_MATCHING PATTERN "*.schema.json")
install(FILES ${PROJECT_SOURCE_DIR}/cardsim/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR}
        RENAME vorlsim.md)

set(CPACK_PACKAGE_NAME vorl)
set(CPACK_PACKAGE_VENDOR "VORL host suite")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Command-line tool, heartbeat service, Prometheus exporter, Redfish service and simulated card for VORL remote management cards")
set(CPACK_PACKAGE_DESCRIPTION
    "vorlcli configures and maintains a VORL remote management card over the network or through\n the host interface; vorlpulse (a systemd service) sends the card the server's heartbeat;\n vorl_exporter lets Prometheus watch a fleet of cards; vorl_redfish shows a fleet of cards as a\n Redfish service; vorlsim is a simulated card to try them without one.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "VORL host suite maintainers <vorl@localhost>")
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_PACKAGE_FILE_NAME vorl-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
# The real dependencies (libssl, zlib, libsystemd, the exporter's libraries, the C++ runtime) come from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
