// The web edition in headless chromium: the demo read and every page, a send compared byte for
// byte with the desktop engine's, a saved settings file compared with the CLI's export, a
// damaged firmware file refused, and the Web Serial back-end against tesselarc-sim through the
// WebSocket bridge. Screenshots of each page land in build-web-shots/.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { start, until, readDone, ROOT } from './browser.mjs';
import { startSim, cli, cliSendBytes, withoutProbesAround, hex } from './sim.mjs';
import { startBridge } from '../tools/serial_bridge.mjs';

const SHOTS = path.join(ROOT, 'build-web-shots');
const STANDIN = fs.readFileSync(new URL('./serial_standin.js', import.meta.url), 'utf8');
let t;

before(async () => {
  fs.mkdirSync(SHOTS, { recursive: true });
  t = await start();
});
after(async () => { await t.close(); });

const shot = (page, name) => page.screenshot({ path: path.join(SHOTS, `${name}.png`) });
const settle = (page) => page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
const press = async (page, id) => {
  await page.click(`[data-id="${id}"]`);
  const s = await until(page, `(s) => s.shownPage === ${id - 999} && s.pageShown`);
  await settle(page);
  return s;
};

/** Opens setting `index` of the shown page and picks `row` from its list. */
async function choose(page, pageId, index, row) {
  await page.click(`#v-${pageId}-${index}`);
  await page.waitForSelector(`#o-${pageId}-${index}-${row}`, { visible: true });
  await page.click(`#o-${pageId}-${index}-${row}`);
  return until(page, `(s) => s.pages.find((p) => p.id === ${pageId}).sel[${index}] === ${row}`);
}

async function applyAndWait(page) {
  await page.click('[data-id="1007"]');
  await until(page, (s) => s.transfer);
  return until(page, (s) => !s.transfer && s.busyButton === 255);
}

test('the demo read fills every page, the V1 view and the HID adapter modes', async () => {
  const page = await t.page('?demo=full');
  await shot(page, '00-start');
  const s = await until(page, readDone);
  assert.equal(s.deviceClass, 3);
  assert.deepEqual(page.errors, []);
  const names = ['information', 'general', 'throttle', 'brake', 'boost', 'turbo', 'data'];
  for (const [i, name] of names.entries()) {
    await press(page, 1000 + i);
    await settle(page);
    const title = await page.$eval('.page-title', (e) => e.textContent);
    assert.equal(title, name.toUpperCase());
    await shot(page, `0${i + 1}-${name}`);
  }
  // What the read brought: the sample ESC runs Forward/Brake/Reverse and logged 7.40 V.
  await press(page, 1001);
  assert.equal(await page.$eval('#v-2-1', (e) => e.textContent), 'Forward/Brake/Reverse');
  await press(page, 1006);
  const data = await page.$$eval('.data .value', (es) => es.map((e) => e.textContent));
  assert.equal(data.length, 4);
  assert.match(data[0], /V$/);
  // A list opens with its help text; the keyboard moves and Escape closes it.
  await press(page, 1001);
  await page.click('#v-2-2');
  await page.waitForSelector('#v-2-2[aria-expanded="true"]');
  assert.match(await page.$eval('.help', (e) => e.textContent), /\S/);
  await shot(page, '08-general-list-open');
  await page.keyboard.press('Escape');
  await page.waitForSelector('#v-2-2[aria-expanded="false"]');
  await page.close();

  const v1 = await t.page('?demo=v1-bec');
  const sv = await until(v1, readDone);
  assert.equal(sv.deviceClass, 1);
  await v1.waitForSelector('#v1-0');
  assert.equal(await v1.$eval('#v1-10', (e) => e.hidden), false);  // the BEC row
  await settle(v1);
  await shot(v1, '09-v1-bec');
  await v1.close();

  const hid = await t.page('?demo=hid-full');
  const sh = await until(hid, readDone);
  assert.equal(sh.link, 2);
  await press(hid, 1001);
  await shot(hid, '10-hid-general');
  await hid.close();

  const lcd = await t.page('?demo=hid-lcd');
  await until(lcd, (st) => st.canLcd, 30000);
  await lcd.click('details.menu:nth-of-type(2) summary');
  await lcd.click('[data-cmd="lcd-mode"]');
  await until(lcd, (st) => st.lcdBox);
  await lcd.click('[data-id="1000"]');
  await until(lcd, (st) => st.pageShown);
  await settle(lcd);
  assert.equal(await lcd.$eval('#i-device', (e) => e.textContent), 'LCD PROGRAM');
  assert.equal(await lcd.$eval('[data-id="1001"]', (e) => e.hidden), true);
  await shot(lcd, '11-hid-lcd-information');
  await lcd.close();
});

