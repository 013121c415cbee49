# Compiler settings shared by every target of the project.
option(TREVALO_WERROR "Treat compiler warnings as errors" OFF)
set(TREVALO_SANITIZE "" CACHE STRING
    "Comma-separated sanitizers to build with (for example address,undefined or thread)")

function(trevalo_configure_target target)
  target_compile_features(${target} PRIVATE cxx_std_20)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  # GCC 12 reports out-of-bounds copies inside libstdc++'s own std::string code when it
  # inlines it at -O2 (GCC bugs 105329, 105651), and reads of an empty std::optional's storage
  # on paths where it is engaged (GCC bug 105562); the diagnostics point into the standard
  # headers, not at our code. They are silenced for that compiler only.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE
      $<$<NOT:$<CONFIG:Debug>>:-Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread
                                         -Wno-restrict -Wno-maybe-uninitialized>)
  endif()
  if(TREVALO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(TREVALO_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${TREVALO_SANITIZE}
                                             -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=${TREVALO_SANITIZE})
  endif()
endfunction()
