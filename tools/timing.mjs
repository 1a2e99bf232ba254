// timing.mjs: what the timing scripts of the viewer share.
//   benchArgs(name, runs)         the command line LEDGER MUREX [BASE_MUREX] [RUNS] (runs by
//                                 default) and a scratch folder; a usage line and exit 2 when
//                                 the first two are missing
//   median(xs)                    the middle value, or the mean of the two middle ones of an
//                                 even count (as tools/timing.sh takes it)
//   startViewer(bin, file, dir)   the viewer of bin on the ledger file, with a home folder of
//                                 its own in dir: resolves to { proc, url } once it listens
//   writeBusyYear(file, describe)  a year of a busy account: 60,000 splits of Bank, the
//                                 transaction i described as describe(i)
//   launchBrowser()               headless /usr/bin/chromium, through the playwright-core of
//                                 tests/browser (`npm ci` there first)
import { spawn } from "node:child_process";
import { createRequire } from "node:module";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";

const top = path.join(path.dirname(fileURLToPath(import.meta.url)), "..");

export function benchArgs(name, runs) {
  const [ledger, binary, baseBinary, runsText] = process.argv.slice(2);
  if (!ledger || !binary) {
    console.error(`usage: ${name} LEDGER MUREX [BASE_MUREX] [RUNS]`);
    process.exit(2);
  }
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "murex-bench-"));
  return { ledger, binary, baseBinary, runs: Number(runsText || runs), scratch };
}

export function median(xs) {
  const s = [...xs].sort((a, b) => a - b);
  const mid = Math.floor(s.length / 2);
  return s.length % 2 ? s[mid] : (s[mid - 1] + s[mid]) / 2;
}

export function startViewer(bin, file, dir) {
  const home = fs.mkdtempSync(path.join(dir, "home-"));
  const proc = spawn(bin, [path.resolve(file)], {
    env: { PATH: process.env.PATH, HOME: home, XDG_CONFIG_HOME: path.join(home, "config") },
    stdio: ["ignore", "pipe", "inherit"],
  });
  return new Promise((resolve, reject) => {
    let out = "";
    proc.stdout.on("data", (d) => {
      out += d;
      const m = /http:\/\/localhost:(\d+)\//.exec(out);
      if (m) resolve({ proc, url: `http://127.0.0.1:${m[1]}/` });
    });
    proc.on("exit", (code) => reject(new Error(`${bin} ended with ${code}`)));
  });
}

export function writeBusyYear(file, describe = (i) => `Move ${i}`) {
  const lines = ["2025-01-01 Opening", "    Bank 1000 ; @A", "    Equity ; @C", "    Food 0 ; @E", "    Salary 0 ; @I"];
  for (let i = 0; i < 60000; i++) {
    const day = new Date(Date.UTC(2025, 0, 1 + Math.floor((i * 365) / 60000))).toISOString().slice(0, 10);
    const cents = ((i * 7919) % 20000) + 1;
    const amount = `${Math.floor(cents / 100)}.${String(cents % 100).padStart(2, "0")}`;
    lines.push(`${day} ${describe(i)}`, i % 3 ? `    Food ${amount}` : `    Salary -${amount}`, "    Bank");
  }
  fs.writeFileSync(file, lines.join("\n") + "\n");
}

export function launchBrowser() {
  const require = createRequire(path.join(top, "tests", "browser", "package.json"));
  const { chromium } = require("playwright-core");
  return chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
}
