#!/usr/bin/env python3
"""The imports of src/ against the module map of src/README.md: every module is in the map,
no two modules include each other (directly or round a longer loop), and a module includes
only modules above it in the map.

    tests/includes.py [--root DIR]

A module is a file pair src/NAME.h and src/NAME.cpp (or a header alone); src/http/ is one
module, "http/". Prints each fault and exits 1 when there is one.
"""
import argparse
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
ROW = re.compile(r"^\|\s*`([^`]+)`\s*\|", re.M)


def module_of(path):
    """The module of a path relative to src/, or None for a file that is part of no module
    (an included table of data)."""
    if path.startswith("http/"):
        return "http/"
    name, ext = os.path.splitext(path)
    return name if ext in (".h", ".cpp") else None


def read_map(readme):
    with open(readme, encoding="utf-8") as f:
        text = f.read()
    return [m for m in ROW.findall(text) if m != "module"]


def read_includes(src):
    """module -> {included module: first file that includes it}"""
    edges = {}
    for folder, _, files in os.walk(src):
        for name in sorted(files):
            rel = os.path.relpath(os.path.join(folder, name), src)
            mod = module_of(rel)
            if mod is None:
                continue
            edges.setdefault(mod, {})
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                for inc in INCLUDE.findall(f.read()):
                    target = os.path.normpath(os.path.join(os.path.dirname(rel), inc))
                    if not os.path.exists(os.path.join(src, target)):
                        target = inc
                    to = module_of(target)
                    if to is not None and to != mod:
                        edges[mod].setdefault(to, rel)
    return edges


def cycles(edges):
    """Each loop of includes once, as a list of modules, found by depth-first search."""
    found, seen = [], set()
    state = {}

    def visit(mod, path):
        state[mod] = "open"
        path.append(mod)
        for to in sorted(edges.get(mod, {})):
            if state.get(to) == "open":
                loop = path[path.index(to):]
                key = frozenset(loop)
                if key not in seen:
                    seen.add(key)
                    found.append(loop + [to])
            elif to not in state:
                visit(to, path)
        path.pop()
        state[mod] = "done"

    for mod in sorted(edges):
        if mod not in state:
            visit(mod, [])
    return found


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    args = ap.parse_args()
    src = os.path.join(args.root, "src")
    order = read_map(os.path.join(src, "README.md"))
    rank = {m: i for i, m in enumerate(order)}
    edges = read_includes(src)
    faults = []
    for mod in sorted(edges):
        if mod not in rank:
            faults.append("src/README.md's module map lacks %s" % mod)
    for loop in cycles(edges):
        faults.append("modules include each other: %s" % " -> ".join(loop))
    for mod in sorted(edges):
        for to, where in sorted(edges[mod].items()):
            if mod in rank and to in rank and rank[to] > rank[mod]:
                faults.append("src/%s includes %s, below %s in src/README.md" % (where, to, mod))
    for fault in faults:
        print(fault)
    print("%d modules, %d faults" % (len(edges), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
