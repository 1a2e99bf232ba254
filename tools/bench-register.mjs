#!/usr/bin/env node
// Times the busiest account's register in headless Chromium, side by side with another
// build (on the ledger given, and on a generated year of 60,000 splits of one account): from asking for the account until its first rows and its chart are on the screen;
// from the last key of a filter word typed (a key each 120 ms) until its rows are shown; and
// the frames while scrolling through the rows, and the longest frame while scrolling as the
// later parts come. Medians of runs taken in turns. Needs
// `npm ci` in tests/browser and /usr/bin/chromium.
//
//   tools/genledger.py --transactions 1000000 /tmp/1m.ledger
//   node tools/bench-register.mjs /tmp/1m.ledger build/murex /work/murex-base [runs]
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

import { benchArgs, launchBrowser, median, startViewer, writeBusyYear } from "./timing.mjs";

const { ledger, binary, baseBinary, runs, scratch } = benchArgs("bench-register.mjs", 3);
const word = "market";

const start = (bin, file) => startViewer(bin, file, scratch);

const ms = (x) => (x === undefined ? "     -" : x.toFixed(0).padStart(6) + " ms");

const browser = await launchBrowser();

// Resolves in the page once test() holds and a frame has been drawn after it.
const waitShown = `(test) => new Promise((resolve) => {
  const check = () => (test() ? requestAnimationFrame(() => setTimeout(resolve, 0)) : setTimeout(check, 2));
  check();
})`;

async function openAccount(page, url, pos) {
  await page.goto(url);
  await page.waitForSelector("#accb.active");
  return page.evaluate(async ({ pos, waitShown }) => {
    const shown = eval(waitShown);
    const t0 = performance.now();
    location.hash = `#a${pos}`;
    await shown(() => document.querySelector("#records tr[data-spos]"));
    const rows = performance.now() - t0;
    await shown(() => document.querySelector("#accchart svg"));
    return { rows, chart: performance.now() - t0 };
  }, { pos, waitShown });
}

// The word typed into the filter box: from the last key's event until a frame shows the rows
// of the whole word, and where that time went: until its first part was asked for, the
// server's answer, and the page's work after the answer (reading, drawing, layout).
async function filterWord(page) {
  // From the top, as the rows of the word start there: the box sits in the sticky header,
  // and a click on it scrolls nothing.
  await page.evaluate(() => scrollTo(0, 0));
  await page.click('input[name="filter"]');
  for (const c of word.slice(0, -1)) {
    await page.keyboard.press(c);
    await page.waitForTimeout(120);
  }
  const waiting = page.evaluate(async ({ word, waitShown }) => {
    const shown = eval(waitShown);
    performance.clearResourceTimings();
    const key = new Promise((resolve) => {
      const down = (event) => {
        if (event.key !== word.slice(-1)) return;
        document.removeEventListener("keydown", down, true);
        resolve(event.timeStamp);
      };
      document.addEventListener("keydown", down, true);
    });
    const wanted = "Filtering for: " + word;
    await shown(() => {
      const rows = document.querySelectorAll("#records tr[data-spos]");
      return [...rows].some((row) => row.textContent.includes(wanted)) &&
        (rows.length > 1 || /Change/.test(document.querySelector("#records").textContent));
    });
    const end = performance.now();
    const t0 = await key;
    const parts = performance.getEntriesByType("resource")
      .filter((e) => e.name.includes("f=" + word) && /[?&]from=0&/.test(e.name) && e.startTime >= t0);
    const first = parts[0];
    return {
      total: end - t0,
      asked: first ? first.startTime - t0 : undefined,
      answer: first ? first.responseEnd - first.startTime : undefined,
      page: first ? end - first.responseEnd : undefined,
    };
  }, { word, waitShown });
  await page.keyboard.press(word.slice(-1));
  return waiting;
}

// Scrolls the page down a screen a frame, 40 times: the frames' times.
async function scrollFrames(page) {
  return page.evaluate(async () => {
    scrollTo(0, 0);
    const times = [];
    let last = performance.now();
    for (let i = 0; i < 40; i++) {
      scrollBy(0, innerHeight);
      await new Promise((resolve) => requestAnimationFrame(() => resolve()));
      const now = performance.now();
      times.push(now - last);
      last = now;
    }
    times.sort((a, b) => a - b);
    return { median: times[20], worst: times[39] };
  });
}

