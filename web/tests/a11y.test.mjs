// The page for every user: Help › Save Wire Trace hands over the trace, axe-core finds no
// serious or critical fault in the nine states a user meets, the curve editor works by keyboard
// alone, and the small faults of the page stay mended. The tests share one full-ESC page in turn.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { start, until, settle, openPage, openMenu, menuOf, customOf, openEditor, ROOT } from './browser.mjs';

const AXE = path.join(ROOT, 'web/node_modules/axe-core/axe.min.js');
let t, full, v1;

before(async () => {
  t = await start();
  full = await t.demo('full');
  v1 = await t.demo('v1');
});
after(async () => { await t.close(); });

const expanded = (page, sel, open) => page.waitForSelector(`${sel}[aria-expanded="${open}"]`);
const greyed = (page) => page.$$eval('[data-cmd="import"], [data-cmd="export"]', (bs) => bs.map((b) => b.disabled));

/** The serious and critical violations axe-core finds on the page as it stands. */
async function axeFaults(page, state) {
  if (!(await page.evaluate(() => 'axe' in window))) await page.addScriptTag({ path: AXE });
  await settle(page);
  const violations = await page.evaluate(async () => (await window.axe.run(document, { resultTypes: ['violations'] })).violations
    .map((v) => ({ id: v.id, impact: v.impact, nodes: v.nodes.map((n) => n.target.join(' ')) })));
  console.log(`axe ${state}: ${violations.map((v) => `${v.impact} ${v.id} (${v.nodes.length})`).join(', ') || 'none'}`);
  return violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
}

test('Help › Save Wire Trace downloads the trace the tool kept', async () => {
  await openMenu(full, 'Help');
  assert.equal(await full.$eval('[data-cmd="save-trace"]', (b) => b.textContent), 'Save Wire Trace…');
  await full.click('[data-cmd="save-trace"]');
  await full.waitForFunction(() => window.tessel.downloads.length === 1);
  const saved = await full.evaluate(() => window.tessel.downloads[0]);
  assert.equal(saved.name, 'tesselarc-trace.txt');
  const lines = Buffer.from(saved.bytes).toString('utf8').split('\n');
  assert.equal(lines[0], '# tesselarc wire trace 1 (tesselarc 1.0)');
  // The read that ran: the presence probe and its answer, then the identification.
  for (const line of [/^\d+ tx \[probe\] F9$/, /^\d+ rx \[probe\] D5 41$/, /^\d+ rx \[read 0\] 2A$/]) {
    assert.ok(lines.some((l) => line.test(l)), `${line} in\n${lines.slice(0, 12).join('\n')}`);
  }
});

test('axe-core finds no serious or critical fault in the nine states', async () => {
  const faults = {};
  const empty = await t.page('');
  faults.start = await axeFaults(empty, 'start');
  await empty.close();
  faults['v1 view'] = await axeFaults(v1, 'v1 view');

  const steps = {
    general: () => openPage(full, 2),
    'list open': async () => { await full.click('#v-2-2'); await expanded(full, '#v-2-2', true); },
    information: async () => { await full.keyboard.press('Escape'); await expanded(full, '#v-2-2', false); await openPage(full, 1); },
    data: () => openPage(full, 7),
    'boost editor': async () => { await openPage(full, 5); await openEditor(full, 5); },
    'save dialog': async () => {
      await full.click('.editor-buttons .accent');
      await until(full, (s) => !s.editor);
      await openMenu(full, 'File', 'export');
      await full.waitForSelector('#save[open]');
    },
    'menu open': async () => { await full.click('#save button[value="cancel"]'); await openMenu(full, 'Device'); },
  };
  for (const [state, step] of Object.entries(steps)) {
    await step();
    faults[state] = await axeFaults(full, state);
  }
  await full.click(`${menuOf('Device')} summary`);
  assert.equal(Object.keys(faults).length, 9);
  for (const [state, list] of Object.entries(faults)) assert.deepEqual(list, [], `${state}: ${JSON.stringify(list)}`);
});

test('a curve is drawn by keyboard alone and the tool keeps it', async () => {
  const page = full;
  const keys = async (...list) => { for (const k of list) await page.keyboard.press(k); };
  const shifted = async (...list) => { await page.keyboard.down('Shift'); await keys(...list); await page.keyboard.up('Shift'); };
  await openPage(page, 3);
  const [mode, custom] = await customOf(page);
  await page.focus(`#v-3-${mode}`);
  await keys('ArrowDown');
  await expanded(page, `#v-3-${mode}`, true);
  const selected = await page.$eval(`#page-area .list:not([hidden])`, (l) => [...l.children].findIndex((li) => li.classList.contains('active')));
  await keys(...Array(Math.abs(custom - selected)).fill(custom > selected ? 'ArrowDown' : 'ArrowUp'), 'Enter');
  await until(page, (s) => s.editor && s.editor.page === 3);
  await page.waitForFunction(() => document.activeElement && document.activeElement.matches('canvas.chart'));
  // RESET by Tab and Enter, then back to the chart.
  await keys('Tab', 'Enter');
  await until(page, (s) => s.editor.count === 'total: 02');
  await shifted('Tab');

  await keys('ArrowLeft', 'Insert');                   // (50, 50) after the first point
  await until(page, (s) => s.editor.position === 'x:50,y:50');
  await shifted('ArrowUp', 'ArrowUp', 'ArrowUp', 'ArrowUp', 'ArrowUp', 'ArrowLeft', 'ArrowLeft');
  await until(page, (s) => s.editor.position === 'x:48,y:55');
  await keys('+');                                     // halfway to (100, 100)
  await until(page, (s) => s.editor.position === 'x:74,y:77' && s.editor.count === 'total: 04');
  await keys('ArrowRight', 'Delete');                  // the end point stays
  await keys('ArrowLeft', 'ArrowLeft', 'Delete');      // (48, 55) goes
  const edited = await until(page, (s) => s.editor.count === 'total: 03');
  await keys('Enter');
  await until(page, (s) => !s.editor);

  // What the tool holds is what the editor shows when it opens again.
  const again = await openEditor(page, 3);
  const px = ([x, y]) => [Math.round((x * 452) / 100), Math.round(241 - (y * 241) / 100)];
  assert.deepEqual(again.editor.points, [[0, 0], [74, 77], [100, 100]].map(px));
  assert.deepEqual(again.editor.points, edited.editor.points);
  await page.click('.editor-buttons .accent');
  await until(page, (s) => !s.editor);
  assert.deepEqual(page.errors, []);
});

