// murex: the rows of a transaction report (an account's splits, a kind's movements), of any
// number. They arrive as one text, a row a line; a long list has in the document only the
// rows on the screen and some around them, with a gap above and below that keeps the
// scroll bar true, so that opening, filtering and scrolling cost what a screen of rows costs.
// Selection and marks are kept here by row, so that they survive the rows leaving the screen.
"use strict";

const Register = (() => {
  const { html } = Kit;
  const all = 300; // up to this many rows, every row is in the document
  const around = 40; // rows kept beyond each edge of the screen
  const lists = new Map(); // table body -> its list

  // The report's HTML without the rows of the body that starts with open, and those rows.
  function cut(report, open) {
    const at = report.indexOf(open);
    if (at < 0) return [report, null];
    const from = at + open.length;
    const to = report.indexOf("</tbody>", from);
    return [report.slice(0, from) + report.slice(to), report.slice(from, to)];
  }

  const posOf = (line) => {
    const m = /data-spos="(-?\d+)"/.exec(line);
    return m ? m[1] : null;
  };

  // A row of no height holding the longest text of each column but the last, so that the
  // columns keep their widths whichever rows are in the document. One pass over the text.
  function sizerRow(text, lines) {
    const count = (lines[0].match(/<td/g) || []).length;
    const longest = new Array(count).fill("");
    let c = 0;
    for (const m of text.matchAll(/<td[^>]*>([^<]*)<\/td>|\n/g)) {
      if (m[0] === "\n") c = 0;
      else if (c++ < count - 1 && m[1].length > longest[c - 1].length) longest[c - 1] = m[1];
    }
    longest[count - 1] = "";
    return `<tr class="sizer" aria-hidden="true">${longest.map((t) => `<td>${t}</td>`).join("")}</tr>`;
  }

  // Shows the rows of text (the lines of a /filter/ answer, or of a report's body) in body;
  // the selection and the mark start empty.
  function show(body, text) {
    const lines = text.split("\n");
    if (lines[lines.length - 1] === "") lines.pop();
    const list = { body, lines, selected: new Set(), marked: -1, from: 0, to: 0, rowHeight: 0, sizer: "", frame: 0 };
    for (const [b] of lists) if (!b.isConnected || b === body) lists.delete(b);
    lists.set(body, list);
    draw(list, true);
    // The widths of a long list's columns right after its first screen is shown.
    if (lines.length > all) {
      setTimeout(() => {
        if (lists.get(body) !== list) return;
        list.sizer = sizerRow(text, lines);
        draw(list, true);
      }, 0);
    }
  }

  // The part of the body on the screen, in pixels from its top: the window, and the box of
  // a wide table that scrolls on its own.
  function onScreen(body) {
    const rect = body.getBoundingClientRect();
    let top = 0;
    let bottom = window.innerHeight;
    const box = body.closest(".tablebox.wide");
    if (box) {
      const b = box.getBoundingClientRect();
      top = Math.max(top, b.top);
      bottom = Math.min(bottom, b.bottom);
    }
    return [top - rect.top, Math.max(top, bottom) - rect.top];
  }

  function draw(list, force) {
    const n = list.lines.length;
    let from = 0;
    let to = n;
    if (n > all) {
      const h = list.rowHeight || 24;
      const [top, bottom] = onScreen(list.body);
      const first = Math.max(0, Math.min(n, Math.floor(top / h)));
      const last = Math.max(0, Math.min(n, Math.ceil(bottom / h)));
      // Still covered, with room to spare: nothing to do.
      const spare = around / 4;
      if (!force && list.from <= Math.max(0, first - spare) && list.to >= Math.min(n, last + spare)) return;
      from = Math.max(0, first - around);
      to = Math.min(n, last + around);
    }
    list.from = from;
    list.to = to;
    const body = list.body;
    body.innerHTML = list.sizer + list.lines.slice(from, to).join("\n");
    if (n > all) {
      const h = list.rowHeight || 24;
      body.insertBefore(gap(body, from * h), body.querySelector("tr[data-spos]"));
      body.appendChild(gap(body, (n - to) * h));
    }
    const rows = body.querySelectorAll("tr[data-spos]");
    rows.forEach((row, k) => {
      const i = from + k;
      if (list.selected.has(i)) row.classList.add("selekt");
      if (list.marked === i) row.classList.add("marked");
    });
    // The height a row takes, measured once on the first screen of a long list.
    if (n > all && list.rowHeight === 0 && rows.length > 0) {
      const span = rows[rows.length - 1].getBoundingClientRect().bottom - rows[0].getBoundingClientRect().top;
      list.rowHeight = span > 0 ? span / rows.length : 24;
      draw(list, true);
    }
  }

  function gap(body, height) {
    const row = html(null, "tr", "gap");
    const cell = html(row, "td");
    cell.colSpan = body.rows[0] ? body.rows[0].cells.length : 1;
    row.style.height = height + "px";
    return row;
  }

  // Redraws on scrolling and resizing, once a frame.
  function follow() {
    for (const list of lists.values()) {
      if (list.frame || list.lines.length <= all) continue;
      list.frame = requestAnimationFrame(() => {
        list.frame = 0;
        if (list.body.isConnected) draw(list, false);
      });
    }
  }
  document.addEventListener("scroll", follow, { capture: true, passive: true });
  window.addEventListener("resize", follow);

  // The place in the list of a row of the document, or -1.
  function indexOf(list, row) {
    const rows = [...list.body.querySelectorAll("tr[data-spos]")];
    const k = rows.indexOf(row);
    return k < 0 ? -1 : list.from + k;
  }

  // Selects or unselects a row of the document.
  function toggle(body, row) {
    const list = lists.get(body);
    const i = list ? indexOf(list, row) : -1;
    if (i < 0) return;
    if (list.selected.has(i)) list.selected.delete(i);
    else list.selected.add(i);
    row.classList.toggle("selekt", list.selected.has(i));
  }

  // The split positions of the selected rows, those that are off the screen too.
  function selected(body) {
    const list = lists.get(body);
    if (!list) return [];
    return [...list.selected].map((i) => posOf(list.lines[i])).filter((p) => p !== null && p !== "-1");
  }

  function clear(body) {
    const list = lists.get(body);
    if (list) list.selected.clear();
    for (const row of body.querySelectorAll("tr.selekt")) row.classList.remove("selekt");
  }

  // Brings the row of a split into view and marks it; -1 is the opening row on top.
  function mark(body, splitPos) {
    const list = body && lists.get(body);
    if (!list) return;
    const attr = splitPos >= 0 ? `data-spos="${splitPos}"` : "data-spos=";
    const i = list.lines.findIndex((line) => line.includes(attr));
    if (i < 0) return;
    list.marked = i;
    for (const row of body.querySelectorAll("tr.marked")) row.classList.remove("marked");
    if (i < list.from || i >= list.to) {
      // Near enough first, so that the row is in the document; then smoothly to its middle.
      const box = body.closest(".tablebox.wide");
      const rowTop = body.getBoundingClientRect().top + i * (list.rowHeight || 24);
      if (box) box.scrollTop += rowTop - box.getBoundingClientRect().top - box.clientHeight / 2;
      else window.scrollBy(0, rowTop - window.innerHeight / 2);
      draw(list, true);
    }
    const row = body.querySelectorAll("tr[data-spos]")[i - list.from];
    if (!row) return;
    row.classList.add("marked");
    row.scrollIntoView({ block: "center", behavior: "smooth" });
  }

  return { cut, show, toggle, selected, clear, mark };
})();
