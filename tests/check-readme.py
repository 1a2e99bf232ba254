#!/usr/bin/env python3
"""Keeps the console examples of README.md true: runs each one and compares its output.

An example is a fenced code block (``` or ~~~, any info string) whose first line starts
with "$ murex ". Each line starting with "$ " is a command; the lines after it, up to the
next command or the end of the block, are its output exactly as a terminal shows it:
everything the program wrote to standard output, then everything it wrote to standard
error, each line ending in a line feed (so a report's final empty line is an empty line of
the block). A command is the word murex followed by plain words in POSIX shell quoting;
pipes, redirections and variables are not run. It runs with the built binary as murex, the
repository root as working directory, and HOME and XDG_CONFIG_HOME set to empty temporary
folders. Its exit status must be 0.

An HTML comment on the line just before the block changes that for all its commands:
    <!-- readme-check: status=1 config=examples/decimal-comma/murex.ini -->
status=N expects the exit status N; config=FILE copies FILE (relative to the root) to
$XDG_CONFIG_HOME/murex/murex.ini first; line-ends=crlf expects every output line to end
with a carriage return and a line feed (CSV), shown in the block without the return. Before a block of ledger text instead,
    <!-- readme-check: part-of=examples/first.ledger -->
checks that the block's lines stand in that file exactly as shown, one after the other.

A command that starts the report viewer (its first output line is "Server listening on:")
is answered: once the address is printed, the check fetches "/" (which must answer 200)
and then "/quit", and compares what the program printed until it ended, with the port it
chose written as 7777 (the port it would take if 7777 was free).

Usage: check-readme.py --murex BINARY [--root DIR] [--update]
--update rewrites the outputs in README.md with the real ones instead of comparing (review
the change like code before committing it).
"""

import argparse
import difflib
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

TIMEOUT_S = 20
MARKER = re.compile(r"^<!--\s*readme-check:(.*?)-->\s*$")
SERVER_START = re.compile(r"Server listening on:\n\n    http://localhost:(\d+)/\n")


class Example:
    def __init__(self, line_nr, command, expected_lines, options):
        self.line_nr = line_nr  # 1-based line of the "$ murex" line in the README
        self.command = command
        self.expected_lines = expected_lines
        self.options = options


def parse_marker(line, line_nr):
    m = MARKER.match(line.strip())
    if not m:
        return {}
    options = {}
    for word in m.group(1).split():
        key, sep, value = word.partition("=")
        if not sep or key not in ("status", "config", "part-of", "line-ends"):
            sys.exit(f"README.md:{line_nr}: unknown readme-check setting '{word}'")
        options[key] = value
    return options


def find_examples(lines):
    """The command examples, and the ledger excerpts as (line, lines, file)."""
    examples, excerpts, i = [], [], 0
    while i < len(lines):
        fence = re.match(r"^(```+|~~~+)", lines[i])
        if not fence:
            i += 1
            continue
        end = i + 1
        while end < len(lines) and not lines[end].startswith(fence.group(1)):
            end += 1
        body = lines[i + 1 : end]
        options = parse_marker(lines[i - 1], i) if i > 0 else {}
        if "part-of" in options:
            excerpts.append((i + 2, body, options["part-of"]))
        elif body and body[0].startswith("$ murex "):
            current = None
            for k, line in enumerate(body):
                if line.startswith("$ "):
                    current = Example(i + 2 + k, line[2:], [], options)
                    examples.append(current)
                else:
                    current.expected_lines.append(line)
        i = end + 1
    return examples, excerpts


def check_excerpt(root, line_nr, body, name):
    """A problem text when the lines of a README block are not a run of lines of the file."""
    try:
        with open(os.path.join(root, name), encoding="utf-8") as f:
            file_lines = f.read().split("\n")
    except OSError as e:
        return f"README.md:{line_nr}: {e}"
    n = len(body)
    if any(file_lines[k : k + n] == body for k in range(len(file_lines) - n + 1)):
        return None
    return f"README.md:{line_nr}: these {n} lines do not stand together in {name}"


