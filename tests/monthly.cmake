# The monthly report against the balance of accounts, month by month, and every CSV and JSON
# form read back with Python's csv and json modules, over a generated ledger of 10k
# transactions (written into the build folder once).
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME monthly.matchesAcc
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/check-monthly.py
                   --murex $<TARGET_FILE:murex> --ledger ${CMAKE_BINARY_DIR}/check/10000.ledger)
  set_tests_properties(monthly.matchesAcc PROPERTIES TIMEOUT 300)
endif()
