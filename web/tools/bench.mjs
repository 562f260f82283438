// The web edition's figures, printed (scripts/web.sh bench): transfer size of the site, time
// from navigation to the tool and to its first page, a full demo read and send in the page
// next to the same engine on the command line, and what one engine wait costs with Asyncify
// next to a worker blocked in Atomics.wait.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { start, until, readDone, SITE, BUILD } from '../tests/browser.mjs';
import { serve } from './serve.mjs';

const ms = (x) => `${x.toFixed(0)} ms`;
const kb = (x) => `${(x / 1024).toFixed(1)} KiB`;
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

/** One start of the demo in `ctx` at a window size: first contentful paint, the tool shown, the
 * layout shift summed over every shift no input caused (an upper bound of the session-window
 * figure), and whether a service worker served the page. */
async function startOnce(ctx, base, { width, height, phone }) {
  const page = await ctx.newPage();
  await page.setViewport({ width, height, isMobile: phone, hasTouch: phone, deviceScaleFactor: phone ? 3 : 1 });
  // A phone's slower processor, as a mobile audit assumes: the first paint then comes before the
  // tool has filled anything in, which is when a layout can still jump.
  if (phone) await page.emulateCPUThrottling(4);
  await page.evaluateOnNewDocument(() => {
    window.__shift = 0;
    new PerformanceObserver((list) => {
      for (const e of list.getEntries()) if (!e.hadRecentInput) window.__shift += e.value;
    }).observe({ type: 'layout-shift', buffered: true });
  });
  await page.goto(`${base}?demo=full`);
  await page.waitForFunction(() => window.tessel && window.tessel.ready);
  await until(page, readDone);
  // Whatever the read's end changes on screen lands in the next frames.
  await page.evaluate(() => new Promise((r) => setTimeout(r, 300)));
  const f = await page.evaluate(() => ({
    shift: window.__shift,
    fcp: performance.getEntriesByName('first-contentful-paint')[0]?.startTime ?? NaN,
    shown: window.tessel.marks.started,
    worker: !!(navigator.serviceWorker && navigator.serviceWorker.controller),
  }));
  await page.close();
  return f;
}

/** First visits (a fresh profile each) and repeat visits (the same profile, the service worker
 * installed) at desktop and phone sizes. */
async function startFigures(t) {
  for (const size of [{ name: 'desktop 1280 px', width: 1280, height: 860, phone: false },
    { name: 'phone 390 px', width: 390, height: 844, phone: true }]) {
    const first = [];
    const again = [];
    for (let i = 0; i < 3; i++) {
      const ctx = await t.browser.createBrowserContext();
      first.push(await startOnce(ctx, t.base, size));
      const page = await ctx.newPage();
      await page.goto(t.base);
      // A site without a worker never gets a controller: the repeat visit is then a plain one.
      await page.waitForFunction(() => navigator.serviceWorker && navigator.serviceWorker.controller, { timeout: 5000 }).catch(() => {});
      await page.close();
      again.push(await startOnce(ctx, t.base, size));
      await ctx.close();
    }
    const line = (xs) => `first contentful paint ${ms(median(xs.map((x) => x.fcp)))}, tool shown ${ms(median(xs.map((x) => x.shown)))}, ` +
      `layout shift ${Math.max(...xs.map((x) => x.shift)).toFixed(3)} (worst of ${xs.length})`;
    console.log(`${size.name}, first visit: ${line(first)}`);
    console.log(`${size.name}, repeat visit${again.every((x) => x.worker) ? ' (from the service worker)' : ''}: ${line(again)}`);
  }
}

/** Lighthouse's mobile performance audit, where the package is installed (it is not a
 * dependency: npm i --no-save -E lighthouse@12.2.3 in web/ brings it). */
