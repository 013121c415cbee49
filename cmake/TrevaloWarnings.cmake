# Compiler settings shared by every target of the project.
option(TREVALO_WERROR "Treat compiler warnings as errors" OFF)
set(TREVALO_SANITIZE "" CACHE STRING
    "Comma-separated sanitizers to build with (for example address,undefined or thread)")

function(trevalo_configure_target target)
  target_compile_features(${target} PRIVATE cxx_std_20)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(TREVALO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(TREVALO_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${TREVALO_SANITIZE}
                                             -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=${TREVALO_SANITIZE})
  endif()
endfunction()
