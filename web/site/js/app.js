// The web edition's page: loads the WebAssembly tool, forwards the user's actions to it one at
// a time, answers its questions and file requests, and draws every snapshot it publishes.
// Every rule runs in the C++ engines; this file only draws and forwards.
// @ts-check
import createTessel from '../tesselarc.js';
import { SerialBackend, HidBackend, SERIAL_FILTERS, HID_FILTERS } from './devices.js';
import { chartKeyCommand, buildAxes, drawAxes } from './curve_keys.js';
import { initShare } from './share.js';

const BUTTONS = [
  { id: 1000, name: 'INFORMATION', glyph: '<circle cx="12" cy="12" r="9"/><path d="M12 11v6M12 7v1"/>' },
  { id: 1001, name: 'GENERAL', glyph: '<circle cx="12" cy="12" r="3"/><path d="M12 2v4M12 18v4M2 12h4M18 12h4"/>' },
  { id: 1002, name: 'THROTTLE', glyph: '<path d="M3 20C9 20 10 4 21 4"/>' },
  { id: 1003, name: 'BRAKE', glyph: '<circle cx="12" cy="12" r="8"/><path d="M8 12h8"/>' },
  { id: 1004, name: 'BOOST', glyph: '<path d="M4 20l6-8 4 4 6-12"/>' },
  { id: 1005, name: 'TURBO', glyph: '<path d="M13 2L4 14h7l-1 8 9-12h-7z"/>' },
  { id: 1006, name: 'DATA', glyph: '<path d="M4 20V10M10 20V4M16 20v-8M22 20H2"/>' },
  { id: 1007, name: 'APPLY', glyph: '<path d="M4 12l5 5L20 6"/>', action: true },
  { id: 1008, name: 'DEFAULT', glyph: '<path d="M4 12a8 8 0 1 0 3-6.2M4 4v4h4"/>', action: true },
];
const CHART_W = 453;
const CHART_H = 242;
/** How far from a point (css px) a finger still lands on it. */
const FINGER = 12;

/** What the tests and the benchmark read. */
const probe = {
  /** @type {any} */ state: null,
  ready: false,
  marks: /** @type {Record<string, number>} */ ({}),
  downloads: /** @type {{name: string, bytes: number[]}[]} */ ([]),
  received: () => '',
  clearReceived: () => {},
  suspend: (/** @type {number} */ n) => Promise.resolve(n),
  /** @type {string[]} */ asked: [],
};
Object.assign(window, { tessel: probe });

const $ = (/** @type {string} */ id) => /** @type {HTMLElement} */ (document.getElementById(id));
const el = (/** @type {string} */ tag, /** @type {Record<string, any>} */ props = {}, /** @type {any[]} */ ...children) => {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(props)) {
    if (k === 'class') e.className = v;
    else if (k === 'text') e.textContent = v;
    else if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
    else if (v !== undefined && v !== null && v !== false) e.setAttribute(k, v === true ? '' : v);
  }
  for (const c of children) if (c) e.append(c);
  return e;
};

const serial = new SerialBackend();
const hid = new HidBackend();
const params = new URLSearchParams(location.search);
const demo = params.get('demo');

// ---- questions, files and downloads the engine asks for ----

const ANSWER = { ok: 0, cancel: 1, yes: 2, no: 3 };
const BUTTON_SETS = [['ok'], ['ok', 'cancel'], ['yes', 'no'], ['yes', 'no', 'cancel'], ['yes', 'no', 'cancel']];
// The damaged-curve question names its answers.
const BUTTON_TEXTS = /** @type {Record<string, string>[]} */ ([{}, {}, {}, {}, { yes: 'Read again', no: 'Send anyway' }]);

/** @param {string} text @param {string} caption @param {number} buttons @param {string} [detail] */
function ask(text, caption, buttons, detail = '') {
  probe.asked.push(detail ? `${text}\n${detail}` : text);
  const dialog = /** @type {HTMLDialogElement} */ ($('ask'));
  $('ask-caption').textContent = caption;
  $('ask-text').textContent = text;
  // The reason under the box's own text ("Import file error!" and why).
  $('ask-detail').textContent = detail;
  $('ask-detail').hidden = !detail;
  const row = $('ask-buttons');
  const names = BUTTON_TEXTS[buttons] || {};
  row.replaceChildren(...(BUTTON_SETS[buttons] || BUTTON_SETS[0]).map((b, i) =>
    el('button', { value: b, class: i === 0 ? 'accent' : '', text: names[b] || (b === 'ok' ? 'OK' : b[0].toUpperCase() + b.slice(1)) })));
  dialog.returnValue = '';
  dialog.showModal();
  return new Promise((resolve) => {
    dialog.addEventListener('close', () => {
      const v = /** @type {keyof typeof ANSWER} */ (dialog.returnValue);
      // Closing the box counts as Cancel (or No where there is no Cancel).
      resolve(v in ANSWER ? ANSWER[v] : (buttons === 2 ? ANSWER.no : ANSWER.cancel));
    }, { once: true });
  });
}

