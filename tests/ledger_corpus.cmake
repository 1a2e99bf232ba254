# The corpus test reads its ledgers from the source tree.
target_compile_definitions(ledger_corpus_test PRIVATE
                           MUREX_LEDGERS_DIR="${CMAKE_SOURCE_DIR}/tests/ledgers")
