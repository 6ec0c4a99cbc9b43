# SPDX-License-Identifier: MIT
# `make package`: one Debian package with both tools, installed under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${CONSOLES_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The comm and sockbay authors")
set(CPACK_PACKAGE_CONTACT "The comm and sockbay authors <team@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial port and TCP test consoles")
set(CPACK_PACKAGE_DESCRIPTION [=[Two desktop test consoles for communications engineers.
comm-serial opens a serial (RS-232) port with the chosen line settings,
sends text or hexadecimal bytes and shows what arrives as text or hex, with
lamps for the port, the CTS, DSR and carrier-detect lines and activity.
sockbay connects out over TCP, or listens and serves one connection at a
time. Both keep every byte and every line event in a coloured, time-stamped
log that can be searched, saved and recorded.]=])
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${CONSOLES_HOMEPAGE})
# The Qt libraries come from what the programs link (dpkg-shlibdeps); the
# rest is what they load or show: the platform plugins that put a window on
# the desktop, the CJK face the captions and the log's grid are drawn in,
# and Qt's own texts in the user's language.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-noto-cjk, qt6-translations-l10n")
# The symbols the log draws for control characters (␀, ␛): without a font
# that has them they show as boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-freefont-ttf")
include(CPack)