test('a changed setting and a drawn curve go out as the desktop engine sends them', async () => {
  const page = await t.page('?demo=full');
  await until(page, readDone);
  await press(page, 1001);
  await choose(page, 2, 1, 2);  // RUN MODE: Forward/Reverse
  await page.evaluate(() => window.tessel.clearReceived());
  await applyAndWait(page);
  const sent = withoutProbesAround([...Buffer.from(await page.evaluate(() => window.tessel.received()), 'hex')]);
  assert.ok(sent.length > 60, `only ${sent.length} bytes sent`);
  const desktop = withoutProbesAround(await cliSendBytes(['run_mode=2']));
  assert.ok(hex(desktop).endsWith(hex(sent)), `page sent ${hex(sent)}\ndesktop sent the end of ${hex(desktop)}`);

  // Custom on the Throttle page opens the editor; a click adds a point; OK keeps it.
  await press(page, 1002);
  // The curve mode is the setting whose list offers "Custom".
  const [modeIndex, custom] = await page.$$eval('.settings .well', (wells) => {
    for (const [i, w] of wells.entries()) {
      const row = [...w.querySelectorAll('li')].findIndex((li) => li.textContent === 'Custom');
      if (row >= 0) return [i, row];
    }
    return [-1, -1];
  });
  assert.ok(custom > 0, 'no curve mode with Custom on the Throttle page');
  await choose(page, 3, modeIndex, custom);
  const opened = await until(page, (s) => s.editor && s.editor.page === 3);
  const n = opened.editor.points.length;
  await settle(page);
  const box = await (await page.$('canvas.chart')).boundingBox();
  await page.mouse.click(box.x + box.width * 0.3, box.y + box.height * 0.35);
  const withPoint = await until(page, `(s) => s.editor.points.length === ${n + 1}`);
  assert.equal(withPoint.editor.count, `total: ${String(n + 1).padStart(2, '0')}`);
  await page.mouse.move(box.x + box.width * 0.3, box.y + box.height * 0.35);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width * 0.4, box.y + box.height * 0.3, { steps: 5 });
  await page.mouse.up();
  await settle(page);
  await shot(page, '12-throttle-editor');
  await page.click('.editor-buttons .accent');
  await until(page, (s) => !s.editor);
  await page.evaluate(() => window.tessel.clearReceived());
  await applyAndWait(page);
  const withCurve = withoutProbesAround([...Buffer.from(await page.evaluate(() => window.tessel.received()), 'hex')]);
  // The sample ESC runs all three custom curves, so both sends carry them: the settings part
  // (27 pairs, the end pair, three filler bytes) is the same, the curves are not.
  assert.equal(hex(withCurve.slice(0, 59)), hex(sent.slice(0, 59)));
  assert.equal(withCurve.length, sent.length);
  assert.notEqual(hex(withCurve.slice(59)), hex(sent.slice(59)), 'the drawn curve went out');
  await page.close();
});

test('a settings file saved by the page equals the CLI export byte for byte', async () => {
  const page = await t.page('?demo=full');
  await until(page, readDone);
  await page.click('details.menu:nth-of-type(1) summary');
  await page.click('[data-cmd="export"]');
  await page.waitForSelector('#save[open]');
  await page.$eval('#save-name', (e) => { e.value = 'track day.v2'; });
  await page.click('#save .accent');
  await page.waitForFunction(() => window.tessel.downloads.length === 1);
  const saved = await page.evaluate(() => window.tessel.downloads[0]);
  // The name stays as typed; ".DATA" is added.
  assert.equal(saved.name, 'track day.v2.DATA');
  assert.equal(saved.bytes.length, 800);

  const sim = await startSim();
  const out = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tessel-web-')), 'cli.DATA');
  try {
    const r = await cli(['--port', sim.pty, 'read', '--out', out]);
    assert.equal(r.code, 0, r.stderr);
  } finally {
    sim.stop();
  }
  assert.equal(hex(saved.bytes), hex(fs.readFileSync(out)));

  // The same file goes back in through the page's import.
  const chooser = page.waitForFileChooser();
  await page.click('details.menu:nth-of-type(1) summary');
  await page.click('[data-cmd="import"]');
  await (await chooser).accept([out]);
  await page.waitForFunction(() => !document.querySelector('#ask[open]'));
  assert.deepEqual(await page.evaluate(() => window.tessel.asked), []);
  await page.close();
});

