# What `cmake --install` puts where, and the Debian package CPack makes of it.
include(GNUInstallDirs)

set(RONDELLA_ID org.rondella.Rondella)
set(RONDELLA_DESKTOP ${PROJECT_SOURCE_DIR}/resources/desktop)

# The program, its manual page, and the process it starts to read old
# databases, a helper of its own out of the users' PATH.
install(TARGETS rondella RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS rondella-mdbread RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/rondella)

# What every new collection folder is given: the help page, the click sounds
# and the placeholder jacket.
install(FILES ${PROJECT_SOURCE_DIR}/resources/help.html ${PROJECT_SOURCE_DIR}/resources/dialog.WAV
              ${PROJECT_SOURCE_DIR}/resources/drop.WAV
        DESTINATION ${CMAKE_INSTALL_DATADIR}/rondella)
install(FILES ${PROJECT_SOURCE_DIR}/resources/jacket/damie.jpg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/rondella/jacket)

# The desktop's menu entry, its icon and the software centres' description.
install(FILES ${RONDELLA_DESKTOP}/${RONDELLA_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${RONDELLA_DESKTOP}/${RONDELLA_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${RONDELLA_DESKTOP}/${RONDELLA_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 256)
  install(FILES ${RONDELLA_DESKTOP}/${RONDELLA_ID}-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${RONDELLA_ID}.png)
endforeach()

# Debian's copyright and changelog, and the manual page; the changelog and the
# page compressed as Debian keeps them.
set(RONDELLA_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
set(RONDELLA_MANPAGE ${CMAKE_CURRENT_BINARY_DIR}/rondella.1.gz)
add_custom_command(OUTPUT ${RONDELLA_CHANGELOG}
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/resources/debian/changelog > ${RONDELLA_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/debian/changelog
  VERBATIM)
add_custom_command(OUTPUT ${RONDELLA_MANPAGE}
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/resources/debian/rondella.1 > ${RONDELLA_MANPAGE}
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/debian/rondella.1
  VERBATIM)
add_custom_target(rondella_docs ALL DEPENDS ${RONDELLA_CHANGELOG} ${RONDELLA_MANPAGE})
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright ${RONDELLA_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/rondella)
install(FILES ${RONDELLA_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rondella)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Rondella developers")
set(CPACK_PACKAGE_CONTACT "Rondella developers <rondella@rondella.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "catalogue of a music CD collection and the works on it")
set(CPACK_PACKAGE_DESCRIPTION
  "Rondella is a Japanese-language desktop catalogue for one person's collection
of music CDs and the songs, works and movements on them, made for collectors of
classical music with thousands of CDs. CDs and songs are browsed in two linked
grids, searched by any combination of fields, and printed through print
previews or written to PDF. The collection lives in one SQLite file, backed up
before the first change of every run.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Rondella developers <rondella@rondella.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://rondella.org/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the programs link, as dpkg-shlibdeps finds them...
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ...and what Qt loads only while running, which it cannot see: the SQLite
# driver, the sound and printing plugins, the Japanese fonts and Qt's own
# Japanese texts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libqt6sql6-sqlite, libqt6multimedia6, libqt6printsupport6, fonts-ipafont-gothic, fonts-noto-cjk, qt6-translations-l10n")
include(CPack)
