#!/usr/bin/env bash
# Times the console reports of two binaries side by side in one run, in turns, and prints the
# medians of RUNS runs (default 11) of wall and CPU time (user + system) for each report,
# with the new binary's CPU time as a share of the old one's.
#   tools/bench-reports.sh OLD NEW FILE [ACCOUNT]
# ACCOUNT (default: the first account of the file's opening) is the one `acc` and `--json
# acc` report on; the other reports are the balance and the accounts month by month.
set -euo pipefail
. "$(dirname "$0")/timing.sh"
declare -A bins=([old]=$1 [new]=$2)
file=$3
account=${4:-$(awk 'NR > 2 && /^ +[A-Za-z]/ { print $1; exit }' "$file")}
runs=${RUNS:-11}
bench_home
reports=("acc" "acc $account" "mon" "--csv mon" "--json acc $account")
declare -A wall=() cpu=() peak=()
one() {
  local r side
  for r in "${!reports[@]}"; do
    for side in old new; do
      # shellcheck disable=SC2086
      timed "$side$r" "${bins[$side]}" "$file" ${reports[$r]}
    done
  done
}
in_turns "$runs" one all
printf '%-24s %10s %10s %10s %10s %8s\n' report "old wall" "new wall" "old cpu" "new cpu" new/old
for r in "${!reports[@]}"; do
  ow=$(median_of "${wall[old$r]}") nw=$(median_of "${wall[new$r]}")
  oc=$(median_of "${cpu[old$r]}") nc=$(median_of "${cpu[new$r]}")
  awk -v n="${reports[$r]}" -v ow="$ow" -v nw="$nw" -v oc="$oc" -v nc="$nc" \
    'BEGIN { printf "%-24s %10.3f %10.3f %10.3f %10.3f %8.2f\n", n, ow, nw, oc, nc,
             nc / (oc > 0 ? oc : 1) }'
done
