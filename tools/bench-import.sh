#!/usr/bin/env bash
# Speed of `import`: a statement of 100,000 rows against the generated 100k ledger, side by
# side with `acc` on the same ledger, in one run.
#   tools/bench-import.sh [build-dir]          RUNS=5 ROWS=100000
# The ledger (seed 1) and the statement (dated after the ledger's end, so every row is new)
# are generated once into <build-dir>/bench/ and reused. The commands alternate, output to
# /dev/null; the table shows the median wall and CPU time.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
murex=$build/murex
runs=${RUNS:-5}
rows=${ROWS:-100000}
[ -x "$murex" ] || { echo "no $murex: build first" >&2; exit 1; }
mkdir -p "$build/bench"
ledger=$build/bench/100000.ledger
[ -f "$ledger" ] || python3 tools/genledger.py --seed 1 --transactions 100000 "$ledger"
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
python3 - "$murex" "$ledger" "$statement" "$runs" <<'PY'
import os, resource, statistics, subprocess, sys, tempfile, time
murex, ledger, statement, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
commands = [("acc", ["acc"]), ("import", ["import", statement])]
home = tempfile.mkdtemp(prefix="murex-bench.")
env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home)
wall = {label: [] for label, _ in commands}
cpu = {label: [] for label, _ in commands}
with open(os.devnull, "wb") as null:
    subprocess.run([murex, ledger, "acc"], stdout=null, env=env, check=True)  # page cache
    for _ in range(runs):
        for label, args in commands:
            before = resource.getrusage(resource.RUSAGE_CHILDREN)
            t0 = time.perf_counter()
            subprocess.run([murex, ledger, *args], stdout=null, stderr=null, env=env, check=True)
            wall[label].append(time.perf_counter() - t0)
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            cpu[label].append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
print("%-8s %10s %10s" % ("command", "wall s", "cpu s"))
for label, _ in commands:
    print("%-8s %10.3f %10.3f" % (label, statistics.median(wall[label]),
                                  statistics.median(cpu[label])))
print("median of %d runs; %s (%.0f MB), %s" % (runs, os.path.basename(ledger),
      os.path.getsize(ledger) / 1e6, os.path.basename(statement)))
PY
