#!/usr/bin/env bash
# Times `murex FILE acc` for two binaries side by side in one run, one after the other, and
# prints the medians of RUNS runs (default 7) of wall time, CPU time (user + system) and
# peak memory, with the new binary's figures as a share of the old one's.
#   tools/time-acc.sh OLD NEW FILE
set -euo pipefail
. "$(dirname "$0")/timing.sh"
declare -A bins=([old]=$1 [new]=$2)
file=$3
runs=${RUNS:-7}
declare -A wall=() cpu=() peak=()
one() { timed "$1" "${bins[$1]}" "$file" acc; }
in_turns "$runs" one old new
bytes=$(stat -c %s "$file")
printf '%-5s %8s %8s %9s %9s\n' "" "wall s" "cpu s" "peak MB" "RSS/file"
for side in old new; do
  w=$(median_of "${wall[$side]}")
  c=$(median_of "${cpu[$side]}")
  r=$(median_of "${peak[$side]}")
  eval "${side}_w=$w ${side}_c=$c ${side}_r=$r"
  awk -v n="$side" -v w="$w" -v c="$c" -v r="$r" -v b="$bytes" \
    'BEGIN { printf "%-5s %8.3f %8.3f %9.1f %9.2f\n", n, w, c, r / 1024, r * 1024 / b }'
done
awk -v ow="$old_w" -v nw="$new_w" -v oc="$old_c" -v nc="$new_c" \
  'BEGIN { printf "new/old: wall %.2f, cpu %.2f\n", nw / ow, nc / (oc > 0 ? oc : 1) }'