test('a damaged firmware file is refused before any question, and the loader is never entered', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessel-web-'));
  const file = path.join(dir, 'ESC0130.xup');
  fs.writeFileSync(file, '00 03 01 02 03\n00 05 01 02 03\n');
  const page = await t.page('?demo=full');
  await until(page, readDone);
  await press(page, 1000);
  await page.evaluate(() => window.tessel.clearReceived());
  const chooser = page.waitForFileChooser();
  await page.click('.info-buttons .accent');
  await (await chooser).accept([file]);
  await page.waitForSelector('#ask[open]');
  await page.waitForFunction(() => window.tessel.asked.length === 1);
  const refusal = await page.$eval('#ask-text', (e) => e.textContent);
  assert.match(refusal, /was not sent to the ESC: .*needs 7 bytes but only 5 remain/);
  await page.click('#ask .accent');
  // The line under the pages keeps the refusal, as the desktop's does.
  const after = await until(page, (s) => s.failure);
  assert.equal(after.status, 'Firmware file refused; nothing was sent to the ESC');
  await settle(page);
  await shot(page, '13-firmware-refused');
  const received = [...Buffer.from(await page.evaluate(() => window.tessel.received()), 'hex')];
  assert.ok(!received.includes(0xd6), `the loader was entered: ${hex(received)}`);
  await page.close();
});

test('unsent changes, a send and a send that breaks off read as the desktop reads them', async () => {
  const page = await t.page('?demo=full');
  await until(page, readDone);
  await press(page, 1001);
  const changed = await choose(page, 2, 1, 2);
  assert.equal(changed.status, 'Apply sends 1 change');
  await page.waitForFunction(() => document.title.endsWith(' ●'));
  // Leaving for another virtual device asks first; Cancel stays.
  await page.click('details.menu:has(a[href="?demo=v1"]) summary');
  await page.click('a[href="?demo=v1"]');
  await page.waitForSelector('#ask[open]');
  assert.equal(await page.$eval('#ask-text', (e) => e.textContent),
    '1 change has not been sent to the ESC. Switching the device anyway?');
  await page.click('#ask button[value="cancel"]');
  assert.equal(await page.evaluate(() => location.search), '?demo=full');
  const sent = await applyAndWait(page);
  assert.equal(sent.status, 'Sent OK');
  await page.waitForFunction(() => !document.title.includes('●'));
  await settle(page);
  await shot(page, '16-sent');

  await choose(page, 2, 1, 1);
  await page.click('[data-id="1007"]');
  await until(page, (s) => s.transfer && s.progress && s.progress.done > 20);
  // The ESC falls silent part way: the engine asks, Cancel ends the send, and the line says
  // how much of it the ESC took, as the desktop's does.
  await page.evaluate(() => window.tessel.silence(true));
  await page.waitForSelector('#ask[open]');
  assert.equal(await page.$eval('#ask-text', (e) => e.textContent), 'Error!YES continue,NO next,CANCEL exit');
  await page.click('#ask button[value="cancel"]');
  const broke = await until(page, (s) => s.failure && !s.transfer);
  assert.match(broke.status, /^Send stopped \(the ESC did not answer as expected\) after \d+ of 27 settings/);
  await settle(page);
  await shot(page, '17-send-broke-off');
  await page.evaluate(() => window.tessel.silence(false));
  await page.close();
});

test('the Web Serial back-end reads and sends through the bridge to tesselarc-sim', async () => {
  const sim = await startSim();
  const bridge = await startBridge(sim.pty);
  const url = `ws://127.0.0.1:${bridge.address().port}/`;
  try {
    const page = await t.page('', {
      before: (p) => p.evaluateOnNewDocument(`window.__bridgeUrl = ${JSON.stringify(url)};\n${STANDIN}`),
    });
    const s = await until(page, readDone, 30000);
    assert.equal(s.link, 1);
    await press(page, 1001);
    assert.equal(await page.$eval('#v-2-1', (e) => e.textContent), 'Forward/Brake/Reverse');
    await shot(page, '14-web-serial-general');
    await choose(page, 2, 1, 0);  // RUN MODE: Forward/Brake(*)
    const mark = sim.hostBytes.length;
    await applyAndWait(page);
    await new Promise((r) => setTimeout(r, 100));
    const sent = withoutProbesAround(sim.hostBytes.slice(mark));
    const desktop = withoutProbesAround(await cliSendBytes(['run_mode=0']));
    assert.ok(sent.length > 60);
    assert.ok(hex(desktop).endsWith(hex(sent)), `page sent ${hex(sent)}\ndesktop sent the end of ${hex(desktop)}`);
    assert.deepEqual(page.errors, []);
    await page.close();
  } finally {
    bridge.close();
    sim.stop();
  }
});
