# The end-to-end cases run the built binary; a changed or added case rebuilds the runner so
# that its test list is discovered again.
file(GLOB MUREX_E2E_CASES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/cases/*.case)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/tests/e2e_test.cpp APPEND PROPERTY OBJECT_DEPENDS
             ${MUREX_E2E_CASES})
target_compile_definitions(e2e_test PRIVATE MUREX_BINARY="$<TARGET_FILE:murex>"
                                            MUREX_CASES_DIR="${CMAKE_SOURCE_DIR}/tests/e2e/cases")
add_dependencies(e2e_test murex)
