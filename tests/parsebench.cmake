# The parse benchmark program of tools/bench-parse.sh (not a test).
add_executable(parsebench ${CMAKE_SOURCE_DIR}/tools/parsebench.cpp)
target_link_libraries(parsebench PRIVATE murexlib)
