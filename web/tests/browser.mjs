// Shared helpers of the browser tests and the benchmark: the built site on a local server,
// Debian's chromium driven headless by puppeteer-core, and waits on the page's snapshot.
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';
import { serve } from '../tools/serve.mjs';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const SITE = path.join(ROOT, 'build-web');
export const BUILD = path.join(ROOT, 'build');

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
    async close() {
      await browser.close();
      server.close();
    },
  };
}

/** Waits until `predicate(state)` holds in the page; returns the state. */
export async function until(page, predicate, timeout = 20000) {
  await page.waitForFunction(`(() => { const s = window.tessel.state; return !!s && (${predicate})(s); })()`, { timeout, polling: 20 });
  return page.evaluate(() => window.tessel.state);
}

/** The read of the demo device has finished. */
export const readDone = (s) => s.connected && !s.transfer && s.beeps > 0;
