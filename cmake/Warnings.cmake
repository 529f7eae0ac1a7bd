# Warnings are errors on our own code; third-party targets are built without these flags.
function(snh_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wcast-align -Wnull-dereference -Werror
                                           # GCC 12 reports false -Wrestrict overlaps inside std::string
                                           # (GCC bug 105329).
                                           $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)
endfunction()
