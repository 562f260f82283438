// Installs the site's service worker, so that after one visit the tool opens with no network,
// and offers a new build when one is served. The page is reloaded only when the user asks, and
// never while a transfer runs: the offer's button waits until the transfer has ended.
// @ts-check

const NEW_VERSION = 'a new version is ready: reload';

/** @param {ServiceWorker} worker */
function offer(worker) {
  if (document.querySelector('.update-bar')) return;
  const bar = document.createElement('div');
  bar.className = 'update-bar';
  bar.setAttribute('role', 'status');
  const text = document.createElement('span');
  text.textContent = NEW_VERSION;
  const button = document.createElement('button');
  button.type = 'button';
  button.textContent = 'Reload';
  bar.append(text, button);
  document.body.append(bar);

  const busy = () => {
    const s = /** @type {any} */ (window).tessel?.state;
    return !!(s && s.transfer);
  };
  const watch = window.setInterval(() => { button.disabled = busy(); }, 250);
  button.disabled = busy();
  let asked = false;
  navigator.serviceWorker.addEventListener('controllerchange', () => {
    // Another tab may have let the new worker in; only the tab that asked reloads.
    if (asked) location.reload();
  });
  button.addEventListener('click', () => {
    if (busy()) return;
    asked = true;
    button.disabled = true;
    window.clearInterval(watch);
    worker.postMessage('take-over');
  });
}

async function register() {
  const registration = await navigator.serviceWorker.register('sw.js', { updateViaCache: 'none' });
  // A worker found on an earlier visit may still wait for the pages that use the old one.
  if (registration.waiting && navigator.serviceWorker.controller) offer(registration.waiting);
  registration.addEventListener('updatefound', () => {
    const worker = registration.installing;
    if (!worker) return;
    worker.addEventListener('statechange', () => {
      // The first install has no page to replace; it serves from the next visit on.
      if (worker.state === 'installed' && navigator.serviceWorker.controller) offer(worker);
    });
  });
}

if ('serviceWorker' in navigator) {
  // After the page has loaded, so that the worker's downloads never slow the tool's start.
  const start = () => register().catch((e) => console.warn('No offline copy:', e));
  if (document.readyState === 'complete') start();
  else window.addEventListener('load', start, { once: true });
}
