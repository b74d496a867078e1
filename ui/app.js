// lre-ui page: a form per module, the case document in its four groups, and
// the curves of the current case. Every engine fact (modules, options, their
// ranges and presets, the report's labels, units, tags and decimals) comes
// from /api/modules; the numbers come from /api/case and /api/sweep.
'use strict';

const recompute_delay_ms = 250;
const curve_points = 45;
const groups = ['known', 'estimated', 'operating', 'calculated'];
const group_titles = {
  known: 'Known', estimated: 'Estimated', operating: 'Operating point', calculated: 'Calculated',
};
const palette = ['#1f5fa8', '#c0392b', '#2e7d32', '#8e44ad', '#a35f00', '#00838f'];

const state = {
  modules: [],
  module: null,
  rows: {},          // "group.member" -> report row of the current module
  timer: 0,
  generation: 0,     // a newer request makes older answers obsolete
  controller: null,
  charts: {},
  have_result: false,
};

function by_id(id) { return document.getElementById(id); }

function element(tag, attributes, text) {
  const node = document.createElement(tag);
  for (const name in attributes || {}) {
    node.setAttribute(name, attributes[name]);
  }
  if (text !== undefined) {
    node.textContent = text;
  }
  return node;
}

// The document's number text rounded to a number of decimals, half to even
// on its decimal digits, as the text report's fixed formats round.
function fixed_from_text(text, decimals) {
  const match = /^(-?)(\d+)(?:\.(\d+))?(?:e([+-]\d+))?$/.exec(text);
  if (!match || decimals === null || decimals === undefined) {
    return text;
  }
  const sign = match[1];
  let digits = match[2] + (match[3] || '');
  let point = match[2].length + (match[4] ? parseInt(match[4], 10) : 0);
  if (point < 0) {
    digits = '0'.repeat(-point) + digits;
    point = 0;
  }
  const keep = point + decimals;
  if (digits.length < keep) {
    digits += '0'.repeat(keep - digits.length);
  }
  let kept = digits.slice(0, keep).split('');
  const rest = digits.slice(keep);
  let up = false;
  if (rest.length > 0) {
    const beyond = rest.slice(1).replace(/0/g, '');
    if (rest[0] > '5' || (rest[0] === '5' && beyond.length > 0)) {
      up = true;
    } else if (rest[0] === '5') {
      const last = kept.length > 0 ? kept[kept.length - 1] : '0';
      up = parseInt(last, 10) % 2 === 1;
    }
  }
  if (up) {
    let i = kept.length - 1;
    while (i >= 0 && kept[i] === '9') {
      kept[i] = '0';
      i -= 1;
    }
    if (i < 0) {
      kept.unshift('1');
    } else {
      kept[i] = String(parseInt(kept[i], 10) + 1);
    }
  }
  kept = kept.join('');
  let whole = kept.slice(0, kept.length - decimals).replace(/^0+(?=\d)/, '');
  if (whole === '') {
    whole = '0';
  }
  const fraction = kept.slice(kept.length - decimals);
  return sign + whole + (decimals > 0 ? '.' + fraction : '');
}

