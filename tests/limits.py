#!/usr/bin/env python3
"""The viewer with its descriptor limit lowered to 64 serves 200 clients that all connect at
once: it accepts while it has descriptors to spare and pauses otherwise, so each client gets
its whole answer, none an error. Then "/quit" ends it with status 0.

    tests/limits.py MUREX LEDGER
"""
import os
import re
import resource
import selectors
import socket
import subprocess
import sys
import tempfile
import time

CLIENTS = 200
LIMIT = 64


def main():
    murex, ledger = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="murex-limits-")
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=work)
    out = open(os.path.join(work, "stdout"), "w+b")
    err = open(os.path.join(work, "stderr"), "w+b")

    def lower():
        resource.setrlimit(resource.RLIMIT_NOFILE, (LIMIT, LIMIT))

    server = subprocess.Popen([murex, ledger, "web"], stdout=out, stderr=err, env=env,
                              preexec_fn=lower)
    try:
        port = None
        deadline = time.time() + 20
        while port is None and time.time() < deadline:
            time.sleep(0.05)
            m = re.search(rb"localhost:(\d+)", open(out.name, "rb").read())
            port = int(m.group(1)) if m else None
        if port is None:
            fail("the viewer did not start: %r" % open(err.name, "rb").read())
        expected = fetch(port, b"/style.css")
        if not expected.startswith(b"HTTP/1.1 200 OK\r\n"):
            fail("a single request failed: %r" % expected[:200])

        # All clients connect first and stay silent a moment, so that the server takes
        # descriptors up to its limit and has to pause; the kernel's backlog holds the rest.
        # Then all send, and the answers are read as they come.
        started = time.time()
        sockets = [socket.create_connection(("127.0.0.1", port), timeout=10)
                   for _ in range(CLIENTS)]
        time.sleep(0.3)
        sel = selectors.DefaultSelector()
        clients = []
        for s in sockets:
            s.sendall(b"GET /style.css HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                      b"Connection: close\r\n\r\n")
            s.setblocking(False)
            answer = bytearray()
            clients.append(answer)
            sel.register(s, selectors.EVENT_READ, answer)
        open_count = CLIENTS
        deadline = time.time() + 60
        while open_count and time.time() < deadline:
            for key, _ in sel.select(timeout=1):
                data = key.fileobj.recv(65536)
                if data:
                    key.data.extend(data)
                else:
                    sel.unregister(key.fileobj)
                    key.fileobj.close()
                    open_count -= 1
        if open_count:
            fail("%d of %d clients got no complete answer within 60 s" % (open_count, CLIENTS))
        wrong = sum(1 for a in clients if bytes(a) != expected)
        if wrong:
            fail("%d of %d clients got a different answer" % (wrong, CLIENTS))
        bye = fetch(port, b"/quit")
        if not bye.endswith(b"<html><body>Bye</body></html>"):
            fail("quit answered %r" % bye[:200])
        code = server.wait(timeout=10)
        stderr = open(err.name, "rb").read()
        if code != 0 or stderr != b"Bye\n":
            fail("the viewer ended with %d and %r" % (code, stderr))
    finally:
        if server.poll() is None:
            server.kill()
            server.wait()
    print("%d clients served under a limit of %d descriptors in %.1f s" %
          (CLIENTS, LIMIT, time.time() - started))


def fetch(port, path):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(b"GET " + path + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                  b"Connection: close\r\n\r\n")
        answer = b""
        while True:
            data = s.recv(65536)
            if not data:
                return answer
            answer += data


def fail(message):
    print("limits: " + message, file=sys.stderr)
    sys.exit(1)


if __name__ == "__main__":
    main()
