#!/usr/bin/env bash
# Parse time and peak memory for generated ledgers of 10k, 100k and 1M transactions, beside
# the time of `wc -l` on the same file. Medians of RUNS runs (default 5).
#   tools/bench-parse.sh [build-dir]
# The ledgers are generated once into <build-dir>/bench/ and reused. The parse runs the
# parsebench program of the build (read, normalise, parse); set PARSE_CMD to time another
# command instead, e.g. PARSE_CMD="build/murex {} acc" ({} is the ledger).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-5}
sizes=${SIZES:-"10000 100000 1000000"}
parse_cmd=${PARSE_CMD:-"$build/parsebench {}"}
if [ -z "${PARSE_CMD:-}" ] && [ ! -x "$build/parsebench" ]; then
  cmake --build "$build" -j2 --target parsebench >/dev/null
fi
. tools/timing.sh

# One run of wc -l or of the parse on the ledger (file), added to its times.
one() {
  if [ "$1" = wc ]; then timed wc wc -l "$file"; else timed parse $cmd; fi
}

printf '%-12s %8s %9s %9s %9s %9s %7s %8s\n' transactions MB lines "wc-l ms" "parse ms" "cpu ms" ratio "peak MB"
for n in $sizes; do
  file=$(bench_ledger "$build" "$n")
  cmd=${parse_cmd//\{\}/$file}
  declare -A wall=() cpu=() peak=()
  in_turns "$runs" one wc parse
  bytes=$(stat -c %s "$file")
  lines=$(wc -l <"$file")
  awk -v n="$n" -v b="$bytes" -v l="$lines" -v w="$(median_of "${wall[wc]}")" \
      -v p="$(median_of "${wall[parse]}")" -v c="$(median_of "${cpu[parse]}")" \
      -v r="$(median_of "${peak[parse]}")" 'BEGIN {
    printf "%-12d %8.1f %9d %9.1f %9.1f %9.1f %7.1f %8.1f\n", n, b / 1e6, l, w * 1e3, p * 1e3,
           c * 1e3, p / (w > 0 ? w : 1), r / 1024 }'
done
echo "parse ms: wall time of one run; cpu ms: its user + system time; ratio: parse / wc -l"
