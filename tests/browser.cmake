# The report viewer driven in headless Chromium. It needs node, /usr/bin/chromium and
# `npm ci` in tests/browser (tools/test.sh installs them); without them the test fails.
find_program(MUREX_NODE node)
if(MUREX_NODE)
  add_test(NAME browser_viewer
           COMMAND ${MUREX_NODE} ${CMAKE_SOURCE_DIR}/tests/browser/viewer.test.mjs
                   $<TARGET_FILE:murex> ${CMAKE_BINARY_DIR}/screenshots)
else()
  add_test(NAME browser_viewer
           COMMAND sh -c "echo 'node is missing: apt-get install nodejs npm' >&2; exit 1")
endif()
set_tests_properties(browser_viewer PROPERTIES TIMEOUT 300)
