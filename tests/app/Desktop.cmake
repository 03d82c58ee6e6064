if(NOT TOVIRA_BUILD_GUI)
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Widgets)

tovira_add_test(app_help_viewer SOURCES test_help_viewer.cpp LIBS tovira_ui_help)