/** The file chooser's accept list from a filter such as "config Files (*.xut)|*.xut;*.bin|...". @param {string} filter */
function acceptFor(filter) {
  const parts = filter.split('|');
  const patterns = parts.filter((_, i) => i % 2 === 1).flatMap((p) => p.split(';'));
  if (patterns.some((p) => p === '*.*')) return '';
  return patterns.map((p) => p.replace('*', '')).join(',');
}

/** @param {string} filter */
function pickFile(filter) {
  const input = /** @type {HTMLInputElement} */ ($('file-input'));
  input.value = '';
  input.accept = acceptFor(filter);
  return new Promise((resolve) => {
    const done = async () => {
      input.removeEventListener('change', done);
      input.removeEventListener('cancel', cancel);
      const f = input.files && input.files[0];
      if (!f) return resolve(null);
      resolve({ name: f.name, bytes: new Uint8Array(await f.arrayBuffer()) });
    };
    const cancel = () => { input.removeEventListener('change', done); resolve(null); };
    input.addEventListener('change', done);
    input.addEventListener('cancel', cancel, { once: true });
    input.click();
  });
}

/** @param {string} suggested */
function pickSaveName(suggested) {
  const dialog = /** @type {HTMLDialogElement} */ ($('save'));
  const name = /** @type {HTMLInputElement} */ ($('save-name'));
  name.value = suggested;
  dialog.returnValue = '';
  dialog.showModal();
  name.select();
  return new Promise((resolve) => {
    dialog.addEventListener('close', () => resolve(dialog.returnValue === 'ok' && name.value.trim() ? name.value.trim() : null), { once: true });
  });
}

