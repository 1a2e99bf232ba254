# The route tests start the built binary and talk to it over loopback sockets.
target_compile_definitions(web_test PRIVATE MUREX_BINARY="$<TARGET_FILE:murex>")
add_dependencies(web_test murex)
