# Strict warnings on the project's own code. -Werror is an option so that a packager's build
# with another compiler or other flags is not broken by a new warning; the presets that the
# README and CI use turn it on.
option(CATALOGRIUM_WERROR "Treat compiler warnings as errors" OFF)

function(catalogrium_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                                             -Woverloaded-virtual -Wshadow -Wformat=2)
    # GCC 12 gives -Wrestrict without cause for "literal" + std::string at -O3 (GCC bug 105651,
    # mended in GCC 13), as in a Release build.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
    if(CATALOGRIUM_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
