# Every project target calls tovira_target_defaults() so warnings stay uniform.
function(tovira_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TOVIRA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
option(TOVIRA_WERROR "Treat warnings as errors" OFF)
