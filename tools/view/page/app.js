// The page of qtx view: a canvas chart of sections' channels over X.
// The server answers each view with the first, lowest, highest and last value
// per pixel column (or the rows themselves when fewer than the pixels); this
// script draws them, one Y axis per unit, and turns the mouse into views.
// What is shown is a list of sources, each a section of one of the files
// given to qtx view, either as stacked panels over one linked X or laid over
// each other in one panel. X on the screen is a source's X plus its file's
// offset, or in wall-clock mode seconds from the earliest start shown.
'use strict';
(function () {
  const COLOURS = ['#0072b2', '#d55e00', '#009e73', '#cc79a7', '#e69f00', '#56b4e9', '#000000'];
  const AXIS_WIDTH = 62;
  const MARGIN = { top: 12, bottom: 48, left: 8, right: 8 };
  const PANEL_GAP = 10;

  const canvas = document.getElementById('chart');
  const ctx = canvas.getContext('2d');
  const readout = document.getElementById('readout');
  const errorBox = document.getElementById('error');
  const statusLine = document.getElementById('status');
  const clockBox = document.getElementById('clock');

  const state = {
    meta: null,
    sources: [],       // {file, section, key, channels, hidden, answer, full, stats, ...}, by file and section
    layout: 'stack',   // or 'overlay'
    offsets: [],       // per file: added to its X
    clock: false,      // X as wall-clock time
    base: 0,           // wall-clock: the whole seconds X counts from
    panels: [],        // {sources, groups, plot}
    x0: 0, x1: 1,      // the visible X range, as shown
    full: null,        // [low, high] of everything shown
    drag: null,
    mouse: null,
    cursors: { a: null, b: null },  // X of cursors A and B, as shown
    plot: { left: 0, right: 1, top: 0, bottom: 1, width: 1, height: 1 },
  };
  // For tests and the curious: the last answer and what was drawn of it.
  const hook = window.__qtxView = {
    requests: 0, replies: 0, refreshes: 0, ready: false, statsAsked: 0, stats: null, view: null, full: null, lastAnswer: null, drawn: {}, error: null,
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

  function json(response) {
    return response.ok ? response.json() : response.text().then((text) => { throw new Error(text.trim() || response.statusText); });
  }

  // ---- numbers on axes

  function niceStep(span, count) {
    const raw = span / Math.max(1, count);
    const power = Math.pow(10, Math.floor(Math.log10(raw)));
    for (const m of [1, 2, 5, 10]) if (m * power >= raw) return m * power;
    return 10 * power;
  }

  // Steps of a clock: seconds, minutes, hours, days; decimals below a second.
  const CLOCK_STEPS = [1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400];

  function ticks(low, high, count) {
    if (!(high > low)) return { step: 1, values: [low] };
    let step = niceStep(high - low, count);
    let origin = 0;
    if (state.clock && step >= 1) {
      step = CLOCK_STEPS.find((s) => s >= (high - low) / Math.max(1, count)) || step;
      origin = -(state.base % Math.min(step, 86400));  // whole minutes, hours, days of the clock
    }
    const values = [];
    for (let v = Math.ceil((low - origin) / step) * step + origin; v <= high + step * 1e-9 && values.length < 100; v += step)
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

  // ---- wall-clock time: seconds since 1970 without zone, as the file keeps them

  // "yyyy-mm-ddTHH:MM:SS[.f…]" as [whole seconds, fraction].
  function parseIso(text) {
    const m = /^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(\.\d+)?$/.exec(text || '');
    if (!m) return null;
    const d = new Date(0);
    d.setUTCFullYear(+m[1], +m[2] - 1, +m[3]);
    d.setUTCHours(+m[4], +m[5], +m[6], 0);
    return [d.getTime() / 1000, m[7] ? Number('0' + m[7]) : 0];
  }

  // Seconds after state.base as "yyyy-mm-dd HH:MM:SS.fff".
  function clockText(seconds) {
    const ms = Math.round(seconds * 1000);
    const whole = Math.floor(ms / 1000);
    const d = new Date((state.base + whole) * 1000);
    const year = d.getUTCFullYear();
    const iso = (year < 0 || year > 9999) ? '?' : String(year).padStart(4, '0') + d.toISOString().slice(-20, -5);
    return iso.replace('T', ' ') + '.' + String(ms - whole * 1000).padStart(3, '0');
  }

  // A tick of the X axis: the time of day, with the date where the view
  // spans days, and milliseconds where the step is below a second.
  function xTickText(v, step) {
    if (!state.clock) return format(v, step);
    const text = clockText(v);
    const days = state.x1 - state.x0 > 86400 || clockText(state.x0).slice(0, 10) !== clockText(state.x1).slice(0, 10);
    return (days ? text.slice(5, 11) : '') + (step < 1 ? text.slice(11) : text.slice(11, 19));
  }

  // A source's wall clock, or why it has none: every channel must give the
  // same start and X unit.
  function clockOf(src) {
    if (!src.channels.length) return { why: 'the section has no channels' };
    const first = src.channels[0];
    for (const c of src.channels) {
      if (c.startTime === null || c.xSeconds === null) return { why: c.noClock || 'no start time' };
      if (c.startTime !== first.startTime || c.xSeconds !== first.xSeconds)
        return { why: src.name + ': its channels start at different times or have different X units' };
    }
    const start = parseIso(first.startTime);
    return start ? { start, scale: first.xSeconds } : { why: 'a start time the page cannot read: ' + first.startTime };
  }

  // The X on the screen of a source's X: x * k + d.
  function mapOf(src) {
    if (state.clock && src.clock.start) return { k: src.clock.scale, d: src.clock.start[0] - state.base + src.clock.start[1] };
    return { k: 1, d: state.offsets[src.file] || 0 };
  }
  function shown(src, x) { const m = mapOf(src); return m.k === 1 ? x + m.d : x * m.k + m.d; }
  function fileX(src, x) { const m = mapOf(src); return m.k === 1 ? x - m.d : (x - m.d) / m.k; }

  // ---- what is shown

  function sourceName(file, section) {
    return state.meta.files[file].file + ':' + section;
  }

  // A channel's label: file:section:heading where several sources are shown.
  function channelLabel(src, c) {
    const heading = c.heading || 'channel ' + c.index;
    return state.sources.length > 1 ? src.name + ':' + heading : heading;
  }

  function makeSource(file, section) {
    const channels = state.meta.files[file].sections[section].channels;
    const src = { file, section, key: file + ':' + section, name: sourceName(file, section), channels, hidden: new Set(),
                  answer: null, full: null, stats: null, inFlight: false, wanted: false, asked: 0 };
    src.clock = clockOf(src);
    return src;
  }

  // Shows these [file, section] pairs (sorted by file and section).
  function setSources(pairs, keep) {
    const old = new Map(state.sources.map((s) => [s.key, s]));
    if (keep && state.full && !state.pending) state.pending = [state.x0, state.x1];
    pairs = pairs.filter(([f, s], i) => state.meta.files[f] && state.meta.files[f].sections[s] &&
                         pairs.findIndex(([g, t]) => g === f && t === s) === i);
    pairs.sort((p, q) => p[0] - q[0] || p[1] - q[1]);
    state.sources = pairs.map(([f, s]) => (keep && old.get(f + ':' + s)) || makeSource(f, s));
    // Colours by the order of the legend.
    let n = 0;
    for (const src of state.sources) src.colours = src.channels.map(() => n++);
    if (!keep) { state.full = null; state.cursors = { a: null, b: null }; }
    const clocks = state.sources.filter((s) => s.clock.start).map((s) => s.clock.start[0]);
    state.base = clocks.length ? Math.min(...clocks) : 0;
    const why = state.sources.map((s) => s.clock.why).find((w) => w);
    clockBox.disabled = !!why;
    document.getElementById('clock-box').title = why ? 'wall-clock time is not available: ' + why
      : 'X as wall-clock time (the file keeps no time zone)';
    if (why) state.clock = false;
    clockBox.checked = state.clock;
    buildPanels();
    buildHeader();
    buildLegend();
    layout();
    state.full = null;
    for (const src of state.sources) if (!src.full) request(src, true);
    joinFull(keep);
  }

  // The panels: one per source, or one for all; in each one Y axis per unit.
  function buildPanels() {
    const lists = state.layout === 'overlay' ? [state.sources] : state.sources.map((s) => [s]);
    state.panels = lists.map((sources) => {
      const members = [];
      for (const src of sources) for (const c of src.channels) members.push({ src, c });
      const units = [];
      for (const m of members) if (!units.includes(m.c.unit)) units.push(m.c.unit);
      const groups = units.map((unit, i) => {
        const ms = members.filter((m) => m.c.unit === unit);
        return { unit, title: label(distinct(ms.map((m) => m.c.dimension)).join(', '), unit), members: ms, side: i % 2, low: 0, high: 1 };
      }).filter((g) => g.members.length);
      const xTitles = distinct(members.map((m) => label(m.c.xDimension, m.c.xUnit)));
      return { sources, groups, xTitle: xTitles.length ? xTitles.join(', ') : 'X', plot: null };
    });
    setTitle();
  }

  function setTitle() {
    const files = distinct(state.sources.map((s) => state.meta.files[s.file].file));
    document.getElementById('title').textContent = state.sources.length === 1
      ? state.sources[0].name.replace(/:(\d+)$/, ' — section $1') + ' (' +
        state.meta.files[state.sources[0].file].sections[state.sources[0].section].rowsInFile.toLocaleString('en') + ' rows, ' +
        state.sources[0].channels.length + ' channel' + (state.sources[0].channels.length === 1 ? '' : 's') + ')'
      : files.join(', ');
    document.title = files.join(', ') + ' — qtx view';
  }

  // The header's choice of sources, layout and offsets.
  function buildHeader() {
    const box = document.getElementById('sources');
    box.textContent = '';
    for (const src of state.sources) {
      const chip = document.createElement('span');
      chip.className = 'source';
      const pick = document.createElement('select');
      pick.className = 'source-section';
      pick.title = 'the section of ' + state.meta.files[src.file].file + ' shown';
      state.meta.files[src.file].sections.forEach((s) => {
        const option = document.createElement('option');
        option.value = s.index;
        option.textContent = state.meta.files[src.file].file + ' § ' + s.index + ' (' + s.channels.length + ' ch, ' +
          s.rowsInFile.toLocaleString('en') + ' rows)';
        pick.append(option);
      });
      pick.value = src.section;
      pick.addEventListener('change', () => setSources(state.sources.map((s) => s === src ? [s.file, Number(pick.value)] : [s.file, s.section]), true));
      chip.append(pick);
      if (state.sources.length > 1) {
        const remove = document.createElement('button');
        remove.type = 'button';
        remove.textContent = '×';
        remove.title = 'stop showing ' + src.name;
        remove.addEventListener('click', () => setSources(state.sources.filter((s) => s !== src).map((s) => [s.file, s.section]), true));
        chip.append(remove);
      }
      box.append(chip);
    }
    box.hidden = state.sources.length === 1 && state.meta.files.length === 1 && state.meta.files[0].sections.length === 1;
    const add = document.getElementById('add');
    add.textContent = '';
    const none = document.createElement('option');
    none.value = '';
    none.textContent = '+ section…';
    add.append(none);
    state.meta.files.forEach((f, k) => f.sections.forEach((s) => {
      if (state.sources.some((src) => src.file === k && src.section === s.index)) return;
      const option = document.createElement('option');
      option.value = k + ':' + s.index;
      option.textContent = f.file + ':' + s.index;
      add.append(option);
    }));
    add.hidden = add.options.length < 2;
    document.getElementById('layout').value = state.layout;
    document.getElementById('layout-box').hidden = state.sources.length < 2;
    const files = distinct(state.sources.map((s) => String(s.file))).map(Number);
    const offsets = document.getElementById('offsets');
    offsets.hidden = files.length < 2 || state.clock;
    offsets.querySelectorAll('label').forEach((l) => l.remove());
    for (const k of files) {
      const item = document.createElement('label');
      item.textContent = state.meta.files[k].file + ' X + ';
      const input = document.createElement('input');
      input.type = 'number';
      input.step = 'any';
      input.id = 'offset-' + k;
      input.value = state.offsets[k] || 0;
      input.addEventListener('change', () => setOffset(k, Number(input.value)));
      item.append(input);
      offsets.insertBefore(item, document.getElementById('line-up'));
    }
  }

  function buildLegend() {
    const legend = document.getElementById('legend');
    legend.textContent = '';
    for (const src of state.sources) {
      if (state.sources.length > 1) {
        const head = document.createElement('div');
        head.className = 'source-head';
        head.textContent = src.name;
        legend.append(head);
      }
      for (const c of src.channels) {
        const item = document.createElement('label');
        item.className = 'channel';
        item.dataset.channel = c.index;
        item.dataset.source = src.key;
        const box = document.createElement('input');
        box.type = 'checkbox';
        box.checked = !src.hidden.has(c.index);
        item.classList.toggle('hidden', !box.checked);
        box.addEventListener('change', () => {
          if (box.checked) src.hidden.delete(c.index); else src.hidden.add(c.index);
          item.classList.toggle('hidden', !box.checked);
          fitY();
          draw();
          renderStats();
        });
        const swatch = document.createElement('span');
        swatch.className = 'swatch';
        swatch.style.background = colour(src.colours[c.index]);
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
  }

  // X as shown of everything, once every source knows its range.
  function joinFull(keepView) {
    if (!state.sources.length || state.sources.some((s) => !s.full)) return;
    let low = Infinity, high = -Infinity;
    for (const src of state.sources) {
      low = Math.min(low, shown(src, src.full[0]));
      high = Math.max(high, shown(src, src.full[1]));
    }
    if (!(low < high)) { low = state.sources[0].full[0]; high = state.sources[0].full[1]; }
    const had = state.full;
    state.full = [low, high];
    hook.full = { x0: low, x1: high };
    if (state.followSpan) {  // a view of the end moves with a followed file
      state.x1 = high;
      state.x0 = Math.max(low, high - state.followSpan);
      state.followSpan = null;
      state.pending = null;
    } else if (state.pending) {  // a reload or the fragment keeps the view
      [state.x0, state.x1] = state.pending;
      state.pending = null;
    } else if (!had || !keepView) {
      state.x0 = low;
      state.x1 = high;
    }
    setView(state.x0, state.x1, true);
  }

  function setOffset(file, value) {
    if (!isFinite(value)) return;
    state.offsets[file] = value;
    joinFull(true);
    requestStats();
  }

  // ---- data

  // whole: the source's full X range (the server knows it); exact: the rows
  // even where the server would first answer from its coarse summary.
  function request(src, whole, exact) {
    if (src.inFlight) {
      src.wanted = true;
      return;
    }
    src.inFlight = true;
    src.wanted = false;
    hook.ready = false;
    const width = Math.max(1, Math.round(state.plot.right - state.plot.left));
    let query = 'data?file=' + src.file + '&section=' + src.section + '&w=' + width;
    const x0 = fileX(src, state.x0), x1 = fileX(src, state.x1);
    if (!whole) query += '&x0=' + x0 + '&x1=' + x1;
    if (exact) query += '&exact=1';
    const asked = performance.now();
    hook.requests++;
    fetch(query, { cache: 'no-store' })
      .then(json)
      .then((answer) => {
        if (!state.sources.includes(src)) return;
        answer.ms = performance.now() - asked;
        src.answer = answer;
        hook.lastAnswer = answer;
        if (!src.full) {
          src.full = [answer.xLow, answer.xHigh];
          joinFull(true);
        }
        showError('');
        fitY();
        draw();
        status();
      })
      .catch((error) => {
        showError(String(error.message || error));
        statusLine.textContent = 'no answer';
        draw();
      })
      .finally(() => {
        hook.replies++;
        src.inFlight = false;
        const a = src.answer;
        const stale = a && state.full && (a.x0 !== fileX(src, state.x0) || a.x1 !== fileX(src, state.x1) || a.w !== width);
        if ((src.wanted || stale) && !hook.error && state.sources.includes(src)) {
          request(src, false);
        } else if (a && !hook.error && a.channels.some((c) => c.coarse) && state.sources.includes(src)) {
          request(src, false, true);
        }
        hook.ready = state.sources.every((s) => !s.inFlight);
      });
  }

  function status() {
    const answers = state.sources.map((s) => s.answer).filter((a) => a);
    if (!answers.length) return;
    const parts = answers.flatMap((answer) => answer.channels.map((a) => a.raw ? 'rows' : a.coarse ? 'summary, refining…' : a.from));
    const inView = answers.reduce((n, a) => n + a.rowsInView, 0), rows = answers.reduce((n, a) => n + a.rows, 0);
    statusLine.textContent = inView.toLocaleString('en') + ' of ' + rows.toLocaleString('en') + ' rows in view · ' +
      (distinct(parts).join(' + ') || 'no data') + ' · answered in ' + Math.max(...answers.map((a) => a.ms)).toFixed(0) + ' ms';
  }

  // Calls f(x, first, low, high, last) per column or row of an answer entry,
  // x as shown.
  function eachPoint(src, a, answer, f) {
    const m = mapOf(src);
    if (a.raw) {
      for (let i = 0; i < a.x.length; i++) f(a.x[i] * m.k + m.d, a.y[i], a.y[i], a.y[i], a.y[i]);
      return;
    }
    const step = (answer.x1 - answer.x0) / answer.w;
    for (let k = 0; k < a.cols.length; k++)
      f((answer.x0 + (a.cols[k] + 0.5) * step) * m.k + m.d, a.first[k], a.low[k], a.high[k], a.last[k]);
  }

  // The line between two rows at x (as shown), when rows lie on both sides of it.
  function between(src, a, x) {
    if (!a.raw) return null;
    x = fileX(src, x);
    for (let i = 0; i + 1 < a.x.length; i++) {
      if (a.x[i] <= x && x <= a.x[i + 1] && a.y[i] !== null && a.y[i + 1] !== null)
        return a.x[i + 1] === a.x[i] ? a.y[i] : a.y[i] + (a.y[i + 1] - a.y[i]) * (x - a.x[i]) / (a.x[i + 1] - a.x[i]);
    }
    return null;
  }

  // Each unit's Y range from what the visible channels have in view,
  // including where their lines cross the edges.
  function fitY() {
    for (const panel of state.panels) {
      for (const g of panel.groups) {
        if (g.manual) continue;  // zoomed by hand: no longer follows the data
        let low = Infinity, high = -Infinity;
        for (const { src, c } of g.members) {
          const answer = src.answer;
          if (!answer || src.hidden.has(c.index)) continue;
          const a = answer.channels.find((e) => e.channel === c.index);
          if (!a) continue;
          eachPoint(src, a, answer, (x, first, lo, hi) => {
            if (lo === null || x < state.x0 || x > state.x1) return;
            low = Math.min(low, lo);
            high = Math.max(high, hi);
          });
          for (const edge of [state.x0, state.x1]) {
            const v = between(src, a, edge);
            if (v !== null) { low = Math.min(low, v); high = Math.max(high, v); }
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
  }

  // ---- drawing

  function layout() {
    const box = canvas.getBoundingClientRect();
    const ratio = window.devicePixelRatio || 1;
    canvas.width = Math.max(1, Math.round(box.width * ratio));
    canvas.height = Math.max(1, Math.round(box.height * ratio));
    ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
    let left = 1, right = 0;
    for (const panel of state.panels) {
      left = Math.max(left, panel.groups.filter((g) => g.side === 0).length);
      right = Math.max(right, panel.groups.filter((g) => g.side === 1).length);
    }
    const l = MARGIN.left + left * AXIS_WIDTH;
    const r = Math.max(l + 10, box.width - MARGIN.right - right * AXIS_WIDTH);
    const count = Math.max(1, state.panels.length);
    const height = Math.max(10, (box.height - MARGIN.top - MARGIN.bottom - (count - 1) * PANEL_GAP) / count);
    state.panels.forEach((panel, i) => {
      const top = MARGIN.top + i * (height + PANEL_GAP);
      panel.plot = { left: l, right: r, top, bottom: top + height };
    });
    state.plot = { left: l, right: r, top: MARGIN.top, bottom: Math.max(MARGIN.top + 10, box.height - MARGIN.bottom),
                   width: box.width, height: box.height };
  }

  function toX(x) {
    const p = state.plot;
    return p.left + (x - state.x0) / (state.x1 - state.x0) * (p.right - p.left);
  }

  function fromX(px) {
    const p = state.plot;
    return state.x0 + (px - p.left) / (p.right - p.left) * (state.x1 - state.x0);
  }

  function yScale(g, p) {
    return (v) => p.bottom - (v - g.low) / (g.high - g.low) * (p.bottom - p.top);
  }

  function groupColour(g) {
    return g.members.length === 1 ? colour(g.members[0].src.colours[g.members[0].c.index]) : '#333';
  }

  function drawAxes(panel, last) {
    const p = panel.plot;
    ctx.font = '11px sans-serif';
    ctx.lineWidth = 1;
    const xt = ticks(state.x0, state.x1, Math.max(2, Math.floor((p.right - p.left) / (state.clock ? 130 : 100))));
    ctx.strokeStyle = '#e6e6e6';
    ctx.beginPath();
    for (const v of xt.values) { const x = Math.round(toX(v)) + 0.5; ctx.moveTo(x, p.top); ctx.lineTo(x, p.bottom); }
    const first = panel.groups[0];
    const yt = first ? ticks(first.low, first.high, Math.max(2, Math.floor((p.bottom - p.top) / 50))) : null;
    if (yt) {
      const y = yScale(first, p);
      for (const v of yt.values) { const py = Math.round(y(v)) + 0.5; ctx.moveTo(p.left, py); ctx.lineTo(p.right, py); }
    }
    ctx.stroke();
    ctx.strokeStyle = '#888';
    ctx.strokeRect(p.left + 0.5, p.top + 0.5, p.right - p.left, p.bottom - p.top);
    if (state.panels.length > 1) {
      ctx.fillStyle = '#555';
      ctx.textAlign = 'left';
      ctx.textBaseline = 'top';
      ctx.fillText(panel.sources.map((s) => s.name).join(', '), p.left + 6, p.top + 4);
    }

    if (last) {
      ctx.fillStyle = '#333';
      ctx.textAlign = 'center';
      ctx.textBaseline = 'top';
      ctx.beginPath();
      hook.xTicks = [];
      for (const v of xt.values) {
        const x = Math.round(toX(v)) + 0.5;
        ctx.moveTo(x, p.bottom); ctx.lineTo(x, p.bottom + 5);
        const text = xTickText(v, xt.step);
        hook.xTicks.push(text);
        ctx.fillText(text, x, p.bottom + 8);
      }
      ctx.stroke();
      ctx.font = '12px sans-serif';
      const title = state.clock ? 'wall-clock time from ' + clockText(state.x0) + ' (no time zone)'
        : panel.xTitle + (state.offsets.some((o) => o) && state.sources.length > 1 ? ' + offset' : '');
      hook.xTitle = title;
      ctx.fillText(title, (p.left + p.right) / 2, p.bottom + 28);
    }

    const count = [0, 0];
    for (const g of panel.groups) {
      const side = g.side;
      const at = side === 0 ? p.left - count[side] * AXIS_WIDTH : p.right + count[side] * AXIS_WIDTH;
      count[side]++;
      const t = ticks(g.low, g.high, Math.max(2, Math.floor((p.bottom - p.top) / 50)));
      const y = yScale(g, p);
      const dir = side === 0 ? -1 : 1;
      ctx.strokeStyle = '#888';
      ctx.fillStyle = groupColour(g);
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

  function drawCurves(panel) {
    const p = panel.plot;
    ctx.save();
    ctx.beginPath();
    ctx.rect(p.left, p.top, p.right - p.left, p.bottom - p.top);
    ctx.clip();
    ctx.lineWidth = 1.25;
    ctx.lineJoin = 'round';
    for (const g of panel.groups) {
      const y = yScale(g, p);
      for (const { src, c } of g.members) {
        const answer = src.answer;
        const a = answer && answer.channels.find((e) => e.channel === c.index);
        if (!a || src.hidden.has(c.index)) continue;
        const drawn = { points: 0, low: null, high: null, raw: a.raw, from: a.from };
        ctx.strokeStyle = ctx.fillStyle = colour(src.colours[c.index]);
        ctx.beginPath();
        let open = false;
        const dots = [];
        eachPoint(src, a, answer, (x, first, low, high, last) => {
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
          const v = between(src, a, edge);
          if (v === null) continue;
          drawn.low = drawn.low === null ? v : Math.min(drawn.low, v);
          drawn.high = drawn.high === null ? v : Math.max(drawn.high, v);
        }
        ctx.stroke();
        // Rows far apart: each one marked.
        if (dots.length && dots.length < (p.right - p.left) / 6)
          for (const [dx, dy] of dots) { ctx.beginPath(); ctx.arc(dx, dy, 2.5, 0, 2 * Math.PI); ctx.fill(); }
        hook.drawn[src.key + ':' + c.index] = drawn;
        if (src === state.sources[0]) hook.drawn[c.index] = drawn;
      }
    }
    ctx.restore();
  }

  function drawOverlay(panel) {
    const p = panel.plot;
    if (state.drag && state.drag.kind === 'box' && (state.drag.mode === 'x' || state.drag.panel === panel)) {
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
    hook.drawn = {};
    if (state.full) {
      state.panels.forEach((panel, i) => {
        drawAxes(panel, i === state.panels.length - 1);
        drawCurves(panel);
        drawOverlay(panel);
      });
    }
    hook.view = { x0: state.x0, x1: state.x1 };
    hook.y = state.panels.flatMap((panel) => panel.groups.map((g) => [g.low, g.high, !!g.manual]));
    hook.plot = state.plot;
    hook.panels = state.panels.map((panel) => ({ sources: panel.sources.map((s) => s.key), plot: panel.plot }));
    hook.answers = Object.fromEntries(state.sources.map((s) => [s.key, s.answer]));
    hook.offsets = state.offsets.slice();
    hook.clock = state.clock;
    if (state.full) writeFragment();
    updateReadout();
  }

  // The values under the cursor: the nearest column or row of each channel.
  function updateReadout() {
    const p = state.plot;
    if (!state.full || !state.mouse || state.drag || state.mouse.x < p.left || state.mouse.x > p.right) {
      readout.hidden = true;
      return;
    }
    const x = fromX(state.mouse.x);
    const tolerance = Math.abs(fromX(state.mouse.x + 6) - x);
    readout.textContent = '';
    const head = document.createElement('div');
    head.textContent = state.clock ? clockText(x) : 'X = ' + formatValue(x);
    readout.append(head);
    for (const src of state.sources) {
      const answer = src.answer;
      if (!answer) continue;
      for (const a of answer.channels) {
        if (src.hidden.has(a.channel)) continue;
        let best = null, distance = Infinity;
        eachPoint(src, a, answer, (px, first, low, high) => {
          const d = Math.abs(px - x);
          if (d < distance) { distance = d; best = [low, high]; }
        });
        const c = src.channels[a.channel];
        const row = document.createElement('div');
        const swatch = document.createElement('span');
        swatch.className = 'swatch';
        swatch.style.background = colour(src.colours[a.channel]);
        let text = '–';
        const line = between(src, a, x);
        if (best && distance <= tolerance && best[0] !== null)
          text = best[0] === best[1] ? formatValue(best[0]) : formatValue(best[0]) + ' … ' + formatValue(best[1]);
        else if (line !== null)
          text = '≈ ' + formatValue(line) + ' (between rows)';
        row.append(swatch, channelLabel(src, c) + ': ' + text + (c.unit ? ' ' + c.unit : ''));
        readout.append(row);
      }
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
    const sources = state.sources.slice();
    Promise.all(sources.map((src) => {
      const x0 = fileX(src, lo), x1 = fileX(src, hi);
      return fetch('stats?file=' + src.file + '&section=' + src.section + '&x0=' + x0 + '&x1=' + x1, { cache: 'no-store' }).then(json);
    }))
      .then((answers) => {
        if (asked !== hook.statsAsked) return;
        answers.forEach((answer, i) => {
          answer.swapped = b !== null && b < a;
          sources[i].stats = answer;
        });
        hook.stats = answers[0];
        hook.statsAll = Object.fromEntries(answers.map((answer, i) => [sources[i].key, answer]));
        renderStats();
      })
      .catch((error) => showError(String(error.message || error)));
  }

  // The table under the chart: per visible channel the rows at A and B as the
  // file holds them, their differences and the statistics between them.
  function renderStats() {
    const table = document.getElementById('stats');
    table.hidden = state.cursors.a === null || !state.sources.some((s) => s.stats);
    if (table.hidden) return;
    const both = state.cursors.b !== null;
    const head = ['channel', 'row at A: X', 'Y', 'row at B: X', 'Y', 'ΔX', 'ΔY', 'rows', 'values', 'min', 'X of min',
                  'max', 'X of max', 'mean', 'RMS'];
    const rows = [head];
    for (const src of state.sources) {
      const answer = src.stats;
      if (!answer) continue;
      const xText = (x) => state.clock ? clockText(shown(src, x)) : formatValue(x);
      for (const s of answer.channels) {
        if (src.hidden.has(s.channel)) continue;
        const c = src.channels[s.channel];
        const [ra, rb] = answer.swapped ? [s.b, s.a] : [s.a, s.b];
        const at = (r) => r ? [xText(r.x), r.y === null ? 'not a number' : formatValue(r.y)] : ['–', '–'];
        const d = (f) => both && ra && rb && ra.y !== null && rb.y !== null ? formatValue(f(ra, rb)) : '–';
        const stat = (name) => both && s.count ? (name[0] === 'x' ? xText(s[name]) : formatValue(s[name])) : '–';
        rows.push([channelLabel(src, c) + (c.unit ? ' [' + c.unit + ']' : ''), ...at(ra),
          ...(both ? at(rb) : ['–', '–']), both && ra && rb ? formatValue(shown(src, rb.x) - shown(src, ra.x)) : '–',
          d((p, q) => q.y - p.y), both ? String(s.rows) : '–', both ? String(s.count) : '–', stat('min'), stat('xMin'),
          stat('max'), stat('xMax'), stat('mean'), stat('rms')]);
      }
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
      'the statistics cover every row from A to B, values that are not numbers left out' +
      (state.clock ? '; X as wall-clock time, ΔX in seconds.' : '.');
    table.append(note);
  }

  // Moves a cursor to the next row (dir 1) or the one before (-1) of the
  // first visible channel, as the file holds its rows.
  function stepCursor(name, dir) {
    const src = state.sources.find((s) => s.channels.some((c) => !s.hidden.has(c.index)));
    if (!src) return;
    const channel = src.channels.find((c) => !src.hidden.has(c.index)).index;
    const x = state.cursors[name] === null ? (dir > 0 ? state.x0 : state.x1) : state.cursors[name];
    fetch('step?file=' + src.file + '&section=' + src.section + '&channel=' + channel + '&x=' + fileX(src, x) + '&dir=' + dir,
          { cache: 'no-store' })
      .then(json)
      .then((answer) => {
        hook.step = answer;
        if (!answer.row) return;
        const at = shown(src, answer.row.x);
        setCursor(name, at);
        if (at < state.x0 || at > state.x1) {
          const span = state.x1 - state.x0;
          setView(at - span / 2, at + span / 2);
        }
      })
      .catch((error) => showError(String(error.message || error)));
  }

  // ---- the address's fragment holds the view: a reload or a bookmark in the
  // same server session shows it again.

  function writeFragment() {
    const parts = ['src=' + state.sources.map((s) => s.key).join(','), 'x0=' + state.x0, 'x1=' + state.x1];
    if (state.layout !== 'stack') parts.push('layout=' + state.layout);
    if (state.offsets.some((o) => o)) parts.push('off=' + state.offsets.map((o) => o || 0).join(','));
    if (state.clock) parts.push('clock=1');
    if (state.cursors.a !== null) parts.push('a=' + state.cursors.a);
    if (state.cursors.b !== null) parts.push('b=' + state.cursors.b);
    const hidden = state.sources.flatMap((s) => [...s.hidden].map((c) => s.key + ':' + c));
    if (hidden.length) parts.push('hide=' + hidden.join(','));
    const y = [];
    state.panels.forEach((panel, i) => panel.groups.forEach((g, k) => {
      if (g.manual) y.push(i + ':' + k + ':' + g.low + ':' + g.high);
    }));
    if (y.length) parts.push('y=' + y.join(','));
    const hash = '#' + parts.join('&');
    if (location.hash !== hash) history.replaceState(null, '', hash);
  }

  function readFragment() {
    const v = {};
    for (const part of location.hash.slice(1).split('&')) {
      const [k, text] = part.split('=');
      if (['hide', 'src', 'off', 'y', 'layout'].includes(k)) v[k] = text || '';
      else if (text !== undefined && isFinite(Number(text)) && text !== '') v[k] = Number(text);
    }
    return v;
  }

  // The view of the fragment, once the page knows the files.
  function applyFragment(meta) {
    const v = readFragment();
    let pairs = (v.src || '').split(',').map((t) => t.split(':').map(Number))
      .filter((p) => p.length === 2 && p.every(Number.isInteger));
    if (!pairs.length && Number.isInteger(v.section)) pairs = [[0, v.section]];
    if (!pairs.some(([f, s]) => meta.files[f] && meta.files[f].sections[s]))
      pairs = meta.files.map((f, k) => [k, f.start]);
    if (v.layout === 'overlay') state.layout = 'overlay';
    state.offsets = meta.files.map((f, k) => {
      const o = Number((v.off || '').split(',')[k]);
      return isFinite(o) ? o : 0;
    });
    state.clock = v.clock === 1;
    if (v.x0 < v.x1) state.pending = [v.x0, v.x1];
    setSources(pairs);
    for (const name of ['a', 'b']) if (v[name] !== undefined) state.cursors[name] = v[name];
    for (const item of (v.hide || '').split(',').filter((t) => t)) {
      const t = item.split(':').map(Number);
      const src = t.length === 1 ? state.sources[0] : state.sources.find((s) => s.file === t[0] && s.section === t[1]);
      if (src && Number.isInteger(t[t.length - 1])) src.hidden.add(t[t.length - 1]);
    }
    buildLegend();
    for (const item of (v.y || '').split(',').filter((t) => t)) {
      const [i, k, low, high] = item.split(':').map(Number);
      const g = state.panels[i] && state.panels[i].groups[k];
      if (g && low < high) [g.low, g.high, g.manual] = [low, high, true];
    }
    if (state.cursors.a !== null) requestStats();
  }

  // ---- views

  function setView(x0, x1, force) {
    if (!state.full) return;
    const [low, high] = state.full;
    let span = x1 - x0;
    const whole = high - low;
    if (!(span > 0) || !isFinite(span)) return;
    if (span >= whole) { x0 = low; x1 = high; span = whole; }
    const least = Math.max(Math.abs(x0), Math.abs(x1)) * 1e-12;
    if (span < least && !force) return;
    if (x0 < low) { x1 += low - x0; x0 = low; }
    if (x1 > high) { x0 -= x1 - high; x1 = high; }
    state.x0 = x0;
    state.x1 = x1;
    fitY();
    draw();
    for (const src of state.sources) if (!fresh(src)) request(src, false);
  }

  // The source's last answer is for the view shown.
  function fresh(src) {
    const a = src.answer;
    return !src.inFlight && a && a.x0 === fileX(src, state.x0) && a.x1 === fileX(src, state.x1) &&
      a.w === Math.max(1, Math.round(state.plot.right - state.plot.left)) && !a.channels.some((c) => c.coarse);
  }

  function localX(event) {
    return event.clientX - canvas.getBoundingClientRect().left;
  }

  function localY(event) {
    return event.clientY - canvas.getBoundingClientRect().top;
  }

  // The panel at pixel row py (the nearest one).
  function panelAt(py) {
    let best = state.panels[0], distance = Infinity;
    for (const panel of state.panels) {
      const p = panel.plot;
      const d = py < p.top ? p.top - py : py > p.bottom ? py - p.bottom : 0;
      if (d < distance) { distance = d; best = panel; }
    }
    return best;
  }

  // The group whose Y axis is at pixel px, left or right of the panel's plot.
  function axisAt(panel, px) {
    const p = panel.plot;
    const side = px < p.left ? 0 : px > p.right ? 1 : -1;
    if (side < 0) return null;
    const k = Math.floor(side === 0 ? (p.left - px) / AXIS_WIDTH : (px - p.right) / AXIS_WIDTH);
    return panel.groups.filter((g) => g.side === side)[k] || null;
  }

  canvas.addEventListener('wheel', (event) => {
    event.preventDefault();
    const factor = Math.exp(Math.max(-3, Math.min(3, event.deltaY * (event.deltaMode ? 0.05 : 0.0015))));
    const panel = panelAt(localY(event));
    const axis = panel && axisAt(panel, localX(event));
    if (axis) {  // over a Y axis: that axis zooms around the pointer
      const p = panel.plot;
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
      : { kind: 'box', mode, from: x, to: x, fromY: y, toY: y, panel: panelAt(y) };
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
      const p = drag.panel.plot;
      const top = Math.max(p.top, Math.min(drag.fromY, drag.toY));
      const bottom = Math.min(p.bottom, Math.max(drag.fromY, drag.toY));
      for (const g of drag.panel.groups) {
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
    for (const panel of state.panels) for (const g of panel.groups) g.manual = false;
    fitY();
    if (state.full) setView(state.full[0], state.full[1]);
  });

  window.addEventListener('resize', () => {
    if (!state.meta) return;
    layout();
    draw();
    for (const src of state.sources) request(src, !src.full);
  });

  document.getElementById('add').addEventListener('change', (event) => {
    const [f, s] = event.target.value.split(':').map(Number);
    if (Number.isInteger(f)) setSources(state.sources.map((src) => [src.file, src.section]).concat([[f, s]]), true);
  });

  document.getElementById('layout').addEventListener('change', (event) => {
    state.layout = event.target.value === 'overlay' ? 'overlay' : 'stack';
    setSources(state.sources.map((src) => [src.file, src.section]), true);
  });

  // Each file's offset so that its first X falls on the first file's.
  document.getElementById('line-up').addEventListener('click', () => {
    const first = state.sources[0];
    if (!first || state.sources.some((s) => !s.full)) return;
    const start = first.full[0] + (state.offsets[first.file] || 0);
    for (const src of state.sources)
      if (src.file !== first.file) state.offsets[src.file] = start - src.full[0];
    buildHeader();
    setOffset(first.file, state.offsets[first.file] || 0);
  });

  // Wall-clock time or relative X; the view and the cursors stay where they
  // are on the first source's X.
  clockBox.addEventListener('change', () => {
    const src = state.sources[0];
    const keep = [state.x0, state.x1, state.cursors.a, state.cursors.b].map((x) => x === null ? null : fileX(src, x));
    state.clock = clockBox.checked && !clockBox.disabled;
    buildHeader();
    const [x0, x1, a, b] = keep.map((x) => x === null ? null : shown(src, x));
    state.cursors = { a, b };
    state.pending = [x0, x1];
    joinFull(true);
    requestStats();
  });

  // Reads the files again on the server and shows the same X range of them.
  document.getElementById('reload').addEventListener('click', () => {
    statusLine.textContent = 'reading the files again…';
    hook.ready = false;
    fetch('reload', { cache: 'no-store' })
      .then(json)
      .then((meta) => {
        state.meta = meta;
        const view = state.full && [state.x0, state.x1];
        const cursors = state.cursors;
        showError('');
        const pairs = state.sources.map((s) => [s.file, Math.min(s.section, meta.files[s.file].sections.length - 1)]);
        state.sources = [];
        if (view) state.pending = view;
        setSources(pairs);
        state.cursors = cursors;
        requestStats();
      })
      .catch((error) => { showError(String(error.message || error)); statusLine.textContent = 'no answer'; hook.ready = true; });
  });
  hook.setView = (x0, x1) => setView(x0, x1);

  // ---- following (qtx view --follow): every second the server takes in
  // what was appended to the files and grows their summaries; the sources
  // that grew ask again for their X range, and a view that showed the end
  // keeps showing it.
  function followTick() {
    fetch('refresh', { cache: 'no-store' })
      .then(json)
      .then((meta) => {
        const rows = (m, s) => {
          const section = m.files[s.file] && m.files[s.file].sections[s.section];
          return section ? section.rowsInFile : -1;
        };
        const grown = state.sources.filter((s) => rows(meta, s) !== rows(state.meta, s));
        state.meta = meta;
        hook.refreshes++;
        if (grown.length && state.full) {
          if (state.x1 >= state.full[1]) state.followSpan = state.x1 - state.x0;
          for (const src of grown) {
            src.full = null;
            request(src, false);
          }
          setTitle();
        }
        showError('');
      })
      .catch((error) => showError(String(error.message || error)))
      .finally(() => setTimeout(followTick, 1000));
  }

  // Arrows pan by a tenth, + and - zoom around the middle, Home shows
  // everything; , and . step cursor A a row back and on, < and > cursor B.
  window.addEventListener('keydown', (event) => {
    if (!state.full || ['SELECT', 'TEXTAREA', 'INPUT'].includes(event.target.tagName) || event.ctrlKey || event.metaKey || event.altKey) return;
    const span = state.x1 - state.x0, mid = (state.x0 + state.x1) / 2;
    const moves = {
      ArrowLeft: () => setView(state.x0 - span / 10, state.x1 - span / 10),
      ArrowRight: () => setView(state.x0 + span / 10, state.x1 + span / 10),
      '+': () => setView(mid - span / 4, mid + span / 4),
      '=': () => setView(mid - span / 4, mid + span / 4),
      '-': () => setView(mid - span, mid + span),
      Home: () => setView(state.full[0], state.full[1]),
      ',': () => stepCursor('a', -1),
      '.': () => stepCursor('a', 1),
      '<': () => stepCursor('b', -1),
      '>': () => stepCursor('b', 1),
    };
    if (!moves[event.key]) return;
    event.preventDefault();
    moves[event.key]();
  });
  hook.setCursor = (name, x) => setCursor(name, x);

  // ---- the view goes out: its rows, its command lines, its picture

  // The visible channels of a source, by index.
  function visibleChannels(src) {
    return src.channels.filter((c) => !src.hidden.has(c.index)).map((c) => c.index);
  }

  // A word for a POSIX shell: as it is when it is safe, else in single
  // quotes; a file name that starts with '-' gets a ./ so that it is no option.
  function shellWord(text) {
    if (text.startsWith('-')) text = './' + text;
    return /^[A-Za-z0-9_.\/:@%+=,-]+$/.test(text) ? text : "'" + text.replace(/'/g, "'\\''") + "'";
  }

  // A file name beside the file: its stem and `ending`.
  function outName(src, ending) {
    const f = state.meta.files[src.file];
    const path = f.path || f.file;
    const several = state.sources.filter((s) => s.file === src.file).length > 1;
    return path.replace(/\.[^./\\]*$/, '') + '-view' + (several ? '-' + src.section : '') + ending;
  }

  // What the command lines choose: the section, the visible X and the
  // visible channels (all of them: no --channels).
  function choice(src) {
    const visible = visibleChannels(src);
    let text = ' --section ' + src.section + ' --x ' + fileX(src, state.x0) + ':' + fileX(src, state.x1);
    if (visible.length < src.channels.length) text += ' --channels ' + visible.join(',');
    return text;
  }

  function commandLines() {
    return state.sources.filter((src) => visibleChannels(src).length).map((src) => {
      const f = state.meta.files[src.file];
      const file = shellWord(f.path || f.file);
      return 'qtx cut ' + file + ' -o ' + shellWord(outName(src, '.qtx')) + choice(src) + '\n' +
        'qtx export ' + file + ' ' + shellWord(outName(src, '.h5')) + choice(src);
    }).join('\n');
  }

  function download(href) {
    const link = document.createElement('a');
    link.href = href;
    link.download = '';
    document.body.append(link);
    link.click();
    link.remove();
  }

  // One download per source with a visible channel.
  document.getElementById('csv').addEventListener('click', () => {
    if (!state.full) return;
    const queries = state.sources.filter((src) => visibleChannels(src).length).map((src) =>
      'csv?file=' + src.file + '&section=' + src.section + '&x0=' + fileX(src, state.x0) + '&x1=' + fileX(src, state.x1) +
      '&channels=' + visibleChannels(src).join(','));
    if (!queries.length) { showError('no channel is visible: tick one in the legend'); return; }
    hook.csv = queries[0];
    hook.csvAll = queries;
    for (const query of queries) download(query);
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
    .then(json)
    .then((meta) => {
      state.meta = meta;
      applyFragment(meta);
      if (meta.follow) setTimeout(followTick, 1000);
    })
    .catch((error) => { showError(String(error.message || error)); statusLine.textContent = 'no answer'; });
})();
