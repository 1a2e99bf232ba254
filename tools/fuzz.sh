#!/bin/bash
# Builds every tests/fuzz/fuzz_*.cpp as a libFuzzer program against the library sources and
# runs each for SECONDS (default 60), then prints its executions and coverage.
#   tools/fuzz.sh [SECONDS] [TARGET...]      e.g. tools/fuzz.sh 30 fuzz_values
# A target sets its input limit with a comment "fuzz-max-len: N" (default 4096). Seeds come
# from tests/fuzz/corpus/<target>/ when it exists, and from the folders that a comment
# "fuzz-seeds: DIR..." names (relative to the top); new inputs go to build-fuzz/corpus/<target>/,
# crashes to build-fuzz/crashes/<target>/. Exits with 1 when a target found something.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
out=$root/build-fuzz
mkdir -p "$out/obj"

cxx=${CXX_FUZZ:-clang++}
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -I"$root/src" -I"$root/src/http")

# The embedded assets, or an empty set when the folder does not exist yet.
cmake -DOUT="$out/assets.cpp" -DDIR="$root/assets" -P "$root/cmake/embed.cmake"

sources=()
for f in "$root"/src/*.cpp "$root"/src/http/*.cpp; do
  [[ -e $f && $(basename "$f") != main.cpp ]] && sources+=("$f")
done
sources+=("$out/assets.cpp")

# The library objects once for all targets (fuzzer instrumentation, no main), two at a time.
objects=()
stale=()
for f in "${sources[@]}"; do
  rel=${f#"$root"/}
  obj=$out/obj/${rel//\//_}.o
  objects+=("$obj")
  if [[ ! -e $obj || $f -nt $obj || -n $(find "$root/src" -name '*.h' -newer "$obj") ]]; then
    stale+=("$f" "$obj")
  fi
done
if [[ ${#stale[@]} -gt 0 ]]; then
  echo "== compiling $((${#stale[@]} / 2)) library sources"
  printf '%s\0' "${stale[@]}" |
    xargs -0 -n 2 -P 2 sh -c "$cxx ${flags[*]/fuzzer/fuzzer-no-link} -c \"\$0\" -o \"\$1\""
fi

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  for f in "$root"/tests/fuzz/fuzz_*.cpp; do
    [[ -e $f ]] && targets+=("$(basename "$f" .cpp)")
  done
fi

summary=()
failed=0
for t in "${targets[@]}"; do
  src=$root/tests/fuzz/$t.cpp
  maxLen=$(grep -o 'fuzz-max-len: *[0-9]*' "$src" | grep -o '[0-9]*$' | head -1 || true)
  maxLen=${maxLen:-4096}
  echo "== $t: building"
  "$cxx" "${flags[@]}" "$src" "${objects[@]}" -o "$out/$t"
  corpus=$out/corpus/$t
  crashes=$out/crashes/$t
  mkdir -p "$corpus" "$crashes"
  seeds=()
  [[ -d $root/tests/fuzz/corpus/$t ]] && seeds=("$root/tests/fuzz/corpus/$t")
  for d in $(grep -o 'fuzz-seeds:.*' "$src" | head -1 | cut -d: -f2-); do
    [[ -d $root/$d ]] && seeds+=("$root/$d")
  done
  echo "== $t: running ${seconds}s, max_len $maxLen"
  log=$out/$t.log
  status=0
  "$out/$t" -max_total_time="$seconds" -max_len="$maxLen" -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$corpus" "${seeds[@]}" >"$log" 2>&1 || status=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo '?')
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo '?')
  found=$(find "$crashes" -type f | wc -l)
  line="$t: executions $execs, coverage $cov edges, $ft features, corpus $(ls "$corpus" | wc -l), findings $found, exit $status"
  echo "$line"
  if [[ $status -ne 0 || $found -ne 0 ]]; then
    tail -30 "$log"
    failed=1
  fi
  summary+=("$line")
done

echo "== summary (${seconds}s each)"
printf '%s\n' "${summary[@]}"
exit "$failed"
