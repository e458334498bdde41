# cmake -DCLANG_FORMAT=PROGRAM -DSOURCE_DIR=DIR -DMODE=check|fix -P ClangFormat.cmake
# check: fails and names the files that .clang-format would change; fix: formats them in place.
# Without PROGRAM (clang-format not installed) it says so and does nothing; the format test
# takes that message as a skip.
if(NOT CLANG_FORMAT)
    message("clang-format is not installed (apt-get install clang-format): format check skipped")
    return()
endif()

# Every C++ file of the project, outside build folders and hidden folders.
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.cpp ${SOURCE_DIR}/*.h)
list(FILTER files EXCLUDE REGEX "^(build[^/]*|\\.[^/]*)/")
list(SORT files)

if(MODE STREQUAL "fix")
    execute_process(COMMAND ${CLANG_FORMAT} -i ${files} WORKING_DIRECTORY ${SOURCE_DIR}
                    COMMAND_ERROR_IS_FATAL ANY)
else()
    execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${files}
                    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "files not formatted: run `cmake --build --preset default --target format`")
    endif()
endif()
