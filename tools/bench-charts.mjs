#!/usr/bin/env node
// Times the viewer in headless Chromium on a large ledger, side by side with another build:
// how long the page takes to open (load event, balance table shown), and how long the chart
// of the busiest account's period takes from its request to its drawing. Medians of runs
// taken in turns. Needs `npm ci` in tests/browser and /usr/bin/chromium.
//
//   tools/genledger.py --transactions 1000000 /tmp/1m.ledger
//   node tools/bench-charts.mjs /tmp/1m.ledger build/murex /work/murex-base [runs]
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

import { benchArgs, launchBrowser, median, startViewer, writeBusyYear } from "./timing.mjs";

const { ledger, binary, baseBinary, runs, scratch } = benchArgs("bench-charts.mjs", 5);

const start = (bin, file = ledger) => startViewer(bin, file, scratch);

const ms = (x) => x.toFixed(0).padStart(6) + " ms";

const browser = await launchBrowser();

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
writeBusyYear(busy);
const busyServer = await start(binary, busy);
const busyBase = baseBinary ? await start(baseBinary, busy) : null;
await report("a busy account's year (Bank of a generated book)", busyServer.url, 0, busyBase && busyBase.url);
busyServer.proc.kill("SIGTERM");
if (busyBase) busyBase.proc.kill("SIGTERM");

await browser.close();
for (const s of servers) s.proc.kill("SIGTERM");
fs.rmSync(scratch, { recursive: true, force: true });
