# The Debian package (scripts/package.sh builds it): cpack -G DEB on a build configured with
# CMAKE_INSTALL_PREFIX=/usr. Libraries come from dpkg-shlibdeps; the GStreamer plugins that
# playback loads at run time (gstreamer1.0-nice for vantorel-web's WebRTC), and Qt's platform
# plugins, are named here.
set(CPACK_PACKAGE_NAME vantorel)
set(CPACK_PACKAGE_VENDOR "The Vantorel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live media broadcasting on a local network")
set(CPACK_PACKAGE_DESCRIPTION
    "Strovan plays a media file and broadcasts its compressed audio and video as UDP datagrams\n\
on the local network; Lunnet receives and plays them. vantorel-cast broadcasts without a\n\
window, vantorel-listen shows what arrives and vantorel-web plays it in web browsers.\n\
Receivers need UDP port 5937 open; the package ships a ufw application profile (ufw allow\n\
Vantorel).")
set(CPACK_PACKAGE_CONTACT "The Vantorel developers <vantorel@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The ufw profile's destination is absolute (/etc): the package is staged with DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, \
gstreamer1.0-plugins-ugly, gstreamer1.0-libav, gstreamer1.0-alsa, gstreamer1.0-x, \
gstreamer1.0-nice, qt6-qpa-plugins")
# Recording through a sound server, and the screen of a Wayland desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-pulseaudio, gstreamer1.0-pipewire")
# ufw opens the receivers' port; Janus relays vantorel-web to more browsers.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ufw, janus")

# Files under /etc are the administrator's: dpkg keeps their changes on upgrade.
set(conffiles ${CMAKE_BINARY_DIR}/packaging/conffiles)
file(WRITE ${conffiles} "${CMAKE_INSTALL_FULL_SYSCONFDIR}/ufw/applications.d/vantorel\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${conffiles})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_GENERATOR DEB)
include(CPack)
