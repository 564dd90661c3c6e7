// The page of qtx view: a canvas chart of a section's channels over X.
// The server answers each view with the first, lowest, highest and last value
// per pixel column (or the rows themselves when fewer than the pixels); this
// script draws them, one Y axis per unit, and turns the mouse into views.
'use strict';
(function () {
  const COLOURS = ['#0072b2', '#d55e00', '#009e73', '#cc79a7', '#e69f00', '#56b4e9', '#000000'];
  const AXIS_WIDTH = 62;
  const MARGIN = { top: 12, bottom: 48, left: 8, right: 8 };

  const canvas = document.getElementById('chart');
  const ctx = canvas.getContext('2d');
  const readout = document.getElementById('readout');
  const errorBox = document.getElementById('error');
  const statusLine = document.getElementById('status');

  const state = {
    meta: null,
    section: 0,
    channels: [],      // of the section, from /meta
    groups: [],        // Y axes: {unit, title, channels, side, low, high}
    hidden: new Set(),
    x0: 0, x1: 1,      // the visible X range
    full: null,        // [low, high] of the section
    answer: null,      // the last data answer
    inFlight: false,
    wanted: false,     // a view changed while a request was out
    drag: null,
    mouse: null,
    cursors: { a: null, b: null },  // X of cursors A and B
    stats: null,       // the last stats answer
    plot: { left: 0, right: 1, top: 0, bottom: 1 },
  };
  // For tests and the curious: the last answer and what was drawn of it.
  const hook = window.__qtxView = {
    requests: 0, replies: 0, ready: false, statsAsked: 0, stats: null, view: null, full: null, lastAnswer: null, drawn: {}, error: null,
  };

  function colour(i) {
    if (i < COLOURS.length) return COLOURS[i];
    const k = i - COLOURS.length;
    return 'hsl(' + ((20 + 137.50776405 * k) % 360).toFixed(1) + ',70%,' + (30 + 15 * (k % 3)) + '%)';
  }

  function showError(text) {
    hook.error = text;
    errorBox.textContent = text;
    errorBox.hidden = !text;
  }

  function label(dimension, unit) {
    return dimension + (unit ? (dimension ? ' [' : '[') + unit + ']' : '');
  }

  function distinct(list) {
    return list.filter((v, i) => v && list.indexOf(v) === i);
  }

  // ---- numbers on axes

  function niceStep(span, count) {
    const raw = span / Math.max(1, count);
    const power = Math.pow(10, Math.floor(Math.log10(raw)));
    for (const m of [1, 2, 5, 10]) if (m * power >= raw) return m * power;
    return 10 * power;
  }

  function ticks(low, high, count) {
    if (!(high > low)) return { step: 1, values: [low] };
    const step = niceStep(high - low, count);
    const values = [];
    for (let v = Math.ceil(low / step) * step; v <= high + step * 1e-9 && values.length < 100; v += step)
      values.push(Math.abs(v) < step * 1e-9 ? 0 : v);
    return { step, values };
  }

  function format(value, step) {
    const size = Math.max(Math.abs(value), step);
    if (size >= 1e7 || (size !== 0 && size < 1e-4)) {
      const digits = Math.max(0, Math.min(15, Math.ceil(Math.log10(size / step)) + 1));
      return value.toExponential(digits);
    }
    const decimals = Math.max(0, Math.min(15, -Math.floor(Math.log10(step) + 1e-9)));
    return value.toFixed(decimals);
  }

  function formatValue(value) {
    if (value === null || value === undefined) return '–';
    const a = Math.abs(value);
    return a !== 0 && (a >= 1e7 || a < 1e-4) ? value.toExponential(6) : String(+value.toPrecision(8));
  }

  // ---- the section's description

  function setSection(index) {
    const section = state.meta.sections[index];
    state.section = index;
    state.channels = section.channels;
    state.hidden.clear();
    state.answer = null;
    state.cursors = { a: null, b: null };
    state.stats = null;
    state.full = null;
    const units = [];
    for (const c of state.channels) if (!units.includes(c.unit)) units.push(c.unit);
    state.groups = units.map((unit, i) => {
      const members = state.channels.filter((c) => c.unit === unit);
      const dims = distinct(members.map((c) => c.dimension));
      return { unit, title: label(dims.join(', '), unit), channels: members.map((c) => c.index), side: i % 2, low: 0, high: 1 };
    });
    const xTitles = distinct(state.channels.map((c) => label(c.xDimension, c.xUnit)));
    state.xTitle = xTitles.length ? xTitles.join(', ') : (state.channels[0] ? state.channels[0].xHeading : 'X');
    document.getElementById('title').textContent =
      state.meta.file + ' — section ' + index + ' (' + section.rowsInFile.toLocaleString('en') + ' rows, ' +
      state.channels.length + ' channel' + (state.channels.length === 1 ? '' : 's') + ')';
    document.title = state.meta.file + ' — qtx view';
    buildLegend();
    layout();
    request(true);
  }

  function buildLegend() {
    const legend = document.getElementById('legend');
    legend.textContent = '';
    for (const c of state.channels) {
      const item = document.createElement('label');
      item.className = 'channel';
      item.dataset.channel = c.index;
      const box = document.createElement('input');
      box.type = 'checkbox';
      box.checked = true;
      box.addEventListener('change', () => {
        if (box.checked) state.hidden.delete(c.index); else state.hidden.add(c.index);
        item.classList.toggle('hidden', !box.checked);
        fitY();
        draw();
        renderStats();
      });
      const swatch = document.createElement('span');
      swatch.className = 'swatch';
      swatch.style.background = colour(c.index);
      const name = document.createElement('span');
      name.className = 'heading';
      name.textContent = c.heading || 'channel ' + c.index;
      const unit = document.createElement('span');
      unit.className = 'unit';
      unit.textContent = c.unit ? ' [' + c.unit + ']' : '';
      item.append(box, swatch, name, unit);
      legend.append(item);
    }
  }

  // ---- data

  // whole: the section's full X range (the server knows it); exact: the rows
  // even where the server would first answer from its coarse summary.
  function request(whole, exact) {
    if (state.inFlight) {
      state.wanted = true;
      return;
    }
    state.inFlight = true;
    state.wanted = false;
    hook.ready = false;
    const width = Math.max(1, Math.round(state.plot.right - state.plot.left));
    let query = 'data?section=' + state.section + '&w=' + width;
    if (!whole) query += '&x0=' + state.x0 + '&x1=' + state.x1;
    if (exact) query += '&exact=1';
    const asked = performance.now();
    hook.requests++;
    fetch(query, { cache: 'no-store' })
      .then((response) => response.ok ? response.json() : response.text().then((text) => { throw new Error(text.trim() || response.statusText); }))
      .then((answer) => {
        if (answer.section !== state.section) return;
        answer.ms = performance.now() - asked;
        state.answer = answer;
        hook.lastAnswer = answer;
        if (!state.full) {
          state.full = [answer.xLow, answer.xHigh];
          state.x0 = answer.x0;
          state.x1 = answer.x1;
          hook.full = { x0: answer.xLow, x1: answer.xHigh };
          if (state.pending) {  // a reload keeps the view
            [state.x0, state.x1] = state.pending;
            state.pending = null;
          }
        }
        showError('');
        fitY();
        draw();
        const parts = answer.channels.map((a) => a.raw ? 'rows' : a.coarse ? 'summary, refining…' : a.from);
        statusLine.textContent = answer.rowsInView.toLocaleString('en') + ' of ' + answer.rows.toLocaleString('en') +
          ' rows in view · ' +
          (distinct(parts).join(' + ') || 'no data') + ' · answered in ' + answer.ms.toFixed(0) + ' ms';
      })
      .catch((error) => {
        showError(String(error.message || error));
        statusLine.textContent = 'no answer';
        draw();
      })
      .finally(() => {
        hook.replies++;
        state.inFlight = false;
        const a = state.answer;
        const stale = a && state.full && (a.x0 !== state.x0 || a.x1 !== state.x1 || a.w !== width);
        if ((state.wanted || stale) && !hook.error) {
          request(false);
        } else if (a && !hook.error && a.channels.some((c) => c.coarse)) {
          request(false, true);
        } else {
          hook.ready = true;
        }
      });
  }

  // Calls f(x, first, low, high, last) per column or row of an answer entry.
  function eachPoint(a, answer, f) {
    if (a.raw) {
      for (let i = 0; i < a.x.length; i++) f(a.x[i], a.y[i], a.y[i], a.y[i], a.y[i]);
      return;
    }
    const step = (answer.x1 - answer.x0) / answer.w;
    for (let k = 0; k < a.cols.length; k++)
      f(answer.x0 + (a.cols[k] + 0.5) * step, a.first[k], a.low[k], a.high[k], a.last[k]);
  }

  // The line between two rows at x, when rows lie on both sides of it.
  function between(a, x) {
    if (!a.raw) return null;
    for (let i = 0; i + 1 < a.x.length; i++) {
      if (a.x[i] <= x && x <= a.x[i + 1] && a.y[i] !== null && a.y[i + 1] !== null)
        return a.x[i + 1] === a.x[i] ? a.y[i] : a.y[i] + (a.y[i + 1] - a.y[i]) * (x - a.x[i]) / (a.x[i + 1] - a.x[i]);
    }
    return null;
  }

  // Each unit's Y range from what the visible channels have in view,
  // including where their lines cross the edges.
  function fitY() {
    const answer = state.answer;
    for (const g of state.groups) {
      if (g.manual) continue;  // zoomed by hand: no longer follows the data
      let low = Infinity, high = -Infinity;
      if (answer) {
        for (const a of answer.channels) {
          if (!g.channels.includes(a.channel) || state.hidden.has(a.channel)) continue;
          eachPoint(a, answer, (x, first, lo, hi) => {
            if (lo === null || x < state.x0 || x > state.x1) return;
            low = Math.min(low, lo);
            high = Math.max(high, hi);
          });
          for (const edge of [state.x0, state.x1]) {
            const v = between(a, edge);
            if (v !== null) { low = Math.min(low, v); high = Math.max(high, v); }
          }
        }
      }
      if (!(low <= high)) { low = 0; high = 1; }
      if (low === high) {
        const half = Math.max(0.5, Math.abs(low) * 0.01);
        low -= half; high += half;
      }
      const margin = (high - low) * 0.05;
      g.low = low - margin;
      g.high = high + margin;
    }
  }

  // ---- drawing

  function layout() {
    const box = canvas.getBoundingClientRect();
    const ratio = window.devicePixelRatio || 1;
    canvas.width = Math.max(1, Math.round(box.width * ratio));
    canvas.height = Math.max(1, Math.round(box.height * ratio));
    ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
    const left = state.groups.filter((g) => g.side === 0).length || 1;
    const right = state.groups.filter((g) => g.side === 1).length;
    state.plot = {
      left: MARGIN.left + left * AXIS_WIDTH,
      right: Math.max(MARGIN.left + left * AXIS_WIDTH + 10, box.width - MARGIN.right - right * AXIS_WIDTH),
      top: MARGIN.top,
      bottom: Math.max(MARGIN.top + 10, box.height - MARGIN.bottom),
      width: box.width,
      height: box.height,
    };
  }

  function toX(x) {
    const p = state.plot;
    return p.left + (x - state.x0) / (state.x1 - state.x0) * (p.right - p.left);
  }

  function fromX(px) {
    const p = state.plot;
    return state.x0 + (px - p.left) / (p.right - p.left) * (state.x1 - state.x0);
  }

  function yScale(g) {
    const p = state.plot;
    return (v) => p.bottom - (v - g.low) / (g.high - g.low) * (p.bottom - p.top);
  }

  function drawAxes() {
    const p = state.plot;
    ctx.font = '11px sans-serif';
    ctx.lineWidth = 1;
    const xt = ticks(state.x0, state.x1, Math.max(2, Math.floor((p.right - p.left) / 100)));
    ctx.strokeStyle = '#e6e6e6';
    ctx.beginPath();
    for (const v of xt.values) { const x = Math.round(toX(v)) + 0.5; ctx.moveTo(x, p.top); ctx.lineTo(x, p.bottom); }
    const first = state.groups[0];
    const yt = first ? ticks(first.low, first.high, Math.max(2, Math.floor((p.bottom - p.top) / 50))) : null;
    if (yt) {
      const y = yScale(first);
      for (const v of yt.values) { const py = Math.round(y(v)) + 0.5; ctx.moveTo(p.left, py); ctx.lineTo(p.right, py); }
    }
    ctx.stroke();
    ctx.strokeStyle = '#888';
    ctx.strokeRect(p.left + 0.5, p.top + 0.5, p.right - p.left, p.bottom - p.top);

    ctx.fillStyle = '#333';
    ctx.textAlign = 'center';
    ctx.textBaseline = 'top';
    ctx.beginPath();
    for (const v of xt.values) {
      const x = Math.round(toX(v)) + 0.5;
      ctx.moveTo(x, p.bottom); ctx.lineTo(x, p.bottom + 5);
      ctx.fillText(format(v, xt.step), x, p.bottom + 8);
    }
    ctx.stroke();
    ctx.font = '12px sans-serif';
    ctx.fillText(state.xTitle, (p.left + p.right) / 2, p.bottom + 28);

    const count = [0, 0];
    for (const g of state.groups) {
      const side = g.side;
      const at = side === 0 ? p.left - count[side] * AXIS_WIDTH : p.right + count[side] * AXIS_WIDTH;
      count[side]++;
      const t = ticks(g.low, g.high, Math.max(2, Math.floor((p.bottom - p.top) / 50)));
      const y = yScale(g);
      const dir = side === 0 ? -1 : 1;
      ctx.strokeStyle = '#888';
      ctx.fillStyle = g.channels.length === 1 ? colour(g.channels[0]) : '#333';
      ctx.font = '11px sans-serif';
      ctx.textAlign = side === 0 ? 'right' : 'left';
      ctx.textBaseline = 'middle';
      ctx.beginPath();
      ctx.moveTo(at + 0.5, p.top); ctx.lineTo(at + 0.5, p.bottom);
      for (const v of t.values) {
        const py = Math.round(y(v)) + 0.5;
        ctx.moveTo(at, py); ctx.lineTo(at + dir * 4, py);
        ctx.fillText(format(v, t.step), at + dir * 6, py);
      }
      ctx.stroke();
      ctx.save();
      ctx.font = '12px sans-serif';
      ctx.textAlign = 'center';
      ctx.textBaseline = side === 0 ? 'top' : 'bottom';
      ctx.translate(at + dir * (AXIS_WIDTH - 4), (p.top + p.bottom) / 2);
      ctx.rotate(-Math.PI / 2);
      ctx.fillText(fit(g.title, p.bottom - p.top), 0, 0);
      ctx.restore();
    }
  }

  function fit(text, width) {
    if (ctx.measureText(text).width <= width) return text;
    while (text.length > 1 && ctx.measureText(text + '…').width > width) text = text.slice(0, -1);
    return text + '…';
  }

  function drawCurves() {
    const p = state.plot;
    const answer = state.answer;
    hook.drawn = {};
    if (!answer) return;
    ctx.save();
    ctx.beginPath();
    ctx.rect(p.left, p.top, p.right - p.left, p.bottom - p.top);
    ctx.clip();
    ctx.lineWidth = 1.25;
    ctx.lineJoin = 'round';
    for (const a of answer.channels) {
      if (state.hidden.has(a.channel)) continue;
      const g = state.groups.find((group) => group.channels.includes(a.channel));
      const y = yScale(g);
      const drawn = { points: 0, low: null, high: null, raw: a.raw, from: a.from };
      ctx.strokeStyle = ctx.fillStyle = colour(a.channel);
      ctx.beginPath();
      let open = false;
      const dots = [];
      eachPoint(a, answer, (x, first, low, high, last) => {
        if (first === null) { open = false; return; }
        const px = toX(x);
        if (open) ctx.lineTo(px, y(first)); else ctx.moveTo(px, y(first));
        ctx.lineTo(px, y(low));
        ctx.lineTo(px, y(high));
        ctx.lineTo(px, y(last));
        open = true;
        if (a.raw) dots.push([px, y(first)]);
        if (x >= state.x0 && x <= state.x1) {
          drawn.points++;
          drawn.low = drawn.low === null ? low : Math.min(drawn.low, low);
          drawn.high = drawn.high === null ? high : Math.max(drawn.high, high);
        }
      });
      for (const edge of [state.x0, state.x1]) {
        const v = between(a, edge);
        if (v === null) continue;
        drawn.low = drawn.low === null ? v : Math.min(drawn.low, v);
        drawn.high = drawn.high === null ? v : Math.max(drawn.high, v);
      }
      ctx.stroke();
      // Rows far apart: each one marked.
      if (dots.length && dots.length < (p.right - p.left) / 6)
        for (const [dx, dy] of dots) { ctx.beginPath(); ctx.arc(dx, dy, 2.5, 0, 2 * Math.PI); ctx.fill(); }
      hook.drawn[a.channel] = drawn;
    }
    ctx.restore();
  }

  function drawOverlay() {
    const p = state.plot;
    if (state.drag && state.drag.kind === 'box') {
      const d = state.drag;
      const a = d.mode === 'y' ? p.left : Math.max(p.left, Math.min(d.from, d.to));
      const b = d.mode === 'y' ? p.right : Math.min(p.right, Math.max(d.from, d.to));
      const top = d.mode === 'x' ? p.top : Math.max(p.top, Math.min(d.fromY, d.toY));
      const bottom = d.mode === 'x' ? p.bottom : Math.min(p.bottom, Math.max(d.fromY, d.toY));
      ctx.fillStyle = 'rgba(0, 114, 178, 0.12)';
      ctx.strokeStyle = 'rgba(0, 114, 178, 0.6)';
      ctx.fillRect(a, top, b - a, bottom - top);
      ctx.strokeRect(a + 0.5, top + 0.5, b - a, bottom - top);
    }
    ctx.font = 'bold 12px sans-serif';
    ctx.textAlign = 'center';
    ctx.textBaseline = 'top';
    for (const name of ['a', 'b']) {
      const x = state.cursors[name];
      if (x === null || x < state.x0 || x > state.x1) continue;
      const px = Math.round(toX(x)) + 0.5;
      ctx.strokeStyle = ctx.fillStyle = name === 'a' ? '#b8002e' : '#006b3c';
      ctx.beginPath();
      ctx.moveTo(px, p.top); ctx.lineTo(px, p.bottom);
      ctx.stroke();
      ctx.fillText(name.toUpperCase(), px, p.top + 2);
    }
    if (state.mouse && !state.drag && state.mouse.x >= p.left && state.mouse.x <= p.right) {
      ctx.strokeStyle = 'rgba(0, 0, 0, 0.45)';
      ctx.setLineDash([4, 3]);
      ctx.beginPath();
      ctx.moveTo(Math.round(state.mouse.x) + 0.5, p.top);
      ctx.lineTo(Math.round(state.mouse.x) + 0.5, p.bottom);
      ctx.stroke();
      ctx.setLineDash([]);
    }
  }

  function draw() {
    const p = state.plot;
    ctx.clearRect(0, 0, p.width, p.height);
    ctx.fillStyle = '#fff';
    ctx.fillRect(0, 0, p.width, p.height);
    if (state.full) {
      drawAxes();
      drawCurves();
      drawOverlay();
    }
    hook.view = { x0: state.x0, x1: state.x1 };
    hook.y = state.groups.map((g) => [g.low, g.high, !!g.manual]);
    hook.plot = state.plot;
    if (state.full) writeFragment();
    updateReadout();
  }

  // The values under the cursor: the nearest column or row of each channel.
  function updateReadout() {
    const answer = state.answer;
    const p = state.plot;
    if (!answer || !state.mouse || state.drag || state.mouse.x < p.left || state.mouse.x > p.right) {
      readout.hidden = true;
      return;
    }
    const x = fromX(state.mouse.x);
    const tolerance = Math.abs(fromX(state.mouse.x + 6) - x);
    readout.textContent = '';
    const head = document.createElement('div');
    head.textContent = 'X = ' + formatValue(x);
    readout.append(head);
    for (const a of answer.channels) {
      if (state.hidden.has(a.channel)) continue;
      let best = null, distance = Infinity;
      eachPoint(a, answer, (px, first, low, high) => {
        const d = Math.abs(px - x);
        if (d < distance) { distance = d; best = [low, high]; }
      });
      const c = state.channels[a.channel];
      const row = document.createElement('div');
      const swatch = document.createElement('span');
      swatch.className = 'swatch';
      swatch.style.background = colour(a.channel);
      let text = '–';
      const line = between(a, x);
      if (best && distance <= tolerance && best[0] !== null)
        text = best[0] === best[1] ? formatValue(best[0]) : formatValue(best[0]) + ' … ' + formatValue(best[1]);
      else if (line !== null)
        text = '≈ ' + formatValue(line) + ' (between rows)';
      row.append(swatch, (c.heading || 'channel ' + c.index) + ': ' + text + (c.unit ? ' ' + c.unit : ''));
      readout.append(row);
    }
    readout.hidden = false;
    const box = readout.getBoundingClientRect();
    let left = state.mouse.x + 14;
    if (left + box.width > p.right) left = state.mouse.x - 14 - box.width;
    readout.style.left = Math.max(0, left) + 'px';
    readout.style.top = (p.top + 8) + 'px';
  }

  // ---- cursors and statistics

  function requestStats() {
    const { a, b } = state.cursors;
    if (a === null) { renderStats(); return; }
    const lo = b === null ? a : Math.min(a, b), hi = b === null ? a : Math.max(a, b);
    const asked = ++hook.statsAsked;
    fetch('stats?section=' + state.section + '&x0=' + lo + '&x1=' + hi, { cache: 'no-store' })
      .then((response) => response.ok ? response.json() : response.text().then((text) => { throw new Error(text.trim()); }))
      .then((answer) => {
        if (asked !== hook.statsAsked) return;
        answer.swapped = b !== null && b < a;
        state.stats = answer;
        hook.stats = answer;
        renderStats();
      })
      .catch((error) => showError(String(error.message || error)));
  }

  // The table under the chart: per visible channel the rows at A and B as the
  // file holds them, their differences and the statistics between them.
  function renderStats() {
    const table = document.getElementById('stats');
    const answer = state.stats;
    table.hidden = state.cursors.a === null || !answer;
    if (table.hidden) return;
    const both = state.cursors.b !== null;
    const head = ['channel', 'row at A: X', 'Y', 'row at B: X', 'Y', 'ΔX', 'ΔY', 'rows', 'values', 'min', 'X of min',
                  'max', 'X of max', 'mean', 'RMS'];
    const rows = [head];
    for (const s of answer.channels) {
      if (state.hidden.has(s.channel)) continue;
      const c = state.channels[s.channel];
      const [ra, rb] = answer.swapped ? [s.b, s.a] : [s.a, s.b];
      const at = (r) => r ? [formatValue(r.x), r.y === null ? 'not a number' : formatValue(r.y)] : ['–', '–'];
      const d = (f) => both && ra && rb && ra.y !== null && rb.y !== null ? formatValue(f(ra, rb)) : '–';
      const stat = (name) => both && s.count ? formatValue(s[name]) : '–';
      rows.push([(c.heading || 'channel ' + c.index) + (c.unit ? ' [' + c.unit + ']' : ''), ...at(ra),
        ...(both ? at(rb) : ['–', '–']), both && ra && rb ? formatValue(rb.x - ra.x) : '–', d((p, q) => q.y - p.y),
        both ? String(s.rows) : '–', both ? String(s.count) : '–', stat('min'), stat('xMin'), stat('max'),
        stat('xMax'), stat('mean'), stat('rms')]);
    }
    table.textContent = '';
    rows.forEach((cells, i) => {
      const tr = document.createElement('tr');
      for (const text of cells) {
        const cell = document.createElement(i ? 'td' : 'th');
        cell.textContent = text;
        tr.append(cell);
      }
      table.append(tr);
    });
    const note = document.createElement('caption');
    note.textContent = 'A and B read the row at or just before each cursor, as the file holds it; ' +
      'the statistics cover every row from A to B, values that are not numbers left out.';
    table.append(note);
  }

  // ---- the address's fragment holds the view: a reload or a bookmark in the
  // same server session shows it again.

  function writeFragment() {
    const parts = ['section=' + state.section, 'x0=' + state.x0, 'x1=' + state.x1];
    if (state.cursors.a !== null) parts.push('a=' + state.cursors.a);
    if (state.cursors.b !== null) parts.push('b=' + state.cursors.b);
    if (state.hidden.size) parts.push('hide=' + [...state.hidden].join(','));
    const hash = '#' + parts.join('&');
    if (location.hash !== hash) history.replaceState(null, '', hash);
  }

  function readFragment() {
    const v = {};
    for (const part of location.hash.slice(1).split('&')) {
      const [k, text] = part.split('=');
      if (k === 'hide') v.hide = (text || '').split(',').map(Number).filter(Number.isInteger);
      else if (text !== undefined && isFinite(Number(text)) && text !== '') v[k] = Number(text);
    }
    return v;
  }

  // ---- views

  function setView(x0, x1) {
    if (!state.full) return;
    const [low, high] = state.full;
    let span = x1 - x0;
    const whole = high - low;
    if (!(span > 0) || !isFinite(span)) return;
    if (span >= whole) { x0 = low; x1 = high; span = whole; }
    const least = Math.max(Math.abs(x0), Math.abs(x1)) * 1e-12;
    if (span < least) return;
    if (x0 < low) { x1 += low - x0; x0 = low; }
    if (x1 > high) { x0 -= x1 - high; x1 = high; }
    state.x0 = x0;
    state.x1 = x1;
    draw();
    request(false);
  }

  function localX(event) {
    return event.clientX - canvas.getBoundingClientRect().left;
  }

  function localY(event) {
    return event.clientY - canvas.getBoundingClientRect().top;
  }

  // The group whose Y axis is at pixel px, left or right of the plot.
  function axisAt(px) {
    const p = state.plot;
    const side = px < p.left ? 0 : px > p.right ? 1 : -1;
    if (side < 0) return null;
    const k = Math.floor(side === 0 ? (p.left - px) / AXIS_WIDTH : (px - p.right) / AXIS_WIDTH);
    return state.groups.filter((g) => g.side === side)[k] || null;
  }

  canvas.addEventListener('wheel', (event) => {
    event.preventDefault();
    const factor = Math.exp(Math.max(-3, Math.min(3, event.deltaY * (event.deltaMode ? 0.05 : 0.0015))));
    const axis = axisAt(localX(event));
    if (axis) {  // over a Y axis: that axis zooms around the pointer
      const p = state.plot;
      const v = axis.low + (p.bottom - localY(event)) / (p.bottom - p.top) * (axis.high - axis.low);
      [axis.low, axis.high, axis.manual] = [v - (v - axis.low) * factor, v + (axis.high - v) * factor, true];
      draw();
      return;
    }
    const x = fromX(localX(event));
    setView(x - (x - state.x0) * factor, x + (state.x1 - x) * factor);
  }, { passive: false });

  canvas.addEventListener('contextmenu', (event) => event.preventDefault());

  // The cursor whose line is within 5 pixels, if any.
  function cursorNear(px) {
    for (const name of ['a', 'b'])
      if (state.cursors[name] !== null && Math.abs(toX(state.cursors[name]) - px) <= 5) return name;
    return null;
  }

  function setCursor(name, x) {
    state.cursors[name] = x;
    draw();
    requestStats();
  }

  canvas.addEventListener('mousedown', (event) => {
    const x = localX(event);
    const pan = event.shiftKey || event.button === 2 || event.button === 1;
    const near = pan ? null : cursorNear(x);
    const y = localY(event);
    // A box in X; with Ctrl in X and Y; with Alt in Y alone.
    const mode = event.ctrlKey || event.metaKey ? 'xy' : event.altKey ? 'y' : 'x';
    state.drag = near ? { kind: 'cursor', name: near, from: x, to: x }
      : pan ? { kind: 'pan', from: x, x0: state.x0, x1: state.x1 }
      : { kind: 'box', mode, from: x, to: x, fromY: y, toY: y };
    event.preventDefault();
  });

  window.addEventListener('mousemove', (event) => {
    const x = localX(event);
    const box = canvas.getBoundingClientRect();
    state.mouse = event.clientY >= box.top && event.clientY <= box.bottom ? { x } : null;
    const drag = state.drag;
    if (drag && drag.kind === 'pan') {
      const shift = (x - drag.from) / (state.plot.right - state.plot.left) * (drag.x1 - drag.x0);
      setView(drag.x0 - shift, drag.x1 - shift);
      return;
    }
    if (drag) { drag.to = x; drag.toY = localY(event); }
    if (drag && drag.kind === 'cursor') {
      state.cursors[drag.name] = fromX(Math.max(state.plot.left, Math.min(state.plot.right, x)));
      drag.moved = true;
    }
    draw();
  });

  window.addEventListener('mouseup', () => {
    const drag = state.drag;
    state.drag = null;
    if (drag && drag.kind === 'cursor') {
      draw();
      if (drag.moved) requestStats();
    } else if (drag && drag.kind === 'box' && drag.mode !== 'x' && Math.abs(drag.toY - drag.fromY) > 4 &&
               (drag.mode === 'y' || Math.abs(drag.to - drag.from) > 4)) {
      const p = state.plot;
      const top = Math.max(p.top, Math.min(drag.fromY, drag.toY));
      const bottom = Math.min(p.bottom, Math.max(drag.fromY, drag.toY));
      for (const g of state.groups) {
        const at = (py) => g.low + (p.bottom - py) / (p.bottom - p.top) * (g.high - g.low);
        [g.low, g.high, g.manual] = [at(bottom), at(top), true];
      }
      if (drag.mode === 'xy') {
        setView(fromX(Math.max(p.left, Math.min(drag.from, drag.to))), fromX(Math.min(p.right, Math.max(drag.from, drag.to))));
      } else {
        draw();
      }
    } else if (drag && drag.kind === 'box' && Math.abs(drag.to - drag.from) <= 4 &&
               drag.from >= state.plot.left && drag.from <= state.plot.right) {
      // A click: A first, then B, then the nearer of the two moves.
      // Placed once it is clear that no double-click follows.
      const x = fromX(drag.from);
      clearTimeout(state.clickTimer);
      state.clickTimer = setTimeout(() => {
        const c = state.cursors;
        setCursor(c.a === null ? 'a' : c.b === null ? 'b' : Math.abs(c.a - x) <= Math.abs(c.b - x) ? 'a' : 'b', x);
      }, 300);
      draw();
    } else if (drag && drag.kind === 'box' && drag.mode === 'x' && Math.abs(drag.to - drag.from) > 4) {
      const p = state.plot;
      const a = Math.max(p.left, Math.min(drag.from, drag.to));
      const b = Math.min(p.right, Math.max(drag.from, drag.to));
      setView(fromX(a), fromX(b));
    } else {
      draw();
    }
  });

  canvas.addEventListener('mouseleave', () => { state.mouse = null; draw(); });

  canvas.addEventListener('dblclick', () => {
    clearTimeout(state.clickTimer);
    for (const g of state.groups) g.manual = false;
    fitY();
    if (state.full) setView(state.full[0], state.full[1]);
  });

  window.addEventListener('resize', () => {
    if (!state.meta) return;
    layout();
    draw();
    request(!state.full);
  });

  document.getElementById('section').addEventListener('change', (event) => setSection(Number(event.target.value)));

  // Reads the file again on the server and shows the same X range of it.
  document.getElementById('reload').addEventListener('click', () => {
    statusLine.textContent = 'reading the file again…';
    hook.ready = false;
    fetch('reload', { cache: 'no-store' })
      .then((response) => response.ok ? response.json() : response.text().then((text) => { throw new Error(text.trim()); }))
      .then((meta) => {
        state.meta = meta;
        const view = state.full && [state.x0, state.x1];
        showError('');
        setSection(Math.min(state.section, meta.sections.length - 1));
        if (view) state.pending = view;
      })
      .catch((error) => { showError(String(error.message || error)); statusLine.textContent = 'no answer'; hook.ready = true; });
  });
  hook.setView = (x0, x1) => setView(x0, x1);

  // Arrows pan by a tenth, + and - zoom around the middle, Home shows everything.
  window.addEventListener('keydown', (event) => {
    if (!state.full || ['SELECT', 'TEXTAREA'].includes(event.target.tagName) || event.ctrlKey || event.metaKey || event.altKey) return;
    const span = state.x1 - state.x0, mid = (state.x0 + state.x1) / 2;
    const moves = {
      ArrowLeft: () => setView(state.x0 - span / 10, state.x1 - span / 10),
      ArrowRight: () => setView(state.x0 + span / 10, state.x1 + span / 10),
      '+': () => setView(mid - span / 4, mid + span / 4),
      '=': () => setView(mid - span / 4, mid + span / 4),
      '-': () => setView(mid - span, mid + span),
      Home: () => setView(state.full[0], state.full[1]),
    };
    if (!moves[event.key]) return;
    event.preventDefault();
    moves[event.key]();
  });
  hook.setCursor = (name, x) => setCursor(name, x);

  // ---- the view goes out: its rows, its command lines, its picture

  // The visible channels of the section, by index.
  function visibleChannels() {
    return state.channels.filter((c) => !state.hidden.has(c.index)).map((c) => c.index);
  }

  // A word for a POSIX shell: as it is when it is safe, else in single
  // quotes; a file name that starts with '-' gets a ./ so that it is no option.
  function shellWord(text) {
    if (text.startsWith('-')) text = './' + text;
    return /^[A-Za-z0-9_.\/:@%+=,-]+$/.test(text) ? text : "'" + text.replace(/'/g, "'\\''") + "'";
  }

  // A file name beside the file: its stem and `ending`.
  function outName(ending) {
    const path = state.meta.path || state.meta.file;
    return path.replace(/\.[^./\\]*$/, '') + '-view' + ending;
  }

  // What the command lines choose: the section, the visible X and the
  // visible channels (all of them: no --channels).
  function choice() {
    const visible = visibleChannels();
    let text = ' --section ' + state.section + ' --x ' + state.x0 + ':' + state.x1;
    if (visible.length < state.channels.length) text += ' --channels ' + visible.join(',');
    return text;
  }

  function commandLines() {
    const file = shellWord(state.meta.path || state.meta.file);
    return 'qtx cut ' + file + ' -o ' + shellWord(outName('.qtx')) + choice() + '\n' +
      'qtx export ' + file + ' ' + shellWord(outName('.h5')) + choice();
  }

  function download(href) {
    const link = document.createElement('a');
    link.href = href;
    link.download = '';
    document.body.append(link);
    link.click();
    link.remove();
  }

  document.getElementById('csv').addEventListener('click', () => {
    if (!state.full) return;
    const visible = visibleChannels();
    if (!visible.length) { showError('no channel is visible: tick one in the legend'); return; }
    const query = 'csv?section=' + state.section + '&x0=' + state.x0 + '&x1=' + state.x1 + '&channels=' + visible.join(',');
    hook.csv = query;
    download(query);
  });

  document.getElementById('command').addEventListener('click', () => {
    if (!state.meta) return;
    const box = document.getElementById('commands');
    const text = document.getElementById('command-text');
    text.value = commandLines();
    hook.command = text.value;
    box.hidden = !box.hidden;
    if (!box.hidden) text.select();
  });

  document.getElementById('copy').addEventListener('click', () => {
    const text = document.getElementById('command-text');
    text.select();
    if (navigator.clipboard) navigator.clipboard.writeText(text.value).catch(() => document.execCommand('copy'));
    else document.execCommand('copy');
  });

  document.getElementById('picture').addEventListener('click', () => {
    canvas.toBlob((blob) => {
      if (!blob) { showError('the browser made no picture of the plot'); return; }
      const url = URL.createObjectURL(blob);
      hook.picture = blob.size;
      const link = document.createElement('a');
      link.href = url;
      link.download = (state.meta ? state.meta.file.replace(/\.[^.]*$/, '') : 'qtx') + '-view.png';
      document.body.append(link);
      link.click();
      link.remove();
      setTimeout(() => URL.revokeObjectURL(url), 10000);
    }, 'image/png');
  });

  // ---- start

  fetch('meta', { cache: 'no-store' })
    .then((response) => response.ok ? response.json() : response.text().then((text) => { throw new Error(text.trim()); }))
    .then((meta) => {
      state.meta = meta;
      const picker = document.getElementById('section');
      for (const s of meta.sections) {
        const option = document.createElement('option');
        option.value = s.index;
        option.textContent = s.index + ': ' + s.channels.length + ' channels, ' + s.rowsInFile.toLocaleString('en') + ' rows';
        picker.append(option);
      }
      const wanted = readFragment();
      const start = Number.isInteger(wanted.section) && meta.sections[wanted.section] ? wanted.section : meta.start;
      picker.value = start;
      document.getElementById('picker').hidden = meta.sections.length < 2;
      setSection(start);
      if (wanted.x0 < wanted.x1) state.pending = [wanted.x0, wanted.x1];
      for (const name of ['a', 'b']) if (wanted[name] !== undefined) state.cursors[name] = wanted[name];
      for (const c of wanted.hide || []) {
        const box = document.querySelector('#legend [data-channel="' + c + '"] input');
        if (box) { box.checked = false; box.dispatchEvent(new Event('change')); }
      }
      if (state.cursors.a !== null) requestStats();
    })
    .catch((error) => { showError(String(error.message || error)); statusLine.textContent = 'no answer'; });
})();
