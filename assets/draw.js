// murex: the drawing kit of the charts: SVG pieces, scales and axes, the tooltip, pointer
// and keyboard, and the frame of months that the month-by-month charts share. It knows
// nothing of what a chart shows.
"use strict";

const Draw = (() => {
  const NS = "http://www.w3.org/2000/svg";
  const { html } = Kit;

  function svg(parent, name, attrs, text) {
    const e = document.createElementNS(NS, name);
    for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, v);
    if (text !== undefined) e.textContent = text;
    if (parent) parent.appendChild(e);
    return e;
  }

  const margin = { top: 12, right: 18, bottom: 26, gap: 30 };

  // A label's width in SVG units at the tick size, near enough to keep labels apart.
  const labelWidth = (text) => text.length * 6.6;

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

  // Labels centred under their place; one at the very left edge starts there instead, clear
  // of the value axis' lowest label. A label that would touch the one before it is left out,
  // so that on a narrow screen every other (or third...) month is named.
  function xLabels(s, labels, bottom, left) {
    let end = -Infinity;
    const every = evenStep(labels);
    labels.forEach(([x, text], i) => {
      const atStart = left !== undefined && x - left < 30;
      const from = atStart ? x : x - labelWidth(text) / 2;
      if (i % every !== 0 || from < end + 6) return;
      end = from + labelWidth(text);
      svg(s, "text", { class: "tick", x, y: bottom + 17, "text-anchor": atStart ? "start" : "middle" }, text);
    });
  }

  // For labels at even distances, the smallest step that keeps them apart (every month, every
  // other one, ...), so that the ones shown stay evenly spaced.
  function evenStep(labels) {
    if (labels.length < 3) return 1;
    const space = Math.abs(labels[1][0] - labels[0][0]);
    const widest = Math.max(...labels.map(([, text]) => labelWidth(text)));
    const even = labels.every(([x], i) => i === 0 || Math.abs(x - labels[i - 1][0] - space) < 0.5);
    return even && space > 0 ? Math.max(1, Math.ceil((widest + 6) / space)) : 1;
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

  // The frame of a chart of months: caption, one band per month between left and right, the
  // shade behind the month pointed at, the month labels under bottom. Its parts go in between:
  //   const f = monthFrame(figure, data, width, { legend, ticks, height });
  //   ... draw into f.s with f.mid(i), f.band ...
  //   f.finish(bottom, tipOf, choose)
  function monthFrame(figure, data, width, { legend, ticks, height }) {
    caption(figure, data.title, legend);
    const n = data.months.length;
    const left = leftMargin(...ticks);
    const right = width - margin.right;
    const s = root(figure, width, height + margin.bottom, data);
    s.dataset.months = n;
    const band = (right - left) / Math.max(n, 1);
    const mid = (i) => left + (i + 0.5) * band;
    const shade = svg(s, "rect", { class: "band", y: margin.top, width: band, height: 0, visibility: "hidden" });
    const finish = (bottom, tipOf, choose) => {
      shade.setAttribute("height", bottom - margin.top);
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
          shade.setAttribute("x", left + i * band);
          shade.setAttribute("visibility", "visible");
          const [x, y, lines] = tipOf(i);
          tip.show(s, x, y, `${data.months[i].from} – ${data.months[i].to}`, lines);
        },
        choose,
        () => {
          tip.hide();
          shade.setAttribute("visibility", "hidden");
        },
      );
    };
    return { s, n, left, right, band, mid, top: margin.top, gap: margin.gap, finish };
  }

  return { svg, margin, leftMargin, plotWidth, caption, root, scale, yAxis, xLabels, tooltip, interact, monthFrame };
})();
