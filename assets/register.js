// murex: the rows of a transaction report (an account's splits, a kind's movements), of any
// number. They arrive as one text, a row a line, or in parts as data: a first part with the
// count of rows and their widest texts, the others asked for here while the first screen is
// already shown. A long list has in the document only the rows on the screen and some
// around them, with a gap above and below that keeps the scroll bar true, so that opening,
// filtering and scrolling cost what a screen of rows costs. Selection and marks are kept here
// by row, so that they survive the rows leaving the screen.
"use strict";

const Register = (() => {
  const { html } = Kit;
  const all = 300; // up to this many rows, every row is in the document
  const around = 40; // rows kept beyond each edge of the screen
  const firstPart = all; // rows of the part that opens a list: all of a short one
  const partSize = 5000; // rows of each later part, asked for one at a time
  const lists = new Map(); // table body -> its list

  // The report's HTML without the rows of the body that starts with open, and those rows.
  function cut(report, open) {
    const at = report.indexOf(open);
    if (at < 0) return [report, null];
    const from = at + open.length;
    const to = report.indexOf("</tbody>", from);
    return [report.slice(0, from) + report.slice(to), report.slice(from, to)];
  }

  // A row is its line of HTML, or a line of a part: the JSON of [split position, date, debit,
  // credit, balance, description, row class, balance class] as the server writes them, read
  // only when the row is drawn.
  const isHtml = (row) => row.startsWith("<");

  const posOf = (row) => {
    if (!isHtml(row)) return row.slice(1, row.indexOf(","));
    const m = /data-spos="(-?\d+)"/.exec(row);
    return m ? m[1] : null;
  };

  const classAttr = (cls) => (cls ? ` class="${cls}"` : "");

  function rowHtml(row) {
    if (isHtml(row)) return row;
    const [pos, date, debit, credit, balance, descr, cls, balanceCls] = JSON.parse(row);
    return `<tr${classAttr(cls)} data-spos="${pos}"><td>${date}</td><td>${debit}</td><td>${credit}</td>` +
      `<td${classAttr(balanceCls)}>${balance}</td><td>${descr}</td></tr>`;
  }

  // The answer for a part of a list: its rows' lines, and its last line's from, count and
  // widest texts (and the report around the rows, when asked for); null for no answer.
  function part(text) {
    const lines = text.split("\n");
    if (lines[lines.length - 1] === "") lines.pop();
    if (lines.length === 0) return null;
    const about = JSON.parse(lines.pop());
    about.rows = lines;
    return about;
  }

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

  function newList(body, rows) {
    // The rows of a body keep their height from one list to the next (a filter's), so that
    // a new list is drawn once, without measuring it first.
    const before = lists.get(body);
    const list = { body, rows, held: rows.length, selected: new Set(), marked: -1, toMark: null,
                   from: 0, to: 0, drawn: [], rowHeight: before ? before.rowHeight : 0, sizer: "",
                   frame: 0, later: 0, askPart: null, came: null };
    for (const [b] of lists) if (!b.isConnected || b === body) lists.delete(b);
    lists.set(body, list);
    return list;
  }

  // Shows the rows of text (the lines of a report's body) in body; the selection and the
  // mark start empty.
  function show(body, text) {
    const lines = text.split("\n");
    if (lines[lines.length - 1] === "") lines.pop();
    const list = newList(body, lines);
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

  // Shows the rows of a list that comes in parts, from its first part (of rows 0 to
  // firstPart, read by part); askPart(from, to) resolves to the text of those rows' part,
  // the first of them asked for after wait milliseconds. The other
  // parts are asked for one after the other, the one at the screen first; a part that comes
  // when body shows another list by then is dropped.
  function load(body, first, askPart, wait = 0) {
    const list = newList(body, new Array(first.count));
    list.held = 0;
    list.askPart = askPart;
    put(list, first);
    if (first.count > all) {
      const cells = first.widest.map((text) => `<td>${text}</td>`).join("");
      list.sizer = `<tr class="sizer" aria-hidden="true">${cells}<td></td></tr>`;
    }
    draw(list, true);
    if (list.held < list.rows.length) setTimeout(() => more(list), wait);
  }

  function put(list, part) {
    part.rows.forEach((row, k) => {
      const i = part.from + k;
      if (i >= list.rows.length || list.rows[i] !== undefined) return;
      list.rows[i] = row;
      list.held++;
    });
  }

  // The first row not held at or after the screen's top, else the first of all; -1 if none.
  function missing(list) {
    const rows = list.rows;
    for (let i = list.from; i < rows.length; i++) if (rows[i] === undefined) return i;
    for (let i = 0; i < list.from; i++) if (rows[i] === undefined) return i;
    return -1;
  }

  async function more(list) {
    while (lists.get(list.body) === list) {
      const from = missing(list);
      if (from < 0) return;
      const text = await list.askPart(from, Math.min(list.rows.length, from + partSize));
      if (lists.get(list.body) !== list) return;
      // A failed part, or one of a ledger that changed meanwhile: the list stays as it is.
      const got = part(text);
      if (!got || got.count !== list.rows.length || got.rows.length === 0) return;
      put(list, got);
      // Drawn with the next frame's scrolling, not in a layout of its own.
      if (got.from < list.to && got.from + got.rows.length > list.from) {
        const [from, to] = list.came || [got.from, got.from];
        list.came = [Math.min(from, got.from), Math.max(to, got.from + got.rows.length)];
        nextFrame(list);
      }
      if (list.toMark !== null) mark(list.body, list.toMark);
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
    const n = list.rows.length;
    let from = 0;
    let to = n;
    if (n > all) {
      const h = list.rowHeight || 24;
      const [top, bottom] = onScreen(list.body);
      const first = Math.max(0, Math.min(n, Math.floor(top / h)));
      const last = Math.max(0, Math.min(n, Math.ceil(bottom / h)));
      // Still covered, with room to spare: nothing to do, unless rows came for gaps on the
      // screen, or for gaps beyond it once the scrolling has stopped.
      const spare = around / 4;
      const covered = list.from <= Math.max(0, first - spare) && list.to >= Math.min(n, last + spare);
      const came = list.came;
      if (!force && covered && (!came || (scrolling() && (came[1] <= first || came[0] >= last)))) {
        if (came && !list.later) {
          list.later = setTimeout(() => {
            list.later = 0;
            nextFrame(list);
          }, settleScroll);
        }
        return;
      }
      from = Math.max(0, first - around);
      to = Math.min(n, last + around);
    }
    list.from = from;
    list.to = to;
    list.came = null;
    const h = list.rowHeight || 24;
    // Rows not held yet stand as gaps of their height.
    const parts = [];
    const drawn = [];
    const gaps = [];
    const gapHtml = (height) => {
      gaps.push(height);
      return gapRow;
    };
    let wanting = 0;
    for (let i = from; i < to; i++) {
      const row = list.rows[i];
      if (row === undefined) {
        wanting++;
        continue;
      }
      if (wanting > 0) parts.push(gapHtml(wanting * h));
      wanting = 0;
      parts.push(rowHtml(row));
      drawn.push(i);
    }
    if (wanting > 0) parts.push(gapHtml(wanting * h));
    list.drawn = drawn;
    const body = list.body;
    if (from > 0) {
      parts.unshift(gapRow);
      gaps.unshift(from * h);
    }
    if (to < n) parts.push(gapHtml((n - to) * h));
    body.innerHTML = list.sizer + parts.join("\n");
    // The gaps' heights go through the style object: the page's policy refuses style
    // attributes in markup.
    const columns = body.parentElement.tHead ? body.parentElement.tHead.rows[0].cells.length : 1;
    body.querySelectorAll("tr.gap").forEach((row, k) => {
      row.cells[0].colSpan = columns;
      row.style.height = gaps[k] + "px";
    });
    const rows = body.querySelectorAll("tr[data-spos]");
    rows.forEach((row, k) => {
      const i = drawn[k];
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

  const gapRow = '<tr class="gap"><td></td></tr>';

  // Draws a list in the next frame, once however often asked.
  function nextFrame(list) {
    if (list.frame || lists.get(list.body) !== list) return;
    list.frame = requestAnimationFrame(() => {
      list.frame = 0;
      if (list.body.isConnected) draw(list, false);
    });
  }

  // A scroll is under way until this long after its last event.
  const settleScroll = 150;
  let lastScroll = -Infinity;
  const scrolling = () => performance.now() - lastScroll < settleScroll;

  // Redraws on scrolling and resizing, once a frame.
  function follow(event) {
    if (event && event.type === "scroll") lastScroll = performance.now();
    for (const list of lists.values()) if (list.rows.length > all) nextFrame(list);
  }
  document.addEventListener("scroll", follow, { capture: true, passive: true });
  window.addEventListener("resize", follow);

  // The place in the list of a row of the document, or -1.
  function indexOf(list, row) {
    const rows = [...list.body.querySelectorAll("tr[data-spos]")];
    const k = rows.indexOf(row);
    return k < 0 ? -1 : list.drawn[k];
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
    return [...list.selected].map((i) => posOf(list.rows[i])).filter((p) => p !== null && p !== "-1");
  }

  function clear(body) {
    const list = lists.get(body);
    if (list) list.selected.clear();
    for (const row of body.querySelectorAll("tr.selekt")) row.classList.remove("selekt");
  }

  // Brings the row of a split into view and marks it; -1 is the opening row on top. A row
  // of a part not held yet is marked once its part is there.
  function mark(body, splitPos) {
    const list = body && lists.get(body);
    if (!list) return;
    const pos = String(splitPos);
    const i = Number(splitPos) < 0 ? 0 : list.rows.findIndex((row) => row !== undefined && posOf(row) === pos);
    list.toMark = i < 0 && list.held < list.rows.length ? splitPos : null;
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
    } else if (!list.drawn.includes(i)) {
      draw(list, true); // its part came, and waits for a frame to be drawn
    }
    const row = body.querySelectorAll("tr[data-spos]")[list.drawn.indexOf(i)];
    if (!row) return;
    row.classList.add("marked");
    row.scrollIntoView({ block: "center", behavior: "smooth" });
  }

  return { cut, show, part, load, firstPart, toggle, selected, clear, mark };
})();
