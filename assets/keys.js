// murex: keyboard shortcuts, and their help on "?", both made from one key map.
"use strict";

const Keys = (() => {
  const { byId, html } = Kit;

  function typing(target) {
    return target instanceof Element && target.closest("input, select, textarea, [contenteditable]") !== null;
  }

  function helpOpen() {
    const help = byId("keyhelp");
    return help !== null && !help.hidden;
  }

  let focusBefore = null;

  function toggleHelp() {
    const help = byId("keyhelp");
    if (!help) return;
    if (!help.hidden) {
      help.hidden = true;
      if (focusBefore && focusBefore.isConnected) focusBefore.focus();
      return;
    }
    const box = help.querySelector(".keybox");
    if (!box.querySelector("table")) box.insertBefore(keyTable(), box.querySelector("p"));
    focusBefore = document.activeElement;
    help.hidden = false;
    box.focus();
  }

  // The next or previous entry of the menu's list that holds the shown account or kind
  // (prefix "#a" or "#i"); from a balance, the first entry.
  function step(delta) {
    const hash = location.hash;
    const m = /^#([ai])(\d*)$/.exec(hash === "" ? "#a" : hash);
    if (!m) return;
    const links = [...document.querySelectorAll(`#jump a[href^="#${m[1]}"]`)]
      .map((a) => a.getAttribute("href"))
      .filter((href) => /^#[ai]\d+$/.test(href));
    if (links.length === 0) return;
    const at = links.indexOf(hash);
    const next = at < 0 ? (delta > 0 ? 0 : links.length - 1) : at + delta;
    if (next >= 0 && next < links.length) location.hash = links[next];
  }

  function focusFilter() {
    const filter = document.querySelector('section.active input[name="filter"]');
    if (!filter) return;
    filter.focus();
    filter.select();
  }

  // Esc: leaves a text box, or closes the help or the transaction window; false when there
  // was nothing to close.
  function escape(target) {
    if (typing(target)) {
      target.blur();
      return true;
    }
    if (helpOpen()) {
      toggleHelp();
      return true;
    }
    const popup = byId("popup");
    if (popup && popup.style.display === "block") {
      popup.style.display = "none";
      return true;
    }
    return false;
  }

  const go = (hash) => () => (location.hash = hash);

  // The key map: the keys as shown, what they do, and an action for each key (or one for
  // all). One entry a line: the build writes the manual's table of keys from these lines.
  const map = [];
  const row = (keys, does, ...actions) => map.push({ keys, does, actions });
  row(["?"], "show or hide this list", toggleHelp);
  row(["m"], "the menu", go("#j"));
  row(["b"], "the balance of accounts", go("#a"));
  row(["i"], "the balance of inventory", go("#i"));
  row(["n", "p"], "the next or previous account (or inventory kind)", () => step(1), () => step(-1));
  row(["/", "f"], "into the filter box of an account", focusFilter);
  row(["Esc"], "close the transaction window or this list; leave the filter box", escape);
  row(["h"], "this manual", go("#m"));

  const actions = new Map();
  for (const { keys, actions: acts } of map) keys.forEach((key, i) => actions.set(key, acts[i] || acts[0]));

  // The table of the help, as the manual shows it.
  function keyTable() {
    const table = html(null, "table", "about keys");
    for (const { keys, does } of map) {
      const tr = html(table, "tr");
      const th = html(tr, "th");
      keys.forEach((key, i) => {
        if (i > 0) th.append(" ");
        html(th, "kbd", "", key);
      });
      html(tr, "td", "", does);
    }
    return table;
  }

  function start() {
    document.addEventListener("keydown", (event) => {
      if (event.ctrlKey || event.altKey || event.metaKey || event.defaultPrevented) return;
      // The error page offers nothing but the error.
      if (byId("errorStr")?.textContent.trim()) return;
      if (event.key === "Escape") {
        if (escape(event.target)) event.preventDefault();
        return;
      }
      if (typing(event.target)) return;
      if (helpOpen() && event.key !== "?") return;
      const action = actions.get(event.key);
      if (!action) return;
      event.preventDefault();
      action(event.target);
    });

    // A click on the dimmed page around the help closes it.
    document.addEventListener("click", (event) => {
      if (helpOpen() && event.target === byId("keyhelp")) toggleHelp();
    });
  }

  return { start };
})();
