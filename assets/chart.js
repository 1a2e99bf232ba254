// murex: the charts above the reports. Their figures come from the /chart/ routes with the
// amounts exact and already written as text; this script only places them, as SVG.
"use strict";

const Charts = (() => {
  const { ask, latest } = Kit;
  const { svg, margin, leftMargin, plotWidth, caption, root, scale, yAxis, xLabels, tooltip, interact } = Draw;
  const shown = new Map(); // figure id -> { figure, data, draw, width }

  // The figure with this id, put in front of the element it belongs above. It keeps its
  // height from the style sheet while empty, so the table below does not move when it fills.
  // A table in a box (Kit.boxTables) has the chart above its box.
  function figureBefore(id, table) {
    const anchor = table.parentElement.classList.contains("tablebox") ? table.parentElement : table;
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
    early.set(id, { key, answer: ask(url(plotWidth(section)), { json: true }) });
  }

  // Fetches a chart's figures and draws them; answers for a figure that was replaced are dropped.
  async function load(id, anchor, url, draw, key) {
    const asked = early.get(id);
    early.delete(id);
    if (!anchor) return;
    const figure = figureBefore(id, anchor);
    const answer = asked && asked.key === key ? asked.answer : ask(url(plotWidth(figure)), { json: true });
    const data = await latest("chart " + id, answer);
    if (!figure.isConnected) return;
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

  const accountUrl = (pos, filter) => (w) =>
    `/chart/account/${pos}?w=${w}` + (filter ? "&f=" + encodeURIComponent(filter) : "");
  const kindUrl = (pos) => (w) => `/chart/inv/${pos}?w=${w}`;

  // A point chosen on the line of an account or a kind brings its row into view and marks
  // it (-1 is the opening row on top).
  function account(pos, filter, markRow) {
    load(
      "accchart",
      document.getElementById("accounttbl"),
      accountUrl(pos, filter),
      (figure, data, width) => drawLine(figure, data, width, markRow),
      filter ? null : `${pos}`,
    );
  }

  function kind(pos, markRow) {
    load(
      "invchart",
      document.getElementById("invtbl"),
      kindUrl(pos),
      (figure, data, width) => drawLine(figure, data, width, markRow),
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

  // ---- Month by month: a chosen month (its index in the period) goes to chooseMonth.

  // Bars in month bands: income up, expenses down, the profit or loss as a mark; below, the
  // net worth at each month's end as a line.
  function drawBalance(figure, data, width, chooseMonth) {
    const flowHeight = 170;
    const worthHeight = 90;
    const worthTop = margin.top + flowHeight + margin.gap;
    const bottom = worthTop + worthHeight;
    const f = Draw.monthFrame(figure, data, width, {
      legend: [
        ["income", "Income"],
        ["expense", "Expenses"],
        ["profit", "Profit/(Loss)"],
        ["worth", "Net worth"],
      ],
      ticks: [data.flowticks, data.worthticks],
      height: bottom,
    });
    const { s, mid } = f;
    const y = scale(data.flowticks, margin.top, margin.top + flowHeight);
    const yw = scale(data.worthticks, worthTop, bottom);
    yAxis(s, data.flowticks, y, f.left, f.right);
    yAxis(s, data.worthticks, yw, f.left, f.right);
    svg(s, "text", { class: "panelname", x: f.left, y: worthTop - 7 }, "Net worth at month end");
    const barWidth = Math.min(f.band * 0.56, 60);
    for (let i = 0; i < f.n; i++) {
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
    for (let i = 0; i < f.n; i++) svg(s, "circle", { class: "worthpt", cx: mid(i), cy: yw(data.worth[i][0]), r: 3 });
    f.finish(
      bottom,
      (i) => [
        mid(i) + barWidth / 2,
        y(0),
        [
          ["Income", data.income[i][1], "income"],
          ["Expenses", data.expenses[i][1], "expense"],
          ["Profit/(Loss)", data.profit[i][1], "profit"],
          ["Net worth", data.worth[i][1], "worth"],
        ],
      ],
      chooseMonth,
    );
  }

  // Each month's bar stacked from the parts (positive ones up, negative ones down).
  function drawStack(figure, data, width, chooseMonth) {
    const bottom = margin.top + 190;
    const f = Draw.monthFrame(figure, data, width, {
      legend: data.series.map((one, k) => [`s${k}`, one.name]),
      ticks: [data.yticks],
      height: bottom,
    });
    const { s, mid } = f;
    const y = scale(data.yticks, margin.top, bottom);
    yAxis(s, data.yticks, y, f.left, f.right);
    const barWidth = Math.min(f.band * 0.62, 64);
    for (let i = 0; i < f.n; i++) {
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
    f.finish(
      bottom,
      (i) => {
        const lines = data.series
          .map((one, k) => [one.name, one.values[i][1], `s${k}`, one.values[i][0]])
          .filter((line) => line[3] !== 0);
        lines.push(["Total", data.totals[i][1]]);
        return [mid(i) + barWidth / 2, margin.top + 60, lines];
      },
      chooseMonth,
    );
  }

  // Its place is kept at once; its figures are asked for once the page has loaded, so that
  // the server's month-by-month walk never holds up the page's own files.
  function balance(chooseMonth) {
    const table = document.getElementById("balance");
    if (!table) return;
    figureBefore("balchart", table);
    const draw = (figure, data, width) => drawBalance(figure, data, width, chooseMonth);
    const go = () => load("balchart", table, () => "/chart/balance", draw);
    if (document.readyState === "complete") go();
    else window.addEventListener("load", go, { once: true });
  }

  // The month-by-month page: the sub-accounts of the expense and of the income root stacked
  // per month, or those of the account whose tree the page shows. chooseMonth(which, i):
  // which is "expenses", "income" or the account's position.
  function monthly(pos, chooseMonth) {
    const table = document.getElementById("monthly");
    const stack = (which) => (figure, data, width) => drawStack(figure, data, width, (i) => chooseMonth(which, i));
    if (pos === "") {
      load("expchart", table, () => "/chart/expenses", stack("expenses"));
      load("incchart", table, () => "/chart/income", stack("income"));
    } else {
      load("subchart", table, () => `/chart/stack/${pos}`, stack(pos));
    }
  }

  return { account, kind, balance, monthly, beforeAccount, beforeKind };
})();
