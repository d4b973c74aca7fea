# What `cmake --install` puts on a user's system, in two components that are also the two Debian
# packages of `make package`: kestrel (the silent program, no GUI library) and kestrel-gui.
set(KESTREL_HOMEPAGE "https://kestrel.example.org" CACHE STRING
  "Home page of the metainfo; screenshots are expected under it at /screenshots/")
set(KESTREL_APP_ID org.kestrel.Kestrel)
set(KESTREL_DATA ${CMAKE_CURRENT_SOURCE_DIR}/data)
# systemd looks for user units under the prefix's lib/systemd/user, not under the multiarch libdir.
set(KESTREL_USER_UNIT_DIR lib/systemd/user)

configure_file(${KESTREL_DATA}/kestrel@.service.in ${CMAKE_CURRENT_BINARY_DIR}/kestrel@.service @ONLY)
configure_file(${KESTREL_DATA}/${KESTREL_APP_ID}.metainfo.xml.in
  ${CMAKE_CURRENT_BINARY_DIR}/${KESTREL_APP_ID}.metainfo.xml @ONLY)

# Debian wants manual pages and changelogs compressed, with no time stamp inside.
set(KESTREL_GZIPPED)
foreach(source kestrel.1 kestrel-gui.1 debian/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/gz/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/gz
    COMMAND gzip -9nc ${KESTREL_DATA}/${source} > ${CMAKE_CURRENT_BINARY_DIR}/gz/${name}.gz
    DEPENDS ${KESTREL_DATA}/${source} VERBATIM)
  list(APPEND KESTREL_GZIPPED ${CMAKE_CURRENT_BINARY_DIR}/gz/${name}.gz)
endforeach()
add_custom_target(kestrel_gzipped_docs ALL DEPENDS ${KESTREL_GZIPPED})
foreach(component kestrel kestrel-gui)
  install(FILES ${KESTREL_DATA}/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/gz/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${component} COMPONENT ${component})
endforeach()

install(TARGETS kestrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kestrel)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kestrel@.service ${KESTREL_DATA}/kestrel@.timer
  DESTINATION ${KESTREL_USER_UNIT_DIR} COMPONENT kestrel)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/gz/kestrel.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kestrel)
install(FILES ${KESTREL_DATA}/kestrel.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kestrel
  COMPONENT kestrel)

install(TARGETS kestrel-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kestrel-gui)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/gz/kestrel-gui.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kestrel-gui)
install(FILES ${KESTREL_DATA}/${KESTREL_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT kestrel-gui)
install(FILES ${KESTREL_DATA}/${KESTREL_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT kestrel-gui)
install(FILES ${KESTREL_DATA}/${KESTREL_APP_ID}.mime.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME ${KESTREL_APP_ID}.xml
  COMPONENT kestrel-gui)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${KESTREL_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT kestrel-gui)
install(FILES ${KESTREL_DATA}/kestrel-mark.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus COMPONENT kestrel-gui)
install(PROGRAMS ${KESTREL_DATA}/nautilus/kestrel-mark
  DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrel/nautilus COMPONENT kestrel-gui)

# make package: two Debian packages; Depends from the binaries (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VENDOR "Kestrel")
set(CPACK_PACKAGE_CONTACT "Kestrel maintainers <maintainers@kestrel.example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The paths compiled in (the window program, the data, the units' ExecStart) are the
# prefix's: `make package` configures its own build folder with the prefix /usr.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL kestrel kestrel-gui)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KESTREL_HOMEPAGE})
set(CPACK_DEBIAN_KESTREL_PACKAGE_NAME kestrel)
set(CPACK_DEBIAN_KESTREL_PACKAGE_RECOMMENDS "bash-completion")
set(CPACK_DEBIAN_KESTREL_DESCRIPTION "Remove files whose names carry a due removal date
Kestrel moves files whose names carry a due removal date (budget
del-10-31-2026.xls) into a quarantine folder or the Trash. This package holds
the silent program, its systemd user timers, the manual page and bash
completion; it needs no GUI library.")
set(CPACK_DEBIAN_KESTREL-GUI_PACKAGE_NAME kestrel-gui)
set(CPACK_DEBIAN_KESTREL-GUI_PACKAGE_DEPENDS "kestrel (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_KESTREL-GUI_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_KESTREL-GUI_DESCRIPTION "Window for Kestrel, the file remover by dates in names
The Kestrel window, its menu entry and icon, the Kestrel configuration file
type for .ksp files, and Mark for removal in KDE Dolphin and GNOME Files.")
set(CPACK_DEBIAN_KESTREL-GUI_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_KESTREL_PACKAGE_SECTION utils)
set(CPACK_STRIP_FILES ON)
include(CPack)
