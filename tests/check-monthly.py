#!/usr/bin/env python3
"""Checks the month-by-month report against the balance of accounts, and every CSV and JSON
form with Python's own readers, over a generated ledger.

    tests/check-monthly.py --murex build/murex --ledger build/check/10000.ledger

For two years of the ledger: each account's monthly total equals the change of its sub-tree
in `acc` for the year, the profit row's total equals the year's profit or loss, and each
month's cell equals `acc -p <year>M<n>` (changes, and with --balance end balances). Every CSV
is read with the csv module (one header, rows as wide as it, plain numbers, ISO dates) and
every JSON with the json module (the same fields and values as the CSV).

The same for a copy of the ledger whose two years end with a closing transaction (every
income and expense account written `close`): there the closing column beside the total holds
those bookings, the months and the total leave them out, and the total and the closing add up
to what `acc` says of the year (December and the closing to what it says of December).
"""
import argparse
import csv
import io
import json
import os
import re
import subprocess
import sys
import tempfile
from decimal import Decimal

NUMBER = re.compile(r"^-?\d+\.\d\d$")
DATE = re.compile(r"^\d{4}-\d\d-\d\d$")
failures = []


def fail(text):
    failures.append(text)
    if len(failures) <= 20:
        print("FAIL:", text)


def run(murex, env, *args):
    p = subprocess.run([murex, *args], env=env, capture_output=True, stdin=subprocess.DEVNULL)
    if p.returncode != 0:
        sys.exit(f"murex {' '.join(args)} ended with {p.returncode}: {p.stderr.decode()}")
    return p.stdout.decode("utf-8")


def read_csv(text, what):
    """The rows as dicts, after checking the shape every CSV of murex has."""
    if not text.endswith("\r\n"):
        fail(f"{what}: the CSV does not end with CRLF")
    rows = list(csv.reader(io.StringIO(text, newline="")))
    header, body = rows[0], rows[1:]
    for i, row in enumerate(body):
        if len(row) != len(header):
            fail(f"{what}: row {i + 1} has {len(row)} fields, the header {len(header)}")
        for name, value in zip(header, row):
            numeric = name not in ("account", "description", "comment", "row", "kind", "date")
            if numeric and value != "" and not NUMBER.match(value):
                fail(f"{what}: {name} {value!r} is not a plain number")
            if name == "date" and value != "" and not DATE.match(value):
                fail(f"{what}: date {value!r} is not ISO 8601")
    return header, [dict(zip(header, row)) for row in body]


def check_json(text, header, rows, what):
    """The JSON form holds the same rows, field by field, with exact numbers."""
    data = json.loads(text, parse_float=Decimal)
    if [list(r.keys()) for r in data["rows"]] != [header] * len(rows):
        fail(f"{what}: the JSON rows' fields differ from the CSV header")
        return data
    for got, want in zip(data["rows"], rows):
        for name in header:
            g, w = got[name], want[name]
            same = (g is None and w == "") or (isinstance(g, Decimal) and w != "" and g == Decimal(w)) \
                or (isinstance(g, str) and g == w)
            if not same:
                fail(f"{what}: {name} is {g!r} in JSON, {w!r} in CSV")
    return data


def subtree(rows, path, column):
    """The sum of a column over an account and every account below it."""
    return sum(Decimal(r[column]) for r in rows
               if r["account"] == path or r["account"].startswith(path + ":"))


