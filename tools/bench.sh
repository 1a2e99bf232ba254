#!/usr/bin/env bash
# Speed and memory of the console reports on generated ledgers of 10k, 100k and 1M
# transactions, against `wc -l` on the same file as the floor, then the viewer's "/" and
# "/style.css" under wrk on the 100k ledger.
#   tools/bench.sh [build-dir]          RUNS=5 SIZES="10000 100000 1000000" WRK_SECONDS=10
# Ledgers are generated once into <build-dir>/bench/ (seed 1) and reused. Each command runs
# RUNS times; the table shows the median wall time and the peak RSS (/usr/bin/time -f %M).
# Set NO_WRK=1 to skip the web part.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
murex=$build/murex
runs=${RUNS:-5}
sizes=${SIZES:-"10000 100000 1000000"}
wrkSeconds=${WRK_SECONDS:-10}
[ -x "$murex" ] || { echo "no $murex: build first" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install -y time)" >&2; exit 1; }
mkdir -p "$build/bench"
for n in $sizes; do
  f=$build/bench/$n.ledger
  [ -f "$f" ] || python3 tools/genledger.py --seed 1 --transactions "$n" "$f"
done

# The timing loop: each command under /usr/bin/time with stdout to /dev/null, the wall time
# taken around it; a failing command stops the benchmark.
python3 - "$murex" "$runs" "$build/bench" $sizes <<'EOF'
import collections, os, statistics, sys, time

murex, runs, folder, sizes = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4:]

def run(argv):
    # /usr/bin/time reports the peak RSS of the command (its own few pages before the exec
    # included, as the kernel counts them); the wall time is taken around it.
    r, w = os.pipe()
    t0 = time.perf_counter()
    pid = os.fork()
    if pid == 0:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 1)
        os.dup2(w, 2)
        os.execv("/usr/bin/time", ["/usr/bin/time", "-f", "%M %U %S"] + argv)
    os.close(w)
    _, status = os.waitpid(pid, 0)
    t1 = time.perf_counter()
    report = os.read(r, 65536).decode().split()
    os.close(r)
    if status != 0 or len(report) < 3:
        sys.exit("failed (status %d): %s" % (status, " ".join(argv)))
    return t1 - t0, int(report[-3]) * 1024, float(report[-2]) + float(report[-1])

def busiest(path):
    """The account and the kind with the most split lines after the opening transaction."""
    cache = path + ".busiest"
    if os.path.exists(cache) and os.path.getmtime(cache) >= os.path.getmtime(path):
        return open(cache).read().split()
    accounts, kinds = collections.Counter(), collections.Counter()
    dated = 0  # dated lines so far: the opening transaction's splits are not counted
    with open(path) as f:
        for line in f:
            if line[:1].isdigit():
                dated += 1
            words = line.split(None, 1) if line[:1].isspace() and dated >= 2 else []
            if not words or words[0].startswith(";"):
                continue
            word = words[0]
            account, _, kind = word.partition(":")
            accounts[account] += 1
            if kind:
                kinds[kind] += 1
    names = [accounts.most_common(1)[0][0], kinds.most_common(1)[0][0]]
    with open(cache, "w") as f:
        f.write(" ".join(names))
    return names

def median(argv):
    times, rss, cpu = [], [], []
    for _ in range(runs):
        t, m, c = run(argv)
        times.append(t)
        rss.append(m)
        cpu.append(c)
    return statistics.median(times), max(rss), statistics.median(cpu)

wc = "/usr/bin/wc"
print("%-18s %8s %8s %9s %8s %8s %8s %6s" % ("command", "N", "file MB", "median s", "x floor",
                                             "RSS MB", "RSS/file", "cpu s"))
for n in sizes:
    path = os.path.join(folder, n + ".ledger")
    size = os.path.getsize(path)
    account, kind = busiest(path)
    run([wc, "-l", path])  # the file into the page cache
    floor, floorRss, floorCpu = median([wc, "-l", path])
    rows = [("wc -l", floor, floorRss, floorCpu)]
    for label, args in (("acc", ["acc"]), ("acc " + account, ["acc", account]),
                        ("inv", ["inv"]), ("inv " + kind, ["inv", kind])):
        rows.append((label,) + median([murex, path] + args))
    for label, t, m, c in rows:
        print("%-18s %8s %8.1f %9.4f %8.1f %8.1f %8.2f %6.2f" % (label, n, size / 1e6, t,
                                                                t / floor, m / 1e6, m / size, c))
    sys.stdout.flush()
print("median of %d runs; x floor: time / time of wc -l; RSS: peak resident set; "
      "cpu: user + system seconds (median)" % runs)
EOF

[ -n "${NO_WRK:-}" ] && exit 0
command -v wrk >/dev/null || { echo "wrk is missing (apt-get install -y wrk)" >&2; exit 1; }
ledger=$build/bench/100000.ledger
[ -f "$ledger" ] || python3 tools/genledger.py --seed 1 --transactions 100000 "$ledger"
out=$(mktemp)
home=$(mktemp -d)
HOME=$home XDG_CONFIG_HOME=$home "$murex" "$ledger" web >"$out" 2>/dev/null &
pid=$!
trap 'kill $pid 2>/dev/null || true; rm -rf "$out" "$out.wrk" "$home"' EXIT
port=
for _ in $(seq 50); do
  port=$(grep -o 'localhost:[0-9]*' "$out" | grep -o '[0-9]*$' || true)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "the viewer did not start" >&2; exit 1; }
echo
printf '%-12s %12s %10s %10s %8s\n' route requests/s "avg lat" "p99 lat" errors
for route in / /style.css; do
  wrk -t1 -c8 -d"${wrkSeconds}s" --latency "http://127.0.0.1:$port$route" >"$out.wrk"
  awk -v route="$route" '
    /Requests\/sec/ { rps = $2 }
    /^    Latency/ { avg = $2 }
    / 99%/ { p99 = $2 }
    /Socket errors/ { split($0, e, /[ ,]+/); errs += e[4] + e[6] + e[8] + e[10] }
    /Non-2xx/ { errs += $NF }
    END { printf "%-12s %12s %10s %10s %8d\n", route, rps, avg, p99, errs }' "$out.wrk"
done
curl -s "http://127.0.0.1:$port/quit" >/dev/null || true
wait $pid || true
echo "wrk -t1 -c8 -d${wrkSeconds}s, keep-alive, 100k ledger"
