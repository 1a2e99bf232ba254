# The includes of src/ against the module map of src/README.md: no loops, nothing included
# from below (tests/includes.py); and that the check sees both faults in small trees of its own.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  set(MUREX_INCLUDES ${CMAKE_SOURCE_DIR}/tests/includes.py)
  add_test(NAME includes.map COMMAND ${Python3_EXECUTABLE} ${MUREX_INCLUDES}
                                     --root ${CMAKE_SOURCE_DIR})
  add_test(NAME includes.findsLoop COMMAND ${Python3_EXECUTABLE} ${MUREX_INCLUDES}
                                           --root ${CMAKE_SOURCE_DIR}/tests/includes/loop)
  add_test(NAME includes.findsUpward COMMAND ${Python3_EXECUTABLE} ${MUREX_INCLUDES}
                                             --root ${CMAKE_SOURCE_DIR}/tests/includes/upward)
  set_tests_properties(includes.findsLoop PROPERTIES PASS_REGULAR_EXPRESSION
                       "modules include each other: first -> second -> first\n")
  set_tests_properties(includes.findsUpward PROPERTIES PASS_REGULAR_EXPRESSION
                       "src/low.cpp includes high, below low in src/README.md\n2 modules, 1 faults")
endif()
