# Warnings are errors on our own code; third-party targets are built without these flags.
function(snh_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wcast-align -Wnull-dereference -Werror)
endfunction()
