#!/usr/bin/env bash
# Times `murex FILE acc` for two binaries side by side in one run, one after the other, and
# prints the medians of RUNS runs (default 7) of wall time, CPU time (user + system) and
# peak memory, with the new binary's figures as a share of the old one's.
#   tools/time-acc.sh OLD NEW FILE
set -euo pipefail
old=$1
new=$2
file=$3
runs=${RUNS:-7}
if [ ! -x /usr/bin/time ]; then
  echo "needs /usr/bin/time (Debian package 'time')" >&2
  exit 1
fi
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
declare -A wall cpu rss
for _ in $(seq "$runs"); do
  for side in old new; do
    bin=$old
    [ "$side" = new ] && bin=$new
    read -r e u s m < <(/usr/bin/time -f '%e %U %S %M' "$bin" "$file" acc 2>&1 >/dev/null | tail -1)
    wall[$side]+="$e "
    cpu[$side]+="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') "
    rss[$side]+="$m "
  done
done
bytes=$(stat -c %s "$file")
printf '%-5s %8s %8s %9s %9s\n' "" "wall s" "cpu s" "peak MB" "RSS/file"
for side in old new; do
  w=$(tr ' ' '\n' <<<"${wall[$side]}" | grep . | median)
  c=$(tr ' ' '\n' <<<"${cpu[$side]}" | grep . | median)
  r=$(tr ' ' '\n' <<<"${rss[$side]}" | grep . | median)
  eval "${side}_w=$w ${side}_c=$c ${side}_r=$r"
  awk -v n="$side" -v w="$w" -v c="$c" -v r="$r" -v b="$bytes" \
    'BEGIN { printf "%-5s %8.3f %8.3f %9.1f %9.2f\n", n, w, c, r / 1024, r * 1024 / b }'
done
awk -v ow="$old_w" -v nw="$new_w" -v oc="$old_c" -v nc="$new_c" \
  'BEGIN { printf "new/old: wall %.2f, cpu %.2f\n", nw / ow, nc / oc }'
