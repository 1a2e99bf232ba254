#!/usr/bin/env bash
# Runs two murex binaries over the same ledgers and commands and compares what they print
# (standard output, standard error, exit status) byte for byte.
#   tools/compare-outputs.sh OLD NEW [LEDGER_DIR]
# The ledgers: every example, every ledger under tests/ledgers, and the generated ledgers
# LEDGER_DIR/*.ledger (made with tools/genledger.py; LEDGER_DIR defaults to build/bench),
# each also with a fault near its middle so that a framed error from a large file is compared.
# The viewer is compared too: over the example and the generated ledgers both binaries serve
# the same requests (every route, with and without a period in the address), and status,
# headers and body of each answer are compared.
# Prints one line per difference and a summary; exit status 1 when anything differs.
set -uo pipefail
cd "$(dirname "$0")/.."
old=$1
new=$2
ledgers=${3:-build/bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# No configuration of the person running this: each run gets its own (or none).
mkdir -p "$work/home"
export HOME=$work/home
unset XDG_CONFIG_HOME

commands=(
  "acc" "acc 1" "acc 3" "acc 7" "inv" "inv 1" "inv 2" "nop"
  "-p 2024Q2 -f market acc 3" "-p 2003H1 -f -fee acc 1" "-F -p M3 -f +rent acc 2"
  "-a acc" "-p 2001 inv 1" "acc Bnk" "-p 1999Q1 acc"
  "mon" "-b mon" "mon 1" "-f market mon" "--csv acc" "--json acc" "--csv -f market acc 3"
  "--json acc 1" "--csv inv" "--json inv 1" "--csv mon" "--json -b mon 2" "check" "names"
)

runs=0
diffs=0
compare() {  # config-dir ledger words...
  local config=$1 file=$2
  shift 2
  local tag=$work/out
  for bin in "$old" "$new"; do
    local side=a
    [ "$bin" = "$new" ] && side=b
    if [ -n "$config" ]; then
      XDG_CONFIG_HOME=$config "$bin" "$file" "$@" >"$tag.$side.out" 2>"$tag.$side.err"
    else
      "$bin" "$file" "$@" >"$tag.$side.out" 2>"$tag.$side.err"
    fi
    echo $? >"$tag.$side.rc"
  done
  runs=$((runs + 1))
  for part in out err rc; do
    if ! cmp -s "$tag.a.$part" "$tag.b.$part"; then
      echo "DIFFERS ($part): $file $*"
      diffs=$((diffs + 1))
    fi
  done
}

run_all() {  # config-dir ledger
  for c in "${commands[@]}"; do
    # shellcheck disable=SC2086
    compare "$1" "$2" $c
  done
}

# A configuration folder holding murex/murex.ini, for the examples that bring one.
configured=$work/config
for f in examples/*.ledger tests/ledgers/good/*.ledger tests/ledgers/bad/*.ledger; do
  run_all "" "$f"
done
for d in examples/*/; do
  for f in "$d"*; do
    [ "$(basename "$f")" = murex.ini ] && continue
    if [ -f "$d/murex.ini" ]; then
      mkdir -p "$configured/murex"
      cp "$d/murex.ini" "$configured/murex/murex.ini"
      run_all "$configured" "$f"
    else
      run_all "" "$f"
    fi
  done
done
for f in "$ledgers"/*.ledger; do
  [ -f "$f" ] || continue
  run_all "" "$f"
  # The same ledger with a word after an amount near its middle, and with a date too early.
  lines=$(wc -l <"$f")
  mid=$((lines / 2))
  plain='^    [A-Za-z]+[0-9]* -?[0-9]+\.[0-9][0-9]$'
  at=$(awk -v m="$mid" -v re="$plain" 'NR >= m && $0 ~ re { print NR; exit }' "$f")
  awk -v a="$at" 'NR == a { $0 = $0 " extra" } { print }' "$f" >"$work/fault.ledger"
  compare "" "$work/fault.ledger" acc
  awk -v a="$mid" 'NR > a && /^[0-9]/ && !done { sub(/^[0-9]+/, "1999"); done = 1 } { print }' \
    "$f" >"$work/fault.ledger"
  compare "" "$work/fault.ledger" acc
  # And a transaction that does not add up, found at the next date line: its report quotes
  # the lines around its last split.
  at=$(awk -v m="$mid" -v re="$plain" 'NR > m && prev ~ re && /^[0-9]/ { print NR - 1; exit }
                                      { prev = $0 }' "$f")
  awk -v a="$at" 'NR == a { sub(/[0-9]$/, ($0 ~ /0$/ ? "1" : "0")) } { print }' "$f" \
    >"$work/fault.ledger"
  compare "" "$work/fault.ledger" acc
done

# One server of each binary on the ledger; the same requests to both, in the same order.
serve_compare() {  # ledger
  local file=$1 ports=() pids=() month
  month=$(awk '/^[0-9]{4}-[0-9]{2}-[0-9]{2}/ { d = substr($1, 1, 7) } END { print d }' "$file")
  for bin in "$old" "$new"; do
    "$bin" "$file" >"$work/serve.out" 2>/dev/null &
    pids+=($!)
    local port=""
    for _ in $(seq 100); do
      port=$(sed -n 's|.*http://localhost:\([0-9]*\)/.*|\1|p' "$work/serve.out")
      [ -n "$port" ] && break
      sleep 0.1
    done
    ports+=("$port")
  done
  local paths=(
    / /account/0 /account/1 /account/3 /account/1/"$month" "/filter/1?a" "/filter/1/$month?a"
    "/rows/account/1?from=0&to=40&frame=1" "/rows/account/1/$month?from=5&to=9&f=a"
    /trans/1 /sumsel/1,2 /inv/0 /inv/1 /monthly /monthly/1 /monthly/balance /monthly/balance/2
    /csv/accounts /csv/account/1 "/csv/account/1/$month?a" /csv/inventory /csv/inv/0
    /csv/monthly /csv/monthly/1 /csv/monthly/balance /csv/monthly/balance/2
    "/chart/account/1?w=600" "/chart/account/1/$month?w=300&f=a" "/chart/inv/0?w=500"
    /chart/balance /chart/stack/0 /chart/expenses /chart/income
    /account/999999 /account/99999999999999999999 /nothing /account/1/1999-01
  )
  local sequence=()
  for p in "${paths[@]}"; do sequence+=("$p" "/p/${month:0:4}Q2$p" "/p/Y+future$p"); done
  sequence+=(/period/Q1 / /account/1 /toggleFuture / /monthly /p/1800Y/ /period/x /)
  for p in "${sequence[@]}"; do
    for side in a b; do
      local port=${ports[0]}
      [ $side = b ] && port=${ports[1]}
      curl -s -i --max-time 20 "http://127.0.0.1:$port$p" | grep -av '^[Dd]ate: ' >"$work/web.$side"
    done
    runs=$((runs + 1))
    if ! cmp -s "$work/web.a" "$work/web.b"; then
      echo "DIFFERS (web): $file $p"
      diffs=$((diffs + 1))
    fi
  done
  kill "${pids[@]}" 2>/dev/null
  wait "${pids[@]}" 2>/dev/null
}
for f in examples/*.ledger "$ledgers"/*.ledger; do
  [ -f "$f" ] && serve_compare "$f"
done
echo "$runs runs, $diffs differences"
[ "$diffs" -eq 0 ]
