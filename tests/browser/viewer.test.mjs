// Drives the report viewer in headless Chromium against the built murex binary.
// Usage: node viewer.test.mjs MUREX_BINARY [SCREENSHOT_DIR]
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";

let chromium;
try {
  ({ chromium } = await import("playwright-core"));
} catch (e) {
  console.error("playwright-core is missing: run `npm ci` in tests/browser");
  process.exit(1);
}

const here = path.dirname(fileURLToPath(import.meta.url));
const binary = path.resolve(process.argv[2] || process.env.MUREX_BIN || "");
const shotDir = path.resolve(
  process.argv[3] || process.env.MUREX_SCREENSHOTS || path.join(os.tmpdir(), "murex-screenshots"),
);
const chromiumPath = "/usr/bin/chromium";
const household = path.join(here, "..", "..", "examples", "household.ledger");
const waitMs = 10000;

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "murex-browser-"));
let browser;

// Account positions in this ledger: 0 Assets, 1 Bank, 2 Cash, 3 Broker, 4 Liabilities, 5 Card,
// 6 Capital, 7 Income, 8 Salary, 9 Expenses, 10 Food, 11 Rent; kind 0 is ACME.
const ledgerText = `; test books
2024-01-01 Opening transaction
    Assets 0 ; @A Assets
        Bank 1_000.00 ; Current account
        Cash 50.00
        Broker 0 ; Shares
        Broker:ACME 10@20.00 ; Acme shares
    Liabilities 0 ; @L Liabilities
        Card -100.00
    Capital ; @C Equity
    Income 0 ; @I Income
        Salary 0
    Expenses 0 ; @E Expenses
        Food 0
        Rent 0

2024-01-05 Salary January
    Salary -2_000.00
    Bank

2024-01-10 Supermarket ; weekly
    Food 45.50 ; bread and cheese
    Cash

2024-02-01 Rent February
    Rent 800.00
    Bank

2024-03-01 Buy Acme
    Broker:ACME 5@22.00
    Bank

2024-04-01 Rent April
    Rent 800.00
    Bank
`;

function ledgerFile(name, text) {
  const file = path.join(scratch, name);
  fs.writeFileSync(file, text);
  return file;
}

// Starts murex with its own empty configuration folders and reads the port it prints.
function startMurex(args, cwd = scratch) {
  const home = fs.mkdtempSync(path.join(scratch, "home-"));
  const proc = spawn(binary, args, {
    cwd,
    env: { PATH: process.env.PATH, HOME: home, XDG_CONFIG_HOME: path.join(home, "config") },
    stdio: ["ignore", "pipe", "pipe"],
  });
  let stdout = "";
  let stderr = "";
  const exited = new Promise((resolve) => proc.on("exit", (code) => resolve(code)));
  proc.stderr.on("data", (d) => (stderr += d));
  const port = new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error("murex printed no address: " + stderr)), waitMs);
    proc.stdout.on("data", (d) => {
      stdout += d;
      const m = /http:\/\/localhost:(\d+)\//.exec(stdout);
      if (m) {
        clearTimeout(timer);
        resolve(Number(m[1]));
      }
    });
    exited.then((code) => reject(new Error(`murex ended with ${code}: ${stderr}`)));
  });
  return {
    proc,
    exited,
    stderr: () => stderr,
    url: port.then((p) => `http://127.0.0.1:${p}/`),
    stop() {
      if (proc.exitCode === null && proc.signalCode === null) proc.kill("SIGTERM");
    },
  };
}

// One murex and one fresh page per test; both end with the test.
async function withViewer(t, args, body, cwd) {
  const murex = startMurex(args, cwd);
  t.after(() => murex.stop());
  const url = await murex.url;
  const page = await browser.newPage({ viewport: { width: 1100, height: 800 } });
  t.after(() => page.close());
  page.setDefaultTimeout(waitMs);
  const errors = [];
  page.on("pageerror", (e) => errors.push(String(e)));
  // Everything the page does must hold under its security policy.
  page.on("console", (m) => {
    if (/Content Security Policy/i.test(m.text())) errors.push(m.text());
  });
  await page.goto(url);
  await body(page, url, murex);
  assert.deepEqual(errors, [], "script errors or refused resources on the page");
}

async function shot(page, name) {
  await page.screenshot({ path: path.join(shotDir, name + ".png"), fullPage: true, timeout: 60000 });
}

async function activeSections(page) {
  return page.$$eval("section.active", (list) => list.map((s) => s.id));
}

async function headerShown(page) {
  return page.$eval("#header", (h) => getComputedStyle(h).display !== "none");
}

// Reloads the page through a window focus, as when the user comes back from the editor.
async function focusAndReload(page) {
  await Promise.all([
    page.waitForEvent("load"),
    page.evaluate(() => window.dispatchEvent(new Event("focus"))),
  ]);
}

async function openAccount(page, pos) {
  await page.click("#header");
  await page.click(`#jump a[href="#a${pos}"]`);
  await page.waitForSelector("#accounttbl");
}

before(() => {
  assert.ok(fs.existsSync(binary) && binary !== path.resolve(""), "murex binary missing: " + binary);
  assert.ok(fs.existsSync(chromiumPath), chromiumPath + " missing: apt-get install chromium");
  fs.mkdirSync(shotDir, { recursive: true });
  return chromium
    .launchPersistentContext(fs.mkdtempSync(path.join(scratch, "profile-")), {
      executablePath: chromiumPath,
      headless: true,
      args: [
        "--headless",
        "--no-sandbox",
        "--disable-gpu",
        "--disable-quic",
        "--no-first-run",
        "--disable-background-networking",
        "--disable-component-update",
        "--disable-sync",
      ],
    })
    .then((context) => (browser = context));
});

after(async () => {
  if (browser) await browser.close();
  fs.rmSync(scratch, { recursive: true, force: true });
});

test("the page opens on the account balance", async (t) => {
  await withViewer(t, [ledgerFile("open.ledger", ledgerText)], async (page) => {
    assert.deepEqual(await activeSections(page), ["accb"]);
    assert.equal(await page.textContent("#accb h1"), "Balance of accounts");
    assert.ok(await headerShown(page));
    assert.equal(await page.$eval("#nop", (n) => getComputedStyle(n).display), "none");
    await shot(page, "account-balance");
  });
});

test("a closed ledger shows the start of the next opening transaction", async (t) => {
  const closed = `2024-01-01 Opening transaction
    Bank 100.00 ; @A
    Equity -100.00 ; @C
    Income 0 ; @I
    Expenses 0 ; @E
2024-02-01 Savings
    Bank 10.00
    Equity
`;
  await withViewer(t, [ledgerFile("closed.ledger", closed)], async (page) => {
    assert.deepEqual(await activeSections(page), ["accb"]);
    assert.notEqual(await page.$eval("#nop", (n) => getComputedStyle(n).display), "none");
    assert.equal(await page.textContent("#nop pre .Datum"), "2024-02-02");
    assert.ok((await page.locator("#nop pre .Account").count()) >= 4);
  });
});

