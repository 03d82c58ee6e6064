# tovira_library_headers(TARGET FOLDER): users of TARGET see its headers, and only its headers, as
# "FOLDER/Name.h". Each core library gets an include root of its own in the build tree holding a
# link to src/FOLDER, so a target that includes another library's header without linking that
# library does not compile.
function(tovira_library_headers target folder)
  set(root "${CMAKE_BINARY_DIR}/include/${folder}")
  if(NOT EXISTS "${root}/${folder}")
    file(MAKE_DIRECTORY "${root}")
    file(CREATE_LINK "${CMAKE_SOURCE_DIR}/src/${folder}" "${root}/${folder}" SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "${root}")
  else()
    target_include_directories(${target} PUBLIC "${root}")
  endif()
endfunction()
