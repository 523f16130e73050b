// Over http(s) the site can be installed and, once loaded, works offline on the next visit: a
// web app manifest and a service worker that keeps the site's files. Opened from a folder
// (file://) it needs neither, and the browser would refuse both.
if (location.protocol.startsWith('http')) {
  const manifest = document.createElement('link');
  manifest.rel = 'manifest';
  manifest.href = 'manifest.webmanifest';
  document.head.append(manifest);
  if ('serviceWorker' in navigator) {
    navigator.serviceWorker.register('sw.js').catch(function () {});
  }
}