/** @param {string} name @param {Uint8Array} bytes */
function deliver(name, bytes) {
  probe.downloads.push({ name, bytes: Array.from(bytes) });
  const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  const a = el('a', { href: url, download: name });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

/** @type {AudioContext|null} */
let audio = null;
function beep() {
  try {
    audio = audio || new AudioContext();
    const o = audio.createOscillator();
    const g = audio.createGain();
    g.gain.value = 0.05;
    o.frequency.value = 880;
    o.connect(g).connect(audio.destination);
    o.start();
    o.stop(audio.currentTime + 0.08);
  } catch (e) { /* no sound here */ }
}

let drawPending = false;
/** Modules that follow every snapshot (the setup link's compare view). @type {((s: any) => void)[]} */
const stateHooks = [];
/** @param {string} json */
function publish(json) {
  probe.state = JSON.parse(json);
  for (const hook of stateHooks) hook(probe.state);
  if (!drawPending) {
    drawPending = true;
    requestAnimationFrame(() => { drawPending = false; draw(probe.state); });
  }
}

// ---- the tool ----

const ui = { ask, pickFile, pickSaveName, deliver, beep, publish, picked: null };
const mod = await createTessel({ devices: { serial, hid }, ui });
const defs = JSON.parse(mod.UTF8ToString(mod._web_definitions()));
for (const b of document.querySelectorAll('[data-cmd="save-trace"]')) b.textContent = defs.saveWireTrace;
probe.received = () => mod.UTF8ToString(mod._web_virtual_received());
probe.clearReceived = () => mod._web_virtual_clear();
probe.silence = (/** @type {boolean} */ on) => mod._web_virtual_silence(on ? 1 : 0);
probe.suspend = (/** @type {number} */ n) => mod.ccall('web_bench_suspend', null, ['number'], [n], { async: true });

// One call into the tool at a time: a call that waits for a device or the user is suspended,
// and everything after it queues behind it, as the desktop's one thread does.
let chain = Promise.resolve();
let inFlight = 0;
let timer = 0;
/** Runs one call into the tool (the chain makes sure nothing else runs meanwhile).
 * @param {string} name @param {...(number|string)} args */
async function run(name, ...args) {
  inFlight++;
  try {
    await mod.ccall(name, 'number', args.map((a) => (typeof a === 'string' ? 'string' : 'number')), args, { async: true });
  } catch (e) {
    showFault(e);
  } finally {
    inFlight--;
  }
  schedule();
}

/** Queues a call behind every call before it. @param {string} name @param {...(number|string)} args */
function call(name, ...args) {
  chain = chain.then(() => run(name, ...args));
  return chain;
}

function schedule() {
  if (inFlight) return;
  clearTimeout(timer);
  const due = mod._web_next_due();
  if (due < 0) return;
  timer = window.setTimeout(() => call('web_run_due'), Math.max(0, due - performance.now()));
}

/** @param {any} e */
function showFault(e) {
  $('status-text').textContent = `The tool stopped: ${e && e.message ? e.message : e}`;
  console.error(e);
}

// Pointer moves while dragging: only the latest waits in the queue.
/** @type {[number, number]|null} */
let pendingMove = null;
/** @param {number} x @param {number} y */
function moveTo(x, y) {
  const queued = pendingMove !== null;
  pendingMove = [x, y];
  if (queued) return;
  chain = chain.then(() => {
    const m = pendingMove;
    pendingMove = null;
    if (m) return run('web_editor_mouse', 1, m[0], m[1]);
  });
}

// ---- drawing ----

const pageButtons = new Map();
for (const b of BUTTONS) {
  const button = el('button', {
    type: 'button', class: `page-button${b.action ? ' action' : ''}`, 'data-id': b.id, 'aria-label': b.name,
    onclick: () => call('web_press', b.id),
  });
  button.innerHTML = `<svg viewBox="0 0 24 24" aria-hidden="true">${b.glyph}</svg><span>${b.name}</span>`;
  pageButtons.set(b.id, button);
  $('page-buttons').append(button);
}

let view = '';
/** @type {Record<string, any>} */
let parts = {};

/** @param {any} s */
function viewFor(s) {
  if (!s) return 'start';
  if (s.deviceClass === 1 && s.connected) return 'v1';
  if (!s.pageShown || !(s.connected || s.lcdBox)) return 'start';
  if (s.editor) return `editor-${s.editor.page}`;
  // 240, 254 and 255 name no page: the window shows its start picture.
  return s.shownPage >= 1 && s.shownPage <= 7 ? `page-${s.shownPage}` : 'start';
}

/** @param {any} s */
function draw(s) {
  const v1 = s.deviceClass === 1 && s.connected;
  for (const b of BUTTONS) {
    const button = pageButtons.get(b.id);
    const page = b.id - 999;
    button.hidden = v1 || (!s.escControls && b.id !== 1000) || (s.lcdBox && b.id !== 1000);
    if (b.action) {
      button.classList.toggle('pressed', s.busyButton === (b.id === 1007 ? 8 : 9));
    } else {
      button.setAttribute('aria-pressed', String(s.pageShown && s.shownPage === page && viewFor(s) !== 'start'));
    }
  }
  const esc = $('esc-indicator');
  esc.textContent = s.escLabel || 'ESC';
  esc.className = `indicator ${s.lcdBox ? 'lcd' : s.connected ? 'detected' : 'absent'}`;
  const usb = $('usb-indicator');
  usb.textContent = s.usbLabel || 'USB';
  usb.className = `indicator ${s.adapterState ? 'open' : 'absent'}`;

  const next = viewFor(s);
  if (next !== view) {
    view = next;
    parts = {};
    $('page-area').replaceChildren(build(next, s));
  }
  update(next, s);

  const p = s.progress;
  $('progress').hidden = !p;
  if (p) {
    const percent = p.total ? Math.floor((p.done * 100) / p.total) : 0;
    $('progress-caption').textContent = p.caption;
    $('progress-bar').style.width = `${Math.min(100, percent)}%`;
    $('progress-percent').textContent = `${percent}%`;
  }
  $('status-text').textContent = s.status;
  document.title = s.title;
  $('status-text').classList.toggle('failure', !!s.failure);
  showNotice(s.notice);
  $('where').textContent = where(s);
  for (const b of document.querySelectorAll('[data-cmd="lcd-mode"]')) /** @type {HTMLButtonElement} */ (b).disabled = !s.canLcd;
  for (const b of document.querySelectorAll('[data-cmd="esc-mode"]')) /** @type {HTMLButtonElement} */ (b).disabled = !s.canEsc;
  for (const b of document.querySelectorAll('[data-cmd="import"], [data-cmd="export"]')) /** @type {HTMLButtonElement} */ (b).disabled = !s.canImportExport;
  $('window').setAttribute('aria-busy', String(!!s.transfer));
  if (next !== 'start' && !probe.marks.firstPage) probe.marks.firstPage = performance.now();
}

// A box that needs no answer and stops nothing (a failed transfer, an adapter the page may not
// open): each one once, over whatever runs.
let noticeShown = 0;
/** @param {{id: number, text: string}|null} n */
function showNotice(n) {
  if (!n || n.id === noticeShown) return;
  noticeShown = n.id;
  const dialog = /** @type {HTMLDialogElement} */ ($('notice'));
  $('notice-text').textContent = n.text;
  if (!dialog.open) dialog.show();
}

/** @param {any} s */
function where(s) {
  const kind = s.link === 2 ? `HID adapter ${s.adapterVersion}` : s.link === 1 ? 'serial adapter' : 'no adapter';
  return demo ? `DemoMode: ${demo} · ${kind}` : kind;
}

/** @param {any} s */
function startText(s) {
  // The tool says what the empty page area says; the page adds only what a browser lacks.
  if (!demo && !s.link && !('serial' in navigator) && !('hid' in navigator)) {
    return 'This browser has neither Web Serial nor WebHID: try the DemoMode menu, or Chromium.';
  }
  if (unknownDemo) return unknownDemo;
  if (!demo && !s.link) return `${s.hint}. Device › Connect… lets the page use one.`;
  return s.hint;
}

/** @param {string} v @param {any} s */
function build(v, s) {
  if (v === 'start') {
    parts.text = el('p', { id: 'start-text' });
    return el('div', { class: 'start' }, el('p', { class: 'start-title', text: 'Tessel Arc USB' }), parts.text);
  }
  if (v === 'v1') return buildV1(s);
  if (v.startsWith('editor-')) return buildEditor(s);
  const page = Number(v.slice(5));
  if (page === 1) return buildInfo();
  if (page === 7) return buildData();
  return buildPage(page);
}

/** @param {number} pageId */
function buildPage(pageId) {
  const def = defs.pages.find((/** @type {any} */ p) => p.id === pageId);
  parts.def = def;
  parts.values = [];
  parts.lists = [];
  const settings = el('div', { class: 'settings', role: 'group', 'aria-label': def.name });
  def.settings.forEach((/** @type {any} */ st, /** @type {number} */ i) => {
    const id = `v-${pageId}-${i}`;
    const value = el('button', {
      type: 'button', class: 'value', id, 'aria-haspopup': 'listbox', 'aria-expanded': 'false',
      onclick: () => call(parts.open === i ? 'web_close_list' : 'web_open_list', pageId, ...(parts.open === i ? [] : [i])),
      onkeydown: (/** @type {KeyboardEvent} */ e) => {
        if (e.key === 'ArrowDown' && parts.open !== i) { e.preventDefault(); call('web_open_list', pageId, i); }
      },
    });
    const list = el('ul', { class: 'list', role: 'listbox', tabindex: '0', 'aria-labelledby': `l-${pageId}-${i}`, hidden: true });
    st.options.forEach((/** @type {string} */ o, /** @type {number} */ row) => {
      list.append(el('li', { role: 'option', id: `o-${pageId}-${i}-${row}`, text: o,
        onclick: () => call('web_choose', pageId, i, row) }));
    });
    list.addEventListener('keydown', (e) => listKeys(e, list, pageId, i));
    parts.values.push(value);
    parts.lists.push(list);
    settings.append(el('label', { class: 'setting-label', id: `l-${pageId}-${i}`, for: id, text: st.caption }),
      el('div', { class: 'well' }, value, list));
  });
  parts.help = el('div', { class: 'help', role: 'note', 'aria-label': 'Help', tabindex: '0' });
  return el('div', { class: 'page' }, el('h2', { class: 'page-title', text: def.title }), settings, parts.help);
}

/** Keyboard in an open list: arrows move, Enter or Space chooses, Escape closes.
 * @param {KeyboardEvent} e @param {HTMLElement} list @param {number} pageId @param {number} i */
function listKeys(e, list, pageId, i) {
  const items = [...list.children];
  let at = items.findIndex((li) => li.classList.contains('active'));
  if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
    e.preventDefault();
    at = Math.max(0, Math.min(items.length - 1, at + (e.key === 'ArrowDown' ? 1 : -1)));
    items.forEach((li, k) => li.classList.toggle('active', k === at));
    list.setAttribute('aria-activedescendant', items[at].id);
    items[at].scrollIntoView({ block: 'nearest' });
  } else if (e.key === 'Enter' || e.key === ' ') {
    e.preventDefault();
    if (at >= 0) call('web_choose', pageId, i, at).then(() => parts.values && parts.values[i] && parts.values[i].focus());
  } else if (e.key === 'Escape') {
    e.preventDefault();
    call('web_close_list', pageId).then(() => parts.values && parts.values[i] && parts.values[i].focus());
  } else if (e.key === 'Tab') {
    // Focus goes on to the next control; the list does not stay open behind it.
    call('web_close_list', pageId);
  }
}

