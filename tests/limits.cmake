# The viewer under a descriptor limit of 64 serves 200 clients that connect at once.
add_test(NAME limits.descriptors
         COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/limits.py $<TARGET_FILE:murex>
                 ${CMAKE_SOURCE_DIR}/tests/ledgers/good/minimal.ledger)
set_tests_properties(limits.descriptors PROPERTIES TIMEOUT 90)
