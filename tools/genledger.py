#!/usr/bin/env python3
"""Writes a large valid ledger for benchmarks and fuzz seeds; the same seed and count give
the same bytes.

    tools/genledger.py --seed 1 --transactions 100000 build/bench/100k.ledger

--accounts N adds N more expense accounts side by side, --depth D a chain of D accounts
each the sub-account of the one before; the transactions use them as they use the others.
"""
import argparse
import datetime
import random

WORDS = ("market grocery rent fuel train coffee books repair gift dinner lunch bakery "
         "insurance phone power water tax fee refund bonus salary invoice garden paint "
         "tickets doctor pharmacy school club hardware cinema taxi hotel").split()

# Top-level accounts with their type tags, each with groups of leaves: about 100 accounts.
TREE = [
    ("Assets", "A", [("Bank", 6), ("Cash", 4), ("Receivable", 6), ("Property", 5)]),
    ("Liabilities", "L", [("Cards", 5), ("Loans", 5)]),
    ("Equity", "C", [("Opening", 2)]),
    ("Income", "I", [("Work", 6), ("Capital", 5), ("Other", 4)]),
    ("Expenses", "E", [("Home", 8), ("Food", 8), ("Travel", 8), ("Health", 6), ("Misc", 6)]),
]
KINDS = 10


def money(cents):
    sign = "-" if cents < 0 else ""
    cents = abs(cents)
    return f"{sign}{cents // 100}.{cents % 100:02d}"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--transactions", type=int, default=10000)
    ap.add_argument("--accounts", type=int, default=0)
    ap.add_argument("--depth", type=int, default=0)
    ap.add_argument("output")
    args = ap.parse_args()
    rng = random.Random(args.seed)

    out = ["; generated ledger, seed %d, %d transactions" % (args.seed, args.transactions),
           "2000-01-01 Opening balances"]
    leaves = {}
    for top, tag, groups in TREE:
        out.append(f"    {top} 0 ; @{tag} {top} accounts")
        for group, count in groups:
            name = top[:3] + group
            out.append(f"        {name} 0 ; {group}")
            for i in range(count):
                leaf = f"{name}{i + 1}"
                leaves.setdefault(top, []).append(leaf)
                amount = rng.randrange(1, 500000) if top == "Assets" else 0
                if leaf == "EquOpening1":
                    out.append(f"            {leaf} ; takes the opening balance")
                else:
                    out.append(f"            {leaf} {money(amount)}")
    if args.accounts:
        out.append("        ExpMany 0 ; Many")
        for i in range(args.accounts):
            leaf = f"ExpMany{i + 1}"
            leaves["Expenses"].append(leaf)
            out.append(f"            {leaf} 0")
    for i in range(args.depth):
        leaf = f"AssDeep{i + 1}"
        leaves["Assets"].append(leaf)
        out.append(" " * (8 + i) + f"{leaf} 0")
    out.append("    Stocks 0 ; Broker depot")
    held = []
    for k in range(KINDS):
        n = rng.randrange(10, 200)
        held.append(n)
        out.append(f"        Stocks:K{k:02d} {n}@{money(rng.randrange(100, 50000))} ; share {k}")
    gains = leaves["Income"][-1]

    start = datetime.date(2000, 1, 2).toordinal()
    span = datetime.date(2025, 12, 31).toordinal() - start
    n = args.transactions - 1
    plain = leaves["Assets"] + leaves["Liabilities"] + leaves["Income"] + leaves["Expenses"]
    for t in range(n):
        day = datetime.date.fromordinal(start + t * span // max(n, 1))
        words = " ".join(rng.choice(WORDS) for _ in range(rng.randrange(1, 5)))
        line = f"{day.isoformat()} {words}"
        if rng.random() < 0.1:
            line += " ; note " + rng.choice(WORDS)
        out.append(line)
        bank = rng.choice(leaves["Assets"][:6])
        dice = rng.random()
        k = rng.randrange(KINDS)
        if dice < 0.06 or (dice < 0.11 and held[k] == 0):
            items = rng.randrange(1, 50)
            held[k] += items
            out.append(f"    Stocks:K{k:02d} {items}@{money(rng.randrange(100, 50000))}")
            out.append(f"    {bank}")
        elif dice < 0.11:
            if rng.random() < 0.1:
                held[k] = 0
                out.append(f"    Stocks:K{k:02d} close@")
            else:
                items = rng.randrange(1, held[k] + 1)
                held[k] -= items
                out.append(f"    Stocks:K{k:02d} -{items}@")
            out.append(f"    {bank} {money(rng.randrange(100, 2000000))}")
            out.append(f"    {gains}")
        elif dice < 0.115:
            out.append(f"    Stocks:K{k:02d} revalue@{money(rng.randrange(100, 50000))} ; market")
            out.append(f"    {gains}")
        else:
            count = rng.randrange(2, 6)
            total = 0
            for _ in range(count - 1):
                cents = rng.randrange(-100000, 100000) or 1
                total += cents
                comment = " ; " + " ".join(rng.sample(WORDS, 2)) if rng.random() < 0.2 else ""
                out.append(f"    {rng.choice(plain)} {money(cents)}{comment}")
            if rng.random() < 0.5:
                out.append(f"    {bank}")
            else:
                out.append(f"    {bank} {money(-total)}")
        if rng.random() < 0.02:
            out.append("    ; a comment line")
    with open(args.output, "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
