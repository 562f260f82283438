// The page on a 390 px phone: nothing scrolls sideways, the menus open on screen, the page
// buttons keep to one row, the curve chart spans the width, and a finger near a point takes it.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { start, until, settle, shot, openPage, openMenu, menuOf, openEditor } from './browser.mjs';

const phone = { width: 390, height: 844, before: (p) => p.setViewport({ width: 390, height: 844, isMobile: true, hasTouch: true, deviceScaleFactor: 2 }) };
// Against the phone's own width: a mobile browser widens its layout to fit what overflows.
const sideways = async (page) => { await settle(page); return page.evaluate(() => document.documentElement.scrollWidth - screen.width); };
let t, page;

before(async () => {
  t = await start();
  page = await t.demo('full', phone);
});
after(async () => { await t.close(); });

test('at 390 px nothing scrolls sideways, the menus stay on screen and the buttons keep one row', async () => {
  const v1 = await t.demo('hid-v1-bec', phone);
  await v1.waitForSelector('#v1-0');
  assert.equal(await sideways(v1), 0, 'the V1 view scrolls sideways');
  await v1.close();

  assert.equal(await sideways(page), 0, 'the start scrolls sideways');
  for (const name of ['File', 'Device', 'DemoMode', 'Help']) {
    await openMenu(page, name);
    const box = await page.$eval(`${menuOf(name)} .menu-items`, (e) => e.getBoundingClientRect().toJSON());
    assert.ok(box.left >= 0 && box.right <= 390, `${name} runs off: ${JSON.stringify(box)}`);
    if (name === 'DemoMode') await shot(page, 'phone-demomode-menu');
    await page.click(`${menuOf(name)} summary`);
  }
  await openPage(page, 2);
  assert.equal(await sideways(page), 0, 'the General page scrolls sideways');
  const rows = await page.$$eval('.page-button:not([hidden])', (bs) => [...new Set(bs.map((b) => b.getBoundingClientRect().top))]);
  assert.equal(rows.length, 1, `page buttons in ${rows.length} rows`);
  await shot(page, 'phone-general');
});

test('at 390 px the chart spans the page and a finger within 12 px of a point moves it', async () => {
  await openPage(page, 3);
  const opened = await openEditor(page, 3);
  assert.equal(await sideways(page), 0, 'the editor scrolls sideways');
  const room = await page.$eval('.page-area', (e) => e.clientWidth - parseFloat(getComputedStyle(e).paddingLeft) - parseFloat(getComputedStyle(e).paddingRight));
  const box = await (await page.$('canvas.chart')).boundingBox();
  assert.ok(box.width >= room - 1, `chart ${box.width} px wide in ${room} px`);
  const drag = async ([x, y], ...moves) => {
    await page.touchscreen.touchStart(x, y);
    for (const [mx, my] of moves) await page.touchscreen.touchMove(mx, my);
    await page.touchscreen.touchEnd();
  };

  // A tap adds a point (a small move on the way keeps it from counting as a long press).
  const first = opened.editor.points;
  const n = first.length;
  const [tx, ty] = [box.x + box.width * 0.3, box.y + box.height * 0.4];
  await drag([tx, ty], [tx + 1, ty]);
  const added = await until(page, `(s) => s.editor.points.length === ${n + 1}`);
  const point = added.editor.points.find((p, i) => i > 0 && i < n && !first.some((q) => q[0] === p[0] && q[1] === p[1]));
  const px = box.x + (point[0] * box.width) / 453;
  const py = box.y + (point[1] * box.height) / 242;
  await settle(page);
  await shot(page, 'phone-throttle-editor');

  // A finger 10 px off the point takes it and drags it; no second point appears. Either way the
  // drag ends with a point left of where the first one was.
  await drag([px + 8, py + 6], [px - 12, py + 6], [px - 22, py + 6]);
  const moved = await until(page, `(s) => s.editor.points.length !== ${n + 1} || s.editor.points.some((p) => p[0] < ${point[0] - 5} && Math.abs(p[1] - ${point[1]}) < 8 &&
    !${JSON.stringify(first)}.some((q) => q[0] === p[0]))`);
  assert.equal(moved.editor.points.length, n + 1, 'the touch added a point instead of taking one');
  assert.ok(!moved.editor.points.some((p) => p[0] === point[0] && p[1] === point[1]), 'the first point stayed');
  assert.deepEqual(page.errors, []);
});