function buildData() {
  parts.values = [];
  const settings = el('div', { class: 'settings data' });
  const helpOf = (/** @type {number} */ i) => defs.data[i].help.replace(/\r\n/g, '\n');
  defs.data.forEach((/** @type {any} */ d, /** @type {number} */ i) => {
    // Focus shows the value's own help, as a click on the desktop's value box does.
    const value = el('output', { class: 'value', id: `d-${i}`, tabindex: '0', onfocus: () => { parts.help.textContent = helpOf(i); } });
    parts.values.push(value);
    settings.append(el('label', { class: 'setting-label', for: `d-${i}`, text: d.caption }), el('div', { class: 'well' }, value));
  });
  parts.help = el('div', { class: 'help', role: 'note', 'aria-label': 'Help', tabindex: '0', text: helpOf(0) });
  return el('div', { class: 'page' }, el('h2', { class: 'page-title', text: 'DATA' }), settings, parts.help);
}

function buildInfo() {
  const field = (/** @type {string} */ label, /** @type {string} */ key) => {
    parts[key] = el('output', { class: 'value', id: `i-${key}` });
    return [el('label', { class: 'setting-label', for: `i-${key}`, text: label }), el('div', { class: 'well' }, parts[key])];
  };
  parts.updata = el('button', { type: 'button', class: 'flat accent', text: 'UpData', onclick: () => call('web_updata') });
  const software = field('SOFTWARE', 'software');
  parts.softwareRow = software;
  const settings = el('div', { class: 'settings' }, ...field('DEVICE', 'device'), ...field('HARDWARE', 'hardware'), ...software);
  parts.help = el('div', { class: 'help', role: 'note', 'aria-label': 'Help', tabindex: '0',
    text: 'UpData sends a firmware file to the connected device. The file is checked before anything is sent; do not pull the plug while it runs.' });
  return el('div', { class: 'page' }, el('h2', { class: 'page-title', text: 'INFORMATION' }),
    el('div', {}, settings, el('div', { class: 'info-buttons', style: 'margin-top:18px' }, parts.updata)), parts.help);
}

