// The site as an installed app: after one visit it starts and runs the demo with the server
// gone, the worker keeps and serves only the site's own files, and a new build is offered,
// never forced.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { start, until, readDone, SITE } from './browser.mjs';

/** A copy of the built site that a test may change. */
function siteCopy() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessel-site-'));
  fs.cpSync(SITE, dir, { recursive: true });
  return dir;
}

/** Loads the demo once and waits until the worker controls the page. */
async function firstVisit(t) {
  const page = await t.page('?demo=full');
  await until(page, readDone);
  await page.waitForFunction(() => navigator.serviceWorker.controller !== null);
  return page;
}

const sitePaths = (page) => page.evaluate(async () => {
  const out = [];
  for (const key of await caches.keys()) {
    for (const r of await (await caches.open(key)).keys()) out.push(`${key} ${new URL(r.url).pathname}`);
  }
  return out.sort();
});

test('after one visit the tool starts and reads the demo with the network cut', async () => {
  const t = await start();
  try {
    const page = await firstVisit(t);
    const manifest = await page.evaluate(async () => (await fetch('manifest.webmanifest')).json());
    assert.equal(manifest.display, 'standalone');
    assert.ok(manifest.icons.some((i) => i.sizes === '256x256'));

    // Cut twice over: the page is offline and the server is gone.
    t.server.closeAllConnections();
    await new Promise((resolve) => t.server.close(resolve));
    await page.setOfflineMode(true);
    await page.reload();
    await page.waitForFunction(() => window.tessel && window.tessel.ready);
    const s = await until(page, readDone);
    assert.equal(s.deviceClass, 3);
    await page.click('[data-id="1001"]');
    await until(page, (st) => st.shownPage === 2 && st.pageShown);
    assert.deepEqual(page.errors, []);

    // Nothing but the site is kept, and nothing else is answered from the cache.
    const kept = await sitePaths(page);
    const files = JSON.parse(/^const FILES = (.*);$/m.exec(fs.readFileSync(path.join(SITE, 'sw.js'), 'utf8'))[1]);
    assert.equal(kept.length, files.length);
    assert.ok(kept.every((k) => files.includes(k.split(' /')[1])), kept.join('\n'));
    const other = await page.evaluate(() => fetch('style.css?fresh').then(() => 'answered', () => 'network error'));
    assert.equal(other, 'network error');
    await page.close();
  } finally {
    await t.close();
  }
});

test('a new build is offered with a reload button and replaces the old one only when asked', async () => {
  const dir = siteCopy();
  const t = await start(dir);
  try {
    const page = await firstVisit(t);
    const [before] = await page.evaluate(() => caches.keys());
    assert.equal(await page.$('.update-bar'), null, 'the first install offers nothing');

    // A new build: another stamp and another page style.
    const sw = path.join(dir, 'sw.js');
    fs.writeFileSync(sw, fs.readFileSync(sw, 'utf8').replace(/^const BUILD = .*$/m, "const BUILD = 'next';"));
    fs.appendFileSync(path.join(dir, 'style.css'), '\nbody { --next-build: 1; }\n');
    await page.evaluate(async () => (await navigator.serviceWorker.getRegistration()).update());
    await page.waitForSelector('.update-bar', { visible: true });
    assert.equal(await page.$eval('.update-bar span', (e) => e.textContent), 'a new version is ready: reload');
    // The old build still runs the page until the user takes the new one.
    assert.equal(await page.evaluate(() => getComputedStyle(document.body).getPropertyValue('--next-build')), '');

    const reloaded = page.waitForNavigation();
    await page.click('.update-bar button');
    await reloaded;
    await page.waitForFunction(() => window.tessel && window.tessel.ready);
    assert.equal(await page.evaluate(() => getComputedStyle(document.body).getPropertyValue('--next-build').trim()), '1');
    assert.deepEqual(await page.evaluate(() => caches.keys()), ['tesselarc-next']);
    assert.notEqual(before, 'tesselarc-next');
    assert.equal(await page.$('.update-bar'), null);
    await page.close();
  } finally {
    await t.close();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});
