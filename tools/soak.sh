#!/usr/bin/env bash
# Soak test of the viewer: the server on the 100k ledger under wrk on "/" for SECONDS
# (default 60) while a second process rewrites the ledger every second (valid, faulty, the
# other valid version, faulty, ...) and checks each reload through "/changed" and "/", and a
# third opens and drops 500 idle connections over and over. Checks that every request was
# answered, every reload showed the right page, the memory stayed flat, and "/quit" ended
# the server with status 0 and "Bye".
#   tools/soak.sh [build-dir] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-60}
[ -x "$build/murex" ] || { echo "no $build/murex: build first" >&2; exit 1; }
command -v wrk >/dev/null || { echo "wrk is missing (apt-get install -y wrk)" >&2; exit 1; }
mkdir -p "$build/bench"
source=$build/bench/100000.ledger
[ -f "$source" ] || python3 tools/genledger.py --seed 1 --transactions 100000 "$source"
exec python3 - "$build/murex" "$source" "$seconds" <<'EOF'
import http.client, multiprocessing, os, re, shutil, signal, socket, subprocess, sys, tempfile
import time

murex, source, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3])
work = tempfile.mkdtemp(prefix="murex-soak-")
ledger = os.path.join(work, "soak.ledger")
valid = open(source, "rb").read()
# The second valid version adds a transaction, so that its balance page differs.
other = valid + b"2025-12-31 soak extra\n    AssBank1 12.34\n    AssCash1\n"
faulty = valid + b"2025-12-31 soak fault\n    NoSuchAccount 1\n    AssCash1\n"
versions = [("valid", valid), ("faulty", faulty), ("other", other), ("faulty", faulty)]


def write(data):
    # Written beside and renamed over, as careful editors save.
    tmp = ledger + ".new"
    with open(tmp, "wb") as f:
        f.write(data)
    os.rename(tmp, ledger)


def get(port, path):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    c.request("GET", path)
    r = c.getresponse()
    body = r.read()
    c.close()
    return r.status, body


def rewriter(port, pages, until, result):
    """Rewrites the ledger once a second and checks that "/changed" reloads it."""
    reloads = bad = 0
    start = time.time()
    i = 1
    while time.time() < until:
        name, data = versions[i % len(versions)]
        time.sleep(max(0.0, start + i - time.time()))
        write(data)
        status, changed = get(port, "/changed")
        status2, page = get(port, "/")
        ok = status == 200 and changed == b"yes" and status2 == 200
        if name == "faulty":
            ok = ok and b"Error at line " in page
        else:
            ok = ok and page == pages[name]
        reloads += 1
        if not ok:
            bad += 1
            print("reload %d (%s) wrong: /changed %d %r, / %d %d bytes" %
                  (reloads, name, status, changed[:20], status2, len(page)), flush=True)
        i += 1
    write(valid)
    get(port, "/changed")
    result.put(("rewrite", reloads, bad))


def idler(port, until, result):
    """Opens 500 connections that send nothing, holds them a moment, drops them; again."""
    rounds = refused = 0
    while time.time() < until:
        socks = []
        for _ in range(500):
            s = socket.socket()
            try:
                s.connect(("127.0.0.1", port))
                socks.append(s)
            except OSError:
                refused += 1
                s.close()
        time.sleep(0.5)
        for s in socks:
            s.close()
        rounds += 1
    result.put(("idle", rounds, refused))


home = os.path.join(work, "home")
os.mkdir(home)
write(valid)
env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home)
# Output to files: a full pipe would stall the server.
out = open(os.path.join(work, "stdout"), "w+b")
err = open(os.path.join(work, "stderr"), "w+b")
server = subprocess.Popen([murex, ledger], stdout=out, stderr=err, env=env)
m = None
deadline = time.time() + 30
while not m and time.time() < deadline:
    time.sleep(0.1)
    m = re.search(rb"localhost:(\d+)", open(out.name, "rb").read())
if not m:
    sys.exit("the viewer did not start")
port = int(m.group(1))

# The reference pages of both valid versions, loaded once before the load starts.
pages = {}
pages["valid"] = get(port, "/")[1]
write(other)
assert get(port, "/changed")[1] == b"yes"
pages["other"] = get(port, "/")[1]
write(valid)
assert get(port, "/changed")[1] == b"yes"
assert get(port, "/")[1] == pages["valid"] and pages["valid"] != pages["other"]


def rss_kb():
    with open("/proc/%d/status" % server.pid) as f:
        for l in f:
            if l.startswith("VmRSS:"):
                return int(l.split()[1])
    return 0


until = time.time() + seconds
results = multiprocessing.Queue()
procs = [multiprocessing.Process(target=rewriter, args=(port, pages, until, results)),
         multiprocessing.Process(target=idler, args=(port, until, results))]
wrk = subprocess.Popen(["wrk", "-t1", "-c8", "-d%ds" % seconds, "--timeout", "10s",
                        "http://127.0.0.1:%d/" % port], stdout=subprocess.PIPE, text=True)
for p in procs:
    p.start()
samples = []
while wrk.poll() is None:
    samples.append(rss_kb())
    time.sleep(0.25)
wrkOut = wrk.stdout.read()
for p in procs:
    p.join()
got = dict((r[0], r[1:]) for r in (results.get(), results.get()))
reloads, badReloads = got["rewrite"]
rounds, refused = got["idle"]

status, bye = get(port, "/quit")
try:
    code = server.wait(timeout=10)
except subprocess.TimeoutExpired:
    server.kill()
    code = -1
stderr = open(err.name, "rb").read()
shutil.rmtree(work)

requests = int(re.search(r"(\d+) requests in", wrkOut).group(1))
rps = re.search(r"Requests/sec:\s*([\d.]+)", wrkOut).group(1)
errors = 0
m = re.search(r"Socket errors: connect (\d+), read (\d+), write (\d+), timeout (\d+)", wrkOut)
if m:
    errors += sum(int(x) for x in m.groups())
m = re.search(r"Non-2xx or 3xx responses: (\d+)", wrkOut)
if m:
    errors += int(m.group(1))
# Flat: the second half of the run peaks no higher than the first half, give or take a
# quarter. A reload holds two ledgers and the text for a moment, and where the allocator
# finds room for them varies, so the peaks wander a little; a leak of one ledger per reload
# would add its 40 MB each second.
half = len(samples) // 2
flat = max(samples[half:]) <= max(samples[:half] or samples) * 1.25
print("wrk on /: %d requests in %ds, %s requests/s, %d errors" % (requests, seconds, rps, errors))
print("reloads: %d checked, %d wrong" % (reloads, badReloads))
print("idle connections: %d rounds of 500, %d refused" % (rounds, refused))
print("RSS MB: start %.1f, peak of first half %.1f, of second half %.1f, end %.1f "
      "(%d samples)" % (samples[0] / 1024, max(samples[:half] or samples) / 1024,
                        max(samples[half:]) / 1024, samples[-1] / 1024, len(samples)))
print("RSS MB every 10 s: " + " ".join("%.0f" % (x / 1024) for x in samples[::40]))
print("quit: status %d, body %r, exit %d, stderr %r" % (status, bye, code, stderr))
ok = (errors == 0 and requests > 0 and badReloads == 0 and reloads >= seconds * 3 // 4 and
      refused == 0 and flat and status == 200 and code == 0 and stderr == b"Bye\n")
print("soak: " + ("PASS" if ok else "FAIL"))
sys.exit(0 if ok else 1)
EOF