/** @param {any} s */
function buildEditor(s) {
  const canvas = /** @type {HTMLCanvasElement} */ (el('canvas', { class: 'chart', width: CHART_W, height: CHART_H, tabindex: '0',
    role: 'application', 'aria-roledescription': 'curve chart', 'aria-label': 'Curve chart', 'aria-describedby': 'editor-hint editor-keys' }));
  // A fingertip covers more than a grab reaches: a touch within FINGER css px of a point lands
  // on the point itself, and the drag that follows keeps that offset.
  let lift = [0, 0];
  const at = (/** @type {PointerEvent} */ e) => {
    const r = canvas.getBoundingClientRect();
    return [Math.round(((e.clientX - r.left) * CHART_W) / r.width) + lift[0], Math.round(((e.clientY - r.top) * CHART_H) / r.height) + lift[1]];
  };
  const touchAt = (/** @type {PointerEvent} */ e) => {
    lift = [0, 0];
    const [x, y] = at(e);
    const pts = (e.pointerType === 'touch' && probe.state && probe.state.editor && probe.state.editor.points) || [];
    const r = canvas.getBoundingClientRect();
    let best = FINGER * FINGER;
    for (let i = 1; i + 1 < pts.length; i++) {
      const dx = ((pts[i][0] - x) * r.width) / CHART_W;
      const dy = ((pts[i][1] - y) * r.height) / CHART_H;
      if (dx * dx + dy * dy <= best) { best = dx * dx + dy * dy; lift = [pts[i][0] - x, pts[i][1] - y]; }
    }
    return [x + lift[0], y + lift[1]];
  };
  let press = 0;
  canvas.addEventListener('contextmenu', (e) => e.preventDefault());
  canvas.addEventListener('pointerdown', (e) => {
    const [x, y] = touchAt(e);
    canvas.setPointerCapture(e.pointerId);
    if (e.button === 2) { call('web_editor_mouse', 3, x, y); return; }
    call('web_editor_mouse', 0, x, y);
    if (e.pointerType !== 'mouse') {
      // A long press on a touch screen is the right button.
      clearTimeout(press);
      press = window.setTimeout(() => { press = 0; call('web_editor_mouse', 2, x, y).then(() => call('web_editor_mouse', 3, x, y)); }, 650);
    }
  });
  canvas.addEventListener('pointermove', (e) => {
    if (!canvas.hasPointerCapture(e.pointerId)) return;
    if (press && e.pointerType !== 'mouse') { clearTimeout(press); press = 0; }
    const [x, y] = at(e);
    moveTo(x, y);
  });
  const up = (/** @type {PointerEvent} */ e) => {
    if (press) { clearTimeout(press); press = 0; }
    const [x, y] = at(e);
    lift = [0, 0];
    if (e.button !== 2) call('web_editor_mouse', 2, x, y);
  };
  canvas.addEventListener('pointerup', up);
  canvas.addEventListener('pointercancel', up);
  canvas.addEventListener('keydown', (e) => {
    if (e.key === 'Enter') { e.preventDefault(); call('web_editor_button', 0); }
    if (e.key === 'Escape') { e.preventDefault(); call('web_editor_button', 1); }
    const key = chartKeyCommand(e);
    if (key !== null) { e.preventDefault(); call('web_editor_key', key); }
  });
  parts.canvas = canvas;
  parts.axes = buildAxes();
  parts.count = el('output', { class: 'readout' });
  parts.position = el('output', { class: 'readout' });
  const names = ['THROTTLE CURVE', 'BRAKE CURVE', 'BOOST CURVE'];
  setTimeout(() => canvas.focus(), 0);
  const a = parts.axes;
  return el('div', { class: 'editor' },
    el('div', { class: 'editor-head' },
      el('h2', { class: 'page-title', text: names[s.editor.kind] }),
      el('p', { class: 'editor-hint', id: 'editor-hint', text: defs.editorHint }),
      el('p', { class: 'editor-hint', id: 'editor-keys', text: defs.editorKeysHint })),
    el('div', { class: 'chart-wrap', 'aria-hidden': 'false' }, a.upUnit, el('span'), el('span'), a.up, canvas, el('span'), el('span'), a.across, a.acrossUnit),
    el('div', { class: 'readouts' }, parts.count, parts.position),
    el('div', { class: 'editor-buttons' },
      el('button', { type: 'button', class: 'flat', text: 'RESET', onclick: () => call('web_editor_button', 2) }),
      el('button', { type: 'button', class: 'flat', text: 'CANCEL', onclick: () => call('web_editor_button', 1) }),
      el('button', { type: 'button', class: 'flat accent', text: 'OK', onclick: () => call('web_editor_button', 0) })));
}

