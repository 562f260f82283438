// File › Share Setup and the setup links the page is opened with. A link carries the setup in
// its fragment (after '#'), which the browser never sends to the server; the tool makes and
// reads it (web_share_link, web_open_link), this file only moves it between the address bar,
// the clipboard and the compare view.
// @ts-check

const FRAGMENT = '#setup=';

/**
 * @param {{ mod: any, call: (name: string, ...args: (number|string)[]) => Promise<void>,
 *           probe: any }} tool
 * @returns {(state: any) => void} what the page calls with every snapshot
 */
export function initShare({ mod, call, probe }) {
  // Taken once, then cleared from the address bar, so that a reload does not take it again.
  /** @type {string|null} */
  let waiting = null;
  if (location.hash.startsWith(FRAGMENT)) {
    waiting = location.hash;
    history.replaceState(null, '', location.pathname + location.search);
  }
  let opening = false;

  const view = dialog('link-view', 'Setup link');
  const summary = el('p', 'ask-text');
  const table = el('table', '');
  table.style.cssText = 'border-collapse: collapse; margin: 8px 0; font-size: 0.9em; max-width: 80vw;';
  const apply = button('Apply', 'accent');
  const close = button('Close', '');
  view.form.append(summary, table, row(apply, close));
  apply.addEventListener('click', async (e) => {
    e.preventDefault();
    apply.disabled = true;
    await call('web_apply_link');
    if (!probe.state.setupLink) view.dialog.close();
    else apply.disabled = false;
  });
  close.addEventListener('click', (e) => {
    e.preventDefault();
    view.dialog.close();
  });
  // However it closes (Close, Escape), the link is dropped; snapshots meanwhile do not bring
  // the view back.
  let closing = false;
  view.dialog.addEventListener('close', () => {
    waiting = null;
    if (!probe.state || !probe.state.setupLink) return;
    closing = true;
    call('web_close_link').then(() => { closing = false; });
  });

  let shown = '';
  /** @param {any} link */
  function show(link) {
    // Drawn again only when it changed, so that a tick does not reset what the user scrolled.
    const now = JSON.stringify(link);
    if (now === shown && view.dialog.open) return;
    shown = now;
    summary.textContent = link.refusal || link.summary;
    summary.classList.toggle('failure', !!link.refusal);
    table.replaceChildren();
    if (!link.refusal && link.rows.length) {
      table.append(line('th', ['Setting', 'This ESC', 'Link']));
      for (const r of link.rows) table.append(line('td', [r.label, r.esc, r.link]));
    }
    apply.disabled = !!link.refusal;
    apply.hidden = !!link.refusal;
    if (!view.dialog.open) view.dialog.showModal();
  }

  const shared = dialog('share-view', 'Share Setup');
  const said = el('p', 'ask-text');
  const field = /** @type {HTMLInputElement} */ (document.createElement('input'));
  field.id = 'share-link';
  field.readOnly = true;
  field.spellcheck = false;
  field.style.cssText = 'width: min(60ch, 80vw); font-family: monospace;';
  const done = button('OK', 'accent');
  shared.form.append(said, field, row(done));

  async function share() {
    await call('web_share_link', location.origin + location.pathname);
    const link = mod.UTF8ToString(mod._web_shared_link());
    if (!link) return;
    probe.shared = link;
    let copied = false;
    try {
      await navigator.clipboard.writeText(link);
      copied = true;
    } catch (e) { /* no clipboard here: the field below offers the link to copy */ }
    said.textContent = copied
      ? 'A link to these settings is on the clipboard. Whoever opens it sees them beside their own ESC\'s; the settings travel in the link itself, no server sees them.'
      : 'Copy this link to share these settings. Whoever opens it sees them beside their own ESC\'s; the settings travel in the link itself, no server sees them.';
    field.value = link;
    shared.dialog.showModal();
    field.select();
  }
  for (const b of document.querySelectorAll('[data-cmd="share"]')) b.addEventListener('click', share);

  return (state) => {
    for (const b of document.querySelectorAll('[data-cmd="share"]')) {
      /** @type {HTMLButtonElement} */ (b).disabled = !(state.connected && !state.lcdBox);
    }
    if (state.setupLink && !closing) show(state.setupLink);
    // A link opened with the page shows at once (the tool says what it waits for) and is
    // compared again once the ESC's first read has ended.
    const ready = state.connected && !state.busy && !state.lcdBox;
    if (waiting && !opening && (ready || !state.setupLink)) {
      const link = waiting;
      if (ready) waiting = null;
      opening = true;
      call('web_open_link', link).then(() => { opening = false; });
    }
  };
}

/** @param {string} id @param {string} caption */
function dialog(id, caption) {
  const d = /** @type {HTMLDialogElement} */ (document.createElement('dialog'));
  d.id = id;
  d.className = 'ask';
  const form = document.createElement('form');
  form.method = 'dialog';
  form.append(el('p', 'ask-caption', caption));
  d.append(form);
  document.body.append(d);
  return { dialog: d, form };
}

/** @param {string} tag @param {string} cls @param {string} [text] */
function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

/** @param {string} text @param {string} cls */
function button(text, cls) {
  const b = /** @type {HTMLButtonElement} */ (el('button', cls, text));
  b.value = text.toLowerCase();
  return b;
}

/** @param {...HTMLElement} buttons */
function row(...buttons) {
  const r = el('div', 'ask-buttons');
  r.append(...buttons);
  return r;
}

/** @param {string} cell @param {string[]} texts */
function line(cell, texts) {
  const tr = document.createElement('tr');
  for (const t of texts) {
    const c = el(cell, '', t);
    c.style.cssText = 'text-align: left; padding: 2px 8px; border-bottom: 1px solid var(--line); overflow-wrap: anywhere;';
    tr.append(c);
  }
  return tr;
}
