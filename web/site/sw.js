// The site's service worker: keeps one copy of this build's files so that the tool opens and
// runs with no network, and serves nothing else. scripts/web.sh writes the build's stamp and
// file list into the two lines below; a new stamp makes the browser install a new worker,
// which waits until the page asks it to take over (the page never reloads by itself).
const BUILD = 'unstamped';
const FILES = [];

const CACHE = `tesselarc-${BUILD}`;
const scope = new URL(self.registration.scope);

self.addEventListener('install', (event) => {
  // Straight from the server, past the HTTP cache, so that a build never mixes with the last.
  event.waitUntil(caches.open(CACHE).then((cache) =>
    cache.addAll(FILES.map((f) => new Request(new URL(f, scope), { cache: 'reload' })))));
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const key of await caches.keys()) {
      if (key.startsWith('tesselarc-') && key !== CACHE) await caches.delete(key);
    }
    await self.clients.claim();
  })());
});

self.addEventListener('message', (event) => {
  if (event.data === 'take-over') self.skipWaiting();
});

/** The site file a request names ('index.html' for the page at any query), or null. */
function siteFile(request) {
  if (request.method !== 'GET') return null;
  const url = new URL(request.url);
  if (url.origin !== scope.origin || !url.pathname.startsWith(scope.pathname)) return null;
  const name = url.pathname.slice(scope.pathname.length);
  if (request.mode === 'navigate' && (name === '' || name === 'index.html')) return 'index.html';
  if (url.search || !FILES.includes(name)) return null;
  return name;
}

self.addEventListener('fetch', (event) => {
  const name = siteFile(event.request);
  // Anything that is not one of the site's files goes to the network untouched.
  if (!name) return;
  event.respondWith((async () => {
    const cached = await (await caches.open(CACHE)).match(new URL(name, scope));
    return cached || fetch(event.request);
  })());
});
