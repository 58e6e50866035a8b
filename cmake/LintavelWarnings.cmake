# Warnings and sanitizers for every target of the project, set once here.
function(lintavel_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
  if(LINTAVEL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(LINTAVEL_FUZZ)
  # Everything the fuzz targets link is instrumented for coverage.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(LINTAVEL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(LINTAVEL_SANITIZE_THREAD)
  if(LINTAVEL_SANITIZE)
    message(FATAL_ERROR "The thread sanitizer cannot be combined with the address sanitizer")
  endif()
  add_compile_options(-fsanitize=thread)
  add_link_options(-fsanitize=thread)
endif()
