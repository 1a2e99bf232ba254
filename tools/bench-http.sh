#!/bin/sh
# Drives the HTTP layer's load-test server with wrk on 127.0.0.1: keep-alive, 2 threads,
# 64 connections, a small fixed response. Prints requests/s, latency and errors.
# Usage: tools/bench-http.sh [build-dir] [seconds]
set -eu
build=${1:-build}
seconds=${2:-10}
command -v wrk >/dev/null || { echo "wrk is missing (apt-get install wrk)" >&2; exit 1; }
cmake --build "$build" -j2 --target http_bench >/dev/null
out=$(mktemp)
"$build/http_bench" 0 >"$out" &
pid=$!
trap 'kill $pid 2>/dev/null; rm -f "$out" "$out.wrk"' EXIT
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -s "$out" ] && break; sleep 0.1; done
port=$(head -n1 "$out")
wrk -t2 -c64 -d"${seconds}s" --latency "http://127.0.0.1:$port/" | tee "$out.wrk"
awk '/Requests\/sec/ {rps=$2}
     /Socket errors/ {err=$0}
     /Non-2xx/ {non2xx=$NF}
     END {print "requests/s: " rps; print "errors: " (err == "" ? "none" : err);
          print "non-2xx: " (non2xx == "" ? 0 : non2xx)}' "$out.wrk"
