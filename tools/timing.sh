# timing.sh: the one way the timing scripts of tools/ time a command and take medians.
# Sourced, not run:  . "$(dirname "$0")/timing.sh"
#   median                    the median of the numbers on standard input, one a line
#   median_of "A B C"         the median of numbers separated by blanks
#   measure CMD...            one run of CMD, its output to /dev/null: "wall cpu peak", the
#                             wall and user + system seconds and the peak RSS in kB; the
#                             status is CMD's
#   timed LABEL CMD...        measure CMD, its figures added to the lists wall[LABEL],
#                             cpu[LABEL] and peak[LABEL] (associative arrays the caller
#                             declares: declare -A wall=() cpu=() peak=())
#   in_turns RUNS FN WORD...  FN WORD for each word in turn, RUNS times over: a busy moment
#                             of the machine hits every one of them alike
#   bench_murex BUILD         the path of BUILD's murex, or a failure when it is not built
#   bench_home                HOME and XDG_CONFIG_HOME an empty folder, so that no settings
#                             file of the user changes what is timed
#   bench_ledger BUILD N      the path of the generated ledger of N transactions (seed 1) in
#                             BUILD/bench/, written the first time

# The middle value, or the mean of the two middle ones of an even count (as Python's
# statistics.median and tools/timing.mjs take it).
median() {
  sort -g | awk '{ v[NR] = $1 }
    END { if (NR == 0) exit 1
          printf "%.10g\n", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

median_of() { tr ' ' '\n' <<<"$1" | grep . | median; }

measure() {
  local tf t0 t1 status=0 u s m
  [ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install -y time)" >&2; return 1; }
  tf=$(mktemp)
  t0=$(date +%s%N)
  /usr/bin/time -o "$tf" -f '%U %S %M' "$@" >/dev/null 2>/dev/null || status=$?
  t1=$(date +%s%N)
  read -r u s m < <(tail -1 "$tf")
  rm -f "$tf"
  [ "$status" -eq 0 ] || { echo "failed ($status): $*" >&2; return "$status"; }
  awk -v t0="$t0" -v t1="$t1" -v u="$u" -v s="$s" -v m="$m" \
    'BEGIN { printf "%.6f %.2f %d\n", (t1 - t0) / 1e9, u + s, m }'
}

timed() {
  local label=$1 r w c m
  shift
  r=$(measure "$@")
  read -r w c m <<<"$r"
  wall[$label]+="$w " cpu[$label]+="$c " peak[$label]+="$m "
}

in_turns() {
  local runs=$1 fn=$2 _ word
  shift 2
  for _ in $(seq "$runs"); do
    for word in "$@"; do "$fn" "$word"; done
  done
}

bench_murex() {
  [ -x "$1/murex" ] || { echo "no $1/murex: build first" >&2; return 1; }
  echo "$1/murex"
}

bench_home() {
  HOME=$(mktemp -d "${TMPDIR:-/tmp}/murex-bench.XXXXXX")
  export HOME XDG_CONFIG_HOME=$HOME
}

bench_ledger() {
  local file=$1/bench/$2.ledger
  mkdir -p "$1/bench"
  [ -f "$file" ] || python3 "$(dirname "${BASH_SOURCE[0]}")/genledger.py" --seed 1 \
    --transactions "$2" "$file" >&2
  echo "$file"
}
