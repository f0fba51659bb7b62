# A Debian package of the installed program: `cpack -G DEB` in the build folder.
# Depends is computed from the shared libraries (dpkg-shlibdeps, from dpkg-dev) and completed by
# what is only loaded at run time: GStreamer's elements that play the mp3 alert, a font with the
# Chinese characters, and Qt's own Chinese translations. (Debian 12 ships Qt's xcb platform
# plugin in libqt6gui6, which the libraries already pull in.)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zjx)
set(CPACK_PACKAGE_VENDOR "青檀坊")
set(CPACK_PACKAGE_CONTACT "zjx maintainers <maintainers@users.noreply.c-seed-47516781.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "follow courier parcels by their tracking numbers")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "踪迹匣 (zjx) is a desktop program in Simplified Chinese for people who wait
for parcels. Pick one of ${ZJX_COURIER_COUNT} Chinese and international courier companies,
type the tracking number and a note, and it shows the tracking events,
whether the parcel is in transit, out for delivery or signed for, and keeps
the parcel in a small book to query again by hand, at a set time of day or
every few minutes, with an alert sound when there is news.
.
The package includes zjx-service, a local tracking service that the program
starts for itself.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# CPack puts the summary above the description as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded only at run time, so dpkg-shlibdeps cannot see them: Qt's TLS back-end opens libssl when the
# gateway talks to a real provider, and verifies against the system's CA bundle; the watch's SQLite
# driver is a plugin of Qt's SQL module.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n, libqt6sql6-sqlite, libssl3, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