async function lighthouseFigures(url) {
  let lighthouse;
  let launcher;
  try {
    lighthouse = (await import('lighthouse')).default;
    launcher = await import('chrome-launcher');
  } catch {
    console.log('lighthouse: not installed here; the figures above are measured in the page');
    return;
  }
  const chrome = await launcher.launch({ chromePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    chromeFlags: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'] });
  try {
    const r = await lighthouse(url, { port: chrome.port, output: 'json', logLevel: 'error', onlyCategories: ['performance'] });
    const a = r.lhr.audits;
    console.log(`lighthouse mobile (${url}): performance ${Math.round(r.lhr.categories.performance.score * 100)}, ` +
      `layout shift ${a['cumulative-layout-shift'].numericValue.toFixed(3)}, first contentful paint ${ms(a['first-contentful-paint'].numericValue)}, ` +
      `largest ${ms(a['largest-contentful-paint'].numericValue)}, blocking ${ms(a['total-blocking-time'].numericValue)}`);
  } finally {
    await chrome.kill();
  }
}

// ---- size ----
let raw = 0;
let gz = 0;
let br = 0;
const files = [];
const walk = (dir) => {
  for (const e of fs.readdirSync(dir, { withFileTypes: true })) {
    const p = path.join(dir, e.name);
    if (e.isDirectory()) walk(p);
    else files.push(p);
  }
};
walk(SITE);
for (const f of files) {
  const data = fs.readFileSync(f);
  raw += data.length;
  gz += zlib.gzipSync(data, { level: 9 }).length;
  br += zlib.brotliCompressSync(data).length;
}
console.log(`site: ${files.length} files, ${kb(raw)} raw, ${kb(gz)} gzip, ${kb(br)} brotli (goal: under 1.5 MB compressed)`);
console.log(`  tesselarc.wasm ${kb(fs.statSync(path.join(SITE, 'tesselarc.wasm')).size)}, tesselarc.js ${kb(fs.statSync(path.join(SITE, 'tesselarc.js')).size)}`);

// ---- speed in the page ----
const t = await start();
const runs = 5;
const shown = [];
const firstPage = [];
const reads = [];
const sends = [];
for (let i = 0; i < runs; i++) {
  const page = await t.browser.newPage();
  await page.setViewport({ width: 1280, height: 860 });
  await page.goto(`${t.base}?demo=full`);
  await page.waitForFunction(() => window.tessel && window.tessel.ready);
  await until(page, readDone);
  const m = await page.evaluate(() => ({
    started: window.tessel.marks.started,
    nav: performance.getEntriesByType('navigation')[0].startTime,
  }));
  shown.push(m.started - m.nav);
  await page.click('[data-id="1001"]');
  await page.waitForFunction(() => window.tessel.marks.firstPage);
  firstPage.push(await page.evaluate(() => window.tessel.marks.firstPage));
  const send = await page.evaluate(async () => {
    document.querySelector('[data-id="1007"]').click();
    const t0 = performance.now();
    await new Promise((resolve) => {
      const wait = () => (window.tessel.state.transfer ? setTimeout(wait, 1) : resolve());
      const begin = () => (window.tessel.state.transfer ? wait() : setTimeout(begin, 1));
      begin();
    });
    return performance.now() - t0;
  });
  sends.push(send);
  await page.close();
}
// The read alone: from the first progress shown to the read's end.
for (let i = 0; i < runs; i++) {
  const page = await t.browser.newPage();
  await page.evaluateOnNewDocument(() => {
    window.__readTimes = {};
    const poll = () => {
      const s = window.tessel && window.tessel.state;
      if (s && s.progress && !window.__readTimes.start) window.__readTimes.start = performance.now();
      if (s && window.__readTimes.start && !s.transfer && !window.__readTimes.end) window.__readTimes.end = performance.now();
      if (!window.__readTimes.end) setTimeout(poll, 1);
    };
    poll();
  });
  await page.goto(`${t.base}?demo=full`);
  await page.waitForFunction(() => window.__readTimes.end, { timeout: 20000 });
  reads.push(await page.evaluate(() => window.__readTimes.end - window.__readTimes.start));
  await page.close();
}
console.log(`navigation to the tool shown (wasm loaded, engine started): median ${ms(median(shown))} of ${runs} (goal: under 1 s)`);
await startFigures(t);
await lighthouseFigures(`${t.base}?demo=full`);
console.log(`navigation to the first page shown (start-up, adapter probe at 500 ms, full read, click): median ${ms(median(firstPage))}`);
console.log(`in-page virtual ESC: full read median ${ms(median(reads))}, full send (three custom curves) median ${ms(median(sends))}`);

// ---- the same engine natively: tesselarc-cli on its in-process virtual ESC ----
const cli = path.join(BUILD, 'tesselarc-cli');
if (fs.existsSync(cli)) {
  const times = [];
  for (let i = 0; i < runs; i++) {
    const t0 = performance.now();
    execFileSync(cli, ['--demo', 'read'], { stdio: 'ignore' });
    times.push(performance.now() - t0);
  }
  const sets = [];
  for (let i = 0; i < runs; i++) {
    const t0 = performance.now();
    execFileSync(cli, ['--demo', 'set', 'run_mode=2'], { stdio: 'ignore' });
    sets.push(performance.now() - t0);
  }
  console.log(`desktop engine (tesselarc-cli --demo read: start-up, probe, full read): median ${ms(median(times))}; ` +
    `its send (set minus read) about ${ms(median(sets) - median(times))}`);
}

// ---- Asyncify against a worker in Atomics.wait ----
const page = await t.page('?demo=hid-lcd');
const n = 2000;
const asyncify = await page.evaluate(async (count) => {
  const t0 = performance.now();
  await window.tessel.suspend(count);
  return (performance.now() - t0) / count;
}, n);
await page.close();
await t.close();
// A worker needs SharedArrayBuffer, which only a cross-origin isolated page has: the server
// must send COOP and COEP headers, which a plain static host does not.
const isolated = await serve(SITE, 0, {
  'Cross-Origin-Opener-Policy': 'same-origin',
  'Cross-Origin-Embedder-Policy': 'require-corp',
});
const t2 = await start();
const p2 = await t2.browser.newPage();
await p2.goto(`http://127.0.0.1:${isolated.address().port}/?demo=hid-lcd`);
const worker = await p2.evaluate(async (count) => {
  if (!self.crossOriginIsolated) return null;
  const code = `onmessage = (e) => { const a = new Int32Array(e.data); const t0 = performance.now();
    for (let i = 0; i < ${count}; i++) { postMessage(i); Atomics.wait(a, 0, i); }
    postMessage({ done: (performance.now() - t0) / ${count} }); };`;
  const w = new Worker(URL.createObjectURL(new Blob([code])));
  const sab = new SharedArrayBuffer(4);
  const a = new Int32Array(sab);
  return new Promise((resolve) => {
    w.onmessage = (e) => {
      if (typeof e.data === 'object') { w.terminate(); resolve(e.data.done); return; }
      Atomics.store(a, 0, e.data + 1);
      Atomics.notify(a, 0);
    };
    w.postMessage(sab);
  });
}, n);
await p2.close();
await t2.close();
isolated.close();
console.log(`one engine wait that resumes at once: Asyncify ${(asyncify * 1000).toFixed(1)} us, ` +
  `worker in Atomics.wait woken by the page ${worker === null ? 'unavailable' : `${(worker * 1000).toFixed(1)} us`}`);
let plain = null;
const noAsync = path.join(path.dirname(SITE), 'build-web-obj-noasyncify', 'tesselarc.wasm');
if (fs.existsSync(noAsync)) plain = fs.statSync(noAsync).size;
const withAsync = fs.statSync(path.join(SITE, 'tesselarc.wasm')).size;
if (plain) {
  console.log(`Asyncify's code size: ${kb(withAsync)} wasm against ${kb(plain)} without (+${(((withAsync - plain) / plain) * 100).toFixed(0)}%)`);
}
