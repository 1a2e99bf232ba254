#!/usr/bin/env bash
# Speed and memory of the console reports on generated ledgers of 10k, 100k and 1M
# transactions, against `wc -l` on the same file as the floor, then the viewer's "/" and
# "/style.css" under wrk on the 100k ledger.
#   tools/bench.sh [build-dir]          RUNS=5 SIZES="10000 100000 1000000" WRK_SECONDS=10
# Ledgers are generated once into <build-dir>/bench/ (seed 1) and reused. Each command runs
# RUNS times; the table shows the median wall time and the peak RSS (/usr/bin/time -f %M).
# Set NO_WRK=1 to skip the web part.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-5}
sizes=${SIZES:-"10000 100000 1000000"}
wrkSeconds=${WRK_SECONDS:-10}
. tools/timing.sh
murex=$(bench_murex "$build")

# The account and the kind with the most split lines after the opening transaction, kept
# beside the ledger once counted.
busiest() {
  python3 - "$1" <<'EOF'
import collections, os, sys

path = sys.argv[1]
cache = path + ".busiest"
if os.path.exists(cache) and os.path.getmtime(cache) >= os.path.getmtime(path):
    print(open(cache).read())
    sys.exit()
accounts, kinds = collections.Counter(), collections.Counter()
dated = 0  # dated lines so far: the opening transaction's splits are not counted
with open(path) as f:
    for line in f:
        if line[:1].isdigit():
            dated += 1
        words = line.split(None, 1) if line[:1].isspace() and dated >= 2 else []
        if not words or words[0].startswith(";"):
            continue
        word = words[0]
        account, _, kind = word.partition(":")
        accounts[account] += 1
        if kind:
            kinds[kind] += 1
names = " ".join([accounts.most_common(1)[0][0], kinds.most_common(1)[0][0]])
with open(cache, "w") as f:
    f.write(names)
print(names)
EOF
}

# The figures of one row: the median wall time, the largest peak RSS in bytes and the median
# CPU seconds of the label's runs.
figures() {
  echo "$(median_of "${wall[$1]}") $(tr ' ' '\n' <<<"${peak[$1]}" | grep . | sort -n |
    tail -1 | awk '{ print $1 * 1024 }') $(median_of "${cpu[$1]}")"
}

printf '%-18s %8s %8s %9s %8s %8s %8s %6s\n' command N "file MB" "median s" "x floor" \
  "RSS MB" "RSS/file" "cpu s"
for n in $sizes; do
  path=$(bench_ledger "$build" "$n")
  size=$(stat -c %s "$path")
  read -r account kind < <(busiest "$path")
  measure /usr/bin/wc -l "$path" >/dev/null  # the file into the page cache
  declare -A wall=() cpu=() peak=()
  labels=("wc -l" "acc" "acc $account" "inv" "inv $kind")
  one() {
    if [ "$1" = "wc -l" ]; then timed "$1" /usr/bin/wc -l "$path"
    else timed "$1" "$murex" "$path" $1; fi  # the label is the command's words
  }
  for label in "${labels[@]}"; do in_turns "$runs" one "$label"; done
  read -r floor _ _ < <(figures "wc -l")
  for label in "${labels[@]}"; do
    read -r t m c < <(figures "$label")
    awk -v l="$label" -v n="$n" -v s="$size" -v t="$t" -v f="$floor" -v m="$m" -v c="$c" \
      'BEGIN { printf "%-18s %8s %8.1f %9.4f %8.1f %8.1f %8.2f %6.2f\n", l, n, s / 1e6, t,
               t / f, m / 1e6, m / s, c }'
  done
done
echo "median of $runs runs; x floor: time / time of wc -l; RSS: peak resident set;" \
  "cpu: user + system seconds (median)"

[ -n "${NO_WRK:-}" ] && exit 0
command -v wrk >/dev/null || { echo "wrk is missing (apt-get install -y wrk)" >&2; exit 1; }
ledger=$(bench_ledger "$build" 100000)
out=$(mktemp)
home=$(mktemp -d)
HOME=$home XDG_CONFIG_HOME=$home "$murex" "$ledger" web >"$out" 2>/dev/null &
pid=$!
trap 'kill $pid 2>/dev/null || true; rm -rf "$out" "$out.wrk" "$home"' EXIT
port=
for _ in $(seq 50); do
  port=$(grep -o 'localhost:[0-9]*' "$out" | grep -o '[0-9]*$' || true)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "the viewer did not start" >&2; exit 1; }
echo
printf '%-12s %12s %10s %10s %8s\n' route requests/s "avg lat" "p99 lat" errors
for route in / /style.css; do
  wrk -t1 -c8 -d"${wrkSeconds}s" --latency "http://127.0.0.1:$port$route" >"$out.wrk"
  awk -v route="$route" '
    /Requests\/sec/ { rps = $2 }
    /^    Latency/ { avg = $2 }
    / 99%/ { p99 = $2 }
    /Socket errors/ { split($0, e, /[ ,]+/); errs += e[4] + e[6] + e[8] + e[10] }
    /Non-2xx/ { errs += $NF }
    END { printf "%-12s %12s %10s %10s %8d\n", route, rps, avg, p99, errs }' "$out.wrk"
done
curl -s "http://127.0.0.1:$port/quit" >/dev/null || true
wait $pid || true
echo "wrk -t1 -c8 -d${wrkSeconds}s, keep-alive, 100k ledger"
