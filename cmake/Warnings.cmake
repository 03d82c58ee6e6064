# Every project target calls tovira_target_defaults() so warnings stay uniform.
function(tovira_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TOVIRA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
# Only the CI and sanitizer presets turn it on: a newer compiler's new warning must not break a
# user's build.
option(TOVIRA_WERROR "Treat warnings as errors" OFF)
