// murex: the charts above the reports. Their figures come from the /chart/ routes with the
// amounts exact and already written as text; this script only places them, as SVG.
"use strict";

const Charts = (() => {
  const NS = "http://www.w3.org/2000/svg";
  const shown = new Map(); // figure id -> { figure, data, draw, width }
  const tickets = {};

  function svg(parent, name, attrs, text) {
    const e = document.createElementNS(NS, name);
    for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, v);
    if (text !== undefined) e.textContent = text;
    if (parent) parent.appendChild(e);
    return e;
  }

  function html(parent, name, cls, text) {
    const e = document.createElement(name);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    if (parent) parent.appendChild(e);
    return e;
  }

  async function fetchJson(url) {
    try {
      const response = await fetch(url, { method: "GET", cache: "no-store" });
      return response.ok ? await response.json() : null;
    } catch (e) {
      return null;
    }
  }

  // The figure with this id, put in front of the element it belongs above. It keeps its
  // height from the style sheet while empty, so the table below does not move when it fills.
  function figureBefore(id, anchor) {
    let figure = document.getElementById(id);
    if (figure && figure.nextElementSibling === anchor) return figure;
    if (figure) figure.remove();
    figure = document.createElement("figure");
    figure.id = id;
    figure.className = "chart";
    anchor.parentNode.insertBefore(figure, anchor);
    resizer.observe(figure);
    return figure;
  }

  // Figures asked for ahead of their report, by figure id: { key, answer }.
  const early = new Map();

  // Asks for a chart's figures before its report arrives, so that both are put on the page
  // in one go: each change of a page that holds a long table costs a frame of the whole table.
  function prefetch(id, key, url) {
    const section = document.querySelector("section.active") || document.body;
    early.set(id, { key, answer: fetchJson(url(plotWidth(section))) });
  }

  // Fetches a chart's figures and draws them; answers for a figure that was replaced are dropped.
  async function load(id, anchor, url, draw, key) {
    const asked = early.get(id);
    early.delete(id);
    if (!anchor) return;
    const figure = figureBefore(id, anchor);
    const ticket = (tickets[id] = (tickets[id] || 0) + 1);
    const data = await (asked && asked.key === key ? asked.answer : fetchJson(url(plotWidth(figure))));
    if (ticket !== tickets[id] || !figure.isConnected) return;
    if (!data) {
      figure.remove();
      shown.delete(id);
      return;
    }
    const entry = { figure, data, draw, width: 0 };
    shown.set(id, entry);
    render(entry);
  }

  function render(entry) {
    const width = entry.figure.clientWidth;
    if (width === 0) return; // in a hidden section: drawn when it shows
    entry.width = width;
    entry.figure.replaceChildren();
    entry.draw(entry.figure, entry.data, width);
  }

  const resizer = new ResizeObserver(() => {
    for (const [id, entry] of shown) {
      if (!entry.figure.isConnected) shown.delete(id);
      else if (entry.figure.clientWidth !== entry.width) render(entry);
    }
  });

  // ---- Shared pieces of a drawing

  const margin = { top: 12, right: 18, bottom: 26, gap: 30 };

  function leftMargin(...tickLists) {
    let longest = 1;
    for (const ticks of tickLists) for (const [, text] of ticks) longest = Math.max(longest, text.length);
    return Math.max(44, Math.round(longest * 7.2) + 14);
  }

  function plotWidth(figure) {
    return Math.max(40, Math.round((figure.clientWidth || 900) - 70 - margin.right));
  }

  // The chart's caption: its title, and a legend of [class, text] swatches.
  function caption(figure, title, legend) {
    const cap = html(figure, "figcaption");
    html(cap, "span", "charttitle", title);
    for (const [cls, text] of legend || []) {
      const item = html(cap, "span", "legend");
      html(item, "span", "swatch " + cls);
      item.append(text);
    }
  }

  // The SVG root with its text alternative: a title and a description screen readers read.
  function root(figure, width, height, data) {
    const id = figure.id;
    const s = svg(figure, "svg", {
      viewBox: `0 0 ${width} ${height}`,
      width: width,
      height: height,
      role: "img",
      "aria-labelledby": `${id}-title ${id}-desc`,
      tabindex: "0",
    });
    svg(s, "title", { id: `${id}-title` }, data.title);
    svg(s, "desc", { id: `${id}-desc` }, data.desc);
    return s;
  }

  // A vertical scale from the tick values onto [top, bottom].
  function scale(ticks, top, bottom) {
    const low = ticks[0][0];
    const high = ticks[ticks.length - 1][0];
    const span = high - low || 1;
    return (v) => bottom - ((v - low) / span) * (bottom - top);
  }

  function yAxis(s, ticks, y, left, right) {
    for (const [value, text] of ticks) {
      const at = y(value);
      svg(s, "line", { class: value === 0 ? "zero" : "grid", x1: left, x2: right, y1: at, y2: at });
      svg(s, "text", { class: "tick", x: left - 6, y: at + 4, "text-anchor": "end" }, text);
    }
  }

  // The tooltip of a figure, made when first shown: a positioned element costs the whole
  // page's compositing a walk, which a chart drawn without being pointed at need not pay.
  function tooltip(figure) {
    let tip = null;
    return {
      show: (s, x, y, heading, lines) => {
        if (!tip) tip = html(figure, "div", "charttip");
        showTip(tip, s, x, y, heading, lines);
      },
      hide: () => {
        if (tip) tip.hidden = true;
      },
    };
  }

  // Lines of [label, value] in the tooltip, placed beside the point x, y (SVG units).
  function showTip(tip, s, x, y, heading, lines) {
    tip.replaceChildren();
    html(tip, "strong", "", heading);
    for (const [label, value, cls] of lines) {
      const row = html(tip, "div");
      if (cls) html(row, "span", "swatch " + cls);
      row.append(label + " ");
      html(row, "span", "amount", value);
    }
    tip.hidden = false;
    const box = s.getBoundingClientRect();
    const k = box.width / s.viewBox.baseVal.width;
    const figureBox = tip.parentNode.getBoundingClientRect();
    let left = box.left - figureBox.left + x * k + 14;
    if (left + tip.offsetWidth > figureBox.width) left = Math.max(0, left - tip.offsetWidth - 28);
    tip.style.left = left + "px";
    tip.style.top = Math.max(0, box.top - figureBox.top + y * k - tip.offsetHeight / 2) + "px";
  }

  // Pointer and keyboard over a chart: pick(i) shows item i, choose(i) acts on it.
  function interact(s, count, indexAt, pick, choose, hide) {
    let current = -1;
    const at = (event) => {
      const box = s.getBoundingClientRect();
      return indexAt(((event.clientX - box.left) * s.viewBox.baseVal.width) / box.width);
    };
    const show = (i) => {
      current = Math.max(0, Math.min(count - 1, i));
      pick(current);
    };
    s.addEventListener("mousemove", (event) => show(at(event)));
    s.addEventListener("mouseleave", () => {
      current = -1;
      hide();
    });
    s.addEventListener("click", (event) => {
      show(at(event));
      choose(current);
    });
    s.addEventListener("focus", () => show(current < 0 ? count - 1 : current));
    s.addEventListener("blur", hide);
    s.addEventListener("keydown", (event) => {
      const moves = { ArrowLeft: current - 1, ArrowRight: current + 1, Home: 0, End: count - 1 };
      if (event.key in moves) show(moves[event.key]);
      else if (event.key === "Enter" || event.key === " ") choose(current);
      else return;
      event.preventDefault();
      event.stopPropagation();
    });
  }

  // The shade behind the month being pointed at.
  function monthShade(s, width, top, bottom) {
    return svg(s, "rect", { class: "band", y: top, width, height: bottom - top, visibility: "hidden" });
  }

  // Labels centred under their place; one at the very left edge starts there instead, clear
  // of the value axis' lowest label.
  function xLabels(s, labels, bottom, left) {
    for (const [x, text] of labels) {
      const anchor = left !== undefined && x - left < 30 ? "start" : "middle";
      svg(s, "text", { class: "tick", x, y: bottom + 17, "text-anchor": anchor }, text);
    }
  }

  // ---- A line through a period: an account's balance, a kind's book value and items

  // Step lines, one panel per series, over the days of the period.
  function drawLine(figure, data, width, onChoose) {
    const series = data.series;
    const points = series[0].points;
    caption(figure, data.title, []);
    const panelHeight = series.length > 1 ? 120 : 190;
    const top0 = series.length > 1 ? 26 : margin.top; // room for the first panel's name
    const left = leftMargin(...series.map((one) => one.yticks));
    const right = width - margin.right;
    const height = top0 + series.length * panelHeight + (series.length - 1) * margin.gap + margin.bottom;
    const s = root(figure, width, height, data);
    s.dataset.points = points.length;
    const x = (day) => left + (day / data.days) * (right - left);
    const bottom = top0 + series.length * panelHeight + (series.length - 1) * margin.gap;
    for (const [day] of data.xticks) {
      svg(s, "line", { class: "grid", x1: x(day), x2: x(day), y1: top0, y2: bottom });
    }
    xLabels(
      s,
      data.xticks.map(([day, text]) => [x(day), text]),
      bottom,
      left,
    );
    const ys = [];
    const markers = [];
    series.forEach((one, n) => {
      const top = top0 + n * (panelHeight + margin.gap);
      const y = scale(one.yticks, top, top + panelHeight);
      ys.push(y);
      yAxis(s, one.yticks, y, left, right);
      if (series.length > 1) svg(s, "text", { class: "panelname", x: left, y: top - 7 }, one.name);
      const pts = one.points;
      if (pts.length === 0) return;
      let d = `M${x(pts[0][0]).toFixed(1)},${y(pts[0][1]).toFixed(1)}`;
      for (let i = 1; i < pts.length; i++) d += `H${x(pts[i][0]).toFixed(1)}V${y(pts[i][1]).toFixed(1)}`;
      d += `H${right}`;
      const base = Math.min(top + panelHeight, Math.max(top, y(0)));
      svg(s, "path", { class: "area", d: `${d}V${base}H${x(pts[0][0]).toFixed(1)}Z` });
      svg(s, "path", { class: "line", d });
      // Dots only where they stay apart.
      if (pts.length <= (right - left) / 8) {
        for (const p of pts) svg(s, "circle", { class: "pt", cx: x(p[0]), cy: y(p[1]), r: 3 });
      }
      markers.push(svg(s, "circle", { class: "focus", r: 5, visibility: "hidden" }));
    });
    const cursor = svg(s, "line", { class: "cursor", y1: top0, y2: bottom, visibility: "hidden" });
    const tip = tooltip(figure);
    const hide = () => {
      tip.hide();
      for (const m of [cursor, ...markers]) m.setAttribute("visibility", "hidden");
    };
    if (points.length === 0) return;
    const indexAt = (px) => {
      const day = ((px - left) / (right - left)) * data.days;
      let best = 0;
      for (let i = 1; i < points.length; i++) {
        if (Math.abs(points[i][0] - day) <= Math.abs(points[best][0] - day)) best = i;
        else if (points[i][0] > day) break;
      }
      return best;
    };
    const pick = (i) => {
      const px = x(points[i][0]);
      cursor.setAttribute("x1", px);
      cursor.setAttribute("x2", px);
      series.forEach((one, n) => {
        markers[n].setAttribute("cx", px);
        markers[n].setAttribute("cy", ys[n](one.points[i][1]));
      });
      for (const m of [cursor, ...markers]) m.setAttribute("visibility", "visible");
      tip.show(
        s,
        px,
        ys[0](points[i][1]),
        points[i][3],
        series.map((one) => [one.name, one.points[i][2]]),
      );
    };
    interact(s, points.length, indexAt, pick, (i) => onChoose(points[i][4]), hide);
  }

  // Brings the row of a split into view and marks it; -1 is the opening row on top.
  function markRow(body, splitPos) {
    if (!body) return;
    for (const row of body.querySelectorAll("tr.marked")) row.classList.remove("marked");
    const row =
      splitPos >= 0 ? body.querySelector(`tr[data-spos="${splitPos}"]`) : body.querySelector("tr[data-spos]");
    if (!row) return;
    row.classList.add("marked");
    row.scrollIntoView({ block: "center", behavior: "smooth" });
  }

  const accountUrl = (pos, filter) => (w) =>
    `/chart/account/${pos}?w=${w}` + (filter ? "&f=" + encodeURIComponent(filter) : "");
  const kindUrl = (pos) => (w) => `/chart/inv/${pos}?w=${w}`;

  function account(pos, filter) {
    load(
      "accchart",
      document.getElementById("accounttbl"),
      accountUrl(pos, filter),
      (figure, data, width) =>
        drawLine(figure, data, width, (spos) => markRow(document.getElementById("records"), spos)),
      filter ? null : `${pos}`,
    );
  }

  function kind(pos) {
    const table = document.getElementById("invtbl");
    load(
      "invchart",
      table,
      kindUrl(pos),
      (figure, data, width) => drawLine(figure, data, width, (spos) => markRow(table && table.tBodies[0], spos)),
      `${pos}`,
    );
  }

  // Called before the report is asked for (the server answers in the order it is asked).
  function beforeAccount(pos) {
    prefetch("accchart", `${pos}`, accountUrl(pos, ""));
  }

  function beforeKind(pos) {
    prefetch("invchart", `${pos}`, kindUrl(pos));
  }

  // ---- Month by month

  // Bars in month bands: income up, expenses down, the profit or loss as a mark; below, the
  // net worth at each month's end as a line.
  function drawBalance(figure, data, width) {
    caption(figure, data.title, [
      ["income", "Income"],
      ["expense", "Expenses"],
      ["profit", "Profit/(Loss)"],
      ["worth", "Net worth"],
    ]);
    const n = data.months.length;
    const flowHeight = 170;
    const worthHeight = 90;
    const left = leftMargin(data.flowticks, data.worthticks);
    const right = width - margin.right;
    const worthTop = margin.top + flowHeight + margin.gap;
    const bottom = worthTop + worthHeight;
    const s = root(figure, width, bottom + margin.bottom, data);
    s.dataset.months = n;
    const band = (right - left) / Math.max(n, 1);
    const mid = (i) => left + (i + 0.5) * band;
    const y = scale(data.flowticks, margin.top, margin.top + flowHeight);
    const yw = scale(data.worthticks, worthTop, bottom);
    const hilite = monthShade(s, band, margin.top, bottom);
    yAxis(s, data.flowticks, y, left, right);
    yAxis(s, data.worthticks, yw, left, right);
    svg(s, "text", { class: "panelname", x: left, y: worthTop - 7 }, "Net worth at month end");
    const barWidth = Math.min(band * 0.56, 60);
    for (let i = 0; i < n; i++) {
      const x0 = mid(i) - barWidth / 2;
      const inc = data.income[i][0];
      const exp = data.expenses[i][0];
      svg(s, "rect", { class: "bar income", x: x0, y: y(inc), width: barWidth, height: Math.max(0, y(0) - y(inc)) });
      svg(s, "rect", { class: "bar expense", x: x0, y: y(0), width: barWidth, height: Math.max(0, y(-exp) - y(0)) });
      // A month without income or expenses has no profit to mark.
      if (inc === 0 && exp === 0) continue;
      svg(s, "rect", {
        class: "profit",
        x: mid(i) - barWidth * 0.7,
        y: y(data.profit[i][0]) - 1.5,
        width: barWidth * 1.4,
        height: 3,
      });
    }
    let d = "";
    data.worth.forEach(([v], i) => (d += `${i ? "L" : "M"}${mid(i).toFixed(1)},${yw(v).toFixed(1)}`));
    svg(s, "path", { class: "worth", d });
    for (let i = 0; i < n; i++) svg(s, "circle", { class: "worthpt", cx: mid(i), cy: yw(data.worth[i][0]), r: 3 });
    xLabels(
      s,
      data.months.map((m, i) => [mid(i), m.label]),
      bottom,
    );
    const tip = tooltip(figure);
    interact(
      s,
      n,
      (px) => Math.floor((px - left) / band),
      (i) => {
        hilite.setAttribute("x", left + i * band);
        hilite.setAttribute("visibility", "visible");
        tip.show(s, mid(i) + barWidth / 2, y(0), `${data.months[i].from} – ${data.months[i].to}`, [
          ["Income", data.income[i][1], "income"],
          ["Expenses", data.expenses[i][1], "expense"],
          ["Profit/(Loss)", data.profit[i][1], "profit"],
          ["Net worth", data.worth[i][1], "worth"],
        ]);
      },
      () => {},
      () => {
        tip.hide();
        hilite.setAttribute("visibility", "hidden");
      },
    );
  }

  // Each month's bar stacked from the parts (positive ones up, negative ones down).
  function drawStack(figure, data, width) {
    caption(
      figure,
      data.title,
      data.series.map((one, k) => [`s${k}`, one.name]),
    );
    const n = data.months.length;
    const left = leftMargin(data.yticks);
    const right = width - margin.right;
    const bottom = margin.top + 190;
    const s = root(figure, width, bottom + margin.bottom, data);
    s.dataset.months = n;
    const band = (right - left) / Math.max(n, 1);
    const mid = (i) => left + (i + 0.5) * band;
    const y = scale(data.yticks, margin.top, bottom);
    const hilite = monthShade(s, band, margin.top, bottom);
    yAxis(s, data.yticks, y, left, right);
    const barWidth = Math.min(band * 0.62, 64);
    for (let i = 0; i < n; i++) {
      let up = 0;
      let down = 0;
      data.series.forEach((one, k) => {
        const v = one.values[i][0];
        if (v === 0) return;
        const from = v > 0 ? up : down;
        const to = from + v;
        if (v > 0) up = to;
        else down = to;
        svg(s, "rect", {
          class: `bar s${k}`,
          x: mid(i) - barWidth / 2,
          y: Math.min(y(from), y(to)),
          width: barWidth,
          height: Math.abs(y(from) - y(to)),
        });
      });
    }
    xLabels(
      s,
      data.months.map((m, i) => [mid(i), m.label]),
      bottom,
    );
    const tip = tooltip(figure);
    interact(
      s,
      n,
      (px) => Math.floor((px - left) / band),
      (i) => {
        hilite.setAttribute("x", left + i * band);
        hilite.setAttribute("visibility", "visible");
        const lines = data.series
          .map((one, k) => [one.name, one.values[i][1], `s${k}`, one.values[i][0]])
          .filter((line) => line[3] !== 0);
        lines.push(["Total", data.totals[i][1]]);
        tip.show(s, mid(i) + barWidth / 2, margin.top + 60, `${data.months[i].from} – ${data.months[i].to}`, lines);
      },
      () => {},
      () => {
        tip.hide();
        hilite.setAttribute("visibility", "hidden");
      },
    );
  }

  // Its place is kept at once; its figures are asked for once the page has loaded, so that
  // the server's month-by-month walk never holds up the page's own files.
  function balance() {
    const table = document.getElementById("balance");
    if (!table) return;
    figureBefore("balchart", table);
    const go = () => load("balchart", table, () => "/chart/balance", drawBalance);
    if (document.readyState === "complete") go();
    else window.addEventListener("load", go, { once: true });
  }

  // The month-by-month page: the sub-accounts of the expense and of the income root stacked
  // per month, or those of the account whose tree the page shows.
  function monthly(pos) {
    const table = document.getElementById("monthly");
    if (pos === "") {
      load("expchart", table, () => "/chart/expenses", drawStack);
      load("incchart", table, () => "/chart/income", drawStack);
    } else {
      load("subchart", table, () => `/chart/stack/${pos}`, drawStack);
    }
  }

  return { account, kind, balance, monthly, beforeAccount, beforeKind };
})();
