// murex: keyboard shortcuts, and their help on "?" (the table of the manual's "Keyboard").
"use strict";

(() => {
  const byId = (id) => document.getElementById(id);

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
    const table = byId("keytable");
    const copy = box.querySelector("table");
    if (copy) copy.remove();
    if (table) {
      const clone = table.cloneNode(true);
      clone.removeAttribute("id");
      box.insertBefore(clone, box.querySelector("p"));
    }
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
    if (!filter) return false;
    filter.focus();
    filter.select();
    return true;
  }

  function closeAll() {
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

  const keys = {
    "?": toggleHelp,
    m: () => (location.hash = "#j"),
    b: () => (location.hash = "#a"),
    i: () => (location.hash = "#i"),
    h: () => (location.hash = "#m"),
    n: () => step(1),
    p: () => step(-1),
    "/": focusFilter,
    f: focusFilter,
  };

  document.addEventListener("keydown", (event) => {
    if (event.ctrlKey || event.altKey || event.metaKey || event.defaultPrevented) return;
    if (event.key === "Escape") {
      if (typing(event.target)) event.target.blur();
      else if (closeAll()) event.preventDefault();
      return;
    }
    if (typing(event.target)) return;
    if (helpOpen() && event.key !== "?") return;
    const action = keys[event.key];
    if (!action || byId("errorStr")?.textContent.trim()) return;
    event.preventDefault();
    action();
  });

  // A click on the dimmed page around the help closes it.
  document.addEventListener("click", (event) => {
    if (helpOpen() && event.target === byId("keyhelp")) toggleHelp();
  });
})();
