#!/usr/bin/env bash
# The cost of many accounts, for two binaries side by side in one run: `acc` on the console
# and the viewer's /chart/balance and /csv/monthly, over generated ledgers with 25k and 100k
# accounts side by side and a chain 5,000 deep. Prints the median wall and CPU seconds of
# RUNS runs (default 3); a run past LIMIT seconds (default 60) is cut and shown as ">LIMIT".
#   tools/bench-accounts.sh OLD NEW [dir]
set -euo pipefail
declare -A bins=([old]=$1 [new]=$2)
dir=${3:-build/bench-accounts}
runs=${RUNS:-3}
limit=${LIMIT:-60}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/timing.sh"
mkdir -p "$dir"
export HOME=$dir XDG_CONFIG_HOME=$dir
declare -A ledgers=([flat25k]="--accounts 25000" [flat100k]="--accounts 100000" [deep5k]="--depth 5000")
for name in flat25k flat100k deep5k; do
  [ -s "$dir/$name.ledger" ] || python3 "$here/genledger.py" --transactions 20000 \
    ${ledgers[$name]} "$dir/$name.ledger"
done

# Seconds of wall and CPU of one console run, or ">limit".
console() {
  local tf
  tf=$(mktemp)
  /usr/bin/time -o "$tf" -f '%e %U %S' timeout "$limit" "$@" >/dev/null 2>&1 || true
  read -r e u s < <(tail -1 "$tf")
  rm -f "$tf"
  if awk -v e="$e" -v l="$limit" 'BEGIN { exit !(e >= l) }'; then echo ">$limit >$limit"; return; fi
  awk -v e="$e" -v u="$u" -v s="$s" 'BEGIN { printf "%.3f %.3f\n", e, u + s }'
}

# Seconds of one answer of a viewer started on the ledger (wall; CPU of the viewer).
route() {
  local bin=$1 ledger=$2 path=$3 out port pid t0 t1 c0 c1
  out=$(mktemp)
  "$bin" "$ledger" >"$out" 2>/dev/null &
  pid=$!
  for _ in $(seq 100); do grep -q 'localhost:' "$out" && break; sleep 0.1; done
  port=$(grep -o 'localhost:[0-9]*' "$out" | cut -d: -f2)
  curl -s -o /dev/null "http://127.0.0.1:$port/changed"
  c0=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  t0=$(date +%s.%N)
  if ! curl -s -m "$limit" -o /dev/null "http://127.0.0.1:$port$path"; then
    kill "$pid"; wait "$pid" 2>/dev/null || true; rm -f "$out"; echo ">$limit >$limit"; return
  fi
  t1=$(date +%s.%N)
  c1=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  rm -f "$out"
  awk -v a="$t0" -v b="$t1" -v c="$c0" -v d="$c1" -v hz="$(getconf CLK_TCK)" \
    'BEGIN { printf "%.3f %.3f\n", b - a, (d - c) / hz }'
}

# One run of the ledger's command (what) by the side's binary, added to its times.
one() {
  local r w c
  if [ "$what" = acc ]; then r=$(console "${bins[$1]}" "$ledger" acc)
  else r=$(route "${bins[$1]}" "$ledger" "$what"); fi
  read -r w c <<<"$r"
  wall[$1]+="$w " cpu[$1]+="$c "
}
# The median of a side's times; a run that was cut counts as the limit.
m() {
  local v
  v=$(median_of "${1//>/}")
  awk -v v="$v" -v l="$limit" 'BEGIN { if (v >= l) print ">" l; else print v }'
}

printf '%-10s %-14s %10s %10s %10s %10s\n' ledger what "old wall" "old cpu" "new wall" "new cpu"
for name in flat25k flat100k deep5k; do
  ledger=$dir/$name.ledger
  for what in acc /chart/balance /csv/monthly; do
    declare -A wall=() cpu=()
    in_turns "$runs" one old new
    printf '%-10s %-14s %10s %10s %10s %10s\n' "$name" "$what" \
      "$(m "${wall[old]}")" "$(m "${cpu[old]}")" "$(m "${wall[new]}")" "$(m "${cpu[new]}")"
  done
done
