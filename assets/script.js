// murex: the page script. Shows one section per URL fragment and fetches the reports.
"use strict";

const $ = (id) => document.getElementById(id);

// Every answer that is not a success counts as no text.
async function fetchText(url) {
  try {
    const response = await fetch(url, { method: "GET", cache: "no-store" });
    return response.ok ? await response.text() : "";
  } catch (e) {
    return "";
  }
}

// Answers arriving late for a view that was left are dropped by their ticket.
const tickets = { acc: 0, inv: 0, filter: 0, sums: 0, mon: 0 };

let lastRouted = null;
let popupHiddenBy = null;

function hasError() {
  const err = $("errorStr");
  return err !== null && err.textContent.trim() !== "";
}

function showSection(id) {
  for (const section of document.querySelectorAll("section")) {
    section.classList.toggle("active", section.id === id);
  }
}

function showHeader(on) {
  const header = $("header");
  if (header) header.style.display = on ? "" : "none";
}

function route(fragment) {
  if (typeof fragment !== "string" || !fragment.startsWith("#")) fragment = "#a";
  if (fragment === "#") return;
  lastRouted = fragment;
  let view = "man";
  if (hasError()) {
    view = "err";
  } else if (fragment === "#j" || fragment === "#quit") {
    view = "jump";
  } else if (fragment === "#a") {
    view = "accb";
  } else if (fragment === "#i") {
    view = "invb";
  } else if (/^#a\d+$/.test(fragment)) {
    view = "acc";
    shownMonth = "";
    loadAccount(fragment.slice(2));
  } else if (accountMonthFragment.test(fragment)) {
    view = "acc";
    const [, pos, month] = accountMonthFragment.exec(fragment);
    shownMonth = month;
    loadAccount(pos + "/" + month);
  } else if (monthlyFragment.test(fragment)) {
    view = "mon";
    const [, balances, pos] = monthlyFragment.exec(fragment);
    loadMonthly(balances !== "", pos);
  } else if (/^#i\d+$/.test(fragment)) {
    view = "inv";
    loadKind(fragment.slice(2));
  }
  showSection(view);
  showHeader(view !== "jump");
}

async function quit() {
  await fetchText("/quit");
  document.body.textContent = "Bye!";
}

// The account shown in section "acc", read from the report's first anchor ("a" + position).
function shownAccount() {
  const anchor = $("acc").querySelector("a");
  const id = anchor ? anchor.id : "";
  if (id.length < 2 || id[0] !== "a" || !/^\d+$/.test(id.slice(1))) return null;
  return id.slice(1);
}

async function loadAccount(pos) {
  const section = $("acc");
  section.innerHTML = "";
  const ticket = ++tickets.acc;
  drawCharts("beforeAccount", pos);
  const html = await fetchText("/account/" + pos);
  if (ticket !== tickets.acc) return;
  section.innerHTML = html;
  const table = $("accounttbl");
  if (!table) return;
  accountCsvLink("");
  const filter = section.querySelector('input[name="filter"]');
  if (filter) filter.addEventListener("keyup", () => filterRows(filter.value));
  table.addEventListener("click", (event) => rowClick(event, false));
  // The description column keeps its width while filtered rows come and go.
  const descr = table.querySelector(".descr");
  if (descr) {
    let width = descr.getBoundingClientRect().width;
    const heads = table.querySelectorAll("thead tr:first-child th");
    if (width === 0 && heads.length > 0) width = heads[heads.length - 1].getBoundingClientRect().width;
    if (width > 0) descr.style.width = width + "px";
  }
  const rowquery = $("rowquery");
  if (rowquery) rowquery.addEventListener("click", clearSelection);
  drawCharts("account", pos);
}

async function filterRows(value) {
  const pos = shownAccount();
  if (pos === null) return;
  const ticket = ++tickets.filter;
  const query = "?" + encodeURIComponent(value.trim());
  accountCsvLink(query);
  const rows = await fetchText("/filter/" + pos + monthPath() + query);
  if (ticket !== tickets.filter) return;
  const records = $("records");
  if (!records) return;
  records.innerHTML = rows;
  updateSelection();
  drawCharts("account", pos + monthPath(), value.trim());
}

async function loadKind(pos) {
  const section = $("inv");
  section.innerHTML = "";
  const ticket = ++tickets.inv;
  drawCharts("beforeKind", pos);
  const html = await fetchText("/inv/" + pos);
  if (ticket !== tickets.inv) return;
  section.innerHTML = html;
  const table = $("invtbl");
  if (table) table.addEventListener("click", (event) => rowClick(event, true));
  if (table) addCsvLink(section, "/csv/inv/" + pos);
  drawCharts("kind", pos);
}

// The charts above the reports (chart.js); the tables work without them.
function drawCharts(which, ...args) {
  if (typeof Charts !== "undefined") Charts[which](...args);
}

function rowClick(event, popupMode) {
  if (popupHiddenBy === event) return;
  const row = event.target.closest("tr");
  if (!row || !row.hasAttribute("data-spos")) return;
  const text = row.getAttribute("data-spos");
  if (!/^\d+$/.test(text)) return;
  const rowquery = $("rowquery");
  if (popupMode || (rowquery && rowquery.checked)) {
    openPopup(text, event.pageX, event.pageY);
  } else {
    row.classList.toggle("selekt");
    updateSelection();
  }
}

