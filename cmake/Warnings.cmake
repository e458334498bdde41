# Strict warnings on the project's own code. -Werror is an option so that a packager's build
# with another compiler or other flags is not broken by a new warning; the presets that the
# README and CI use turn it on.
option(CATALOGRIUM_WERROR "Treat compiler warnings as errors" OFF)

function(catalogrium_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                                             -Woverloaded-virtual)
    if(CATALOGRIUM_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