// The number texts of a document exactly as written, by "group.member".
function number_texts(body) {
  const texts = {};
  let group = null;
  for (const line of body.split('\n')) {
    const opener = /^ {2}"(\w+)": \{/.exec(line);
    if (opener) {
      group = opener[1];
      continue;
    }
    const member = /^ {4}"(\w+)": ([^,]+),?$/.exec(line);
    if (member && group) {
      texts[group + '.' + member[1]] = member[2];
    }
  }
  return texts;
}

async function get(url, signal) {
  const response = await fetch(url, { signal: signal, cache: 'no-store' });
  const body = await response.text();
  return { status: response.status, body: body };
}

function error_text(answer) {
  try {
    return JSON.parse(answer.body).error;
  } catch (ignored) {
    return 'The server answered ' + answer.status + '.';
  }
}

// ---- form ------------------------------------------------------------------

function range_text(option) {
  const parts = [];
  if (option.min !== null && option.max !== null) {
    parts.push(option.min === option.max ? 'only ' + option.min : option.min + ' to ' + option.max);
  }
  parts.push('preset ' + option.preset);
  return parts.join(', ') + (option.unit ? ' ' + option.unit : '');
}

function build_form() {
  const fields = by_id('option-fields');
  fields.textContent = '';
  for (const option of state.module.options) {
    const field = element('div', { class: 'field' });
    const id = 'option-' + option.name;
    field.appendChild(element('label', { for: id }, option.label));
    field.appendChild(element('span', { class: 'range', id: id + '-range' }, range_text(option)));
    const input = element('input', {
      id: id, name: option.name, type: 'text', inputmode: 'decimal', spellcheck: 'false',
      placeholder: String(option.preset), 'aria-describedby': id + '-range',
    });
    input.addEventListener('input', schedule);
    field.appendChild(input);
    fields.appendChild(field);
  }
  by_id('engine-line').textContent =
    state.module.name + ' · ' + state.module.propellants + ' · ' + state.module.cycle;
}

function select_module(key) {
  state.module = state.modules.find((m) => m.key === key) || state.modules[0];
  state.rows = {};
  for (const row of state.module.report) {
    state.rows[row.group + '.' + row.member] = row;
  }
  build_form();
  build_charts();
  state.have_result = false;
  by_id('report').textContent = '';
  schedule();
}

// The form as query words: the module, then every filled option.
function case_query() {
  const query = new URLSearchParams();
  query.append('engine', state.module.key);
  for (const option of state.module.options) {
    const value = by_id('option-' + option.name).value.trim();
    if (value !== '') {
      query.append(option.name, value);
    }
  }
  return query;
}

// The value that a curve's base case holds for an option: the form's, or the preset.
function current_value(name) {
  const option = state.module.options.find((o) => o.name === name);
  const text = option ? by_id('option-' + name).value.trim() : '';
  const value = Number(text);
  return text !== '' && Number.isFinite(value) ? value : option ? option.preset : NaN;
}

// ---- report ----------------------------------------------------------------

function show_report(document_text) {
  const parsed = JSON.parse(document_text);
  const texts = number_texts(document_text);
  const report = by_id('report');
  report.textContent = '';
  for (const group of groups) {
    const members = Object.keys(parsed[group] || {});
    if (members.length === 0) {
      continue;
    }
    const section = element('section', { class: 'panel group', 'aria-label': group_titles[group] });
    section.appendChild(element('h2', {}, group_titles[group]));
    const table = element('table');
    for (const column of ['tag-column', 'label-column', 'value-column', 'unit-column']) {
      table.appendChild(element('col', { class: column }));
    }
    for (const member of members) {
      const key = group + '.' + member;
      const row = state.rows[key] || { tag: '', label: member, unit: '', decimals: null };
      const tr = element('tr');
      const tag_cell = element('td');
      if (row.tag) {
        tag_cell.appendChild(element('span', { class: 'tag tag-' + row.tag }, row.tag));
      }
      tr.appendChild(tag_cell);
      tr.appendChild(element('td', { class: 'label' }, row.label));
      tr.appendChild(element('td', { class: 'value', 'data-member': key, 'data-value': texts[key] },
        fixed_from_text(texts[key], row.decimals)));
      tr.appendChild(element('td', { class: 'unit' }, row.unit));
      table.appendChild(tr);
    }
    section.appendChild(table);
    report.appendChild(section);
  }
}

function show_failure(message) {
  const alert = by_id('alert');
  alert.textContent = message;
  alert.hidden = false;
  by_id('report').classList.toggle('stale', state.have_result);
  by_id('charts').classList.toggle('stale', state.have_result);
  by_id('status').textContent = state.have_result ? 'Showing the last good result (stale).' : 'No result yet.';
}

function clear_failure() {
  by_id('alert').hidden = true;
  by_id('alert').textContent = '';
  by_id('report').classList.remove('stale');
  by_id('charts').classList.remove('stale');
}

// ---- curves ----------------------------------------------------------------

function member_title(key) {
  const row = state.rows[key];
  if (!row) {
    return key;
  }
  return row.label + (row.unit ? ' [' + row.unit + ']' : '');
}

function has_member(key) { return key in state.rows; }

function option_of(name) { return state.module.options.find((o) => o.name === name); }

// A span of an option to draw a curve over: its range where it has one,
// else around the current value.
function span_of(name, low_factor, high_factor) {
  const option = option_of(name);
  if (option.min !== null && option.max !== null) {
    return [option.min, option.max];
  }
  const value = current_value(name);
  return [value * low_factor, value * high_factor];
}

function chart_plans() {
  const plans = [];
  const throttle = option_of('throttle-pct');
  if (throttle && throttle.max > throttle.min) {
    plans.push({ kind: 'throttle', title: 'Throttle line', option: 'throttle-pct', x: 'operating.lambda_percent',
      span: span_of('throttle-pct'),
      members: ['calculated.p_c_MPa', 'calculated.F_SL_kN', 'calculated.I_s_SL_mps', 'calculated.I_s_v_mps'] });
  }
  const altitude = option_of('altitude-km');
  if (altitude && altitude.max > altitude.min) {
    plans.push({ kind: 'altitude', title: 'Altitude line', option: 'altitude-km', x: 'operating.h_km',
      span: span_of('altitude-km'), members: ['calculated.F_h_kN', 'calculated.I_s_h_mps'] });
  }
  if (option_of('epsilon')) {
    plans.push({ kind: 'epsilon', title: 'Area-ratio trade', option: 'epsilon', x: 'estimated.epsilon',
      span: span_of('epsilon', 0.5, 2.0),
      members: ['calculated.I_s_SL_mps', 'calculated.I_s_h_mps', 'calculated.I_s_v_mps'] });
  }
  if (option_of('k')) {
    plans.push({ kind: 'k', title: 'Mixture-ratio trade', option: 'k', x: 'estimated.K',
      span: span_of('k', 0.6, 1.4), members: ['calculated.I_s_h_mps', 'calculated.I_s_v_mps'],
      best: 'calculated.I_s_v_mps' });
  }
  for (const plan of plans) {
    plan.members = plan.members.filter(has_member);
  }
  return plans;
}

function build_charts() {
  for (const kind in state.charts) {
    state.charts[kind].chart.destroy();
  }
  state.charts = {};
  const box = by_id('charts');
  box.textContent = '';
  for (const plan of chart_plans()) {
    const card = element('section', { class: 'panel chart-card', 'aria-label': plan.title });
    card.appendChild(element('h3', {}, plan.title));
    const holder = element('div', { class: 'canvas-box' });
    const canvas = element('canvas', { 'data-chart': plan.kind, role: 'img', 'aria-label': plan.title });
    holder.appendChild(canvas);
    card.appendChild(holder);
    const actions = element('div', { class: 'actions' });
    const png = element('button', { type: 'button' }, 'PNG');
    png.addEventListener('click', () => save_png(plan.kind));
    const csv = element('a', { class: 'button', href: '#', download: plan.kind + '.csv' }, 'CSV');
    actions.appendChild(png);
    actions.appendChild(csv);
    card.appendChild(actions);
    box.appendChild(card);
    const chart = new Chart(canvas.getContext('2d'), {
      type: 'line',
      data: { datasets: [] },
      options: {
        animation: false, responsive: true, maintainAspectRatio: false, parsing: false, normalized: true,
        interaction: { mode: 'nearest', intersect: false },
        plugins: { legend: { labels: { boxWidth: 12, font: { size: 11 } } } },
        scales: { x: { type: 'linear', title: { display: true, text: member_title(plan.x) } } },
      },
    });
    state.charts[plan.kind] = { plan: plan, chart: chart, canvas: canvas, csv: csv };
  }
}

function save_png(kind) {
  const link = element('a', { href: state.charts[kind].canvas.toDataURL('image/png'), download: kind + '.png' });
  document.body.appendChild(link);
  link.click();
  link.remove();
}

// A round step (1, 2 or 5 times a power of ten, or 2.5) that covers the span
// in at most curve_points points.
function round_step(span) {
  const raw = span / (curve_points - 1);
  const power = Math.pow(10, Math.floor(Math.log10(raw)));
  for (const factor of [1, 2, 2.5, 5, 10]) {
    if (factor * power >= raw) {
      return factor * power;
    }
  }
  return 10 * power;
}

function round_to(value, step) { return Number((Math.round(value / step) * step).toPrecision(12)); }

function sweep_query(plan) {
  const query = case_query();
  query.delete(plan.option);
  const step = round_step(plan.span[1] - plan.span[0]);
  // The span's ends on the step's grid, inside a range the module enforces.
  const low = Math.max(plan.span[0], round_to(plan.span[0], step));
  const high = Math.min(plan.span[1], round_to(plan.span[1], step));
  query.append('vary', plan.option + ':' + low + ':' + high + ':' + step);
  return query;
}

function jsonl_documents(body) {
  const documents = [];
  for (const line of body.split('\n')) {
    if (line.trim() !== '') {
      const row = JSON.parse(line);
      documents.push(row.status === 'ok' ? row.document : null);
    }
  }
  return documents;
}

function value_at(doc, key) {
  const dot = key.indexOf('.');
  const group = doc[key.slice(0, dot)];
  return group ? group[key.slice(dot + 1)] : undefined;
}

// One y axis per unit: the first on the left, the others on the right.
function draw_curve(entry, documents, best) {
  const plan = entry.plan;
  const axes = { x: entry.chart.options.scales.x };
  const datasets = [];
  plan.members.forEach((member, index) => {
    const unit = state.rows[member].unit || '1';
    const axis = 'y_' + unit.replace(/[^A-Za-z0-9]/g, '_');
    if (!(axis in axes)) {
      const first = Object.keys(axes).length === 1;
      axes[axis] = { type: 'linear', position: first ? 'left' : 'right', grid: { drawOnChartArea: first },
        title: { display: true, text: unit } };
    }
    const points = [];
    for (const doc of documents) {
      if (doc) {
        points.push({ x: value_at(doc, plan.x), y: value_at(doc, member) });
      }
    }
    datasets.push({ label: member_title(member), data: points, yAxisID: axis, borderColor: palette[index],
      backgroundColor: palette[index], pointRadius: 0, borderWidth: 2 });
  });
  if (best) {
    const axis = datasets.find((d) => d.label === member_title(plan.best));
    datasets.push({ label: 'best K = ' + best.x.toFixed(3), data: [best], yAxisID: axis ? axis.yAxisID : 'y',
      showLine: false, pointRadius: 6, pointStyle: 'triangle', borderColor: '#000', backgroundColor: '#f1c40f' });
  }
  const xs = datasets.length > 0 ? datasets[0].data.map((point) => point.x) : [];
  if (xs.length > 0) {
    axes.x.min = Math.min.apply(null, xs);
    axes.x.max = Math.max.apply(null, xs);
  }
  entry.chart.options.scales = axes;
  entry.chart.data.datasets = datasets;
  entry.chart.update();
  entry.canvas.setAttribute('data-points', String(datasets.length > 0 ? datasets[0].data.length : 0));
}

async function update_curve(entry, generation, signal) {
  const query = sweep_query(entry.plan);
  const csv_query = new URLSearchParams(query);
  csv_query.append('format', 'csv');
  entry.csv.href = '/api/sweep?' + csv_query.toString();
  query.append('format', 'jsonl');
  const answer = await get('/api/sweep?' + query.toString(), signal);
  let best = null;
  if (answer.status === 200 && entry.plan.best) {
    const search = case_query();
    search.delete(entry.plan.option);
    search.append('maximize', entry.plan.best);
    search.append('over', entry.plan.option + ':' + entry.plan.span[0] + ':' + entry.plan.span[1]);
    search.append('format', 'jsonl');
    const found = await get('/api/sweep?' + search.toString(), signal);
    const documents = found.status === 200 ? jsonl_documents(found.body) : [];
    if (documents.length === 1 && documents[0]) {
      best = { x: value_at(documents[0], entry.plan.x), y: value_at(documents[0], entry.plan.best) };
    }
  }
  if (generation !== state.generation) {
    return;
  }
  if (answer.status !== 200) {
    entry.canvas.setAttribute('data-points', '0');
    return;
  }
  draw_curve(entry, jsonl_documents(answer.body), best);
}

// ---- recompute -------------------------------------------------------------

function schedule() {
  window.clearTimeout(state.timer);
  state.timer = window.setTimeout(recompute, recompute_delay_ms);
}

async function recompute() {
  state.generation += 1;
  const generation = state.generation;
  if (state.controller) {
    state.controller.abort();
  }
  state.controller = new AbortController();
  const signal = state.controller.signal;
  by_id('status').textContent = 'Computing…';
  const started = performance.now();
  let answer;
  try {
    answer = await get('/api/case?' + case_query().toString(), signal);
  } catch (failure) {
    if (generation === state.generation) {
      show_failure('The server cannot be reached.');
    }
    return;
  }
  if (generation !== state.generation) {
    return;
  }
  for (const option of state.module.options) {
    by_id('option-' + option.name).removeAttribute('aria-invalid');
  }
  if (answer.status !== 200) {
    const message = error_text(answer);
    const named = state.module.options.find((o) => message.indexOf(o.name) >= 0);
    if (named) {
      by_id('option-' + named.name).setAttribute('aria-invalid', 'true');
    }
    show_failure(message);
    return;
  }
  clear_failure();
  show_report(answer.body);
  state.have_result = true;
  const case_ms = performance.now() - started;
  by_id('status').textContent = 'Case computed in ' + case_ms.toFixed(0) + ' ms; drawing the curves…';
  try {
    await Promise.all(Object.values(state.charts).map((entry) => update_curve(entry, generation, signal)));
  } catch (failure) {
    return;
  }
  if (generation === state.generation) {
    by_id('status').textContent = 'Case and curves computed in ' + (performance.now() - started).toFixed(0) + ' ms.';
  }
}

async function start() {
  const answer = await get('/api/modules');
  if (answer.status !== 200) {
    show_failure(error_text(answer));
    return;
  }
  const catalogue = JSON.parse(answer.body);
  state.modules = catalogue.modules;
  by_id('version').textContent = 'lre-ui ' + catalogue.version;
  const select = by_id('engine');
  for (const module of state.modules) {
    select.appendChild(element('option', { value: module.key }, module.key + ' (' + module.name + ')'));
  }
  select.addEventListener('change', () => select_module(select.value));
  by_id('reset-button').addEventListener('click', () => select_module(select.value));
  select_module(state.modules[0].key);
}

start();
