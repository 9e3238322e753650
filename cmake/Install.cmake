# What "cmake --install" puts where, under the usual GNU directory names:
#
#   bin/sesame-pi
#   libexec/sesame-pi/sesame-pi-chimes           the chime player (its own rule, with the program)
#   share/sesame-pi/<chimes>                     the chimes, found from bin/ as ../share/sesame-pi
#   share/applications/<app id>.desktop
#   share/metainfo/<app id>.metainfo.xml
#   share/icons/hicolor/<size>/apps/<app id>.{png,svg}
#   share/man/man1/sesame-pi.1                    the manual page
#   share/doc/sesame-pi/copyright                 the licence (SESAME_PI_INSTALL_LICENSE)

option(SESAME_PI_INSTALL_LICENSE
    "Install LICENSE as share/doc/sesame-pi/copyright (a distribution package brings its own)" ON)

# The program links only libraries from the system's own directories: no
# run path (qt_standard_project_setup would otherwise ask for $ORIGIN/../lib,
# which a binary linked without one has no room for, and a Debian package
# should not carry).
set_target_properties(sesame-pi PROPERTIES INSTALL_RPATH "")
install(TARGETS sesame-pi RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

list(TRANSFORM SESAME_PI_CHIMES PREPEND "${PROJECT_SOURCE_DIR}/assets/" OUTPUT_VARIABLE _sesame_pi_chime_files)
install(FILES ${_sesame_pi_chime_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/sesame-pi)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/${SESAME_PI_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${SESAME_PI_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

foreach(_size IN LISTS SESAME_PI_ICON_SIZES)
    install(FILES ${PROJECT_SOURCE_DIR}/assets/sesame-pi-${_size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps
            RENAME ${SESAME_PI_APP_ID}.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/assets/sesame-pi.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${SESAME_PI_APP_ID}.svg)

install(FILES ${PROJECT_SOURCE_DIR}/docs/sesame-pi.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(SESAME_PI_INSTALL_LICENSE)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
            DESTINATION ${CMAKE_INSTALL_DOCDIR}
            RENAME copyright)
endif()
