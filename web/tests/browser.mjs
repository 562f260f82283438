// Shared helpers of the browser tests and the benchmark: the built site on a local server,
// Debian's chromium driven headless by puppeteer-core, and waits on the page's snapshot.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';
import { serve } from '../tools/serve.mjs';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const SITE = path.join(ROOT, 'build-web');
export const BUILD = path.join(ROOT, 'build');
export const SHOTS = path.join(ROOT, 'build-web-shots');

/** The site (build-web/ unless another folder is named) on a local server, and a browser. */
export async function start(site = SITE) {
  const server = await serve(site);
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
  });
  const base = `http://127.0.0.1:${server.address().port}/`;
  return {
    base,
    browser,
    server,
    async page(query = '', { width = 1280, height = 860, before } = {}) {
      const page = await browser.newPage();
      await page.setViewport({ width, height });
      const errors = [];
      page.on('pageerror', (e) => errors.push(e.message));
      page.errors = errors;
      if (before) await before(page);
      await page.goto(base + query);
      await page.waitForFunction(() => window.tessel && window.tessel.ready, { timeout: 20000 });
      return page;
    },
    /** A page running the virtual device `kind`, its first read done. */
    async demo(kind, options) {
      const page = await this.page(`?demo=${kind}`, options);
      await until(page, readDone);
      return page;
    },
    async close() {
      await browser.close();
      server.close();
    },
  };
}

/** Waits until `predicate(state)` holds in the page; returns the state. A page behind another
 *  one gets no animation frames and slow timers, so the page waited on comes to the front. */
export async function until(page, predicate, timeout = 20000) {
  await page.bringToFront();
  await page.waitForFunction(`(() => { const s = window.tessel.state; return !!s && (${predicate})(s); })()`, { timeout, polling: 20 });
  return page.evaluate(() => window.tessel.state);
}

/** The read of the demo device has finished. */
export const readDone = (s) => s.connected && !s.transfer && s.beeps > 0;

/** Two animation frames: the page has laid out and drawn what its state asked for. */
export async function settle(page) {
  await page.bringToFront();
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
}

export async function shot(page, name) {
  fs.mkdirSync(SHOTS, { recursive: true });
  await page.screenshot({ path: path.join(SHOTS, `${name}.png`) });
}

/** Shows page `id` (1 Information, 2 General, 3 Throttle, ...) by its button. */
export async function openPage(page, id) {
  await page.bringToFront();
  await page.click(`[data-id="${id + 999}"]`);
  await until(page, `(s) => s.shownPage === ${id} && s.pageShown`);
  await settle(page);
}

/** The selector of the menu bar's menu called `name`. */
export const menuOf = (name) => `details.menu:nth-of-type(${['File', 'Device', 'DemoMode', 'Help'].indexOf(name) + 1})`;

/** Opens menu `name` and, when given, clicks its command `cmd`. */
export async function openMenu(page, name, cmd) {
  await page.bringToFront();
  await page.click(`${menuOf(name)} summary`);
  await page.waitForSelector(`${menuOf(name)}[open]`);
  if (cmd) await page.click(`[data-cmd="${cmd}"]`);
}

/** Picks `row` from the list of setting `index` on the shown page `id`. */
export async function choose(page, id, index, row) {
  await page.click(`#v-${id}-${index}`);
  await page.waitForSelector(`#o-${id}-${index}-${row}`, { visible: true });
  await page.click(`#o-${id}-${index}-${row}`);
}

/** Setting index and row of "Custom" on the shown page. */
export const customOf = (page) => page.$$eval('.settings .well', (wells) => {
  for (const [i, w] of wells.entries()) {
    const row = [...w.querySelectorAll('li')].findIndex((li) => li.textContent === 'Custom');
    if (row >= 0) return [i, row];
  }
  return [-1, -1];
});

/** Opens the curve editor of the shown page `id` by choosing "Custom"; returns the state. */
export async function openEditor(page, id) {
  await choose(page, id, ...(await customOf(page)));
  const s = await until(page, `(s) => !!s.editor && s.editor.page === ${id}`);
  await settle(page);
  return s;
}
