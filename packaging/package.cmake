# What an installed rfdock is made of, and the Debian package built from it (`make package`):
# the service alone (the simulator and the tests stay in the build), its web area, the readers'
# udev rules, a systemd user unit, the rfdock:// link handler and a manual page.

include(GNUInstallDirs)

set(RFDOCK_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
set(RFDOCK_STAGED ${CMAKE_BINARY_DIR}/packaging)

install(TARGETS rfdock RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The program finds it at <bindir>/../share/rfdock/web.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/web/ DESTINATION ${CMAKE_INSTALL_DATADIR}/rfdock/web)
install(FILES ${RFDOCK_PACKAGING}/70-rfdock-readers.rules DESTINATION lib/udev/rules.d)
install(FILES ${RFDOCK_PACKAGING}/rfdock.service DESTINATION lib/systemd/user)
install(FILES ${RFDOCK_PACKAGING}/rfdock.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# Manual page and changelog (a native package's: changelog.gz) compressed as Debian ships them (gzip -9n: no name or time stamp, so
# the package is the same from one build to the next).
file(MAKE_DIRECTORY ${RFDOCK_STAGED})
foreach(pair "rfdock.1:rfdock.1.gz" "changelog:changelog.gz")
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 source)
    list(GET pair 1 target)
    add_custom_command(OUTPUT ${RFDOCK_STAGED}/${target}
                       COMMAND gzip -9nc ${RFDOCK_PACKAGING}/${source} > ${RFDOCK_STAGED}/${target}
                       DEPENDS ${RFDOCK_PACKAGING}/${source} VERBATIM)
    list(APPEND RFDOCK_COMPRESSED ${RFDOCK_STAGED}/${target})
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${RFDOCK_COMPRESSED})
install(FILES ${RFDOCK_STAGED}/rfdock.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${RFDOCK_PACKAGING}/copyright ${RFDOCK_STAGED}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rfdock)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "rfdock developers")
set(CPACK_PACKAGE_CONTACT "rfdock developers <rfdock@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "card readers for web pages and local programs")
set(CPACK_PACKAGE_DESCRIPTION
    "A background service on one loopback port that lets web pages and local\n\
programs use 13.56 MHz card readers over a WebSocket: open a reader, find\n\
cards, read and write Mifare Classic sectors and NFC page tags, exchange\n\
APDUs with CPU cards and relay UDP datagrams. It ships udev rules for the\n\
supported readers, a systemd user unit and a handler for rfdock:// links.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# pcscd serves the PC/SC readers (type 7); the service links its client library.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, pcscd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${RFDOCK_PACKAGING}/debian/postinst
                                       ${RFDOCK_PACKAGING}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