function showSums(answer) {
  const filtered = $("filtered");
  if (!filtered) return;
  const cells = filtered.querySelectorAll("td");
  if (cells.length < 4) return;
  const values = answer.split("\n");
  cells[0].textContent = values.length === 3 ? "Selected:" : "";
  for (let i = 0; i < 3; i++) cells[i + 1].textContent = answer !== "" && i < values.length ? values[i] : "";
}

async function updateSelection() {
  const positions = [];
  for (const row of $("acc").querySelectorAll("tr.selekt")) {
    const text = row.getAttribute("data-spos") || "";
    if (/^\d+$/.test(text)) positions.push(text);
  }
  const ticket = ++tickets.sums;
  if (positions.length === 0) {
    showSums("");
    return;
  }
  const answer = await fetchText("/sumsel/" + positions.join(","));
  if (ticket !== tickets.sums) return;
  showSums(answer);
}

function clearSelection() {
  for (const row of document.querySelectorAll("tr.selekt")) row.classList.remove("selekt");
  ++tickets.sums;
  showSums("");
}

async function openPopup(splitPos, x, y) {
  const text = await fetchText("/trans/" + splitPos);
  if (text === "") return;
  const popup = $("popup");
  popup.style.left = x + "px";
  popup.style.top = y + "px";
  popup.innerHTML = text;
  popup.style.display = "block";
}

function popupVisible() {
  const popup = $("popup");
  return popup !== null && popup.style.display === "block";
}

// The fragment of a link's own target, or null for a link elsewhere.
function linkFragment(element) {
  const link = element instanceof Element ? element.closest("a[href]") : null;
  if (!link) return null;
  const href = link.getAttribute("href");
  const hash = href.indexOf("#");
  if (hash < 0) return null;
  const path = href.slice(0, hash);
  if (path !== "" && path !== location.pathname) return null;
  return href.slice(hash);
}

function start() {
  window.addEventListener("popstate", () => {
    if (location.hash !== lastRouted) route(location.hash);
  });

  // Captured first, so that a click that closes the popup does nothing else.
  document.addEventListener(
    "click",
    (event) => {
      if (popupVisible()) {
        $("popup").style.display = "none";
        popupHiddenBy = event;
        event.preventDefault();
        event.stopPropagation();
        return;
      }
      const fragment = linkFragment(event.target);
      // Only the user's own click on the quit link ends the viewer: the fragment itself, in
      // an address or the history, never does.
      if (fragment === "#quit") {
        event.preventDefault();
        if (event.isTrusted) quit();
        return;
      }
      if (fragment !== null) route(fragment);
    },
    true,
  );

  window.addEventListener("focus", async () => {
    if ((await fetchText("/changed")) === "yes") location.assign("/");
  });

  const period = document.querySelector('select[name="period"]');
  if (period) period.addEventListener("change", () => location.assign("/period/" + period.value));
  const future = document.querySelector('input[name="futureShow"]');
  if (future) future.addEventListener("click", () => location.assign("/toggleFuture"));

  const nop = $("nop");
  if (nop) {
    addCsvLink($("accb"), "/csv/accounts");
    addCsvLink($("invb"), "/csv/inventory");
    const pre = nop.querySelector("pre");
    if (pre && pre.textContent.trim() !== "") nop.style.display = "block";
    route("#a");
    drawCharts("balance");
  } else {
    route("#m");
  }
}

// ---- The month-by-month page, one account's month, and the CSV downloads.

// "#mon" for every account's change per month, "#monb" for the balances at each month's end;
// a position after them shows that account's tree.
const monthlyFragment = /^#mon(b?)(\d*)$/;
// "#a" + position + "/" + year-month: the account's report for that month of the period.
const accountMonthFragment = /^#a(\d+)\/(\d{4}-\d\d)$/;

// The month the account section shows ("2025-03"), or "" for the whole period.
let shownMonth = "";

function monthPath() {
  return shownMonth === "" ? "" : "/" + shownMonth;
}

async function loadMonthly(balances, pos) {
  const section = $("mon");
  section.innerHTML = "";
  const ticket = ++tickets.mon;
  const path = "/monthly" + (balances ? "/balance" : "") + (pos === "" ? "" : "/" + pos);
  const html = await fetchText(path);
  if (ticket !== tickets.mon) return;
  section.innerHTML = html;
  if ($("monthly")) addCsvLink(section, "/csv" + path);
  drawCharts("monthly", pos);
}

// A "CSV" link to the same report as a download, in the report's table of facts.
function addCsvLink(section, href) {
  const about = section ? section.querySelector("table.about") : null;
  if (!about) return null;
  let link = about.querySelector("a.csv");
  if (!link) {
    const row = about.insertRow(-1);
    const head = document.createElement("th");
    head.textContent = "Download:";
    row.appendChild(head);
    link = document.createElement("a");
    link.className = "csv";
    link.textContent = "CSV";
    link.setAttribute("download", "");
    row.insertCell(-1).appendChild(link);
  }
  link.setAttribute("href", href);
  return link;
}

// The account's download follows the shown month and the filter typed.
function accountCsvLink(query) {
  const pos = shownAccount();
  if (pos !== null) addCsvLink($("acc"), "/csv/account/" + pos + monthPath() + query);
}

if (document.readyState === "loading") {
  document.addEventListener("DOMContentLoaded", start);
} else {
  start();
}