def closed_copy(ledger, years, path):
    """The ledger with a closing transaction at the end of each of the years: every income
    and expense account of the opening transaction's deepest level closed into equity."""
    with open(ledger, encoding="utf-8") as f:
        lines = f.read().split("\n")
    dated = [i for i, line in enumerate(lines) if line[:1].isdigit()]
    opening = lines[dated[0] + 1:dated[1]]
    leaves = [m.group(1) for m in (re.match(r"^ {12}((?:Inc|Exp)\w+)", line) for line in opening)
              if m]
    equity = next(m.group(1) for m in (re.match(r"^ {12}(Equ\w+)", line) for line in opening)
                  if m)
    for year in sorted(years, reverse=True):
        end = f"{year}-12-31"
        closing = [f"{end} Closing the year"] + [f"    {a} close" for a in leaves] + [f"    {equity}"]
        at = next((i for i in dated if lines[i][:10] > end), len(lines))
        while at == len(lines) and at > 0 and lines[at - 1] == "":
            at -= 1
        lines[at:at] = closing
        dated = [i for i, line in enumerate(lines) if line[:1].isdigit()]
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def check_year(murex, env, ledger, year, closed=False):
    what = f"{year}Y"
    header, monthly = read_csv(run(murex, env, ledger, "mon", "-p", what, "--csv"), "mon " + what)
    want = ["account"] + [f"{year}-{m:02d}" for m in range(1, 13)] + ["total"]
    if closed:
        want.append("closing")
    if header != want:
        fail(f"mon {what}: header {header}")
    check_json(run(murex, env, ledger, "mon", "-p", what, "--json"), header, monthly, "mon json")
    _, balances = read_csv(run(murex, env, ledger, "mon", "-b", "-p", what, "--csv"), "mon -b")
    acc_text = run(murex, env, ledger, "acc", "-p", what, "--csv")
    _, acc = read_csv(acc_text, "acc " + what)
    acc_json = check_json(run(murex, env, ledger, "acc", "-p", what, "--json"), _, acc, "acc json")
    accounts = [r["account"] for r in acc]
    if [r["account"] for r in monthly] != accounts + ["Profit/(Loss)"]:
        fail(f"mon {what}: the rows are not every account in the order of acc, then the profit")
    by_name = {r["account"]: r for r in monthly}
    end = {r["account"]: r for r in balances}
    def closing(row):
        return Decimal(row["closing"]) if closed else 0

    closed_any = False
    for path in accounts:
        change = subtree(acc, path, "debit") - subtree(acc, path, "credit")
        if Decimal(by_name[path]["total"]) + closing(by_name[path]) != change:
            fail(f"{what} {path}: monthly total {by_name[path]['total']} and closing "
                 f"{closing(by_name[path])}, acc says {change}")
        closed_any = closed_any or closing(by_name[path]) != 0
        row = next(r for r in acc if r["account"] == path)
        if Decimal(end[path]["total"]) != Decimal(row["end_balance"]):
            fail(f"{what} {path}: end balance {end[path]['total']}, acc says {row['end_balance']}")
    if closed and not closed_any:
        fail(f"{what}: the closing column holds nothing")
    profit = Decimal(by_name["Profit/(Loss)"]["total"]) + closing(by_name["Profit/(Loss)"])
    if profit != acc_json["profit_loss"]:
        fail(f"{what}: profit {profit}, acc says {acc_json['profit_loss']}")

    for m in range(1, 13):
        month = f"{year}M{m}"
        key = f"{year}-{m:02d}"
        _, acc_m = read_csv(run(murex, env, ledger, "acc", "-p", month, "--csv"), "acc " + month)
        for path in accounts:
            change = subtree(acc_m, path, "debit") - subtree(acc_m, path, "credit")
            cell = Decimal(by_name[path][key]) + (closing(by_name[path]) if m == 12 else 0)
            if cell != change:
                fail(f"{month} {path}: cell {by_name[path][key]}, acc says {change}")
            row = next(r for r in acc_m if r["account"] == path)
            if Decimal(end[path][key]) != Decimal(row["end_balance"]):
                fail(f"{month} {path}: end balance {end[path][key]}, acc says {row['end_balance']}")


def check_reports(murex, env, ledger, year):
    """The other reports' CSV against their JSON, with an account, a kind and a filter."""
    _, acc = read_csv(run(murex, env, ledger, "acc", "-p", f"{year}Y", "--csv"), "acc")
    account = acc[1]["account"].split(":")[-1]
    for args in (["acc", account], ["acc", account, "-f", "market lunch"], ["inv"],
                 ["inv", "1"], ["inv", "2", "-f", "fee"], ["mon", "2", "-f", "-tax"]):
        full = [ledger, *args, "-p", f"{year}Y"]
        header, rows = read_csv(run(murex, env, *full, "--csv"), " ".join(args))
        check_json(run(murex, env, *full, "--json"), header, rows, " ".join(args) + " json")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--murex", required=True)
    ap.add_argument("--ledger", required=True, help="generated here (seed 1) when missing")
    ap.add_argument("--transactions", type=int, default=10000)
    args = ap.parse_args()
    if not os.path.exists(args.ledger):
        os.makedirs(os.path.dirname(os.path.abspath(args.ledger)), exist_ok=True)
        root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        gen = os.path.join(root, "tools", "genledger.py")
        subprocess.run([sys.executable, gen, "--seed", "1", "--transactions",
                        str(args.transactions), args.ledger], check=True)
    with tempfile.TemporaryDirectory(prefix="murex-monthly.") as home:
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home)
        last = json.loads(run(args.murex, env, args.ledger, "acc", "--json"))["period_end"]
        year = int(last[:4])
        for y in (year, year - 1):
            check_year(args.murex, env, args.ledger, y)
        check_reports(args.murex, env, args.ledger, year)
        closed = os.path.join(home, "closed.ledger")
        closed_copy(args.ledger, (year, year - 1), closed)
        for y in (year, year - 1):
            check_year(args.murex, env, closed, y, closed=True)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
