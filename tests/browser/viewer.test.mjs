// Drives the report viewer in headless Chromium against the built murex binary.
// Usage: node viewer.test.mjs MUREX_BINARY [SCREENSHOT_DIR]
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import fs from "node:fs";
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
  await page.goto(url);
  await body(page, url, murex);
  assert.deepEqual(errors, [], "script errors on the page");
}

async function shot(page, name) {
  await page.screenshot({ path: path.join(shotDir, name + ".png"), fullPage: true });
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
    await page.click('#balance a[href="/#a1"]');
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
    await page.waitForFunction(() => document.querySelector("#filtered td:nth-child(2)").textContent !== "");
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
    await page.click("#header");
    assert.deepEqual(await activeSections(page), ["err"], "the menu stays behind the error");
    await shot(page, "error");
    fs.writeFileSync(file, ledgerText);
    await focusAndReload(page);
    assert.deepEqual(await activeSections(page), ["accb"]);
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

// ---- The month-by-month page and the CSV downloads.

test("the monthly page opens from the menu and a cell shows the account's month", async (t) => {
  await withViewer(t, [ledgerFile("monthly.ledger", ledgerText)], async (page) => {
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
    await page.click('input[name="filter"]');
    await page.keyboard.type("rent");
    await page.waitForFunction(() => /Filtering for: rent/.test(document.querySelector("#records").textContent));
    assert.doesNotMatch(await page.textContent("#records"), /Rent April/);
    assert.equal(await page.getAttribute("#acc a.csv", "href"), "/csv/account/11/2024-02?rent");

    // Back on the table, the balances instead of the changes.
    await page.goBack();
    await page.waitForSelector("#mon.active #monthly");
    await page.click('#mon a[href="#monb"]');
    await page.waitForFunction(() => /Balance at the end/.test(document.querySelector("#mon table.about").textContent));
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
    await page.click('#balance a[href="/#a1"]');
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
