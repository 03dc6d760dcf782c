# The Debian package, built by `cpack -G DEB` (scripts/dev.sh package). dpkg-shlibdeps finds
# the libraries the programs link; the SVG plugin and Qt's Japanese translations are named by
# hand because Qt loads them at run time (the toolbar and window icons; Qt's own buttons, menus
# and dialogs).
set(TESSERA_MAINTAINER "Tessera developers <tessera@localhost>" CACHE STRING "Maintainer of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessera)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TESSERA_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Offline reader for Japanese web bulletin boards")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "sqlite3, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack puts the summary in front as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tessera fetches the message logs of a family of Japanese web bulletin boards,
keeps every message in a local SQLite database and shows them for fast
offline reading: board menus, a message list, read state, marks, reply
threads, find and a free SQL query window. Past logs are imported from text
files and LHA archives. tessera-cli does the same without a display.")

include(CPack)
