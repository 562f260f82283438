// The page on a 390 px phone: nothing scrolls sideways, the menus open on screen, the page
// buttons keep to one row, the curve chart spans the width, and a finger near a point takes it.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { start, until, readDone, ROOT } from './browser.mjs';

const SHOTS = path.join(ROOT, 'build-web-shots');
const phone = { width: 390, height: 844, before: (p) => p.setViewport({ width: 390, height: 844, isMobile: true, hasTouch: true, deviceScaleFactor: 2 }) };
const settle = (page) => page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
// Against the phone's own width: a mobile browser widens its layout to fit what overflows.
const sideways = (page) => page.evaluate(() => document.documentElement.scrollWidth - screen.width);
let t;

before(async () => {
  fs.mkdirSync(SHOTS, { recursive: true });
  t = await start();
});
after(async () => { await t.close(); });

test('at 390 px nothing scrolls sideways, the menus stay on screen and the buttons keep one row', async () => {
  const v1 = await t.page('?demo=hid-v1-bec', phone);
  await until(v1, readDone);
  await v1.waitForSelector('#v1-0');
  await settle(v1);
  assert.equal(await sideways(v1), 0, 'the V1 view scrolls sideways');
  await v1.close();

  const full = await t.page('?demo=full', phone);
  await until(full, readDone);
  await settle(full);
  assert.equal(await sideways(full), 0, 'the start scrolls sideways');
  for (const [i, menu] of ['File', 'Device', 'DemoMode'].entries()) {
    await full.click(`details.menu:nth-of-type(${i + 1}) summary`);
    const box = await full.$eval(`details.menu:nth-of-type(${i + 1}) .menu-items`, (e) => {
      const r = e.getBoundingClientRect();
      return { left: r.left, right: r.right, bottom: r.bottom };
    });
    assert.ok(box.left >= 0 && box.right <= 390, `${menu} runs off: ${JSON.stringify(box)}`);
    if (menu === 'DemoMode') await full.screenshot({ path: path.join(SHOTS, 'phone-demomode-menu.png') });
    await full.click(`details.menu:nth-of-type(${i + 1}) summary`);
  }
  await full.click('[data-id="1001"]');
  await until(full, (s) => s.shownPage === 2 && s.pageShown);
  await settle(full);
  assert.equal(await sideways(full), 0, 'the General page scrolls sideways');
  const rows = await full.$$eval('.page-button:not([hidden])', (bs) => [...new Set(bs.map((b) => b.getBoundingClientRect().top))]);
  assert.equal(rows.length, 1, `page buttons in ${rows.length} rows`);
  await full.screenshot({ path: path.join(SHOTS, 'phone-general.png') });
  await full.close();
});

test('at 390 px the chart spans the page and a finger within 12 px of a point moves it', async () => {
  const page = await t.page('?demo=full', phone);
  await until(page, readDone);
  await page.click('[data-id="1002"]');
  await until(page, (s) => s.shownPage === 3 && s.pageShown);
  const [modeIndex, custom] = await page.$$eval('.settings .well', (wells) => {
    for (const [i, w] of wells.entries()) {
      const row = [...w.querySelectorAll('li')].findIndex((li) => li.textContent === 'Custom');
      if (row >= 0) return [i, row];
    }
    return [-1, -1];
  });
  await page.click(`#v-3-${modeIndex}`);
  await page.waitForSelector(`#o-3-${modeIndex}-${custom}`, { visible: true });
  await page.click(`#o-3-${modeIndex}-${custom}`);
  const opened = await until(page, (s) => s.editor && s.editor.page === 3);
  await settle(page);
  assert.equal(await sideways(page), 0, 'the editor scrolls sideways');
  const room = await page.$eval('.page-area', (e) => e.clientWidth - parseFloat(getComputedStyle(e).paddingLeft) - parseFloat(getComputedStyle(e).paddingRight));
  const box = await (await page.$('canvas.chart')).boundingBox();
  assert.ok(box.width >= room - 1, `chart ${box.width} px wide in ${room} px`);

  // A tap adds a point (a small move on the way keeps it from counting as a long press).
  const n = opened.editor.points.length;
  const tx = box.x + box.width * 0.3;
  const ty = box.y + box.height * 0.4;
  await page.touchscreen.touchStart(tx, ty);
  await page.touchscreen.touchMove(tx + 1, ty);
  await page.touchscreen.touchEnd();
  const added = await until(page, `(s) => s.editor.points.length === ${n + 1}`);
  const point = added.editor.points.find((p, i) => i > 0 && i + 1 < added.editor.points.length &&
    !opened.editor.points.some((q) => q[0] === p[0] && q[1] === p[1]));
  const px = box.x + (point[0] * box.width) / 453;
  const py = box.y + (point[1] * box.height) / 242;
  await settle(page);
  await page.screenshot({ path: path.join(SHOTS, 'phone-throttle-editor.png') });

  // A finger 10 px off the point takes it and drags it; no second point appears.
  await page.touchscreen.touchStart(px + 8, py + 6);
  await page.touchscreen.touchMove(px - 12, py + 6);
  await page.touchscreen.touchMove(px - 22, py + 6);
  await page.touchscreen.touchEnd();
  // Either way the drag ends with a point left of where the first one was.
  const moved = await until(page, `(s) => s.editor.points.length !== ${n + 1} || s.editor.points.some((p) => p[0] < ${point[0] - 5} && Math.abs(p[1] - ${point[1]}) < 8 &&
    !${JSON.stringify(opened.editor.points)}.some((q) => q[0] === p[0]))`);
  assert.equal(moved.editor.points.length, n + 1, 'the touch added a point instead of taking one');
  assert.ok(!moved.editor.points.some((p) => p[0] === point[0] && p[1] === point[1]), 'the first point stayed');
  assert.deepEqual(page.errors, []);
  await page.close();
});
