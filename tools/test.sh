#!/bin/bash
# The one test command: installs what a fresh machine lacks, then builds and runs every
# test twice, in a normal build (build/) and under the sanitizers (build-asan/).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=2
browser=tests/browser
if [ -f "$browser/package.json" ]; then
  if [ ! -x /usr/bin/chromium ]; then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y chromium
  fi
  (cd "$browser" && npm ci)
fi

status=0
for kind in build build-asan; do
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
  [ "$kind" = build-asan ] && flags+=(-DMUREX_SANITIZE=ON)
  echo "== $kind"
  if cmake -S . -B "$kind" "${flags[@]}" && cmake --build "$kind" -j"$jobs"; then
    # One test at a time: the server tests share the loopback ports.
    ctest --test-dir "$kind" --output-on-failure || status=1
  else
    status=1
  fi
done
if [ "$status" -eq 0 ]; then echo "All tests passed."; else echo "Some tests FAILED." >&2; fi
exit "$status"