/** @param {any} s */
function buildV1(s) {
  parts.selects = [];
  parts.rows = [];
  const grid = el('div', { class: 'v1', role: 'group', 'aria-label': 'V1-series ESC' });
  defs.v1.forEach((/** @type {any} */ d, /** @type {number} */ i) => {
    const select = /** @type {HTMLSelectElement} */ (el('select', { id: `v1-${i}`, onchange: () => call('web_v1_choose', i, select.selectedIndex) }));
    d.options.forEach((/** @type {string} */ o) => select.append(el('option', { text: o })));
    const label = el('label', { for: `v1-${i}`, text: d.label });
    parts.selects.push(select);
    parts.rows.push([label, select]);
    grid.append(label, select);
  });
  void s;
  // Read Settings, Send Settings, Update Firmware (the binding's 0, 1 and 3).
  const buttons = el('div', { class: 'v1-buttons' },
    ...defs.v1Buttons.map((/** @type {string} */ t, /** @type {number} */ k) =>
      el('button', { type: 'button', class: `flat${k === 1 ? ' accent' : ''}`, text: t, onclick: () => call('web_v1_button', k === 2 ? 3 : k) })));
  // The dialog's own line ("Esc Sending......", "Send Ok"), as on the desktop.
  parts.v1Status = el('p', { class: 'v1-status', role: 'status' });
  return el('div', { class: 'page' }, el('h2', { class: 'page-title', text: 'V1 SERIES ESC' }),
    el('div', {}, grid, el('div', { style: 'margin-top:18px' }, buttons), parts.v1Status),
    el('div', { class: 'help', role: 'note', 'aria-label': 'Help', tabindex: '0',
      text: `Pick the settings, then ${defs.v1Buttons[1]}. ${defs.v1Buttons[0]} fetches what the ESC holds; Device › Reset Default restores its factory settings.` }));
}