test('the boost editor shows its hint and labels each grid line with its units', async () => {
  await openPage(full, 5);
  await openEditor(full, 5);
  const seen = await full.evaluate(() => {
    const c = document.querySelector('canvas.chart').getBoundingClientRect();
    const mid = (e) => { const r = e.getBoundingClientRect(); return [r.left + r.width / 2 - c.left, r.top + r.height / 2 - c.top]; };
    const all = (q) => [...document.querySelectorAll(q)];
    return { hint: document.querySelector('#editor-hint').textContent, units: all('.axis-unit').map((e) => e.textContent),
      up: all('.y-labels span').map((e) => mid(e)[1]), across: all('.x-labels span').map((e) => [e.textContent, mid(e)[0]]), w: c.width, h: c.height };
  });
  await full.click('.editor-buttons .accent');
  await until(full, (s) => !s.editor);
  assert.match(seen.hint, /right click or long press deletes it/);
  assert.deepEqual(seen.units, ['rpm', 'DEG']);
  // The boost chart is 103 by 110 curve units: 100 % of the rpm range sits 10/110 below the top.
  for (const [i, y] of seen.up.entries()) assert.ok(Math.abs(y - seen.h * (1 - (i * 25) / 110)) < 2, `y label ${i} at ${y}`);
  assert.deepEqual(seen.across.map(([label]) => label), ['0', '8', '16', '24', '32', '40', '48', '56', '64']);
  for (const [i, [, x]] of seen.across.entries()) assert.ok(Math.abs(x - (seen.w * i * 12.5) / 103) < 2, `x label ${i} at ${x}`);
});

test('the small faults stay mended', async () => {
  // An unknown demo names the kinds there are instead of starting for ever; with no ESC, Import
  // and Export are greyed as on the desktop, and so they are for a V1-series ESC.
  const foo = await t.page('?demo=foo');
  assert.equal(await foo.$eval('#start-text', (e) => e.textContent),
    'No DemoMode "foo". The virtual devices: full, v1, v1-bec, hid-full, hid-v1, hid-v1-bec, hid-lcd.');
  assert.deepEqual(await greyed(foo), [true, true]);
  await foo.close();
  assert.deepEqual(await greyed(v1), [true, true]);
  assert.deepEqual(await greyed(full), [false, false]);
  assert.deepEqual(await v1.$$eval('.v1-buttons button', (bs) => bs.map((b) => b.textContent)),
    ['Read Settings', 'Send Settings', 'Update Firmware']);
  // The whole default Running Mode text shows, its "(*)" included.
  const running = await v1.$eval('#v1-0', (sel) => {
    const probe = document.body.appendChild(Object.assign(document.createElement('span'), { textContent: sel.options[1].text }));
    Object.assign(probe.style, { font: getComputedStyle(sel).font, position: 'absolute' });
    return { text: probe.textContent, need: probe.getBoundingClientRect().width, room: sel.clientWidth - 20 };  // the arrow
  });
  assert.equal(running.text, 'Forward with pause then Reverse(*)');
  assert.ok(running.need <= running.room, `needs ${running.need} px, has ${running.room}`);

  const overflowing = await full.$$eval('.page-button', (bs) => bs.filter((b) => !b.hidden)
    .filter((b) => b.querySelector('span').getBoundingClientRect().width > b.clientWidth - 4).map((b) => b.textContent));
  assert.deepEqual(overflowing, [], 'captions wider than their buttons');
  await openPage(full, 1);
  assert.equal(await full.$eval('#i-hardware', (e) => e.textContent), 'TURBO');
  await openPage(full, 7);
  const help = await full.$eval('.help', (e) => e.textContent);
  assert.equal(help.split('After you run a pack').length - 1, 1, 'the Data help repeats itself');

  // A list closes on Tab and on a click beside it; Escape closes a menu.
  await openPage(full, 2);
  for (const [list, close] of [['#v-2-2', () => full.keyboard.press('Tab')], ['#v-2-3', () => full.mouse.click(5, 300)]]) {
    await full.click(list);
    await expanded(full, list, true);
    await close();
    await expanded(full, list, false);
  }
  await openMenu(full, 'File');
  await full.keyboard.press('Escape');
  await full.waitForSelector(`${menuOf('File')}:not([open])`);

  // In the LCD program box's mode the information page has no SOFTWARE row.
  const lcd = await t.page('?demo=hid-lcd');
  await until(lcd, (s) => s.canLcd, 30000);
  await openMenu(lcd, 'Device', 'lcd-mode');
  await until(lcd, (s) => s.lcdBox);
  await openPage(lcd, 1);
  assert.equal(await lcd.$eval('#i-software', (e) => e.closest('.well').hidden), true);
  await lcd.close();
});
