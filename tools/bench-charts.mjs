#!/usr/bin/env node
// Times the viewer in headless Chromium on a large ledger, side by side with another build:
// how long the page takes to open (load event, balance table shown), and how long the chart
// of the busiest account's period takes from its request to its drawing. Medians of runs
// taken in turns. Needs `npm ci` in tests/browser and /usr/bin/chromium.
//
//   tools/genledger.py --transactions 1000000 /tmp/1m.ledger
//   node tools/bench-charts.mjs /tmp/1m.ledger build/murex /work/murex-base [runs]
import { spawn } from "node:child_process";
import { createRequire } from "node:module";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";

const top = path.join(path.dirname(fileURLToPath(import.meta.url)), "..");
const require = createRequire(path.join(top, "tests", "browser", "package.json"));
const { chromium } = require("playwright-core");

const [ledger, binary, baseBinary, runsText] = process.argv.slice(2);
if (!ledger || !binary) {
  console.error("usage: bench-charts.mjs LEDGER MUREX [BASE_MUREX] [RUNS]");
  process.exit(2);
}
const runs = Number(runsText || 5);
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "murex-bench-"));

function start(bin, file = ledger) {
  const home = fs.mkdtempSync(path.join(scratch, "home-"));
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

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const ms = (x) => x.toFixed(0).padStart(6) + " ms";

const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});

// One opening of the page: until the load event, and until the balance table is shown.
async function openPage(url, withChart) {
  const page = await browser.newPage({ viewport: { width: 1200, height: 900 } });
  const t0 = Date.now();
  await page.goto(url, { waitUntil: "load" });
  const load = Date.now() - t0;
  await page.waitForSelector("#accb.active #balance");
  const shown = Date.now() - t0;
  let chart = null;
  if (withChart) {
    await page.waitForSelector("#balchart svg", { timeout: 60000 });
    chart = Date.now() - t0;
  }
  await page.close();
  return { load, shown, chart };
}

const servers = [{ name: "this build", bin: binary, chart: true }];
if (baseBinary) servers.push({ name: "base", bin: baseBinary, chart: false });
for (const s of servers) Object.assign(s, await start(s.bin), { open: [] });
for (const s of servers) await openPage(s.url, s.chart); // warm both
for (let i = 0; i < runs; i++) for (const s of servers) s.open.push(await openPage(s.url, s.chart));

console.log(`load average ${os.loadavg().map((x) => x.toFixed(1)).join(" ")} on ${os.cpus().length} cores`);
console.log(`ledger: ${ledger} (${(fs.statSync(ledger).size / 1e6).toFixed(0)} MB), ${runs} runs, medians`);
console.log("page opening          load event   balance shown   balance chart drawn");
for (const s of servers) {
  const pick = (k) => s.open.map((o) => o[k]);
  const chart = s.chart ? ms(median(pick("chart"))) : "     -";
  console.log(`  ${s.name.padEnd(18)} ${ms(median(pick("load")))}   ${ms(median(pick("shown")))}       ${chart}`);
}

// The chart of an account whose report is on the page, drawn again in its place: from the
// request through the answer and the drawing to the next frame on the screen.
// Alone, the chart is drawn in an account section without its table: what the chart costs
// apart from the page that holds every row of the account.
async function chartTiming(url, pos, alone) {
  const page = await browser.newPage({ viewport: { width: 1200, height: 900 } });
  await page.goto(url);
  if (alone) {
    await page.evaluate((pos) => {
      for (const s of document.querySelectorAll("section")) s.classList.toggle("active", s.id === "acc");
      const table = document.createElement("table");
      table.id = "accounttbl";
      document.getElementById("acc").replaceChildren(table);
      Charts.account(pos);
    }, pos);
  } else {
    await page.evaluate((h) => (location.hash = h), `#a${pos}`);
    await page.waitForSelector("#accounttbl", { timeout: 300000 });
  }
  await page.waitForSelector("#accchart svg", { timeout: 60000 });
  await page.waitForTimeout(1000);
  const all = [];
  const route = [];
  let bytes = 0;
  for (let i = 0; i < runs; i++) {
    const r = await page.evaluate(async (pos) => {
      const t0 = performance.now();
      const text = await (await fetch(`/chart/account/${pos}?w=1100`)).text();
      const t1 = performance.now();
      const old = document.querySelector("#accchart svg");
      Charts.account(pos);
      await new Promise((resolve) => {
        const check = () => (old.isConnected ? setTimeout(check, 0) : resolve());
        check();
      });
      await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
      return { all: performance.now() - t1, route: t1 - t0, bytes: text.length };
    }, pos);
    all.push(r.all);
    route.push(r.route);
    bytes = r.bytes;
  }
  const points = await page.getAttribute("#accchart svg", "data-points");
  const count = await page.evaluate(
    async (pos) => (await (await fetch(`/chart/account/${pos}?w=1`)).json()).count - 1,
    pos,
  );
  await page.close();
  return { all: median(all), route: median(route), bytes, points, count };
}