def run_viewer(started):
    """Answers a started viewer: the page must load, then quit ends it."""
    port = int(started.group(1))
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/", timeout=TIMEOUT_S) as r:
        if r.status != 200:
            raise RuntimeError(f"the viewer answered / with {r.status}")
        r.read()
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/quit", timeout=TIMEOUT_S) as r:
        r.read()
    return port


def drain(stream, into):
    """Collects a pipe while the program runs, so that neither pipe can fill and block it."""
    while chunk := stream.read1(65536):
        into.extend(chunk)


def run(example, murex, root):
    words = shlex.split(example.command)
    if words[0] != "murex" or any(w in ("|", ">", "<", ";", "&&", "||", "&") for w in words):
        raise RuntimeError("only plain murex commands can be checked")
    with tempfile.TemporaryDirectory(prefix="murex-readme.") as tmp:
        home, config = os.path.join(tmp, "home"), os.path.join(tmp, "config")
        os.makedirs(home)
        os.makedirs(os.path.join(config, "murex"))
        if "config" in example.options:
            shutil.copyfile(os.path.join(root, example.options["config"]),
                            os.path.join(config, "murex", "murex.ini"))
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=config)
        proc = subprocess.Popen([murex] + words[1:], cwd=root, env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        out, err = bytearray(), bytearray()
        readers = [threading.Thread(target=drain, args=pair)
                   for pair in ((proc.stdout, out), (proc.stderr, err))]
        for t in readers:
            t.start()
        deadline, port = time.monotonic() + TIMEOUT_S, None
        try:
            while proc.poll() is None and time.monotonic() < deadline:
                started = SERVER_START.match(out.decode("utf-8", "replace"))
                if started and port is None:
                    port = run_viewer(started)
                time.sleep(0.02)
            proc.wait(timeout=max(0.1, deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            raise RuntimeError(f"still running after {TIMEOUT_S} s")
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            for t in readers:
                t.join()
        text = (bytes(out) + bytes(err)).decode("utf-8", "replace")
        if port is not None and port != 7777:
            text = text.replace(f"http://localhost:{port}/", "http://localhost:7777/", 1)
        return text, proc.returncode


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--murex", required=True, help="the built binary")
    ap.add_argument("--root", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    ap.add_argument("--update", action="store_true")
    args = ap.parse_args()
    murex = os.path.abspath(args.murex)
    readme = os.path.join(args.root, "README.md")
    with open(readme, encoding="utf-8") as f:
        lines = f.read().split("\n")
    examples, excerpts = find_examples(lines)
    if not examples:
        sys.exit("README.md shows no '$ murex' example: nothing would be checked")

    failures, replaced = 0, {}
    for line_nr, body, name in excerpts:
        problem = check_excerpt(args.root, line_nr, body, name)
        if problem:
            print(problem)
            failures += 1
    for ex in examples:
        want_status = int(ex.options.get("status", "0"))
        try:
            text, status = run(ex, murex, args.root)
        except (RuntimeError, OSError) as e:
            print(f"README.md:{ex.line_nr}: $ {ex.command}: {e}")
            failures += 1
            continue
        got_lines = text.split("\n")
        if got_lines[-1] == "":
            got_lines.pop()
        else:
            got_lines[-1] += "  <- (no line feed at the end)"
        problems = []
        if ex.options.get("line-ends") == "crlf":
            if not all(line.endswith("\r") for line in got_lines):
                problems.append("a line does not end with CR LF")
            got_lines = [line.removesuffix("\r") for line in got_lines]
        if status != want_status:
            problems.append(f"exit status {status}, the README expects {want_status}")
        if got_lines != ex.expected_lines:
            diff = difflib.unified_diff(ex.expected_lines, got_lines, "README.md", "real output",
                                        lineterm="")
            problems.append("output differs:\n" + "\n".join(diff))
        if args.update:
            replaced[ex.line_nr] = (len(ex.expected_lines), got_lines)
        elif problems:
            failures += 1
            print(f"README.md:{ex.line_nr}: $ {ex.command}: " + "\n".join(problems))

    if args.update:
        for line_nr in sorted(replaced, reverse=True):
            count, got_lines = replaced[line_nr]
            lines[line_nr : line_nr + count] = got_lines
        with open(readme, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        print(f"updated {len(replaced)} examples of {readme}")
        return 0
    print(f"{len(examples) + len(excerpts) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
