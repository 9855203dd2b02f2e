// Keeps the viewer working without a network: the page, its scripts and the
// WebAssembly module are stored when the page is first loaded and served from
// that store afterwards. The build puts a digest of all of them into BUILD, so
// a new build replaces the stored copy.
const BUILD = '@BUILD@';
const CACHE = `kdx-viewer-${BUILD}`;
// Every file of the page, separated by blanks (filled in by the build).
const FILES = ['./', ...'@FILES@'.split(' ')];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((keys) => Promise.all(keys.filter((k) => k.startsWith('kdx-viewer-') && k !== CACHE)
      .map((k) => caches.delete(k))))
    .then(() => self.clients.claim()));
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(caches.open(CACHE)
    .then((cache) => cache.match(request, { ignoreSearch: true }))
    .then((stored) => stored || fetch(request)));
});