// The account's page opened from the balance: until its table and its chart are on the screen.
async function accountOpening(url, pos, chart) {
  const page = await browser.newPage({ viewport: { width: 1200, height: 900 } });
  await page.goto(url);
  const t = await page.evaluate(async ({ pos, chart }) => {
    const t0 = performance.now();
    location.hash = `#a${pos}`;
    await new Promise((resolve) => {
      const check = () =>
        document.getElementById("accounttbl") && (!chart || document.querySelector("#accchart svg"))
          ? resolve()
          : setTimeout(check, 5);
      check();
    });
    await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
    return performance.now() - t0;
  }, { pos, chart });
  await page.close();
  return t;
}

async function report(label, url, pos, baseUrl) {
  const t = await chartTiming(url, pos, true);
  const onPage = await chartTiming(url, pos, false);
  const opening = [];
  const baseOpening = [];
  for (let i = 0; i < Math.min(runs, 3); i++) {
    opening.push(await accountOpening(url, pos, true));
    if (baseUrl) baseOpening.push(await accountOpening(baseUrl, pos, false));
  }
  console.log(`${label}: ${t.count} splits in the period, ${t.points} points drawn, ${(t.bytes / 1024).toFixed(0)} KiB of JSON`);
  console.log(`  chart requested, answered, drawn and on the screen: ${ms(t.all)} alone, ${ms(onPage.all)} above the account's table   (the route: ${ms(t.route)})`);
  console.log(`  the account's page opened, table and chart on the screen: ${ms(median(opening))}` +
              (baseUrl ? `   (base, its table: ${ms(median(baseOpening))})` : ""));
}

// The busiest account of the large ledger's period: the chart route counts its splits.
const main = servers[0];
let busiest = { pos: 0, count: -1 };
for (let pos = 0; ; pos++) {
  const answer = await fetch(`${main.url}chart/account/${pos}?w=1`);
  if (!answer.ok) break;
  const { count } = await answer.json();
  if (count > busiest.count) busiest = { pos, count };
}
await report(`busiest account of ${path.basename(ledger)} (#${busiest.pos})`, main.url, busiest.pos,
             servers[1] && servers[1].url);

// A year of a busy account: 60,000 splits of Bank in one year.
const busy = path.join(scratch, "busy-year.ledger");
const lines = ["2025-01-01 Opening", "    Bank 1000 ; @A", "    Equity ; @C", "    Food 0 ; @E", "    Salary 0 ; @I"];
for (let i = 0; i < 60000; i++) {
  const day = new Date(Date.UTC(2025, 0, 1 + Math.floor((i * 365) / 60000))).toISOString().slice(0, 10);
  const cents = ((i * 7919) % 20000) + 1;
  const amount = `${Math.floor(cents / 100)}.${String(cents % 100).padStart(2, "0")}`;
  lines.push(`${day} Move ${i}`, i % 3 ? `    Food ${amount}` : `    Salary -${amount}`, "    Bank");
}
fs.writeFileSync(busy, lines.join("\n") + "\n");
const busyServer = await start(binary, busy);
const busyBase = baseBinary ? await start(baseBinary, busy) : null;
await report("a busy account's year (Bank of a generated book)", busyServer.url, 0, busyBase && busyBase.url);
busyServer.proc.kill("SIGTERM");
if (busyBase) busyBase.proc.kill("SIGTERM");

await browser.close();
for (const s of servers) s.proc.kill("SIGTERM");
fs.rmSync(scratch, { recursive: true, force: true });
