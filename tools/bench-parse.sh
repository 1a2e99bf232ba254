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
mkdir -p "$build/bench"
if [ -z "${PARSE_CMD:-}" ] && [ ! -x "$build/parsebench" ]; then
  cmake --build "$build" -j2 --target parsebench >/dev/null
fi
if [ ! -x /usr/bin/time ]; then
  echo "needs /usr/bin/time (Debian package 'time')" >&2
  exit 1
fi

now_ns() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-12s %8s %9s %9s %9s %9s %7s %8s\n' transactions MB lines "wc-l ms" "parse ms" "cpu ms" ratio "peak MB"
for n in $sizes; do
  file="$build/bench/$n.ledger"
  [ -f "$file" ] || python3 tools/genledger.py --seed 1 --transactions "$n" "$file"
  cmd=${parse_cmd//\{\}/$file}
  wc_times=() parse_times=() cpu_times=() rss=()
  for _ in $(seq "$runs"); do
    t0=$(now_ns); wc -l "$file" >/dev/null; t1=$(now_ns)
    wc_times+=($(( (t1 - t0) / 1000 )))
    t0=$(now_ns)
    read -r user sys kb < <(/usr/bin/time -f '%U %S %M' $cmd 2>&1 >/dev/null | tail -1)
    t1=$(now_ns)
    parse_times+=($(( (t1 - t0) / 1000 )))
    cpu_times+=($(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%d", (u + s) * 1e6 }'))
    rss+=("$kb")
  done
  wc_us=$(printf '%s\n' "${wc_times[@]}" | median)
  parse_us=$(printf '%s\n' "${parse_times[@]}" | median)
  cpu_us=$(printf '%s\n' "${cpu_times[@]}" | median)
  rss_kb=$(printf '%s\n' "${rss[@]}" | median)
  bytes=$(stat -c %s "$file")
  lines=$(wc -l <"$file")
  awk -v n="$n" -v b="$bytes" -v l="$lines" -v w="$wc_us" -v p="$parse_us" -v c="$cpu_us" \
      -v r="$rss_kb" 'BEGIN {
    printf "%-12d %8.1f %9d %9.1f %9.1f %9.1f %7.1f %8.1f\n", n, b / 1e6, l, w / 1e3, p / 1e3,
           c / 1e3, p / (w > 0 ? w : 1), r / 1024 }'
done
echo "parse ms: wall time of one run; cpu ms: its user + system time; ratio: parse / wc -l"
