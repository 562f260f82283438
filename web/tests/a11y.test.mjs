// The page for every user: axe-core finds no serious or critical fault in the nine states a
// user meets, the curve editor works by keyboard alone, the small faults of the page stay
// mended, and Help › Save Wire Trace hands over the trace.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { start, until, readDone, ROOT } from './browser.mjs';

const AXE = path.join(ROOT, 'web/node_modules/axe-core/axe.min.js');
let t;

before(async () => { t = await start(); });
after(async () => { await t.close(); });

const settle = (page) => page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
const press = async (page, id) => {
  await page.click(`[data-id="${id}"]`);
  await until(page, `(s) => s.shownPage === ${id - 999} && s.pageShown`);
  await settle(page);
};

/** Setting index and row of "Custom" on the shown page. */
const customOf = (page) => page.$$eval('.settings .well', (wells) => {
  for (const [i, w] of wells.entries()) {
    const row = [...w.querySelectorAll('li')].findIndex((li) => li.textContent === 'Custom');
    if (row >= 0) return [i, row];
  }
  return [-1, -1];
});

/** The serious and critical violations axe-core finds on the page as it stands. */
async function axeFaults(page, state) {
  if (!(await page.evaluate(() => 'axe' in window))) await page.addScriptTag({ path: AXE });
  await settle(page);
  const violations = await page.evaluate(async () => (await window.axe.run(document, { resultTypes: ['violations'] })).violations
    .map((v) => ({ id: v.id, impact: v.impact, nodes: v.nodes.map((n) => n.target.join(' ')) })));
  for (const v of violations) console.log(`axe ${state}: ${v.impact} ${v.id} (${v.nodes.length}) ${v.nodes.slice(0, 3).join(', ')}`);
  if (!violations.length) console.log(`axe ${state}: none`);
  return violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
}

test('axe-core finds no serious or critical fault in the nine states', async () => {
  const faults = {};
  const check = async (page, state) => { faults[state] = await axeFaults(page, state); };

  const empty = await t.page('');
  await check(empty, 'start');
  await empty.close();

  const page = await t.page('?demo=full');
  await until(page, readDone);
  await press(page, 1001);
  await check(page, 'general');
  await page.click('#v-2-2');
  await page.waitForSelector('#v-2-2[aria-expanded="true"]');
  await check(page, 'list open');
  await page.keyboard.press('Escape');
  await page.waitForSelector('#v-2-2[aria-expanded="false"]');
  await press(page, 1000);
  await check(page, 'information');
  await press(page, 1006);
  await check(page, 'data');

  await press(page, 1004);
  const [mode, custom] = await customOf(page);
  await page.click(`#v-5-${mode}`);
  await page.click(`#o-5-${mode}-${custom}`);
  await until(page, (s) => s.editor && s.editor.page === 5);
  await check(page, 'boost editor');
  await page.click('.editor-buttons .accent');
  await until(page, (s) => !s.editor);

  await page.click('details.menu:nth-of-type(1) summary');
  await page.click('[data-cmd="export"]');
  await page.waitForSelector('#save[open]');
  await check(page, 'save dialog');
  await page.click('#save button[value="cancel"]');
  await page.click('details.menu:nth-of-type(2) summary');
  await page.waitForSelector('details.menu:nth-of-type(2)[open]');
  await check(page, 'menu open');
  await page.close();

  const v1 = await t.page('?demo=v1');
  await until(v1, readDone);
  await check(v1, 'v1 view');
  await v1.close();

  assert.equal(Object.keys(faults).length, 9);
  for (const [state, list] of Object.entries(faults)) assert.deepEqual(list, [], `${state}: ${JSON.stringify(list)}`);
});

