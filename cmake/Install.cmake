# What `cmake --install` puts beside the programs: the desktop entry, the AppStream metainfo,
# the application icon in the hicolor theme, the manual pages, ReadMe.txt and the machine-readable
# copyright file (Debian's format, where the .deb keeps it: share/doc/tessera/copyright).
# The programs themselves are installed by src/CMakeLists.txt.
include(GNUInstallDirs)

set(TESSERA_RESOURCES ${PROJECT_SOURCE_DIR}/resources)
set(TESSERA_APPSTREAM_ID org.tesseraproject.Tessera)

install(FILES ${TESSERA_RESOURCES}/desktop/tessera.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TESSERA_RESOURCES}/desktop/${TESSERA_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(FILES ${TESSERA_RESOURCES}/icons/tessera.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 256)
  install(FILES ${TESSERA_RESOURCES}/icons/tessera-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tessera.png)
endforeach()

install(FILES ${TESSERA_RESOURCES}/ReadMe.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/tessera)
install(FILES ${TESSERA_RESOURCES}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessera)

# Manual pages go compressed, as Debian keeps them; -n leaves the time out, so builds repeat.
set(man_pages)
foreach(page tessera.1 tessera-cli.1)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND gzip -9 -n -c ${TESSERA_RESOURCES}/man/${page} > ${compressed}
    DEPENDS ${TESSERA_RESOURCES}/man/${page}
    VERBATIM)
  list(APPEND man_pages ${compressed})
endforeach()
add_custom_target(tessera_man ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# systemd user units for receiving without the window, disabled until the user enables the
# timer. The service names tessera-cli by its installed path, known only at install time (the
# Debian package installs under /usr whatever the build's prefix was).
set(TESSERA_UNIT_SOURCE ${TESSERA_RESOURCES}/systemd)
set(TESSERA_UNIT_DIR lib/systemd/user)
install(FILES ${TESSERA_UNIT_SOURCE}/tessera-receive.timer DESTINATION ${TESSERA_UNIT_DIR})
install(CODE "
  set(TESSERA_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  set(unit \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TESSERA_UNIT_DIR}/tessera-receive.service\")
  message(STATUS \"Installing: \${unit}\")
  configure_file(\"${TESSERA_UNIT_SOURCE}/tessera-receive.service.in\" \"\${unit}\" @ONLY)
")
