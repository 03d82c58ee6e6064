if(NOT TOVIRA_BUILD_GUI)
  return()
endif()

# The help topics beside the program in the build tree, where the help viewer looks first.
file(GLOB TOVIRA_HELP_TOPICS CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/res/help/*.html")
set(TOVIRA_HELP_STAMP "${CMAKE_CURRENT_BINARY_DIR}/help/.stamp")
add_custom_command(
  OUTPUT "${TOVIRA_HELP_STAMP}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/help"
  COMMAND ${CMAKE_COMMAND} -E copy ${TOVIRA_HELP_TOPICS} "${CMAKE_CURRENT_BINARY_DIR}/help"
  COMMAND ${CMAKE_COMMAND} -E touch "${TOVIRA_HELP_STAMP}"
  DEPENDS ${TOVIRA_HELP_TOPICS}
  COMMENT "Copying the help topics")
add_custom_target(tovira_help_files ALL DEPENDS "${TOVIRA_HELP_STAMP}")

find_package(Qt6 REQUIRED COMPONENTS Core Network DBus)
add_library(tovira_desktop STATIC SingleInstance.cpp SingleInstance.h FileTypes.cpp FileTypes.h Mpris.cpp Mpris.h)
tovira_target_defaults(tovira_desktop)
set_target_properties(tovira_desktop PROPERTIES AUTOMOC ON)
target_include_directories(tovira_desktop PUBLIC "${CMAKE_SOURCE_DIR}/src")
target_link_libraries(tovira_desktop PUBLIC tovira_appcore tovira_util Qt6::Core Qt6::Network Qt6::DBus)

# Icons, the installed desktop entry and the MIME package, made from our own sources at build time.
find_package(Qt6 REQUIRED COMPONENTS Gui Svg)
add_executable(tovira_desktop_assets desktop_assets.cpp)
tovira_target_defaults(tovira_desktop_assets)
target_link_libraries(tovira_desktop_assets PRIVATE tovira_desktop Qt6::Gui Qt6::Svg)
set(TOVIRA_ICON_SIZES 16 22 24 32 48 64 128 256)
set(TOVIRA_ASSETS_STAMP "${CMAKE_CURRENT_BINARY_DIR}/icons/.stamp")
add_custom_command(
  OUTPUT "${TOVIRA_ASSETS_STAMP}"
  COMMAND tovira_desktop_assets "${CMAKE_SOURCE_DIR}/res/icons/tovira.svg" "${CMAKE_CURRENT_BINARY_DIR}"
  COMMAND ${CMAKE_COMMAND} -E touch "${TOVIRA_ASSETS_STAMP}"
  DEPENDS tovira_desktop_assets "${CMAKE_SOURCE_DIR}/res/icons/tovira.svg"
  COMMENT "Rendering the icons and writing the desktop entry")
add_custom_target(tovira_desktop_files ALL DEPENDS "${TOVIRA_ASSETS_STAMP}")

# Debian wants the change log compressed reproducibly.
set(TOVIRA_CHANGELOG_GZ "${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.gz")
add_custom_command(
  OUTPUT "${TOVIRA_CHANGELOG_GZ}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/doc"
  COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" gzip "${CMAKE_SOURCE_DIR}/res/package/changelog" "${TOVIRA_CHANGELOG_GZ}"
  DEPENDS "${CMAKE_SOURCE_DIR}/res/package/changelog" VERBATIM)
set(TOVIRA_MANPAGE_GZ "${CMAKE_CURRENT_BINARY_DIR}/doc/tovira.1.gz")
add_custom_command(
  OUTPUT "${TOVIRA_MANPAGE_GZ}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/doc"
  COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" gzip "${CMAKE_SOURCE_DIR}/res/package/tovira.1" "${TOVIRA_MANPAGE_GZ}"
  DEPENDS "${CMAKE_SOURCE_DIR}/res/package/tovira.1" VERBATIM)
add_custom_target(tovira_doc_files ALL DEPENDS "${TOVIRA_CHANGELOG_GZ}" "${TOVIRA_MANPAGE_GZ}")

# What `cmake --install` and the package place under the prefix.
include(GNUInstallDirs)
if(TARGET tovira)
  install(TARGETS tovira RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${TOVIRA_HELP_TOPICS} DESTINATION ${CMAKE_INSTALL_DATADIR}/tovira/help)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/io.github.tovira.tovira.desktop" DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES "${CMAKE_SOURCE_DIR}/res/package/io.github.tovira.tovira.metainfo.xml" DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/tovira-mime.xml" DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME tovira.xml)
install(FILES "${CMAKE_SOURCE_DIR}/res/icons/tovira.svg" DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size ${TOVIRA_ICON_SIZES})
  install(FILES "${CMAKE_CURRENT_BINARY_DIR}/icons/hicolor/${size}x${size}/apps/tovira.png"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES "${CMAKE_SOURCE_DIR}/res/package/copyright" "${TOVIRA_CHANGELOG_GZ}"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tovira)
install(FILES "${TOVIRA_MANPAGE_GZ}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The player window behind the media keys, and what the program links of this folder.
if(TARGET tovira_ui_player)
  add_library(tovira_desktop_player STATIC PlayerMpris.cpp PlayerMpris.h)
  tovira_target_defaults(tovira_desktop_player)
  target_link_libraries(tovira_desktop_player PUBLIC tovira_desktop tovira_ui_player PRIVATE PkgConfig::TAGLIB)
endif()
if(TARGET tovira)
  target_link_libraries(tovira PRIVATE tovira_desktop_player)
endif()
