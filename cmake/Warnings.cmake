# Warnings as errors for our own targets only (third-party code keeps its defaults).
function(orvo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Werror
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Wno-missing-field-initializers>)
endfunction()
