#!/usr/bin/env bash
# Speed of `import`: a statement of 100,000 rows against the generated 100k ledger, side by
# side with `acc` on the same ledger, in one run.
#   tools/bench-import.sh [build-dir]          RUNS=5 ROWS=100000 SIZE=100000
# The ledger (seed 1) and the statement (dated after the ledger's end, so every row is new)
# are generated once into <build-dir>/bench/ and reused. The commands alternate, output to
# /dev/null; the table shows the median wall and CPU time.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-5}
rows=${ROWS:-100000}
. tools/timing.sh
murex=$(bench_murex "$build")
ledger=$(bench_ledger "$build" "${SIZE:-100000}")
statement=$build/bench/statement-$rows.csv
python3 - "$statement" "$rows" <<'PY'
import datetime, os, random, sys
path, rows = sys.argv[1], int(sys.argv[2])
if not os.path.exists(path):
    rng = random.Random(1)
    words = "market grocery rent fuel train coffee books lunch bakery phone taxi hotel".split()
    start = datetime.date(2026, 1, 1).toordinal()
    with open(path, "w") as f:
        f.write("Date,Payee,Memo,Amount,Id\n")
        for i in range(rows):
            day = datetime.date.fromordinal(start + i * 300 // rows)
            payee = " ".join(rng.choice(words) for _ in range(rng.randrange(1, 4)))
            cents = rng.randrange(-100000, 100000)
            f.write(f'{day.isoformat()},"{payee}",ref {i},{cents / 100:.2f},T{i}\n')
    with open(path + ".rules", "w") as f:
        f.write("[csv]\nskip = 1\ndate = Date\namount = Amount\ndescription = Payee Memo\n"
                "id = Id\n[ledger]\naccount = AssBank1\nunknown = ExpMisc1\n[match]\n"
                "coffee lunch = ExpFood1\n")
PY
bench_home
measure "$murex" "$ledger" acc >/dev/null  # the ledger into the page cache
declare -A wall=() cpu=() peak=()
one() {
  case $1 in
    acc) timed acc "$murex" "$ledger" acc ;;
    import) timed import "$murex" "$ledger" import "$statement" ;;
  esac
}
in_turns "$runs" one acc import
printf '%-8s %10s %10s\n' command "wall s" "cpu s"
for label in acc import; do
  printf '%-8s %10.3f %10.3f\n' "$label" "$(median_of "${wall[$label]}")" \
    "$(median_of "${cpu[$label]}")"
done
echo "median of $runs runs; $(basename "$ledger") ($(awk -v b="$(stat -c %s "$ledger")" \
  'BEGIN { printf "%.0f", b / 1e6 }') MB), $(basename "$statement")"
