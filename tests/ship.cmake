# What a user gets: the man page, the installed program, the Debian package and the README.
set(MUREX_CHECK_INSTALL ${CMAKE_SOURCE_DIR}/tests/check-install.sh)
add_test(NAME ship.manPage
         COMMAND bash ${MUREX_CHECK_INSTALL} man ${CMAKE_SOURCE_DIR}/man/murex.1 $<TARGET_FILE:murex>)
add_test(NAME ship.install COMMAND bash ${MUREX_CHECK_INSTALL} install ${CMAKE_BINARY_DIR})
add_test(NAME ship.package COMMAND bash ${MUREX_CHECK_INSTALL} package ${CMAKE_BINARY_DIR})
set_tests_properties(ship.manPage ship.install ship.package PROPERTIES SKIP_RETURN_CODE 77)
# A packager's build from the same sources: Release, without GoogleTest. It builds the program
# once more, so only the plain test build runs it.
if(NOT MUREX_SANITIZE)
  add_test(NAME ship.packagerBuild COMMAND bash ${MUREX_CHECK_INSTALL} packager ${CMAKE_SOURCE_DIR})
  set_tests_properties(ship.packagerBuild PROPERTIES TIMEOUT 900)
endif()
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  # Every "$ murex" example of the README, run and compared with what the README shows.
  add_test(NAME ship.readme
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/check-readme.py
                   --murex $<TARGET_FILE:murex> --root ${CMAKE_SOURCE_DIR})
endif()
