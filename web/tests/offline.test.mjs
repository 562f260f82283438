// The site as an installed app: after one visit it starts and runs the demo with the server
// gone, the worker keeps and serves only the site's own files, and a new build is offered,
// never forced.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { start, until, readDone, openPage, SITE } from './browser.mjs';

/** Serves a copy of the built site that the test may change, and visits its demo once. */
async function visit(body) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessel-site-'));
  fs.cpSync(SITE, dir, { recursive: true });
  const t = await start(dir);
  try {
    const page = await t.demo('full');
    await page.waitForFunction(() => navigator.serviceWorker.controller !== null);
    await body(page, t, dir);
  } finally {
    await t.close();
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

const ready = (page) => page.waitForFunction(() => window.tessel && window.tessel.ready);

test('after one visit the tool starts and reads the demo with the network cut', () => visit(async (page, t, dir) => {
  const manifest = await page.evaluate(async () => (await fetch('manifest.webmanifest')).json());
  assert.equal(manifest.display, 'standalone');
  assert.ok(manifest.icons.some((i) => i.sizes === '256x256'));

  // Cut twice over: the page is offline and the server is gone.
  t.server.closeAllConnections();
  await new Promise((resolve) => t.server.close(resolve));
  await page.setOfflineMode(true);
  await page.reload();
  await ready(page);
  assert.equal((await until(page, readDone)).deviceClass, 3);
  await openPage(page, 2);
  assert.deepEqual(page.errors, []);

  // Nothing but the site is kept, and nothing else is answered from the cache.
  const kept = await page.evaluate(async () => {
    const out = [];
    for (const key of await caches.keys()) for (const r of await (await caches.open(key)).keys()) out.push(new URL(r.url).pathname);
    return out;
  });
  const files = JSON.parse(/^const FILES = (.*);$/m.exec(fs.readFileSync(path.join(dir, 'sw.js'), 'utf8'))[1]);
  assert.equal(kept.length, files.length);
  assert.ok(kept.every((k) => files.includes(k.slice(1))), kept.join('\n'));
  assert.equal(await page.evaluate(() => fetch('style.css?fresh').then(() => 'answered', () => 'network error')), 'network error');
}));

test('a new build is offered with a reload button and replaces the old one only when asked', () => visit(async (page, t, dir) => {
  const next = () => page.evaluate(() => getComputedStyle(document.body).getPropertyValue('--next-build').trim());
  const [first] = await page.evaluate(() => caches.keys());
  assert.equal(await page.$('.update-bar'), null, 'the first install offers nothing');

  // A new build: another stamp and another page style.
  const sw = path.join(dir, 'sw.js');
  fs.writeFileSync(sw, fs.readFileSync(sw, 'utf8').replace(/^const BUILD = .*$/m, "const BUILD = 'next';"));
  fs.appendFileSync(path.join(dir, 'style.css'), '\nbody { --next-build: 1; }\n');
  await page.evaluate(async () => (await navigator.serviceWorker.getRegistration()).update());
  await page.waitForSelector('.update-bar', { visible: true });
  assert.equal(await page.$eval('.update-bar span', (e) => e.textContent), 'a new version is ready: reload');
  assert.equal(await next(), '', 'the new build took over before the click');

  await Promise.all([page.waitForNavigation(), page.click('.update-bar button')]);
  await ready(page);
  assert.equal(await next(), '1');
  assert.deepEqual(await page.evaluate(() => caches.keys()), ['tesselarc-next']);
  assert.notEqual(first, 'tesselarc-next');
  assert.equal(await page.$('.update-bar'), null);
}));