test("#j shows the menu and hides the header tab", async (t) => {
  await withViewer(t, [ledgerFile("menu.ledger", ledgerText)], async (page) => {
    await page.click("#header");
    assert.deepEqual(await activeSections(page), ["jump"]);
    assert.ok(!(await headerShown(page)));
    assert.match(page.url(), /#j$/);
    await shot(page, "menu");
    await page.click('#jump a[href="#a"]');
    assert.deepEqual(await activeSections(page), ["accb"]);
    assert.ok(await headerShown(page));
  });
});

test("clicking an account opens its report, and back returns", async (t) => {
  await withViewer(t, [ledgerFile("account.ledger", ledgerText)], async (page) => {
    await page.click('#balance a[href="#a1"]');
    await page.waitForSelector("#accounttbl");
    assert.deepEqual(await activeSections(page), ["acc"]);
    assert.match(await page.textContent("#acc h1"), /^Account: /);
    assert.match(await page.textContent("#records"), /Salary January/);
    await shot(page, "account");
    await page.goBack();
    await page.waitForFunction(() => document.querySelector("#accb.active") !== null);
    await page.goForward();
    await page.waitForSelector("#acc.active #accounttbl");
  });
});

test("typing in the filter box replaces the rows", async (t) => {
  await withViewer(t, [ledgerFile("filter.ledger", ledgerText)], async (page) => {
    await openAccount(page, 1);
    await page.click('input[name="filter"]');
    await page.keyboard.type(" rent ");
    await page.waitForFunction(() => /Filtering for: rent/.test(document.querySelector("#records").textContent));
    const text = await page.textContent("#records");
    assert.match(text, /Rent February/);
    assert.match(text, /Rent April/);
    assert.doesNotMatch(text, /Salary January/);
    await shot(page, "account-filtered");
  });
});

test("selected rows show their sums, and Query clears them", async (t) => {
  await withViewer(t, [ledgerFile("select.ledger", ledgerText)], async (page) => {
    await openAccount(page, 1);
    await page.click("#rowselekt");
    await page.click('#records tr:has-text("Period opening balance")');
    assert.equal(await page.locator("tr.selekt").count(), 0, "a row without a split is not selectable");
    await page.click('#records tr:has-text("Salary January")');
    await page.click('#records tr:has-text("Rent February")');
    // The sums of the first row may show before those of both.
    await page.waitForFunction(() => document.querySelector("#filtered td:nth-child(3)").textContent.trim() === "800.00");
    const cells = await page.$$eval("#filtered td", (tds) => tds.slice(0, 4).map((td) => td.textContent.trim()));
    assert.deepEqual(cells, ["Selected:", "2,000.00", "800.00", "1,200.00"]);
    assert.equal(await page.locator("#records tr.selekt").count(), 2);
    assert.ok(!(await page.isVisible("#popup")));
    await shot(page, "account-selected");
    await page.click("#rowquery");
    assert.equal(await page.locator("tr.selekt").count(), 0);
    const cleared = await page.$$eval("#filtered td", (tds) => tds.slice(1, 4).map((td) => td.textContent));
    assert.deepEqual(cleared, ["", "", ""]);
  });
});

test("a row click in Query mode opens the popup, the next click only closes it", async (t) => {
  await withViewer(t, [ledgerFile("popup.ledger", ledgerText)], async (page) => {
    await openAccount(page, 1);
    await page.click('#records tr[data-spos="-1"] >> nth=0');
    assert.ok(!(await page.isVisible("#popup")), "an opening row has no transaction");
    await page.click('#records tr:has-text("Salary January")');
    await page.waitForSelector("#popup", { state: "visible" });
    assert.match(await page.textContent("#popup .Datum"), /^2024-01-05$/);
    assert.match(await page.textContent("#popup .Description"), /Salary January/);
    assert.equal(await page.locator("#popup .Account").count(), 2);
    assert.equal(await page.locator("#popup .Amount").count(), 2);
    await shot(page, "transaction-popup");
    // On the date cell, left of the popup, which opened where the first click was.
    await page.click('#records tr:has-text("Rent February") td >> nth=0', { position: { x: 4, y: 4 } });
    assert.ok(!(await page.isVisible("#popup")));
    await page.waitForTimeout(300);
    assert.ok(!(await page.isVisible("#popup")), "the closing click opened another popup");
    await page.click("#header");
    assert.deepEqual(await activeSections(page), ["jump"], "a link works again once the popup is closed");
  });
});

test("a kind page opens the popup on a row click", async (t) => {
  await withViewer(t, [ledgerFile("kind.ledger", ledgerText)], async (page) => {
    await page.click("#header");
    await page.click('#jump a[href="#i0"]');
    await page.waitForSelector("#invtbl");
    assert.deepEqual(await activeSections(page), ["inv"]);
    await shot(page, "inventory-kind");
    await page.click('#invtbl tbody tr:has-text("Buy Acme")');
    await page.waitForSelector("#popup", { state: "visible" });
    assert.match(await page.textContent("#popup"), /Broker:ACME 5@22/);
    await page.click("#inv h1");
    assert.ok(!(await page.isVisible("#popup")));
  });
});

test("the period select reloads the page with the new range", async (t) => {
  await withViewer(t, [ledgerFile("period.ledger", ledgerText)], async (page) => {
    await page.click("#header");
    await Promise.all([page.waitForEvent("load"), page.selectOption('select[name="period"]', "2024Q1")]);
    assert.deepEqual(await activeSections(page), ["accb"]);
    assert.match(await page.textContent("#accb table.about"), /2024-01-01 - 2024-03-31/);
    assert.equal(await page.$eval('select[name="period"]', (s) => s.value), "2024Q1");
  });
});

test("the future switch reloads the page with the range to the year's end", async (t) => {
  const today = new Date();
  const tomorrow = new Date(Date.UTC(today.getUTCFullYear(), today.getUTCMonth(), today.getUTCDate() + 1));
  const day = (d) => d.toISOString().slice(0, 10);
  const year = tomorrow.getUTCFullYear();
  const text = `${year - 1}-12-31 Opening transaction
    Bank 100.00 ; @A
    Capital ; @C
${day(tomorrow)} Paid tomorrow
    Bank -77.25
    Capital
`;
  await withViewer(t, [ledgerFile("future.ledger", text)], async (page) => {
    const range = () => page.textContent("#accb table.about");
    assert.doesNotMatch(await range(), new RegExp(` - ${year}-12-31`));
    assert.doesNotMatch(await page.textContent("#balance"), /77\.25/);
    await page.click("#header");
    await Promise.all([page.waitForEvent("load"), page.click('input[name="futureShow"]')]);
    assert.match(await range(), new RegExp(` - ${year}-12-31`));
    assert.match(await page.textContent("#balance"), /77\.25/);
    await page.click("#header");
    assert.ok(await page.isChecked('input[name="futureShow"]'));
  });
});

test("saving the ledger and focusing the window reloads the page", async (t) => {
  const file = ledgerFile("reload.ledger", ledgerText);
  await withViewer(t, [file], async (page) => {
    assert.doesNotMatch(await page.textContent("#balance"), /3,234\.56/);
    fs.appendFileSync(file, "\n2024-04-02 Bonus\n    Salary -1_234.56\n    Bank\n");
    await focusAndReload(page);
    assert.match(await page.textContent("#balance"), /3,234\.56/, "the salary with the bonus");
  });
});

test("a faulty ledger shows only the error section, a fixed one the reports again", async (t) => {
  const file = ledgerFile("faulty.ledger", ledgerText);
  await withViewer(t, [file], async (page) => {
    fs.writeFileSync(file, ledgerText.replace("2024-02-01 Rent", "2024-13-01 Rent"));
    await focusAndReload(page);
    assert.deepEqual(await activeSections(page), ["err"]);
    assert.match(await page.textContent("#errorStr"), /^Error at line \d+: month wrong/);
    assert.ok(!(await headerShown(page)), "the error page offers no menu");
    await page.keyboard.press("m");
    await page.keyboard.press("?");
    assert.deepEqual(await activeSections(page), ["err"], "nor the shortcuts");
    assert.ok(!(await page.isVisible("#keyhelp")));
    await shot(page, "error");
    fs.writeFileSync(file, ledgerText);
    await focusAndReload(page);
    assert.deepEqual(await activeSections(page), ["accb"]);
  });
});

// ---- The place kept: the address names the view, the period and the future switch.

const shownRange = (page) => page.textContent("section.active table.about");

test("the page keeps its view over a reload, a saved file, a period and the future switch", async (t) => {
  const file = ledgerFile("place.ledger", ledgerText);
  await withViewer(t, [file], async (page, url) => {
    await openAccount(page, 1);
    await page.reload();
    await page.waitForSelector("#acc.active #accounttbl");
    assert.equal(page.url(), url + "#a1");
    assert.match(await page.textContent("#acc h1"), /^Account: Assets:Current account/);

    fs.appendFileSync(file, "\n2024-04-02 Bonus\n    Salary -1_234.56\n    Bank\n");
    await focusAndReload(page);
    await page.waitForSelector("#acc.active #accounttbl");
    assert.match(await page.textContent("#records"), /Bonus/, "the saved row");

    // Chosen in the menu: shown on the view the menu was opened from.
    await page.click("#header");
    await Promise.all([page.waitForEvent("load"), page.selectOption('select[name="period"]', "2024Q1")]);
    await page.waitForSelector("#acc.active #accounttbl");
    assert.equal(page.url(), url + "p/2024Q1/#a1");
    assert.match(await shownRange(page), /2024-01-01 - 2024-03-31/);
    assert.doesNotMatch(await page.textContent("#records"), /Rent April/);
    assert.equal(await page.getAttribute("#acc a.csv", "href"), "/p/2024Q1/csv/account/1");

    await page.click("#header");
    await Promise.all([page.waitForEvent("load"), page.click('input[name="futureShow"]')]);
    await page.waitForSelector("#acc.active #accounttbl");
    assert.equal(page.url(), url + "p/2024Q1+future/#a1");
    await page.click("#header");
    assert.ok(await page.isChecked('input[name="futureShow"]'));
    assert.equal(await page.$eval('select[name="period"]', (s) => s.value), "2024Q1");
    await page.click('#jump a[href="#mon"]');
    await page.waitForSelector("#mon.active #monthly");
    await page.reload();
    await page.waitForSelector("#mon.active #monthly");
    assert.deepEqual(await page.$$eval("#monthly thead th", (ths) => ths.map((th) => th.textContent).slice(1, 4)),
                     ["Jan", "Feb", "Mar"]);
    await shot(page, "place-monthly-q1");

    // A view the period does not have: the balance instead.
    await page.goto(url + "p/2024Q1/#a1/2024-04");
    await page.waitForFunction(() => document.querySelector("#accb.active") !== null && location.hash === "#a");
    await page.goto(url + "p/2024Q1/#a99");
    await page.waitForFunction(() => document.querySelector("#accb.active") !== null && location.hash === "#a");
  });
});

test("the back button goes back to the view and the period shown before", async (t) => {
  await withViewer(t, [ledgerFile("back.ledger", ledgerText)], async (page, url) => {
    await openAccount(page, 1);
    await page.click("#header");
    await Promise.all([page.waitForEvent("load"), page.selectOption('select[name="period"]', "2024Q1")]);
    await page.waitForSelector("#acc.active #accounttbl");
    await page.click("#header");
    await page.click('#jump a[href="#i0"]');
    await page.waitForSelector("#inv.active #invtbl");
    await page.goBack();
    await page.waitForFunction(() => document.querySelector("#jump.active") !== null);
    await page.goBack();
    await page.waitForSelector("#acc.active #accounttbl");
    assert.equal(page.url(), url + "p/2024Q1/#a1");
    await page.goBack();
    await page.waitForFunction(() => document.querySelector("#jump.active") !== null);
    assert.equal(page.url(), url + "#j");
    await page.goBack();
    await page.waitForSelector("#acc.active #accounttbl");
    assert.equal(page.url(), url + "#a1");
    assert.match(await shownRange(page), /2024-01-01 - 2024-12-31/);
    await page.goForward();
    await page.goForward();
    await page.waitForSelector("#acc.active #accounttbl");
    assert.match(await shownRange(page), /2024-01-01 - 2024-03-31/);
  });
});

test("the place is kept where the page was scrolled to", async (t) => {
  const rows = Array.from({ length: 60 }, (_, i) => `2024-03-${String(1 + (i % 28)).padStart(2, "0")} Lunch ${i}\n    Food 9.00\n    Cash\n`);
  const text = ledgerText.replace("2024-04-01 Rent April", rows.sort().join("\n") + "\n2024-04-01 Rent April");
  const file = ledgerFile("scroll.ledger", text);
  await withViewer(t, [file], async (page) => {
    await openAccount(page, 2);
    await page.evaluate(() => window.scrollTo(0, 900));
    await page.waitForTimeout(400);
    fs.utimesSync(file, new Date(), new Date(Date.now() + 5000));
    await focusAndReload(page);
    await page.waitForSelector("#acc.active #accounttbl");
    await page.waitForFunction(() => window.scrollY > 800);
    assert.ok(Math.abs((await page.evaluate(() => window.scrollY)) - 900) < 5);
    await page.goBack();
    await page.waitForFunction(() => document.querySelector("#jump.active") !== null);
  });
});

test("two tabs show two periods side by side, each for its own", async (t) => {
  await withViewer(t, [ledgerFile("tabs.ledger", ledgerText)], async (page, url) => {
    const home = await (await fetch(url)).text();
    const other = await browser.newPage({ viewport: { width: 1100, height: 800 } });
    t.after(() => other.close());
    await page.goto(url + "p/2024Q1/#a1");
    await other.goto(url + "p/2024Q2+future/#a1");
    await page.waitForSelector("#acc.active #accounttbl");
    await other.waitForSelector("#acc.active #accounttbl");
    assert.match(await shownRange(page), /2024-01-01 - 2024-03-31/);
    assert.match(await shownRange(other), /2024-04-01 - 2024-06-30/);
    assert.match(await page.textContent("#records"), /Salary January/);
    assert.doesNotMatch(await other.textContent("#records"), /Salary January/);
    // The rows asked for afterwards keep to each tab's period.
    for (const [tab, shown, hidden] of [[page, "Rent February", "Rent April"], [other, "Rent April", "Rent February"]]) {
      await tab.click('input[name="filter"]');
      await tab.keyboard.type("rent");
      await tab.waitForFunction(() => /Filtering for: rent/.test(document.querySelector("#records").textContent));
      assert.match(await tab.textContent("#records"), new RegExp(shown));
      assert.doesNotMatch(await tab.textContent("#records"), new RegExp(hidden));
    }
    await other.click('#records tr:has-text("Rent April")');
    await other.waitForSelector("#popup", { state: "visible" });
    assert.match(await other.textContent("#popup .Datum"), /^2024-04-01$/);
    await other.click("#header");
    assert.ok(await other.isChecked('input[name="futureShow"]'));
    await page.click("#header");
    assert.ok(!(await page.isChecked('input[name="futureShow"]')));
    await shot(page, "tab-2024Q1");
    await shot(other, "tab-2024Q2-future");
    assert.equal(await (await fetch(url)).text(), home, "the page without a period is the viewer's");
  });
});

test("a viewer started on a faulty ledger shows the error, the fixed file the reports", async (t) => {
  const file = ledgerFile("faulty-start.ledger", ledgerText.replace("2024-02-01 Rent", "2024-13-01 Rent"));
  await withViewer(t, ["-p", "2024Q1", file], async (page, url, murex) => {
    await page.goto(url + "#a1");
    assert.deepEqual(await activeSections(page), ["err"]);
    assert.match(await page.textContent("#errorStr"), /^Error at line \d+: month wrong/);
    assert.match(murex.stderr(), /^Error: unhandled exception: Error at line \d+: month wrong/);
    assert.ok(!(await headerShown(page)), "the error page offers no menu");
    await shot(page, "error-at-start");
    fs.writeFileSync(file, ledgerText);
    await focusAndReload(page);
    await page.waitForSelector("#acc.active #accounttbl");
    assert.match(await page.textContent("#acc table.about"), /2024-01-01 - 2024-03-31/, "the period of the command line");
    assert.equal(murex.proc.exitCode, null);
  });
});

test("manual mode opens on the manual", async (t) => {
  await withViewer(t, ["--man"], async (page) => {
    assert.deepEqual(await activeSections(page), ["man"]);
    assert.ok(await page.isVisible("h1#m"));
    assert.match(await page.textContent("#m6 ~ pre"), /murex\/murex\.ini/);
    await shot(page, "manual");
    await page.click("#header");
    assert.equal(await page.locator("#jump select, #jump table").count(), 0, "the menu has no ledger part");
    await page.click('#jump a[href="#m10"]');
    assert.deepEqual(await activeSections(page), ["man"]);
  });
});

test("#quit shows Bye! and ends murex", async (t) => {
  await withViewer(t, [ledgerFile("quit.ledger", ledgerText)], async (page, url, murex) => {
    await page.click("#header");
    await page.click('#jump a[href="#quit"]');
    await page.waitForFunction(() => document.body.textContent === "Bye!");
    assert.equal(await murex.exited, 0);
    assert.match(murex.stderr(), /^Bye\n$/);
  });
});

// A page of another site (here 127.0.0.1 on another port, the viewer being "localhost")
// tries an image, a form and a fetch on the routes that change or end the viewer, then sends
// the browser to the viewer's address with "#quit". Nothing changes and murex goes on.
test("a page of another site can neither steer nor end the viewer", async (t) => {
  await withViewer(t, [ledgerFile("foreign.ledger", ledgerText)], async (page, url, murex) => {
    const viewer = url.replace("127.0.0.1", "localhost");
    const home = await (await fetch(url)).text();
    const foreign = http.createServer((req, res) => {
      res.writeHead(200, { "content-type": "text/html; charset=utf-8" });
      res.end(`<!DOCTYPE html><title>elsewhere</title>
<img src="${viewer}quit"><img src="${viewer}toggleFuture">
<form id="f" method="POST" action="${viewer}period/2024Q1"></form>
<iframe name="sink"></iframe>
<script>
  document.getElementById("f").target = "sink";
  document.getElementById("f").submit();
  fetch("${viewer}quit", { mode: "no-cors" }).catch(() => {});
  fetch("${viewer}period/2024Q2", { method: "POST", mode: "no-cors" }).catch(() => {});
</script>`);
    });
    await new Promise((resolve) => foreign.listen(0, "127.0.0.1", resolve));
    t.after(() => foreign.close());
    const other = await browser.newPage();
    t.after(() => other.close());
    await other.goto(`http://127.0.0.1:${foreign.address().port}/`);
    await other.waitForTimeout(1000);
    await other.goto(viewer + "#quit");
    await other.waitForSelector("section.active");
    await other.waitForTimeout(500);
    assert.equal(murex.proc.exitCode, null, "murex still runs");
    assert.equal(await (await fetch(url)).text(), home, "the period and switches are as before");
    assert.match(murex.stderr(), /^$/);
    // The user's own click still ends it.
    await page.click("#header");
    await page.click('#jump a[href="#quit"]');
    await page.waitForFunction(() => document.body.textContent === "Bye!");
    assert.equal(await murex.exited, 0);
  });
});

test("the bundled example opens on its account balance", async (t) => {
  if (!fs.existsSync(household)) {
    t.skip("examples/household.ledger not there");
    return;
  }
  // Started from the checkout's top, as the README shows it.
  const top = path.join(here, "..", "..");
  await withViewer(
    t,
    [path.join("examples", "household.ledger")],
    async (page) => {
      assert.deepEqual(await activeSections(page), ["accb"]);
      await page.setViewportSize({ width: 1000, height: 760 });
      await page.screenshot({ path: path.join(shotDir, "household-balance.png") });
    },
    top,
  );
});

// ---- Charts, dark scheme and keyboard, on the bundled example.
// Household accounts: 1 Bank, 9 Expenses, 10 Rent; kind 1 is GREEN.

const top = path.join(here, "..", "..");

async function withHousehold(t, body, options = {}) {
  if (!fs.existsSync(household)) {
    t.skip("examples/household.ledger not there");
    return;
  }
  await withViewer(
    t,
    [path.join("examples", "household.ledger"), ...(options.args || [])],
    async (page, url, murex) => {
      if (options.scheme) await page.emulateMedia({ colorScheme: options.scheme });
      await body(page, url, murex);
    },
    top,
  );
}

async function chartShot(page, id, name) {
  await page.locator(`#${id} svg`).waitFor();
  for (const scheme of ["light", "dark"]) {
    await page.emulateMedia({ colorScheme: scheme });
    await page.locator(`#${id}`).screenshot({ path: path.join(shotDir, `chart-${name}-${scheme}.png`) });
  }
  await page.emulateMedia({ colorScheme: "light" });
}

// The id of the table right below a chart, in the box of its own that the table sits in.
async function aboveTable(page, id) {
  return page.$eval(`#${id}`, (f) => f.nextElementSibling.classList.contains("tablebox") && f.nextElementSibling.firstElementChild.id);
}

// The centre of the n-th element of a selector, in page coordinates.
async function centre(page, selector, n = 0) {
  const box = await page.locator(selector).nth(n).boundingBox();
  return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
}

test("the balance chart shows each month's income, expenses, profit and net worth", async (t) => {
  await withHousehold(t, async (page) => {
    const svg = "#accb #balchart svg";
    await page.locator(svg).waitFor();
    assert.equal(await page.getAttribute(svg, "data-months"), "12");
    assert.equal(await page.locator(`${svg} rect.income`).count(), 12);
    assert.equal(await page.locator(`${svg} rect.expense`).count(), 12);
    assert.equal(await page.locator(`${svg} circle.worthpt`).count(), 12);
    // Above the table, and described for screen readers.
    assert.equal(await aboveTable(page, "balchart"), "balance");
    assert.match(await page.textContent(`${svg} desc`), /Income 2,826\.00, expenses 1,347\.50/);
    const labelled = await page.$eval(svg, (s) =>
      s.getAttribute("aria-labelledby").split(" ").map((id) => document.getElementById(id).textContent),
    );
    assert.match(labelled[0], /Income, expenses and profit per month/);
    // Pointing at January shows its figures.
    const jan = await centre(page, `${svg} rect.income`, 0);
    await page.mouse.move(jan.x, jan.y);
    await page.locator("#balchart .charttip").waitFor({ state: "visible" });
    const tip = await page.textContent("#balchart .charttip");
    assert.match(tip, /2025-01-01 – 2025-01-31/);
    assert.match(tip, /Income 2,800\.00/);
    assert.match(tip, /Net worth 8,805\.80/);
    await page.mouse.move(1, 1);
    await chartShot(page, "balchart", "balance");
  });
});

test("the period selector redraws the balance chart", async (t) => {
  await withHousehold(t, async (page) => {
    await page.click("#header");
    await Promise.all([page.waitForEvent("load"), page.selectOption('select[name="period"]', "2025Q1")]);
    await page.locator("#balchart svg").waitFor();
    assert.equal(await page.getAttribute("#balchart svg", "data-months"), "3");
    assert.equal(await page.locator("#balchart rect.income").count(), 3);
  });
});

test("an account's chart: a point per split, pointing tells, clicking marks the row", async (t) => {
  await withHousehold(t, async (page) => {
    await openAccount(page, 1);
    const svg = "#acc #accchart svg";
    await page.locator(svg).waitFor();
    const rows = await page.locator("#records tr[data-spos]").count();
    // The opening row and one row per split; sums and change are not points.
    assert.equal(await page.getAttribute(svg, "data-points"), String(rows - 2));
    assert.equal(await page.locator(`${svg} circle.pt`).count(), rows - 2);
    assert.equal(await aboveTable(page, "accchart"), "accounttbl");
    const point = await centre(page, `${svg} circle.pt`, 4);
    await page.mouse.move(point.x, point.y);
    await page.locator("#accchart .charttip").waitFor({ state: "visible" });
    assert.match(await page.textContent("#accchart .charttip"), /^2025-07-31Balance 6,533\.75$/);
    await page.mouse.click(point.x, point.y);
    const marked = page.locator("#records tr.marked");
    await marked.waitFor();
    assert.equal(await marked.count(), 1);
    assert.match(await marked.textContent(), /Card statement/);
    assert.ok(!(await page.isVisible("#popup")), "a chart click opens no popup");
    await page.waitForFunction(() => {
      const r = document.querySelector("#records tr.marked").getBoundingClientRect();
      return r.top >= 0 && r.bottom <= innerHeight;
    });
    await page.mouse.move(1, 1);
    await chartShot(page, "accchart", "account");
  });
});

test("the filter box redraws the account's chart with the rows it shows", async (t) => {
  await withHousehold(t, async (page) => {
    await openAccount(page, 1);
    await page.locator("#accchart svg").waitFor();
    await page.click('input[name="filter"]');
    await page.keyboard.type("fund");
    await page.waitForFunction(() => document.querySelector("#accchart svg")?.dataset.points === "2");
    assert.match(await page.textContent("#accchart figcaption"), /filtered/);
    await page.keyboard.press("Escape");
  });
});

test("a kind's chart shows its book value and items held", async (t) => {
  await withHousehold(t, async (page) => {
    await page.click("#header");
    await page.click('#jump a[href="#i1"]');
    const svg = "#inv #invchart svg";
    await page.locator(svg).waitFor();
    assert.equal(await page.getAttribute(svg, "data-points"), "3");
    assert.deepEqual(await page.$$eval(`${svg} .panelname`, (l) => l.map((e) => e.textContent)), [
      "Book value",
      "Items held",
    ]);
    assert.equal(await page.locator(`${svg} path.line`).count(), 2);
    // By keyboard: the last point first, then one to the left.
    await page.focus(svg);
    await page.keyboard.press("ArrowLeft");
    assert.match(await page.textContent("#invchart .charttip"), /2025-04-22Book value 363\.00Items held 30/);
    await page.keyboard.press("Enter");
    await page.locator("#invtbl tr.marked").waitFor();
    assert.match(await page.textContent("#invtbl tr.marked"), /Buy fund units/);
    await chartShot(page, "invchart", "kind");
  });
});

test("charts are in the print view, without their pointer marks", async (t) => {
  await withHousehold(t, async (page) => {
    await page.locator("#balchart svg").waitFor();
    await page.emulateMedia({ media: "print" });
    assert.ok(await page.isVisible("#balchart svg"));
    assert.equal(await page.$eval("#balchart .band", (b) => getComputedStyle(b).display), "none");
    await page.emulateMedia({ media: "screen" });
  });
});

// The contrast of two CSS colours, as WCAG computes it.
function contrast(a, b) {
  const lum = (c) => {
    const [r, g, bl] = c.match(/\d+(\.\d+)?/g).slice(0, 3).map(Number).map((v) => {
      v /= 255;
      return v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4;
    });
    return 0.2126 * r + 0.7152 * g + 0.0722 * bl;
  };
  const [hi, lo] = [lum(a), lum(b)].sort((x, y) => y - x);
  return (hi + 0.05) / (lo + 0.05);
}

test("the dark scheme gives a dark page with readable text everywhere", async (t) => {
  await withHousehold(
    t,
    async (page) => {
      await page.locator("#balchart svg").waitFor();
      const body = await page.$eval("body", (b) => [getComputedStyle(b).backgroundColor, getComputedStyle(b).color]);
      assert.ok(contrast(body[0], "rgb(0, 0, 0)") < 1.6, "a dark background: " + body[0]);
      assert.ok(contrast(body[0], body[1]) >= 7, "body text " + body);
      // Every kind of cell on its own background: the five types and their increase sides.
      const cells = await page.$$eval("#balance td", (tds) =>
        tds.map((td) => {
          let bg = "rgba(0, 0, 0, 0)";
          for (let e = td; e && /rgba\(0, 0, 0, 0\)/.test(bg); e = e.parentElement) bg = getComputedStyle(e).backgroundColor;
          const link = td.querySelector("a");
          return [bg, getComputedStyle(link || td).color];
        }),
      );
      for (const [bg, fg] of cells) assert.ok(contrast(bg, fg) >= 4.5, `${fg} on ${bg}`);
      const tick = await page.$eval("#balchart .tick", (e) => getComputedStyle(e).fill);
      assert.ok(contrast(body[0], tick) >= 4.5, "chart labels " + tick);
      await shot(page, "dark-balance");
      await openAccount(page, 1);
      await page.click('#records tr:has-text("Salary January")');
      await page.waitForSelector("#popup", { state: "visible" });
      const popup = await page.$eval("#popup", (p) => [getComputedStyle(p).backgroundColor, getComputedStyle(p).color]);
      assert.ok(contrast(popup[0], popup[1]) >= 7, "popup " + popup);
      await shot(page, "dark-account");
      await page.keyboard.press("Escape");
      await page.keyboard.press("h");
      await page.waitForFunction(() => document.querySelector("#man.active") !== null);
      await shot(page, "dark-manual");
    },
    { scheme: "dark" },
  );
});

test("keyboard shortcuts move around the page, ? shows them", async (t) => {
  await withHousehold(t, async (page) => {
    await page.keyboard.press("?");
    await page.locator("#keyhelp").waitFor({ state: "visible" });
    assert.ok((await page.locator("#keyhelp tr").count()) >= 8);
    assert.match(await page.textContent("#keyhelp"), /the next or previous account/);
    await shot(page, "keyboard-help");
    await page.keyboard.press("m");
    assert.ok(await page.isVisible("#keyhelp"), "other keys wait while the help is open");
    await page.keyboard.press("Escape");
    assert.ok(!(await page.isVisible("#keyhelp")));
    await page.keyboard.press("m");
    await page.waitForFunction(() => document.querySelector("#jump.active") !== null);
    await page.keyboard.press("b");
    await page.waitForFunction(() => document.querySelector("#accb.active") !== null);
    await page.keyboard.press("n");
    await page.waitForSelector("#acc.active #accounttbl");
    assert.equal(page.url().split("#")[1], "a0");
    await page.keyboard.press("n");
    await page.waitForFunction(() => location.hash === "#a1" && document.querySelector("#acc a#a1"));
    await page.keyboard.press("p");
    await page.waitForFunction(() => location.hash === "#a0" && document.querySelector("#acc a#a0"));
    await page.keyboard.press("/");
    assert.equal(await page.evaluate(() => document.activeElement.name), "filter");
    await page.keyboard.type("m");
    assert.equal(page.url().split("#")[1], "a0", "letters typed into the filter are text");
    await page.keyboard.press("Escape");
    assert.notEqual(await page.evaluate(() => document.activeElement.name), "filter");
    await page.keyboard.press("n");
    await page.waitForFunction(() => location.hash === "#a1" && document.querySelector("#acc a#a1"));
    await page.click('#records tr:has-text("Salary January")');
    await page.waitForSelector("#popup", { state: "visible" });
    await page.keyboard.press("Escape");
    assert.ok(!(await page.isVisible("#popup")));
    await page.keyboard.press("i");
    await page.waitForFunction(() => document.querySelector("#invb.active") !== null);
    await page.keyboard.press("h");
    await page.waitForFunction(() => document.querySelector("#man.active") !== null);
    assert.ok(await page.isVisible("#keytable"));
  });
});

// ---- The month-by-month page and the CSV downloads.

test("the monthly page opens from the menu and a cell shows the account's month", async (t) => {
  await withViewer(t, [ledgerFile("monthly.ledger", ledgerText)], async (page) => {
    // The charts above a table come after it and move it down when drawn: a click on the
    // table waits until each of them is drawn, or gone for want of figures, so that it
    // lands where it aims however slow the answers are.
    const chartsDrawn = (ids) =>
      page.waitForFunction(
        (ids) => ids.every((id) => document.getElementById(id)?.querySelector("svg") !== null),
        ids,
      );
    await page.click("#header");
    await page.click('#jump a[href="#mon"]');
    await page.waitForSelector("#monthly");
    assert.deepEqual(await activeSections(page), ["mon"]);
    const heads = await page.$$eval("#monthly thead th", (ths) => ths.map((th) => th.textContent));
    assert.deepEqual(heads, ["Account name", "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug",
                             "Sep", "Oct", "Nov", "Dec", "Total"]);
    const rent = await page.$$eval('#monthly tr:has(a[href="#a11"]) td', (tds) => tds.map((td) => td.textContent));
    assert.deepEqual(rent.slice(0, 6), ["Rent", "- ", "800.00 ", "- ", "800.00 ", "- "]);
    assert.equal(rent[13], "1,600.00 ");
    const profit = await page.$$eval("#monthly tr.info td", (tds) => tds.map((td) => td.textContent));
    assert.deepEqual(profit.slice(0, 3), ["Profit/(Loss)", "1,954.50 ", "(800.00)"]);
    assert.equal(await page.getAttribute("#mon a.csv", "href"), "/csv/monthly");
    await shot(page, "monthly");

    // February's cell of Rent: the account's report for that month only.
    await chartsDrawn(["expchart", "incchart"]);
    await page.click('#monthly tr:has(a[href="#a11"]) a[href="#a11/2024-02"]');
    await page.waitForSelector("#acc.active #accounttbl");
    assert.match(page.url(), /#a11\/2024-02$/);
    assert.equal(await page.textContent("#acc h1"), "Account: Expenses:Rent");
    assert.match(await page.textContent("#acc table.about"), /2024-02-01 - 2024-02-29/);
    const records = await page.textContent("#records");
    assert.match(records, /Rent February/);
    assert.doesNotMatch(records, /Rent April/);
    assert.equal(await page.getAttribute("#acc a.csv", "href"), "/csv/account/11/2024-02");
    await shot(page, "monthly-account-month");
    // The filter stays within the month, and the download follows it.
    await chartsDrawn(["accchart"]);
    await page.click('input[name="filter"]');
    await page.keyboard.type("rent");
    await page.waitForFunction(() => /Filtering for: rent/.test(document.querySelector("#records").textContent));
    assert.doesNotMatch(await page.textContent("#records"), /Rent April/);
    assert.equal(await page.getAttribute("#acc a.csv", "href"), "/csv/account/11/2024-02?rent");

    // Back on the table, the balances instead of the changes.
    await page.goBack();
    await page.waitForSelector("#mon.active #monthly");
    await chartsDrawn(["expchart", "incchart"]);
    await page.click('#mon a[href="#monb"]');
    await page.waitForFunction(() => /Balance at the end/.test(document.querySelector("#mon table.about")?.textContent));
    const bank = await page.$$eval('#monthly tr:has(a[href="#a1"]) td', (tds) => tds.map((td) => td.textContent));
    assert.deepEqual(bank.slice(0, 5), ["Current account", "3,000.00 ", "2,200.00 ", "2,090.00 ", "1,290.00 "]);
    assert.equal(bank.length, 13, "no total column for balances");
    assert.equal(await page.getAttribute("#mon a.csv", "href"), "/csv/monthly/balance");
    await shot(page, "monthly-balances");
  });
});

test("every report table downloads its CSV", async (t) => {
  await withViewer(t, [ledgerFile("books.ledger", ledgerText)], async (page) => {
    const download = async (selector) => {
      const [file] = await Promise.all([page.waitForEvent("download"), page.click(selector)]);
      const text = fs.readFileSync(await file.path(), "utf8");
      return { name: file.suggestedFilename(), lines: text.split("\r\n") };
    };
    let d = await download("#accb a.csv");
    assert.equal(d.name, "books-accounts-2024Y.csv");
    assert.equal(d.lines[0], "account,description,debit,credit,end_balance");
    assert.equal(d.lines[2], "Assets:Bank,Current account,2000.00,1710.00,1290.00");
    await page.click('#balance a[href="#a1"]');
    await page.waitForSelector("#acc.active #accounttbl");
    d = await download("#acc a.csv");
    assert.equal(d.name, "books-account-Bank-2024Y.csv");
    assert.equal(d.lines[1], "opening,2024-01-01,,,1000.00,,");
    await page.click("#header");
    await page.click('#jump a[href="#i"]');
    d = await download("#invb a.csv");
    assert.equal(d.name, "books-inventory-2024Y.csv");
    assert.equal(d.lines[1], "Assets:Broker:ACME,Acme shares,5.00,0.00,15.00,20.66,310.00");
    await page.click("#header");
    await page.click('#jump a[href="#i0"]');
    await page.waitForSelector("#invtbl");
    d = await download("#inv a.csv");
    assert.equal(d.name, "books-kind-ACME-2024Y.csv");
    await page.click("#header");
    await page.click('#jump a[href="#mon"]');
    await page.waitForSelector("#monthly");
    d = await download("#mon a.csv");
    assert.equal(d.name, "books-monthly-2024Y.csv");
    assert.match(d.lines[0], /^account,2024-01,2024-02,.*,2024-12,total$/);
  });
});

test("the monthly page stacks each month's expenses and income by account", async (t) => {
  await withHousehold(
    t,
    async (page) => {
      await page.click("#header");
      await page.click('#jump a[href="#mon"]');
      await page.waitForSelector("#monthly");
      for (const id of ["expchart", "incchart"]) await page.locator(`#mon #${id} svg`).waitFor();
      assert.equal(await aboveTable(page, "incchart"), "monthly");
      assert.equal(await page.getAttribute("#expchart svg", "data-months"), "12");
      assert.deepEqual(await page.$$eval("#expchart .legend", (l) => l.map((e) => e.textContent)), [
        "Rent",
        "Transport",
        "Groceries",
      ]);
      // 2024: rent in February, groceries in March and August, the bicycle in May.
      assert.equal(await page.locator("#expchart rect.bar").count(), 4);
      assert.equal(await page.locator("#incchart rect.bar").count(), 3);
      const feb = await centre(page, "#expchart rect.bar", 0);
      await page.mouse.move(feb.x, feb.y);
      await page.locator("#expchart .charttip").waitFor({ state: "visible" });
      assert.match(await page.textContent("#expchart .charttip"), /2024-02-01 – 2024-02-29Rent 1,150\.00Total 1,150\.00/);
      await page.mouse.move(1, 1);
      await chartShot(page, "expchart", "monthly-expenses");
      await chartShot(page, "incchart", "monthly-income");
      // One account's tree: its sub-accounts stacked.
      await page.evaluate(() => (location.hash = "#mon9"));
      await page.locator("#mon #subchart svg").waitFor();
      assert.match(await page.textContent("#subchart figcaption"), /Expenses per month, by account/);
    },
    { args: ["-p", "2024Y"] },
  );
});

// An amount as a table shows it ("1,150.00 ", "(133.35)", "- ") in cents.
function cents(text) {
  const t = text.trim();
  if (t === "-") return 0;
  const negative = t.startsWith("(");
  const value = Number(t.replace(/[(),.]/g, ""));
  return negative ? -value : value;
}

// The rows of a report table by account position: the level of the name and the amounts.
async function amountRows(page, table) {
  const rows = await page.$$eval(`#${table} tbody tr`, (trs) =>
    trs.map((tr) => {
      const link = tr.querySelector('a[href*="#a"]');
      const level = tr.querySelector("span[class^=ind]");
      return {
        pos: link ? link.getAttribute("href").replace(/^\/?#a/, "") : "",
        type: tr.className,
        level: level ? Number(level.className.slice(3)) : -1,
        cells: [...tr.cells].map((td) => td.textContent),
      };
    }),
  );
  return rows;
}

test("a closed year's closing bookings stand beside the months, which add up to the total", async (t) => {
  await withHousehold(
    t,
    async (page) => {
      // The balance of accounts of the same period: each account's tree's debits less credits.
      const balance = (await amountRows(page, "balance")).filter((r) => r.pos !== "");
      const change = new Map();
      balance.forEach((r, i) => {
        let sum = 0;
        for (let j = i; j < balance.length && (j === i || balance[j].level > r.level); j++)
          sum += cents(balance[j].cells[0]) - cents(balance[j].cells[1]);
        change.set(r.pos, { sum, end: cents(r.cells[2]) });
      });

      await page.evaluate(() => (location.hash = "#mon"));
      await page.waitForSelector("#mon.active #monthly");
      const heads = await page.$$eval("#monthly thead th", (ths) => ths.map((th) => th.textContent));
      assert.deepEqual(heads.slice(12), ["Dec", "Total", "Closing"]);
      const rows = await amountRows(page, "monthly");
      assert.equal(rows.length, balance.length + 1);
      for (const r of rows) {
        const months = r.cells.slice(1, 13).map(cents);
        const [total, closing] = r.cells.slice(13).map(cents);
        const name = r.cells[0];
        assert.equal(months.reduce((a, b) => a + b, 0), total, `${name}: the months add up to the total`);
        if (r.pos === "") {
          // The closing moves no profit: it debits income and credits expenses.
          assert.equal(closing, 0, "the profit's closing");
          continue;
        }
        assert.equal(total + closing, change.get(r.pos).sum, `${name}: total and closing are the year's change`);
        if (r.type === "typE" || r.type === "typI") {
          // Closed at both ends of the year: what the year earned or cost, then booked away.
          assert.equal(change.get(r.pos).end, 0, `${name} is closed`);
          assert.equal(closing + total, 0, `${name}: the closing books the total away`);
        } else {
          assert.equal(closing, 0, `${name} is not closed`);
        }
      }
      const groceries = rows.find((r) => r.pos === "11").cells;
      assert.deepEqual([groceries[3], groceries[8], groceries[12], groceries[13], groceries[14]],
                       ["102.10 ", "31.25 ", "- ", "133.35 ", "(133.35)"]);

      // The expenses chart stacks the same months, account by account.
      const chart = await page.evaluate(() => fetch("/chart/expenses").then((r) => r.json()));
      assert.ok(chart.series.length >= 3);
      for (const part of chart.series) {
        const row = rows.find((r) => r.cells[0] === part.name);
        assert.ok(row, part.name);
        assert.deepEqual(part.values.map((v) => v[0]), row.cells.slice(1, 13).map(cents), part.name);
        assert.equal(part.total[0], cents(row.cells[13]), part.name);
      }

      // The download holds the same columns.
      const [file] = await Promise.all([page.waitForEvent("download"), page.click("#mon a.csv")]);
      const lines = fs.readFileSync(await file.path(), "utf8").split("\r\n");
      assert.match(lines[0], /^account,2024-01,.*,2024-12,total,closing$/);
      assert.ok(lines.includes("Expenses:Groceries,0.00,0.00,102.10,0.00,0.00,0.00,0.00,31.25,0.00,0.00,0.00,0.00,133.35,-133.35"));
      await page.locator("#expchart svg").waitFor();
      // The table's right end in view: the closing beside the total, the names kept.
      await page.$eval("#mon .tablebox", (box) => (box.scrollLeft = box.scrollWidth));
      for (const scheme of ["light", "dark"]) {
        await page.emulateMedia({ colorScheme: scheme });
        await shot(page, `monthly-closed-${scheme}`);
      }
      await page.emulateMedia({ colorScheme: "light" });

      // The balances keep the closing in December, as the balance of accounts has it.
      await page.evaluate(() => (location.hash = "#monb"));
      await page.waitForFunction(() => /Balance at the end/.test(document.querySelector("#mon table.about")?.textContent));
      const ends = await amountRows(page, "monthly");
      assert.equal(ends[0].cells.length, 13, "no total and no closing column for balances");
      for (const r of ends.filter((e) => e.pos !== ""))
        assert.equal(cents(r.cells[12]), change.get(r.pos).end, r.cells[0]);
    },
    { args: ["-p", "2024Y"] },
  );
});

// ---- A long register, a phone and a wide screen, charts that lead somewhere.

// A year of one busy account: n splits of Bank, every tenth at the market.
function busyLedger(n) {
  const lines = ["2024-01-01 Opening", "    Bank 1000 ; @A", "    Equity ; @C", "    Food 0 ; @E", "    Salary 0 ; @I"];
  for (let i = 0; i < n; i++) {
    const day = new Date(Date.UTC(2024, 0, 1 + Math.floor((i * 366) / n))).toISOString().slice(0, 10);
    const where = i % 10 === 3 ? "market" : "shop";
    lines.push(`${day} Move ${i} at the ${where}`, i % 3 ? `    Food ${(i % 97) + 1}.25` : `    Salary -${(i % 89) + 1}.50`, "    Bank");
  }
  return lines.join("\n") + "\n";
}

const rowsShown = (page) => page.locator("#records tr[data-spos]").count();

test("a long register has the rows near the screen in the page, and every row behind them", async (t) => {
  const n = 3000;
  await withViewer(t, [ledgerFile("busy.ledger", busyLedger(n))], async (page) => {
    await openAccount(page, 0);
    await page.locator("#accchart svg").waitFor();
    // The opening, the splits, the sums and the change: far more than the page holds at once.
    const shown = await rowsShown(page);
    assert.ok(shown > 20 && shown < 300, `${shown} rows in the page`);
    assert.equal(await page.textContent("#filtered td"), "", "no \"Selected:\" before a selection");
    // The page is as tall as all rows: the last one is reached by scrolling.
    await page.click("#rowselekt");
    await page.evaluate(() => scrollTo(0, document.documentElement.scrollHeight));
    await page.waitForFunction(() => /Change/.test(document.querySelector("#records").textContent));
    assert.match(await page.textContent("#records"), /Move 2999 at the market|Move 2999 at the shop/);
    // A selection far apart: the sums cover the row that left the page.
    await page.click('#records tr:has-text("Move 2998 ")');
    await page.waitForFunction(() => document.querySelector("#filtered td").textContent === "Selected:");
    await page.evaluate(() => scrollTo(0, 0));
    await page.click('#records tr:has-text("Move 0 at")');
    await page.waitForFunction(() => document.querySelectorAll("#filtered td")[1].textContent.trim() === "1.50");
    const sums = await page.$$eval("#filtered td", (tds) => tds.slice(0, 4).map((td) => td.textContent.trim()));
    assert.deepEqual(sums, ["Selected:", "1.50", "89.25", "(87.75)"]);
    // Back at the selected row far down, it is still marked.
    await page.evaluate(() => scrollTo(0, document.documentElement.scrollHeight));
    await page.waitForSelector('#records tr.selekt:has-text("Move 2998 ")');
    await page.click("#rowquery");
    // The chart's last point brings its row, far from the screen, into view and marks it.
    await page.evaluate(() => scrollTo(0, 0));
    await page.focus("#accchart svg");
    await page.keyboard.press("End");
    await page.keyboard.press("Enter");
    const marked = page.locator("#records tr.marked");
    await marked.waitFor();
    assert.match(await marked.textContent(), /Move 2999 /);
    await page.waitForFunction(() => {
      const r = document.querySelector("#records tr.marked").getBoundingClientRect();
      return r.top >= 0 && r.bottom <= innerHeight;
    });
    // The popup of a row in the middle.
    await page.click("#records tr.marked");
    await page.waitForSelector("#popup", { state: "visible" });
    assert.match(await page.textContent("#popup"), /Move 2999/);
    await page.click("#acc h1");
    // The download holds every row.
    const [file] = await Promise.all([page.waitForEvent("download"), page.click("#acc a.csv")]);
    const csv = fs.readFileSync(await file.path(), "utf8").trim().split("\r\n");
    assert.equal(csv.filter((line) => line.startsWith("split,")).length, n);
    await page.screenshot({ path: path.join(shotDir, "account-long.png") });
  });
});

test("the filter shows the rows of the last word typed, never those of an older answer", async (t) => {
  await withViewer(t, [ledgerFile("stale.ledger", busyLedger(2000))], async (page) => {
    await openAccount(page, 0);
    // The answer for "mar" comes late, after the one for "market".
    await page.route(/\/rows\/account\/0\?from=0&to=\d+&f=mar$/, async (route) => {
      await new Promise((resolve) => setTimeout(resolve, 1500));
      await route.continue();
    });
    await page.click('input[name="filter"]');
    await page.keyboard.type("mar");
    await page.waitForTimeout(200);
    await page.keyboard.type("ket");
    await page.waitForFunction(() => /Filtering for: market/.test(document.querySelector("#records").textContent));
    await page.waitForTimeout(1800);
    assert.match(await page.textContent("#records"), /Filtering for: market/);
    assert.match(await page.getAttribute("#acc a.csv", "href"), /\?market$/);
    assert.equal(await page.locator('#records tr[data-spos]:has-text("at the shop")').count(), 0);
  });
});

// Bank's side of "Move i" in busyLedger: debit and credit in cents.
function busyBank(i) {
  return i % 3 ? [0, ((i % 97) + 1) * 100 + 25] : [((i % 89) + 1) * 100 + 50, 0];
}

const centsText = (c) => (c < 0 ? `(${centsText(-c)})` : `${Math.floor(c / 100)}.${String(c % 100).padStart(2, "0")}`);

test("a register longer than its parts: every row reachable, marked and summed, late parts of an older list dropped", async (t) => {
  const n = 12000;
  await withViewer(t, [ledgerFile("parts.ledger", busyLedger(n))], async (page) => {
    // Every part after the first comes late; the asked ones are counted.
    const asked = [];
    let delay = 600;
    await page.route(/\/rows\/account\/0\?from=[1-9]/, async (route) => {
      asked.push(new URL(route.request().url()).search);
      await new Promise((resolve) => setTimeout(resolve, delay));
      await route.continue().catch(() => {});
    });
    await openAccount(page, 0);
    await page.locator("#accchart svg").waitFor();
    // The chart's last point before its part is there: the row is marked once it comes.
    await page.focus("#accchart svg");
    await page.keyboard.press("End");
    await page.keyboard.press("Enter");
    const marked = page.locator("#records tr.marked");
    await marked.waitFor();
    assert.match(await marked.textContent(), new RegExp(`Move ${n - 1} `));
    // The page is as tall as all rows, and the rows far down are reached.
    await page.click("#rowselekt");
    await page.evaluate(() => scrollTo(0, document.documentElement.scrollHeight));
    await page.waitForFunction(() => /Change/.test(document.querySelector("#records").textContent));
    await page.click(`#records tr:has-text("Move ${n - 2} ")`);
    await page.waitForFunction(() => document.querySelector("#filtered td").textContent === "Selected:");
    await page.evaluate(() => scrollTo(0, 0));
    await page.click('#records tr:has-text("Move 0 at")');
    const [d0, c0] = busyBank(0);
    const [d1, c1] = busyBank(n - 2);
    const want = ["Selected:", centsText(d0 + d1), centsText(c0 + c1), centsText(d0 + d1 - c0 - c1)];
    await page.waitForFunction((w) => document.querySelectorAll("#filtered td")[1].textContent.trim() === w, want[1]);
    const sums = await page.$$eval("#filtered td", (tds) => tds.slice(0, 4).map((td) => td.textContent.trim()));
    assert.deepEqual(sums, want);
    // Rows of every part, each part asked for once.
    const middle = await page.evaluate(async () => {
      scrollTo(0, document.documentElement.scrollHeight / 2);
      await new Promise((resolve) => setTimeout(resolve, 300));
      return document.querySelector("#records").textContent;
    });
    assert.match(middle, /Move 5\d\d\d /);
    assert.equal(new Set(asked).size, asked.length, asked.join(" "));
    // A filter typed while a part of the whole list is still on its way: that part, when it
    // comes, never enters the filtered rows, and the filtered rows come in parts too.
    await page.locator("#rowquery").click();
    await page.evaluate(() => scrollTo(0, 0));
    await page.evaluate(() => (location.hash = "#a"));
    await openAccount(page, 0);
    delay = 1200;
    await page.waitForTimeout(200);
    delay = 100;
    await page.click('input[name="filter"]');
    await page.keyboard.type("market");
    await page.waitForFunction(() => /Filtering for: market/.test(document.querySelector("#records").textContent));
    await page.waitForTimeout(1500);
    await page.evaluate(() => scrollTo(0, document.documentElement.scrollHeight));
    await page.waitForFunction(() => /Change/.test(document.querySelector("#records").textContent));
    assert.equal(await page.locator('#records tr[data-spos]:has-text("at the shop")').count(), 0);
    assert.match(await page.textContent("#records"), new RegExp(`Move ${n - 7} at the market`));
    // The filtered list is as long as its rows: the filter row, n / 10 splits, the sums and the change.
    const height = await page.evaluate(() => document.querySelector("#records").getBoundingClientRect().height);
    const row = await page.evaluate(() => document.querySelector("#records tr[data-spos]").getBoundingClientRect().height);
    assert.ok(Math.abs(height / row - (n / 10 + 3)) < 30, `${height / row} rows high`);
  });
});

// Every view of the page at a phone's width and at a wide screen's: nothing wider than the
// screen, the menu tab on it, wide tables in their own box with the name column kept.
const views = ["#a", "#j", "#a1", "#a10/2025-03", "#i", "#i1", "#mon", "#monb", "#m"];

test("every view fits a phone and a wide screen", async (t) => {
  await withHousehold(t, async (page) => {
    for (const width of [390, 1280]) {
      await page.setViewportSize({ width, height: width === 390 ? 800 : 900 });
      for (const view of views) {
        await page.evaluate((v) => (location.hash = v), view);
        await page.waitForFunction(() => {
          const s = document.querySelector("section.active");
          return s && (s.id === "jump" || s.id === "man" || s.id === "accb" || s.id === "invb" || s.querySelector("table.murex"));
        });
        await page.waitForTimeout(150);
        const fit = await page.evaluate(() => {
          const tab = document.getElementById("header").getBoundingClientRect();
          return { wide: document.documentElement.scrollWidth, tabRight: tab.right, tabLeft: tab.left };
        });
        assert.ok(fit.wide <= width, `${view} at ${width} px is ${fit.wide} px wide`);
        if (view !== "#j") assert.ok(fit.tabLeft >= 0 && fit.tabRight <= width, `the menu tab of ${view} at ${width} px`);
      }
      for (const scheme of ["light", "dark"]) {
        await page.emulateMedia({ colorScheme: scheme });
        for (const view of ["#a", "#a1", "#mon", "#j"]) {
          await page.evaluate((v) => (location.hash = v), view);
          await page.waitForTimeout(300);
          const name = view.slice(1) || "balance";
          await page.screenshot({ path: path.join(shotDir, `fit-${width}-${name}-${scheme}.png`) });
        }
      }
      await page.emulateMedia({ colorScheme: "light" });
    }
    // On the phone the monthly table scrolls in its box and keeps the names in view.
    await page.setViewportSize({ width: 390, height: 800 });
    await page.evaluate(() => (location.hash = "#mon"));
    await page.waitForSelector("#mon.active .tablebox.wide #monthly");
    const kept = await page.evaluate(() => {
      const box = document.querySelector("#mon .tablebox");
      box.scrollLeft = 400;
      const name = document.querySelector('#monthly tbody tr:nth-child(2) td').getBoundingClientRect();
      return { boxScrolled: box.scrollLeft > 0, nameLeft: name.left - box.getBoundingClientRect().left };
    });
    assert.ok(kept.boxScrolled);
    assert.ok(Math.abs(kept.nameLeft) < 2, "the name column stays at the box's left edge");
    // The popup stays on the screen, the month labels of the charts never overprint.
    await page.evaluate(() => (location.hash = "#a1"));
    await page.waitForSelector("#acc.active #accchart svg");
    const row = page.locator('#records tr:has-text("Salary January") td').last();
    const box = await row.boundingBox();
    await page.mouse.click(Math.min(380, box.x + box.width - 2), box.y + 4);
    await page.waitForSelector("#popup", { state: "visible" });
    const popup = await page.$eval("#popup", (p) => {
      const r = p.getBoundingClientRect();
      return { left: r.left, right: r.right, width: document.documentElement.clientWidth };
    });
    assert.ok(popup.left >= 0 && popup.right <= popup.width, `popup from ${popup.left} to ${popup.right}`);
    await page.mouse.click(5, 5);
    for (const view of ["#a", "#mon", "#a1"]) {
      await page.evaluate((v) => (location.hash = v), view);
      await page.waitForFunction(() => document.querySelector("section.active figure.chart svg"));
      const overlaps = await page.$$eval("section.active figure.chart svg", (svgs) =>
        svgs.map((s) => {
          const labels = [...s.querySelectorAll("text.tick[text-anchor='middle'], text.tick[text-anchor='start']")]
            .map((e) => e.getBBox())
            .sort((a, b) => a.x - b.x);
          return labels.filter((b, i) => i > 0 && b.x < labels[i - 1].x + labels[i - 1].width).length;
        }),
      );
      assert.deepEqual(overlaps, overlaps.map(() => 0), `overprinted month labels on ${view}`);
    }
  });
});

// The header over the name column of a wide table stays on top of the header cells and
// names that scroll under it.
test("a wide table scrolled sideways keeps its name column's header on top", async (t) => {
  await withHousehold(t, async (page) => {
    await page.setViewportSize({ width: 390, height: 800 });
    for (const view of ["#mon", "#a1", "#i1"]) {
      await page.evaluate((v) => (location.hash = v), view);
      await page.waitForSelector("section.active .tablebox.wide thead th");
      const onTop = await page.evaluate(() => {
        const box = document.querySelector("section.active .tablebox.wide");
        box.scrollIntoView();
        box.scrollLeft = 150;
        const corner = box.querySelector("thead tr > :first-child");
        const r = corner.getBoundingClientRect();
        const hit = document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2);
        return hit !== null && hit.closest("th, td") === corner;
      });
      assert.ok(onTop, `the name column's header of ${view}`);
    }
  });
});

test("a month of a chart opens what it stands for", async (t) => {
  await withHousehold(
    t,
    async (page) => {
      // A month of the balance chart: the monthly page, with that month's column marked.
      await page.locator("#balchart svg").waitFor();
      const mar = await centre(page, "#balchart rect.income", 2);
      await page.mouse.click(mar.x, mar.y);
      await page.waitForSelector("#mon.active #monthly");
      assert.equal(await page.textContent("#monthly th.marked"), "Mar");
      // A month of the stacked expenses: that month of the expense accounts.
      await page.locator("#expchart svg").waitFor();
      const feb = await centre(page, "#expchart rect.bar", 0);
      await page.mouse.click(feb.x, feb.y);
      await page.waitForSelector("#acc.active #accounttbl");
      assert.match(page.url(), /#a9\/2024-02$/);
      assert.match(await page.textContent("#acc table.about"), /2024-02-01 - 2024-02-29/);
    },
    { args: ["-p", "2024Y"] },
  );
});