/** @param {string} v @param {any} s */
function update(v, s) {
  if (v === 'start') { parts.text.textContent = startText(s); return; }
  if (v === 'v1') {
    const bec = s.v1Variant === 11;
    defs.v1.forEach((/** @type {any} */ d, /** @type {number} */ i) => {
      const sel = parts.selects[i];
      // A value no option names shows as an empty list.
      if (document.activeElement !== sel) sel.selectedIndex = s.v1[i] >= 0 && s.v1[i] < d.options.length ? s.v1[i] : -1;
      for (const e of parts.rows[i]) e.hidden = d.becOnly && !bec;
    });
    parts.v1Status.textContent = s.v1Status;
    return;
  }
  if (v.startsWith('editor-')) { drawEditor(s.editor); return; }
  const page = Number(v.slice(5));
  if (page === 1) {
    parts.device.textContent = s.info.device;
    parts.hardware.textContent = s.info.hardware;
    parts.software.textContent = s.info.software;
    for (const e of parts.softwareRow) e.hidden = !s.info.softwareField;
    return;
  }
  if (page === 7) { s.data.forEach((/** @type {string} */ t, /** @type {number} */ i) => { parts.values[i].textContent = t; }); return; }
  const ps = s.pages.find((/** @type {any} */ p) => p.id === page);
  const def = parts.def;
  parts.open = ps.open;
  def.settings.forEach((/** @type {any} */ st, /** @type {number} */ i) => {
    const value = parts.values[i];
    value.textContent = st.options[ps.sel[i]] ?? '';
    value.disabled = !ps.en[i];
    value.title = ps.why[i] ?? '';
    value.setAttribute('aria-expanded', String(ps.open === i));
    const list = parts.lists[i];
    const wasHidden = list.hidden;
    list.hidden = ps.open !== i;
    [...list.children].forEach((li, row) => {
      li.setAttribute('aria-selected', String(row === ps.sel[i]));
      if (wasHidden) li.classList.toggle('active', row === ps.sel[i]);
    });
    if (!list.hidden && wasHidden) {
      const cur = list.children[ps.sel[i]];
      if (cur) { list.setAttribute('aria-activedescendant', cur.id); cur.scrollIntoView({ block: 'center' }); }
      list.focus();
    }
  });
  const helpText = ps.help >= 0 ? def.settings[ps.help].help.replace(/\r\n/g, '\n') : '';
  if (parts.help.textContent !== helpText) { parts.help.textContent = helpText; parts.help.scrollTop = 0; }
}

/** The grid and the curve: black, grid lines RGB(0, 128, 67), points blue, line green. @param {any} ed */
function drawEditor(ed) {
  const canvas = /** @type {HTMLCanvasElement} */ (parts.canvas);
  const g = /** @type {CanvasRenderingContext2D} */ (canvas.getContext('2d'));
  const boost = ed.kind === 2;
  const across = boost ? 103 : 100;
  const up = boost ? 110 : 100;
  const w = CHART_W - 1;
  const h = CHART_H - 1;
  g.fillStyle = '#000';
  g.fillRect(0, 0, CHART_W, CHART_H);
  g.strokeStyle = 'rgb(0,128,67)';
  g.lineWidth = 1;
  g.beginPath();
  for (let u = 0; u <= across; u += 12.5) { const x = Math.round((u * w) / across) + 0.5; g.moveTo(x, 0); g.lineTo(x, CHART_H); }
  for (let u = 0; u <= up; u += 25) { const y = Math.round(h - (u * h) / up) + 0.5; g.moveTo(0, y); g.lineTo(CHART_W, y); }
  g.stroke();
  const pts = ed.points;
  // Points stay 6 px or more on screen however small the chart is drawn; on a touch screen a
  // ring shows what a finger reaches.
  const scale = CHART_W / (canvas.getBoundingClientRect().width || CHART_W);
  const half = Math.max(3, 3 * scale);
  g.fillStyle = 'rgb(0,0,250)';
  for (let i = 1; i + 1 < pts.length; i++) g.fillRect(pts[i][0] - half, pts[i][1] - half, 2 * half, 2 * half);
  if (matchMedia('(pointer: coarse)').matches) {
    g.strokeStyle = 'rgba(80,120,255,0.55)';
    for (let i = 1; i + 1 < pts.length; i++) {
      g.beginPath();
      g.arc(pts[i][0], pts[i][1], FINGER * scale, 0, 2 * Math.PI);
      g.stroke();
    }
  }
  g.strokeStyle = 'rgb(0,250,0)';
  g.beginPath();
  pts.forEach((/** @type {number[]} */ p, /** @type {number} */ i) => (i ? g.lineTo(p[0] + 0.5, p[1] + 0.5) : g.moveTo(p[0] + 0.5, p[1] + 0.5)));
  g.stroke();
  parts.count.textContent = ed.count;
  parts.position.textContent = ed.position;
  drawAxes(parts.axes, ed, across, up);
}

// ---- menus and devices ----

