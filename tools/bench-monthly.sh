#!/usr/bin/env bash
# Speed of the month-by-month report against the balance of accounts on the same generated
# ledger (1M transactions by default): `mon` must cost no more than twice `acc`.
#   tools/bench-monthly.sh [build-dir]          RUNS=5 SIZE=1000000
# The ledger is generated once into <build-dir>/bench/ (seed 1) and reused. Each command runs
# RUNS times, alternating, output to /dev/null; the table shows the median wall time and its
# ratio to `acc`.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-5}
size=${SIZE:-1000000}
. tools/timing.sh
murex=$(bench_murex "$build")
ledger=$(bench_ledger "$build" "$size")
labels=("acc" "mon" "mon -b" "acc --csv" "mon --csv" "mon -p 2025Q1" "mon -f lunch")
bench_home
measure "$murex" "$ledger" acc >/dev/null  # the ledger into the page cache
declare -A wall=() cpu=() peak=()
one() { timed "$1" "$murex" "$ledger" $1; }  # the label is the command's words
in_turns "$runs" one "${labels[@]}"
base=$(median_of "${wall[acc]}")
printf '%-16s %10s %8s\n' command "median s" "x acc"
for label in "${labels[@]}"; do
  t=$(median_of "${wall[$label]}")
  awk -v l="$label" -v t="$t" -v b="$base" 'BEGIN { printf "%-16s %10.4f %8.2f\n", l, t, t / b }'
done
ratio=$(awk -v t="$(median_of "${wall[mon]}")" -v b="$base" 'BEGIN { printf "%.2f", t / b }')
within=$(awk -v r="$ratio" 'BEGIN { print (r <= 2) ? "within twice" : "MORE THAN TWICE" }')
echo "median of $runs runs on $(basename "$ledger") ($(awk -v b="$(stat -c %s "$ledger")" \
  'BEGIN { printf "%.0f", b / 1e6 }') MB); mon / acc = $ratio: $within"
[ "$within" = "within twice" ]
