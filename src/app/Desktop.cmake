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

find_package(Qt6 REQUIRED COMPONENTS Core Network)
add_library(tovira_desktop STATIC SingleInstance.cpp SingleInstance.h FileTypes.cpp FileTypes.h)
tovira_target_defaults(tovira_desktop)
set_target_properties(tovira_desktop PROPERTIES AUTOMOC ON)
target_include_directories(tovira_desktop PUBLIC "${CMAKE_SOURCE_DIR}/src")
target_link_libraries(tovira_desktop PUBLIC tovira_appcore tovira_util Qt6::Core Qt6::Network)
