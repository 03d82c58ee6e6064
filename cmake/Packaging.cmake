# `cpack` in the build folder makes a Debian package of what `cmake --install` places.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tovira)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The Tovira developers")
set(CPACK_PACKAGE_CONTACT "Tovira maintainers <maintainers@users.noreply.c-seed-867a2e18.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audio player for MPEG audio files and M3U playlists")
set(CPACK_PACKAGE_DESCRIPTION
    "Tovira plays MPEG-1, MPEG-2 and MPEG-2.5 audio files of Layers I, II and III\n(.mp3, .mp2, .mp1) and M3U playlists with its own decoder. It has a playlist\nwindow, a ten-band equalizer and a spectrum display, keeps one running\ninstance, and answers the desktop's media keys.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tovira.example.org/")
# The shared libraries (Qt 6 widgets, svg, dbus, network; SDL2; TagLib; the C++ runtime) come
# from dpkg-shlibdeps; the X11 platform plugin is loaded at run time, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
