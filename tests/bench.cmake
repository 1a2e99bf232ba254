# Load-test server of the HTTP layer, driven by tools/bench-http.sh.
add_executable(http_bench ${CMAKE_SOURCE_DIR}/tests/bench/http_bench.cpp)
target_link_libraries(http_bench PRIVATE murexlib)
