// Keeps the site's files so that the drill opens without a network; the site itself only.
const CACHE = 'drill-@PROJECT_VERSION@';
const FILES = ['./', 'index.html', 'drill.js', 'offline.js', 'site.css', 'icon.png', 'icon-192.png', 'manifest.webmanifest',
  'fonts/drill-sans-a.txt', 'fonts/drill-sans-b.txt', 'fonts/drill-serif.txt', 'fonts/drill-script.txt'];
self.addEventListener('install', function (e) {
  e.waitUntil(caches.open(CACHE).then(function (c) { return c.addAll(FILES); }));
});
self.addEventListener('activate', function (e) {
  e.waitUntil(caches.keys().then(function (keys) {
    return Promise.all(keys.filter(function (k) { return k !== CACHE; }).map(function (k) { return caches.delete(k); }));
  }));
});
self.addEventListener('fetch', function (e) {
  if (new URL(e.request.url).origin !== location.origin) return;
  e.respondWith(caches.match(e.request).then(function (hit) { return hit || fetch(e.request); }));
});