// Opens the account again and, from its first rows on, scrolls down as a person drags the
// bar (240 px a frame, 120 frames) while the later parts come: the frames' 90th percentile
// and the longest, and the parts that came during the scroll; then the same scroll's once
// every part is there, to set them against.
async function scrollWhileParts(page, pos) {
  await page.evaluate(() => (location.hash = "#a"));
  await page.waitForSelector("#accb.active");
  return page.evaluate(async (pos) => {
    scrollTo(0, 0);
    performance.clearResourceTimings();
    location.hash = `#a${pos}`;
    await new Promise((resolve) => {
      const check = () => (document.querySelector("#records tr[data-spos]") ? resolve() : setTimeout(check, 2));
      check();
    });
    const drag = async () => {
      let last = performance.now();
      const times = [];
      for (let i = 0; i < 120; i++) {
        scrollBy(0, 240);
        await new Promise((resolve) => requestAnimationFrame(() => resolve()));
        const now = performance.now();
        times.push(now - last);
        last = now;
      }
      times.sort((a, b) => a - b);
      return { p90: times[108], worst: times[119] };
    };
    const isPart = (e) => /\/rows\/account\/\d+\?from=[1-9]/.test(e.name);
    const start = performance.now();
    const coming = await drag();
    const end = performance.now();
    const parts = performance.getEntriesByType("resource").filter((e) => isPart(e) && e.responseEnd > start && e.responseEnd < end);
    // Every part there: none came for half a second.
    const lastPart = () => Math.max(0, ...performance.getEntriesByType("resource").filter(isPart).map((e) => e.responseEnd));
    while (performance.now() - lastPart() < 500) await new Promise((resolve) => setTimeout(resolve, 100));
    scrollTo(0, 0);
    await new Promise((resolve) => setTimeout(resolve, 200));
    return { coming, parts: parts.length, held: await drag() };
  }, pos);
}

async function measure(server, pos, withChart) {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  page.setDefaultTimeout(300000);
  const opened = await openAccount(page, server.url, pos).catch(() => null);
  const result = { rows: opened && opened.rows, chart: withChart && opened ? opened.chart : undefined };
  result.scroll = await scrollFrames(page);
  result.filter = await filterWord(page);
  result.parts = await scrollWhileParts(page, pos);
  result.count = await page.locator("#records tr[data-spos]").count();
  await page.close();
  return result;
}

async function bench(file, label) {
  const servers = [{ name: "this build", bin: binary }];
  if (baseBinary) servers.push({ name: "base", bin: baseBinary });
  for (const s of servers) Object.assign(s, await start(s.bin, file), { results: [] });

  // The busiest account of the shown period: the chart route counts its splits.
  let busiest = { pos: 0, count: -1 };
  for (let pos = 0; ; pos++) {
    const answer = await fetch(`${servers[0].url}chart/account/${pos}?w=1`);
    if (!answer.ok) break;
    const { count } = await answer.json();
    if (count > busiest.count) busiest = { pos, count };
  }

  for (let i = 0; i < runs; i++) for (const s of servers) s.results.push(await measure(s, busiest.pos, true));

  console.log(`${label}: ${file} (${(fs.statSync(file).size / 1e6).toFixed(0)} MB), account #${busiest.pos} with ` +
              `${busiest.count - 1} splits in the period, ${runs} runs, medians`);
  console.log(`                     first rows   rows and chart   filter "${word}" after its last key ` +
              `(asked, answer, page)   scroll frame (median, worst)   drag frame (90%, worst) while parts come (parts), once there`);
  for (const s of servers) {
    const pick = (f) => median(s.results.map(f).filter((x) => x !== null && x !== undefined));
    const filter = (k) => pick((r) => r.filter[k]);
    const frames = s.results.map((r) => r.scroll);
    console.log(`  ${s.name.padEnd(18)} ${ms(pick((r) => r.rows))}        ${ms(pick((r) => r.chart))}           ` +
                `${ms(filter("total"))} (${ms(filter("asked"))},${ms(filter("answer"))},${ms(filter("page"))})` +
                `   ${ms(median(frames.map((f) => f.median)))} ${ms(median(frames.map((f) => f.worst)))}` +
                `   ${ms(pick((r) => r.parts.coming.p90))} ${ms(pick((r) => r.parts.coming.worst))} (${pick((r) => r.parts.parts)})` +
                `, ${ms(pick((r) => r.parts.held.p90))} ${ms(pick((r) => r.parts.held.worst))}`);
  }
  for (const s of servers) s.proc.kill("SIGTERM");
}

console.log(`load average ${os.loadavg().map((x) => x.toFixed(1)).join(" ")} on ${os.cpus().length} cores`);
await bench(ledger, "the busiest account of the ledger");

// A year of a busy account: 60,000 splits of Bank in one year, a tenth of them at a market.
const busy = path.join(scratch, "busy-year.ledger");
writeBusyYear(busy, (i) => `Move ${i} at the ${i % 10 === 3 ? "market" : "shop"}`);
await bench(busy, "a busy account's year");

await browser.close();
fs.rmSync(scratch, { recursive: true, force: true });