test('a curve is drawn by keyboard alone and the tool keeps it', async () => {
  const page = await t.page('?demo=full');
  await until(page, readDone);
  await press(page, 1002);
  const [mode, custom] = await customOf(page);
  // The curve mode's list by keyboard: focus its value box, open, walk to Custom, choose.
  await page.focus(`#v-3-${mode}`);
  await page.keyboard.press('ArrowDown');
  await page.waitForSelector(`#v-3-${mode}[aria-expanded="true"]`);
  const selected = await page.$eval(`#page-area .list:not([hidden])`, (l) => [...l.children].findIndex((li) => li.classList.contains('active')));
  for (let i = selected; i < custom; i++) await page.keyboard.press('ArrowDown');
  for (let i = selected; i > custom; i--) await page.keyboard.press('ArrowUp');
  await page.keyboard.press('Enter');
  await until(page, (s) => s.editor && s.editor.page === 3);
  await page.waitForFunction(() => document.activeElement && document.activeElement.matches('canvas.chart'));
  // RESET by Tab and Enter, then back to the chart.
  await page.keyboard.press('Tab');
  await page.keyboard.press('Enter');
  await until(page, (s) => s.editor.count === 'total: 02');
  await page.keyboard.down('Shift');
  await page.keyboard.press('Tab');
  await page.keyboard.up('Shift');

  const keys = async (...list) => { for (const k of list) await page.keyboard.press(k); };
  await keys('ArrowLeft', 'Insert');                   // (50, 50) after the first point
  await until(page, (s) => s.editor.position === 'x:50,y:50');
  await page.keyboard.down('Shift');
  await keys('ArrowUp', 'ArrowUp', 'ArrowUp', 'ArrowUp', 'ArrowUp', 'ArrowLeft', 'ArrowLeft');
  await page.keyboard.up('Shift');
  await until(page, (s) => s.editor.position === 'x:48,y:55');
  await keys('+');                                     // halfway to (100, 100)
  await until(page, (s) => s.editor.position === 'x:74,y:77' && s.editor.count === 'total: 04');
  await keys('ArrowRight', 'Delete');                  // the end point stays
  await keys('ArrowLeft', 'ArrowLeft', 'Delete');      // (48, 55) goes
  const edited = await until(page, (s) => s.editor.count === 'total: 03');
  await keys('Enter');
  await until(page, (s) => !s.editor);

  // What the tool holds is what the editor shows when it opens again.
  await page.click(`#v-3-${mode}`);
  await page.click(`#o-3-${mode}-${custom}`);
  const again = await until(page, (s) => s.editor && s.editor.page === 3);
  const px = ([x, y]) => [Math.round((x * 452) / 100), Math.round(241 - (y * 241) / 100)];
  assert.deepEqual(again.editor.points, [[0, 0], [74, 77], [100, 100]].map(px));
  assert.deepEqual(again.editor.points, edited.editor.points);
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('the editor shows its hint and labels each grid line with its units', async () => {
  const page = await t.page('?demo=full');
  await until(page, readDone);
  await press(page, 1004);
  const [mode, custom] = await customOf(page);
  await page.click(`#v-5-${mode}`);
  await page.click(`#o-5-${mode}-${custom}`);
  await until(page, (s) => s.editor && s.editor.page === 5);
  await settle(page);
  const seen = await page.evaluate(() => {
    const c = document.querySelector('canvas.chart').getBoundingClientRect();
    const mid = (e) => { const r = e.getBoundingClientRect(); return [r.left + r.width / 2 - c.left, r.top + r.height / 2 - c.top]; };
    const all = (q) => [...document.querySelectorAll(q)];
    return { hint: document.querySelector('#editor-hint').textContent, units: all('.axis-unit').map((e) => e.textContent),
      up: all('.y-labels span').map((e) => [e.textContent, mid(e)[1]]), across: all('.x-labels span').map((e) => [e.textContent, mid(e)[0]]), w: c.width, h: c.height };
  });
  assert.match(seen.hint, /right click or long press deletes it/);
  assert.deepEqual(seen.units, ['rpm', 'DEG']);
  // The boost chart is 103 by 110 curve units: 100 % of the rpm range sits 10/110 below the top.
  for (const [i, [, y]] of seen.up.entries()) assert.ok(Math.abs(y - seen.h * (1 - (i * 25) / 110)) < 2, `y label ${i} at ${y}`);
  assert.deepEqual(seen.across.map(([t]) => t), ['0', '8', '16', '24', '32', '40', '48', '56', '64']);
  for (const [i, [, x]] of seen.across.entries()) assert.ok(Math.abs(x - (seen.w * i * 12.5) / 103) < 2, `x label ${i} at ${x}`);
  await page.close();
});

test('the small faults stay mended', async () => {
  // An unknown demo says which kinds there are instead of starting for ever.
  const foo = await t.page('?demo=foo');
  assert.equal(await foo.$eval('#start-text', (e) => e.textContent),
    'No DemoMode "foo". The virtual devices: full, v1, v1-bec, hid-full, hid-v1, hid-v1-bec, hid-lcd.');
  // With no ESC, Import and Export are greyed as on the desktop.
  assert.deepEqual(await foo.$$eval('[data-cmd="import"], [data-cmd="export"]', (bs) => bs.map((b) => b.disabled)), [true, true]);
  await foo.close();

  const v1 = await t.page('?demo=v1');
  await until(v1, readDone);
  assert.deepEqual(await v1.$$eval('.v1-buttons button', (bs) => bs.map((b) => b.textContent)),
    ['Read Settings', 'Send Settings', 'Update Firmware']);
  assert.deepEqual(await v1.$$eval('[data-cmd="import"], [data-cmd="export"]', (bs) => bs.map((b) => b.disabled)), [true, true]);
  // The whole default Running Mode text shows, its "(*)" included.
  const running = await v1.$eval('#v1-0', (sel) => {
    const probe = document.createElement('span');
    probe.style.font = getComputedStyle(sel).font;
    probe.style.position = 'absolute';
    probe.textContent = sel.options[1].text;
    document.body.append(probe);
    const need = probe.getBoundingClientRect().width;
    probe.remove();
    return { text: sel.options[1].text, need, room: sel.clientWidth - 20 };  // the arrow
  });
  assert.equal(running.text, 'Forward with pause then Reverse(*)');
  assert.ok(running.need <= running.room, `needs ${running.need} px, has ${running.room}`);
  await v1.close();

  const page = await t.page('?demo=full');
  await until(page, readDone);
  assert.deepEqual(await page.$$eval('[data-cmd="import"], [data-cmd="export"]', (bs) => bs.map((b) => b.disabled)), [false, false]);
  // Every page button's caption fits inside it.
  const overflowing = await page.$$eval('.page-button', (bs) => bs.filter((b) => !b.hidden)
    .filter((b) => b.querySelector('span').getBoundingClientRect().width > b.clientWidth - 4).map((b) => b.textContent));
  assert.deepEqual(overflowing, []);
  await press(page, 1000);
  assert.equal(await page.$eval('#i-hardware', (e) => e.textContent), 'TURBO');

  // The Data page's help says its paragraph once.
  await press(page, 1006);
  const help = await page.$eval('.help', (e) => e.textContent);
  assert.equal(help.split('After you run a pack').length - 1, 1);

  // A list closes on Tab and on a click beside it; Escape closes a menu.
  await press(page, 1001);
  await page.click('#v-2-2');
  await page.waitForSelector('#v-2-2[aria-expanded="true"]');
  await page.keyboard.press('Tab');
  await page.waitForSelector('#v-2-2[aria-expanded="false"]');
  await page.click('#v-2-3');
  await page.waitForSelector('#v-2-3[aria-expanded="true"]');
  await page.mouse.click(5, 300);
  await page.waitForSelector('#v-2-3[aria-expanded="false"]');
  await page.click('details.menu:nth-of-type(1) summary');
  await page.waitForSelector('details.menu:nth-of-type(1)[open]');
  await page.keyboard.press('Escape');
  await page.waitForSelector('details.menu:nth-of-type(1):not([open])');
  await page.close();

  // In the LCD program box's mode the information page has no SOFTWARE row.
  const lcd = await t.page('?demo=hid-lcd');
  await until(lcd, (s) => s.canLcd, 30000);
  await lcd.click('details.menu:nth-of-type(2) summary');
  await lcd.click('[data-cmd="lcd-mode"]');
  await until(lcd, (s) => s.lcdBox);
  await lcd.click('[data-id="1000"]');
  await until(lcd, (s) => s.pageShown);
  await settle(lcd);
  assert.equal(await lcd.$eval('#i-software', (e) => e.closest('.well').hidden), true);
  await lcd.close();
});

test('Help › Save Wire Trace downloads the trace the tool kept', async () => {
  const page = await t.page('?demo=full');
  await until(page, readDone);
  await page.click('details.menu:nth-of-type(4) summary');
  assert.equal(await page.$eval('[data-cmd="save-trace"]', (b) => b.textContent), 'Save Wire Trace…');
  await page.click('[data-cmd="save-trace"]');
  await page.waitForFunction(() => window.tessel.downloads.length === 1);
  const saved = await page.evaluate(() => window.tessel.downloads[0]);
  assert.equal(saved.name, 'tesselarc-trace.txt');
  const lines = Buffer.from(saved.bytes).toString('utf8').split('\n');
  assert.equal(lines[0], '# tesselarc wire trace 1 (tesselarc 1.0)');
  // The read that just ran: the presence probe and its answer, then the identification.
  assert.ok(lines.some((l) => /^\d+ tx \[probe\] F9$/.test(l)), lines.slice(0, 5).join('\n'));
  assert.ok(lines.some((l) => /^\d+ rx \[probe\] D5 41$/.test(l)), lines.slice(0, 5).join('\n'));
  assert.ok(lines.some((l) => /^\d+ rx \[read 0\] 2A$/.test(l)), lines.slice(0, 12).join('\n'));
  await page.close();
});
