// murex: the small kit the page's other parts share: elements, the one way of asking the
// server (for the period of the page's address), and the box that keeps a wide table from widening the page.
"use strict";

const Kit = (() => {
  const byId = (id) => document.getElementById(id);

  function html(parent, name, cls, text) {
    const e = document.createElement(name);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    if (parent) parent.appendChild(e);
    return e;
  }

  // The period the page's address names ("/p/2024Q1", "/p/2024Q1+future"), or "" for the
  // one the viewer was started with. Every address the page asks for or links to is put
  // behind it, so that the answers are all for the period the page shows.
  const periodPrefix = (/^\/p\/[^/]+(?=\/)/.exec(location.pathname) || [""])[0];
  const at = (url) => (url.startsWith("/") ? periodPrefix + url : url);

  // The page's address for a period and the future switch, with the view of hash.
  const periodPage = (period, future, hash) =>
    "/p/" + encodeURIComponent(period) + (future ? "+future" : "") + "/" + hash;

  // The last ticket of each slot: an answer for an older ticket is stale.
  const tickets = new Map();

  // Asks the server with a GET. Resolves to the answer's text, or its JSON value with json
  // set; "" (or null) for an answer that is not a success. With a slot, see latest.
  function ask(url, { slot, json } = {}) {
    const answer = fetch(at(url), { method: "GET", cache: "no-store" })
      .then((response) => (response.ok ? (json ? response.json() : response.text()) : json ? null : ""))
      .catch(() => (json ? null : ""));
    return slot ? latest(slot, answer) : answer;
  }

  // The value of answer, if no later answer was asked for the same slot by then: an older one
  // never resolves, so a stale answer never reaches the page.
  function latest(slot, answer) {
    const ticket = drop(slot);
    return answer.then((value) => (tickets.get(slot) === ticket ? value : new Promise(() => {})));
  }

  // Makes every answer of the slot asked for so far stale; the new ticket.
  function drop(slot) {
    const ticket = (tickets.get(slot) || 0) + 1;
    tickets.set(slot, ticket);
    return ticket;
  }

  // Each report table in a box of its own: a table wider than its place scrolls inside the
  // box (class "wide"), which then holds the sticky header and the fixed name column.
  const sizes = new ResizeObserver((entries) => {
    for (const { target } of entries) {
      const box = target.classList.contains("tablebox") ? target : target.parentElement;
      const table = box.firstElementChild;
      if (table) box.classList.toggle("wide", table.offsetWidth > box.clientWidth + 1);
    }
  });

  function boxTables(root) {
    for (const table of root.querySelectorAll("table.murex")) {
      if (table.parentElement.classList.contains("tablebox")) continue;
      const box = html(null, "div", "tablebox");
      table.replaceWith(box);
      box.appendChild(table);
      sizes.observe(box);
      sizes.observe(table);
    }
  }

  return { byId, html, at, periodPage, ask, latest, drop, boxTables };
})();
