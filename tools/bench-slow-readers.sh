#!/usr/bin/env bash
# Slow readers against the viewer, side by side for each program given: the viewer on a
# generated ledger of 100k accounts, READERS connections (default 100) that ask for its
# /csv/monthly (9.6 MB, about a second of work each) and read nothing of it, and meanwhile
# one other client that asks for the small /chart/balance, then for /csv/monthly. Prints how
# long the other client waited for each answer, with its status, and the RSS of the viewer
# idle, at its peak while the readers hold their answers, and after they have left.
#   tools/bench-slow-readers.sh [murex ...]       (default build/murex)  READERS=100
# LEDGER=FILE serves another ledger (build/bench/1000000.ledger is tools/bench.sh's 1M).
# Every wait is bounded (TIMEOUT seconds, default 300); 127.0.0.1 only.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$#" -gt 0 ] || set -- build/murex
for m in "$@"; do [ -x "$m" ] || { echo "no $m: build first" >&2; exit 1; }; done
mkdir -p build/bench
ledger=${LEDGER:-build/bench/flat100k.ledger}
if [ ! -f "$ledger" ]; then
  [ -z "${LEDGER:-}" ] || { echo "no $ledger" >&2; exit 1; }
  python3 tools/genledger.py --transactions 20000 --accounts 100000 "$ledger"
fi
exec python3 - "$ledger" "${READERS:-100}" "${TIMEOUT:-300}" "$@" <<'EOF'
import os, re, shutil, socket, subprocess, sys, tempfile, threading, time

ledger, readers, timeout, programs = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), sys.argv[4:]
big = "/csv/monthly"
small = "/chart/balance"

# Held while the viewers run, so that none of them takes the port a viewer in use would want.
hold = socket.socket()
try:
    hold.bind(("127.0.0.1", 7777))
    hold.listen(1)
except OSError:
    pass


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def ask(port, path, limit=timeout):
    """One request on a fresh connection, read whole: (status, bytes of body, seconds)."""
    start = time.monotonic()
    s = socket.create_connection(("127.0.0.1", port), timeout=limit)
    s.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n\r\n"
               % (path, port)).encode())
    data = b""
    try:
        while True:
            chunk = s.recv(1 << 20)
            if not chunk:
                break
            data += chunk
    except socket.timeout:
        return 0, len(data), time.monotonic() - start
    finally:
        s.close()
    head, _, body = data.partition(b"\r\n\r\n")
    m = re.match(rb"HTTP/1.1 (\d+)", head)
    return (int(m.group(1)) if m else 0), len(body), time.monotonic() - start


def run(murex):
    work = tempfile.mkdtemp(prefix="murex-slow-")
    out = open(os.path.join(work, "stdout"), "w+b")
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=work)
    server = subprocess.Popen([murex, ledger], stdout=out, stderr=subprocess.DEVNULL, env=env)
    try:
        m = None
        deadline = time.monotonic() + timeout
        while not m and time.monotonic() < deadline:
            time.sleep(0.1)
            m = re.search(rb"localhost:(\d+)", open(out.name, "rb").read())
        if not m:
            sys.exit("%s: the viewer did not start" % murex)
        port = int(m.group(1))
        ask(port, small)
        idle = rss_mb(server.pid)
        peak = [idle]
        sampling = [True]

        def sample():
            while sampling[0]:
                peak[0] = max(peak[0], rss_mb(server.pid))
                time.sleep(0.2)

        sampler = threading.Thread(target=sample)
        sampler.start()
        slow = []
        for _ in range(readers):
            s = socket.socket()
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            s.connect(("127.0.0.1", port))
            s.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % (big, port)).encode())
            slow.append(s)
        figures = ask(port, small)
        report = ask(port, big)
        # The readers hold on until the viewer has dealt with all of them.
        calm = ask(port, small)
        for s in slow:
            s.close()
        time.sleep(3)
        sampling[0] = False
        sampler.join()
        after = rss_mb(server.pid)
        alone = ask(port, big)
        time.sleep(1)
        last = rss_mb(server.pid)
        ask(port, "/quit")
        server.wait(timeout=30)
        return figures, report, calm, alone, (idle, peak[0], after, last)
    finally:
        if server.poll() is None:
            server.kill()
            server.wait()
        shutil.rmtree(work)


print("%d slow readers of %s (%s)" % (readers, big, ledger))
print("the other client's waits in seconds (status), RSS in MB")
print("%-28s %13s %13s %13s %13s   %s" % ("program", small, big, "then " + small,
                                         big + " alone", "RSS idle/peak/left/again"))
for murex in programs:
    figures, report, calm, alone, rss = run(murex)
    print("%-28s" % murex + "".join(" %7.2f (%3d)" % (r[2], r[0]) for r in
                                    (figures, report, calm, alone)) +
          "   %.0f/%.0f/%.0f/%.0f" % rss, flush=True)
EOF
