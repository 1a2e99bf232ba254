#!/usr/bin/env bash
# Runs two murex binaries over the same ledgers and commands and compares what they print
# (standard output, standard error, exit status) byte for byte.
#   tools/compare-outputs.sh OLD NEW [LEDGER_DIR]
# The ledgers: every example, every ledger under tests/ledgers, and the generated ledgers
# LEDGER_DIR/*.ledger (made with tools/genledger.py; LEDGER_DIR defaults to build/bench),
# each also with a fault near its middle so that a framed error from a large file is compared.
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
echo "$runs runs, $diffs differences"
[ "$diffs" -eq 0 ]
