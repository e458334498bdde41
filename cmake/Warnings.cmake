# Strict warnings on the project's own code.
function(catalogrium_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
                                             -Wnon-virtual-dtor -Woverloaded-virtual)
endfunction()
