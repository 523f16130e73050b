// Over http(s) the site can be installed and, once loaded, works offline on the next visit: a
// web app manifest and a service worker that keeps the site's files. Opened from a folder
// (file://) it needs neither, and the browser would refuse both.
//
// Both come once the main window has been painted: installing the worker fetches the whole site
// again, which would otherwise compete with the program's start for the machine.
if (location.protocol.startsWith('http')) {
  document.addEventListener('drill-shown', function () {
    const manifest = document.createElement('link');
    manifest.rel = 'manifest';
    manifest.href = 'manifest.webmanifest';
    document.head.append(manifest);
    if ('serviceWorker' in navigator) {
      navigator.serviceWorker.register('sw.js').catch(function () {});
    }
  }, {once: true});
}
