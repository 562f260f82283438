// Setup links in the browser: File › Share Setup puts the pages' setup on the clipboard and
// tesselarc-cli writes that link to tesselarc-sim; a page opened with a link shows it beside
// the ESC, takes it out of the address bar, and Apply sends it, or refuses one for another ESC.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { start, until, openPage, openMenu, choose } from './browser.mjs';
import { startSim, cli } from './sim.mjs';

let t;
before(async () => { t = await start(); });
after(async () => { await t.close(); });

test('a shared link carries the pages to tesselarc-cli write, and the ESC holds them', async () => {
  const page = await t.demo('full');
  await page.browserContext().overridePermissions(t.base, ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
  // RUN MODE: Forward/Reverse, chosen on the General page and not sent.
  await openPage(page, 2);
  await choose(page, 2, 1, 2);
  await until(page, (s) => s.pages.find((p) => p.id === 2).sel[1] === 2);
  await openMenu(page, 'File', 'share');
  await page.waitForSelector('#share-view[open]');
  const link = await page.$eval('#share-link', (e) => e.value);
  assert.ok(link.startsWith(`${t.base}#setup=full:`), link);
  assert.equal(link.length, t.base.length + '#setup=full:'.length + 1067);
  assert.equal(await page.evaluate(() => navigator.clipboard.readText()), link);
  assert.deepEqual(page.errors, []);
  await page.close();

  const sim = await startSim();
  try {
    const esc = (...args) => cli(['--port', sim.pty, '--quiet', ...args]);
    const runMode = async () => JSON.parse((await esc('read', '--json')).stdout).settings.run_mode;
    assert.notEqual(await runMode(), 2);
    const w = await esc('write', link);
    assert.equal(w.code, 0, w.stderr);
    assert.equal(await runMode(), 2);
    assert.equal((await esc('diff', link)).code, 0);
  } finally {
    sim.stop();
  }
});

test('a page opened with a link compares it with the ESC, drops it from the address and sends it on Apply', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessel-share-'));
  const setup = path.join(dir, 'setup.json');
  fs.writeFileSync(setup, JSON.stringify({ settings: { drag_brake: 3, run_mode: 2 } }));
  const shared = await cli(['share', '--base', 'https://elsewhere.example/', setup]);
  fs.rmSync(dir, { recursive: true, force: true });
  assert.equal(shared.code, 0, shared.stderr);
  const fragment = shared.stdout.trim().slice(shared.stdout.indexOf('#'));

  const page = await t.page(`?demo=full${fragment}`);
  const s = await until(page, (st) => !!st.setupLink && st.setupLink.summary !== '');
  assert.equal(s.setupLink.refusal, '');
  const rows = s.setupLink.rows.map((r) => r.name);
  assert.ok(rows.includes('drag_brake') && rows.includes('run_mode'), rows.join(','));
  await page.waitForSelector('#link-view[open]');
  const shown = await page.$$eval('#link-view td', (tds) => tds.map((td) => td.textContent));
  assert.ok(shown.includes('DRAG BRAKE'), shown.join('|'));
  assert.equal(await page.evaluate(() => location.hash), '');

  await page.evaluate(() => window.tessel.clearReceived());
  await page.click('#link-view button[value="apply"]');
  await until(page, (st) => st.transfer);
  const done = await until(page, (st) => !st.transfer && st.busyButton === 255);
  assert.equal(done.setupLink, null);
  assert.equal(await page.$eval('#link-view', (d) => d.open), false);
  // [0xA4 RUN MODE, 2] and [0xE4 DRAG BRAKE, 3] went out.
  assert.match(await page.evaluate(() => window.tessel.received()), /a402.*e403|e403.*a402/);
  assert.deepEqual(page.errors, []);
  await page.close();

  // A V1-series ESC refuses a full ESC's setup and sends nothing but the idle presence probes.
  const v1 = await t.page(`?demo=v1${fragment}`);
  const sv = await until(v1, (st) => !!st.setupLink && st.connected && !st.busy && st.setupLink.refusal.startsWith('the setup is'));
  assert.equal(sv.setupLink.refusal, 'the setup is for a full ESC; the connected ESC is a V1-series ESC');
  await v1.waitForSelector('#link-view[open]');
  assert.equal(await v1.$eval('#link-view button[value="apply"]', (b) => b.hidden), true);
  await v1.evaluate(() => window.tessel.clearReceived());
  await v1.click('#link-view button[value="close"]');
  await until(v1, (st) => st.setupLink === null);
  assert.match(await v1.evaluate(() => window.tessel.received()), /^(f9)*$/);
  await v1.close();
});
