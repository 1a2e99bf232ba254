// murex: the page. Shows one section per URL fragment, fetches the reports into them, and
// looks after what they hold: the rows (register.js), the charts (chart.js), the selection
// sums, the transaction popup, the CSV links, and a reload when the ledger was saved.
"use strict";

const Page = (() => {
  const { byId, at, periodPage, ask, drop, boxTables } = Kit;

  // ---- Views

  // "#a" + position + "/" + year-month: the account's report for that month of the period.
  const accountMonthFragment = /^#a(\d+)\/(\d{4}-\d\d)$/;
  // "#mon" for every account's change per month, "#monb" for the balances at each month's
  // end; a position after them shows that account's tree.
  const monthlyFragment = /^#mon(b?)(\d*)$/;

  let lastRouted = null;
  // The view shown before the menu: a period chosen there is shown on it.
  let viewBeforeMenu = null;
  let popupHiddenBy = null;
  // The month the account section shows ("2025-03"), or "" for the whole period.
  let shownMonth = "";
  // The month column of the monthly page to mark once it is there (a chart's month), or -1.
  let monthColumn = -1;

  function hasError() {
    const err = byId("errorStr");
    return err !== null && err.textContent.trim() !== "";
  }

  function showSection(id) {
    for (const section of document.querySelectorAll("section")) {
      section.classList.toggle("active", section.id === id);
    }
  }

  function showHeader(on) {
    const header = byId("header");
    if (header) header.style.display = on ? "" : "none";
  }

  function route(fragment) {
    if (typeof fragment !== "string" || !fragment.startsWith("#")) fragment = "#a";
    if (fragment === "#") return;
    lastRouted = fragment;
    if (fragment !== "#j" && fragment !== "#quit") viewBeforeMenu = fragment;
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
    // The error page offers nothing but the error.
    showHeader(view !== "jump" && view !== "err");
    if (view !== "acc" && view !== "inv" && view !== "mon") keepPlace.restore();
  }

  // A view the address names that the ledger or the period no longer has (an account past
  // the last, a month outside the period): the balance, in place of it in the history.
  function gone(fragment) {
    if (lastRouted !== fragment) return;
    history.replaceState(null, "", "#a");
    route("#a");
  }

  // Where the page was scrolled to, kept with its place in the history, so that a reload (a
  // saved ledger, a period chosen) and the back button come back to it once the view is
  // drawn again.
  const keepPlace = (() => {
    let timer = 0;
    const save = () => {
      clearTimeout(timer);
      timer = 0;
      history.replaceState({ ...history.state, scroll: [window.scrollX, window.scrollY] }, "");
    };
    return {
      start() {
        history.scrollRestoration = "manual";
        window.addEventListener("scroll", () => {
          clearTimeout(timer);
          timer = setTimeout(save, 200);
        });
      },
      save,
      restore() {
        const scroll = history.state && history.state.scroll;
        if (Array.isArray(scroll)) window.scrollTo(scroll[0], scroll[1]);
      },
    };
  })();

  async function quit() {
    await ask("/quit");
    document.body.textContent = "Bye!";
  }

  // ---- An account, an inventory kind

  // The account shown in section "acc", read from the report's first anchor ("a" + position).
  function shownAccount() {
    const anchor = byId("acc").querySelector("a");
    const id = anchor ? anchor.id : "";
    if (id.length < 2 || id[0] !== "a" || !/^\d+$/.test(id.slice(1))) return null;
    return id.slice(1);
  }

  function monthPath() {
    return shownMonth === "" ? "" : "/" + shownMonth;
  }

  // The report into its section, its rows into the register.
  function putReport(section, report, rowsOpen) {
    const [frame, rows] = Register.cut(report, rowsOpen);
    section.innerHTML = frame;
    boxTables(section);
    return rows;
  }

  async function loadAccount(pos) {
    const section = byId("acc");
    section.innerHTML = "";
    drop("filter");
    drop("sums");
    filterShown = "";
    // The first rows are asked for before the chart: the server answers in the order asked.
    const answer = ask(rowsUrl(pos, "", 0, Register.firstPart) + "&frame=1", { slot: "acc" });
    drawCharts("beforeAccount", pos);
    const fragment = lastRouted;
    const first = Register.part(await answer);
    if (!first) return gone(fragment);
    section.innerHTML = first.frame;
    boxTables(section);
    const table = byId("accounttbl");
    if (!table) return;
    const records = byId("records");
    Register.load(records, first, partAsker(pos, ""));
    showSums("");
    accountCsvLink("");
    const filter = section.querySelector('input[name="filter"]');
    // The input event comes with the key going down, before it is let go.
    if (filter) filter.addEventListener("input", () => filterRows(filter.value));
    table.addEventListener("click", (event) => rowClick(event, false));
    // The description column keeps its width while filtered rows come and go.
    const descr = table.querySelector(".descr");
    if (descr) {
      let width = descr.getBoundingClientRect().width;
      const heads = table.querySelectorAll("thead tr:first-child th");
      if (width === 0 && heads.length > 0) width = heads[heads.length - 1].getBoundingClientRect().width;
      if (width > 0) descr.style.width = width + "px";
    }
    const rowquery = byId("rowquery");
    if (rowquery) rowquery.addEventListener("click", clearSelection);
    drawCharts("account", pos, "", (spos) => Register.mark(records, spos));
    keepPlace.restore();
  }

  // The rows from..to-1 of account pos ("12", or "12/2025-03" for a month), filtered.
  function rowsUrl(pos, filter, from, to) {
    return `/rows/account/${pos}?from=${from}&to=${to}` + (filter ? "&f=" + encodeURIComponent(filter) : "");
  }

  // A part is asked for only while its word is the one typed: the one server answers in
  // turn, and a part of an older word would keep the newer word's rows waiting.
  const partAsker = (pos, filter) => (from, to) =>
    filter === filterShown ? ask(rowsUrl(pos, filter, from, to)) : Promise.resolve("");

  let filterShown = "";
  let lastKey = 0; // when the word in the filter box last changed
  const settle = 200; // milliseconds without a key before a filter's rest and chart are asked for

  // Milliseconds until the typing has paused for settle.
  const untilPause = () => Math.max(0, lastKey + settle - performance.now());

  // then() once the typing has paused, if text is still the word typed by then.
  function afterPause(text, then) {
    if (filterShown !== text) return;
    const wait = untilPause();
    if (wait > 0) setTimeout(() => afterPause(text, then), wait);
    else then();
  }

  async function filterRows(value) {
    const pos = shownAccount();
    const text = value.trim();
    // A key that changes no word (a shift, an arrow, a blank at the end) asks nothing.
    if (pos === null || text === filterShown) return;
    filterShown = text;
    lastKey = performance.now();
    const query = "?" + encodeURIComponent(text);
    accountCsvLink(query);
    const first = Register.part(await ask(rowsUrl(pos + monthPath(), text, 0, Register.firstPart), { slot: "filter" }));
    const records = byId("records");
    if (!records) return;
    // The rest of the rows and the chart wait for a pause in the typing, so that the server
    // is free for the next word's rows.
    Register.load(records, first || { from: 0, rows: [], count: 0, widest: [] }, partAsker(pos + monthPath(), text), untilPause());
    updateSelection();
    afterPause(text, () => {
      if (byId("records") === records) {
        drawCharts("account", pos + monthPath(), text, (spos) => Register.mark(records, spos));
      }
    });
  }

  async function loadKind(pos) {
    const section = byId("inv");
    section.innerHTML = "";
    drawCharts("beforeKind", pos);
    const fragment = lastRouted;
    const html = await ask("/inv/" + pos, { slot: "inv" });
    if (html === "") return gone(fragment);
    const rows = putReport(section, html, "<tbody>\n");
    const table = byId("invtbl");
    if (!table) return;
    const body = table.tBodies[0];
    Register.show(body, rows || "");
    table.addEventListener("click", (event) => rowClick(event, true));
    addCsvLink(section, "/csv/inv/" + pos);
    drawCharts("kind", pos, (spos) => Register.mark(body, spos));
    keepPlace.restore();
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
    const rowquery = byId("rowquery");
    if (popupMode || (rowquery && rowquery.checked)) {
      openPopup(text, event.pageX, event.pageY);
    } else {
      Register.toggle(row.parentElement, row);
      updateSelection();
    }
  }

  // ---- The selection sums and the popup

  // "Selected:" and the three sums, or nothing while no row is selected.
  function showSums(answer) {
    const filtered = byId("filtered");
    if (!filtered) return;
    const cells = filtered.querySelectorAll("td");
    if (cells.length < 4) return;
    const values = answer.split("\n");
    cells[0].textContent = values.length === 3 ? "Selected:" : "";
    for (let i = 0; i < 3; i++) cells[i + 1].textContent = answer !== "" && i < values.length ? values[i] : "";
  }

  async function updateSelection() {
    const records = byId("records");
    const positions = records ? Register.selected(records) : [];
    if (positions.length === 0) {
      drop("sums");
      showSums("");
      return;
    }
    showSums(await ask("/sumsel/" + positions.join(","), { slot: "sums" }));
  }

  function clearSelection() {
    const records = byId("records");
    if (records) Register.clear(records);
    drop("sums");
    showSums("");
  }

  // The popup at the click, moved in where it would run past the screen's right or bottom.
  async function openPopup(splitPos, x, y) {
    const text = await ask("/trans/" + splitPos, { slot: "popup" });
    if (text === "") return;
    const popup = byId("popup");
    popup.innerHTML = text;
    popup.style.left = "0px";
    popup.style.top = "0px";
    popup.style.display = "block";
    const margin = 8;
    const width = popup.offsetWidth;
    const height = popup.offsetHeight;
    const right = window.scrollX + document.documentElement.clientWidth - margin;
    const bottom = window.scrollY + window.innerHeight - margin;
    const left = Math.max(window.scrollX + margin, Math.min(x, right - width));
    const top = y + height > bottom && y - height >= window.scrollY + margin ? y - height : y;
    popup.style.left = left + "px";
    popup.style.top = top + "px";
  }

  function popupVisible() {
    const popup = byId("popup");
    return popup !== null && popup.style.display === "block";
  }

  // ---- The month-by-month page

  async function loadMonthly(balances, pos) {
    const section = byId("mon");
    section.innerHTML = "";
    const path = "/monthly" + (balances ? "/balance" : "") + (pos === "" ? "" : "/" + pos);
    const fragment = lastRouted;
    const html = await ask(path, { slot: "mon" });
    if (html === "") return gone(fragment);
    section.innerHTML = html;
    boxTables(section);
    if (byId("monthly")) addCsvLink(section, "/csv" + path);
    markMonth(monthColumn);
    monthColumn = -1;
    drawCharts("monthly", pos, stackMonth);
    keepPlace.restore();
  }

  // A month chosen on the balance chart: the monthly page with that month's column marked.
  function balanceMonth(i) {
    monthColumn = i;
    if (location.hash === "#mon") {
      markMonth(i);
      monthColumn = -1;
    } else {
      location.hash = "#mon";
    }
  }

  function markMonth(i) {
    const table = byId("monthly");
    if (!table || i < 0) return;
    for (const cell of table.querySelectorAll(".marked")) cell.classList.remove("marked");
    const cells = [...table.rows].map((row) => row.cells[i + 1]).filter(Boolean);
    for (const cell of cells) cell.classList.add("marked");
    if (cells[0]) cells[0].scrollIntoView({ block: "nearest", inline: "center" });
  }

  // A month chosen on a stacked chart: that month of the account it stacks, as the
  // account's cell of the month in the table links it.
  function stackMonth(which, i) {
    const table = byId("monthly");
    if (!table) return;
    let row = null;
    if (which === "expenses" || which === "income") {
      row = table.querySelector(which === "expenses" ? "tbody tr.typE" : "tbody tr.typI");
    } else {
      const name = table.querySelector(`tbody a[href="#a${which}"]`);
      row = name ? name.closest("tr") : null;
    }
    const link = row && row.cells[i + 1] ? row.cells[i + 1].querySelector("a") : null;
    if (link) location.hash = link.getAttribute("href");
  }

  // ---- The CSV downloads

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
    link.setAttribute("href", at(href));
    return link;
  }

  // The account's download follows the shown month and the filter typed.
  function accountCsvLink(query) {
    const pos = shownAccount();
    if (pos !== null) addCsvLink(byId("acc"), "/csv/account/" + pos + monthPath() + query);
  }

  // ---- Start

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

  // The page for another period or future switch, on the same view (the one the menu was
  // opened from).
  function showPeriod(period, future) {
    keepPlace.save();
    const view = location.hash === "#j" && viewBeforeMenu !== null ? viewBeforeMenu : location.hash;
    location.assign(periodPage(period, future, view));
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
          byId("popup").style.display = "none";
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

    // The page comes back on the view and at the place it shows.
    window.addEventListener("focus", async () => {
      if ((await ask("/changed")) !== "yes") return;
      keepPlace.save();
      location.reload();
    });

    // A period or the future switch is chosen for this page alone: its address names them,
    // and another tab keeps its own.
    const period = document.querySelector('select[name="period"]');
    const future = document.querySelector('input[name="futureShow"]');
    if (period && future) {
      period.addEventListener("change", () => showPeriod(period.value, future.checked));
      future.addEventListener("click", () => showPeriod(period.value, future.checked));
    }
    keepPlace.start();

    const nop = byId("nop");
    if (nop) {
      // The balances link their views as "/#a3": on this page, for the period it shows.
      for (const link of document.querySelectorAll('section a[href^="/#"]')) {
        link.setAttribute("href", link.getAttribute("href").slice(1));
      }
      boxTables(byId("accb"));
      boxTables(byId("invb"));
      addCsvLink(byId("accb"), "/csv/accounts");
      addCsvLink(byId("invb"), "/csv/inventory");
      const pre = nop.querySelector("pre");
      if (pre && pre.textContent.trim() !== "") nop.style.display = "block";
      route(location.hash);
      drawCharts("balance", balanceMonth);
    } else {
      route(/^#m\d*$/.test(location.hash) ? location.hash : "#m");
    }
  }

  return { start };
})();

function startPage() {
  Keys.start();
  Page.start();
}

if (document.readyState === "loading") {
  document.addEventListener("DOMContentLoaded", startPage);
} else {
  startPage();
}
