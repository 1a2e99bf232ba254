#!/bin/bash
# The one test command: installs what a fresh machine lacks, then builds and runs every
# test twice, in a normal build (build/) and under the sanitizers (build-asan/).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=2
# What the README's apt-get line installs, and the browser for the viewer's tests.
missing=()
command -v g++ >/dev/null || missing+=(g++)
command -v cmake >/dev/null || missing+=(cmake)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
# The shells whose completion scripts the tests run.
command -v zsh >/dev/null || missing+=(zsh)
command -v fish >/dev/null || missing+=(fish)
[ -f /usr/share/bash-completion/bash_completion ] || missing+=(bash-completion)
browser=tests/browser
[ -f "$browser/package.json" ] && [ ! -x /usr/bin/chromium ] && missing+=(chromium)
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi
[ -f "$browser/package.json" ] && (cd "$browser" && npm ci)

status=0
for kind in build build-asan; do
  # Both optimised, and warnings are errors in our own builds.
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DMUREX_WERROR=ON -DMUREX_TESTS=ON)
  [ "$kind" = build-asan ] && flags+=(-DMUREX_SANITIZE=ON)
  echo "== $kind"
  if cmake -S . -B "$kind" "${flags[@]}" && cmake --build "$kind" -j"$jobs"; then
    # One test at a time: the server tests share the loopback ports.
    ctest --test-dir "$kind" --output-on-failure --no-tests=error || status=1
  else
    status=1
  fi
done
# Every fuzz target is built and run a few seconds where its compiler is installed, so that
# none of them can stop building unseen.
if command -v clang++ >/dev/null; then
  echo "== fuzz targets"
  tools/fuzz.sh "${FUZZ_SECONDS:-5}" || status=1
fi
if [ "$status" -eq 0 ]; then echo "All tests passed."; else echo "Some tests FAILED." >&2; fi
exit "$status"