for (const b of document.querySelectorAll('[data-cmd]')) {
  b.addEventListener('click', () => {
    const cmd = b.getAttribute('data-cmd');
    /** @type {HTMLDetailsElement|null} */ (b.closest('details'))?.removeAttribute('open');
    if (cmd === 'import') call('web_import');
    if (cmd === 'export') call('web_export');
    if (cmd === 'reset-default') call('web_reset_default');
    if (cmd === 'lcd-mode') call('web_lcd_mode', 1);
    if (cmd === 'esc-mode') call('web_lcd_mode', 0);
    if (cmd === 'connect-serial') connectSerial();
    if (cmd === 'connect-hid') connectHid();
    if (cmd === 'save-trace') call('web_save_wire_trace');
  });
}
document.addEventListener('click', (e) => {
  const target = /** @type {Element} */ (e.target);
  for (const d of document.querySelectorAll('details.menu[open]')) if (!d.contains(target)) d.removeAttribute('open');
  // A click beside the open list closes it, as a click on the desktop's page background does.
  if (parts.def && parts.open >= 0 && !(target instanceof Element && target.closest('.well'))) call('web_close_list', parts.def.id);
});
document.addEventListener('keydown', (e) => {
  if (e.key !== 'Escape') return;
  for (const d of document.querySelectorAll('details.menu[open]')) {
    d.removeAttribute('open');
    /** @type {HTMLElement} */ (d.querySelector('summary')).focus();
  }
});
// A DemoMode link leaves the device: with changes not yet sent, the tool's question comes first.
for (const link of document.querySelectorAll('.menu-items a[href^="?"]')) {
  link.addEventListener('click', async (e) => {
    const q = probe.state && probe.state.leave;
    if (!q) return;
    e.preventDefault();
    if ((await ask(q.text, q.caption, 1, q.detail)) === ANSWER.ok) location.href = /** @type {HTMLAnchorElement} */ (link).href;
  });
}
// Closing or reloading the page with changes unsent: the browser asks in its own words.
window.addEventListener('beforeunload', (e) => {
  if (probe.state && probe.state.unsent > 0) e.preventDefault();
});

async function connectSerial() {
  const nav = /** @type {any} */ (navigator);
  if (!nav.serial) return ask('This browser has no Web Serial: use Chromium or Chrome.', 'Connect', 0);
  if (demo) { location.search = ''; return; }
  try {
    const port = await nav.serial.requestPort({ filters: SERIAL_FILTERS });
    serial.use(port);
    call('web_use_serial', 'webserial');
  } catch (e) { /* chooser closed */ }
}

async function connectHid() {
  const nav = /** @type {any} */ (navigator);
  if (!nav.hid) return ask('This browser has no WebHID: use Chromium or Chrome.', 'Connect', 0);
  if (demo) { location.search = ''; return; }
  try {
    await nav.hid.requestDevice({ filters: HID_FILTERS });
    await refreshHid(true);
  } catch (e) { /* chooser closed */ }
}

/** @param {boolean} arrived */
async function refreshHid(arrived) {
  const nav = /** @type {any} */ (navigator);
  const list = (await nav.hid.getDevices()).filter((/** @type {any} */ d) => d.vendorId === 0x10c4 && d.productId === 0x8468);
  const before = hid.devices;
  hid.setDevices(list);
  if (arrived) call('web_hid_event', 1, '');
  for (const [i, d] of before.entries()) if (!list.includes(d)) call('web_hid_event', 0, `webhid:${i}`);
}

// ---- start ----

// The demo kinds in the core's order: serial ones number 1.. on the serial side, HID ones on the HID side.
const kinds = defs.demoKinds.filter((/** @type {any} */ k) => demo && k.hid === demo.startsWith('hid-'));
const demoIndex = kinds.findIndex((/** @type {any} */ k) => k.name === demo);
const unknownDemo = demo !== null && demoIndex < 0 ? mod.ccall('web_unknown_demo', 'string', ['string'], [demo]) : '';
const serialMode = demo === null ? 0 : demoIndex >= 0 && !kinds[demoIndex].hid ? demoIndex + 1 : -1;
const hidMode = demo === null ? 0 : demoIndex >= 0 && kinds[demoIndex].hid ? demoIndex + 1 : -1;
// Each step of the start in its own task, so that the page answers in between.
const breathe = () => new Promise((resolve) => setTimeout(resolve, 0));
await breathe();
mod._web_init(serialMode, hidMode);
const nav = /** @type {any} */ (navigator);
if (!demo && nav.serial) {
  const granted = (await nav.serial.getPorts()).filter((/** @type {any} */ p) => {
    const info = p.getInfo();
    return SERIAL_FILTERS.some((f) => f.usbVendorId === info.usbVendorId && f.usbProductId === info.usbProductId);
  });
  if (granted.length) { serial.use(granted[0]); call('web_use_serial', 'webserial'); }
  nav.serial.addEventListener('disconnect', (/** @type {any} */ e) => { if (e.target === serial.port) serial.close(); });
}
if (!demo && nav.hid) {
  await refreshHid(false);
  nav.hid.addEventListener('connect', () => refreshHid(true));
  nav.hid.addEventListener('disconnect', () => refreshHid(false));
}
await breathe();
stateHooks.push(initShare({ mod, call, probe }));
await call('web_start');
probe.marks.started = performance.now();
probe.ready = true;
