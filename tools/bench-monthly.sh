#!/usr/bin/env bash
# Speed of the month-by-month report against the balance of accounts on the same generated
# ledger (1M transactions by default): `mon` must cost no more than twice `acc`.
#   tools/bench-monthly.sh [build-dir]          RUNS=5 SIZE=1000000
# The ledger is generated once into <build-dir>/bench/ (seed 1) and reused. Each command runs
# RUNS times, alternating, output to /dev/null; the table shows the median wall time and its
# ratio to `acc`.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
murex=$build/murex
runs=${RUNS:-5}
size=${SIZE:-1000000}
[ -x "$murex" ] || { echo "no $murex: build first" >&2; exit 1; }
mkdir -p "$build/bench"
ledger=$build/bench/$size.ledger
[ -f "$ledger" ] || python3 tools/genledger.py --seed 1 --transactions "$size" "$ledger"

python3 - "$murex" "$ledger" "$runs" <<'PY'
import os, statistics, subprocess, sys, tempfile, time

murex, ledger, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
commands = [("acc", ["acc"]), ("mon", ["mon"]), ("mon -b", ["mon", "-b"]),
            ("acc --csv", ["acc", "--csv"]), ("mon --csv", ["mon", "--csv"]),
            ("mon -p 2025Q1", ["mon", "-p", "2025Q1"]), ("mon -f lunch", ["mon", "-f", "lunch"])]
home = tempfile.mkdtemp(prefix="murex-bench.")
env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home)
times = {label: [] for label, _ in commands}
with open(os.devnull, "wb") as null:
    subprocess.run([murex, ledger, "acc"], stdout=null, env=env, check=True)  # page cache
    for _ in range(runs):
        for label, args in commands:  # alternating, so that a busy moment hits all of them
            t0 = time.perf_counter()
            subprocess.run([murex, ledger, *args], stdout=null, env=env, check=True)
            times[label].append(time.perf_counter() - t0)
base = statistics.median(times["acc"])
print("%-16s %10s %8s" % ("command", "median s", "x acc"))
for label, _ in commands:
    t = statistics.median(times[label])
    print("%-16s %10.4f %8.2f" % (label, t, t / base))
ratio = statistics.median(times["mon"]) / base
print("median of %d runs on %s (%.0f MB); mon / acc = %.2f: %s" % (
    runs, os.path.basename(ledger), os.path.getsize(ledger) / 1e6, ratio,
    "within twice" if ratio <= 2 else "MORE THAN TWICE"))
sys.exit(0 if ratio <= 2 else 1)
PY
