# The completion scripts run in bash, zsh and fish (each skipped where it is not installed).
add_test(NAME completion.shells COMMAND bash ${CMAKE_SOURCE_DIR}/tests/completion.sh
                                        $<TARGET_FILE:murex>
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(completion.shells PROPERTIES SKIP_RETURN_CODE 77)
