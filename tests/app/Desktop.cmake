if(NOT TOVIRA_BUILD_GUI)
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Widgets)

tovira_add_test(app_help_viewer SOURCES test_help_viewer.cpp LIBS tovira_ui_help)

add_executable(tovira_instance_probe instance_probe.cpp)
tovira_target_defaults(tovira_instance_probe)
target_link_libraries(tovira_instance_probe PRIVATE tovira_desktop)
tovira_add_test(app_single_instance SOURCES test_single_instance.cpp LIBS tovira_desktop Qt6::Widgets)
target_compile_definitions(app_single_instance PRIVATE TOVIRA_INSTANCE_PROBE="$<TARGET_FILE:tovira_instance_probe>")
add_dependencies(app_single_instance tovira_instance_probe)

tovira_add_test(app_file_types SOURCES test_file_types.cpp LIBS tovira_desktop Qt6::Widgets)

# The texts in German: every one translated, and the translation reaching the windows.
find_package(Qt6 REQUIRED COMPONENTS LinguistTools)
add_test(NAME Translations.EveryTextHasAFinishedGermanOne
         COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/app/check-translations.py $<TARGET_FILE:Qt6::lupdate> ${CMAKE_SOURCE_DIR})
if(TARGET tovira_ui_player AND TARGET tovira_ui_equalizer)
  tovira_add_test(app_translations SOURCES test_translations.cpp
                  LIBS tovira_translations tovira_ui_playlist tovira_ui_player tovira_ui_equalizer PkgConfig::TAGLIB Qt6::Widgets)
endif()

# What `cmake --install` places, and the desktop entry's validation.
if(TARGET tovira)
  set(TOVIRA_EXPECT_PROGRAM 1)
else()
  set(TOVIRA_EXPECT_PROGRAM 0)
endif()
add_test(NAME DesktopInstall.PlacesProgramHelpEntryIcons
         COMMAND bash "${CMAKE_CURRENT_SOURCE_DIR}/install-test.sh" "${CMAKE_BINARY_DIR}" ${TOVIRA_EXPECT_PROGRAM})

# With the player's side where the program is built: the pictures it hands the bus.
if(TARGET tovira_desktop_player)
  tovira_add_test(app_mpris SOURCES test_mpris.cpp LIBS tovira_desktop_player PkgConfig::TAGLIB Qt6::Widgets)
  target_compile_definitions(app_mpris PRIVATE TOVIRA_MPRIS_ART=1)
else()
  tovira_add_test(app_mpris SOURCES test_mpris.cpp LIBS tovira_desktop Qt6::Widgets)
endif()
set_target_properties(app_mpris PROPERTIES AUTOMOC ON)

# The real program: media keys through a private bus, and the Debian package, under Xvfb.
if(TARGET tovira)
  tovira_add_test(app_player_desktop SOURCES test_player_desktop.cpp LIBS tovira_desktop Qt6::Widgets)
  target_compile_definitions(app_player_desktop PRIVATE TOVIRA_PLAYER="$<TARGET_FILE:tovira>")
  add_dependencies(app_player_desktop tovira)
  if(NOT TOVIRA_SANITIZE)
    add_test(NAME DesktopPackage.DebInstallsAndRunsFromAnywhere
             COMMAND bash "${CMAKE_CURRENT_SOURCE_DIR}/package-test.sh" "${CMAKE_BINARY_DIR}")
    set_tests_properties(DesktopPackage.DebInstallsAndRunsFromAnywhere PROPERTIES TIMEOUT 300)
  endif()
endif()
