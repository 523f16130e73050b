// Over http(s) the site can be installed and, once loaded, works offline on the next visit: a
// web app manifest and a service worker that keeps the site's files. Opened from a folder
// (file://) it needs neither, and the browser would refuse both.
//
// Both come once the main window has been painted: installing the worker fetches the whole site
// again, which would otherwise compete with the program's start for the machine.
//
// Where the copy cannot be kept (a file missing on the server or served with a wrong type, a
// browser that keeps none from this address), the program goes on working with the network, and
// a line under the windows says why it will not open without one, for the teacher who put the
// site on the server; the console says it too.
if (location.protocol.startsWith('http')) {
  // why: in the page's language; detail: the browser's own words, in English.
  const drillOfflineNote = function (why, detail) {
    console.warn('Drill: no copy kept for use without a network: ' + why +
                 (detail ? ' (' + detail + ')' : ''));
    let note = document.getElementById('offline-note');
    if (!note) {
      note = document.createElement('aside');
      note.id = 'offline-note';
      note.className = 'note';
      note.setAttribute('aria-label', 'Работа без сети');
      document.getElementById('desktop').after(note);
    }
    note.textContent = 'Без сети программа не откроется: ' + why + '.';
    if (detail) {
      const words = document.createElement('span');
      words.lang = 'en';
      words.textContent = ' ' + detail;
      note.append(words);
    }
  };
  document.addEventListener('drill-shown', function () {
    const manifest = document.createElement('link');
    manifest.rel = 'manifest';
    manifest.href = 'manifest.webmanifest';
    document.head.append(manifest);
    if (!('serviceWorker' in navigator)) {
      drillOfflineNote('браузер не сохраняет копию сайта, открытого с этого адреса ' +
                       '(нужен адрес https://)');
      return;
    }
    let told = false;
    navigator.serviceWorker.addEventListener('message', function (e) {
      if (e.data && e.data.drillOffline) {
        told = true;
        drillOfflineNote('копия сайта не сохранена: ' + e.data.drillOffline);
      }
    });
    navigator.serviceWorker.register('sw.js').then(function (registration) {
      const worker = registration.installing;
      if (!worker) return;
      let installed = false;
      worker.addEventListener('statechange', function () {
        installed = installed || worker.state !== 'redundant';
        // A worker that failed to install has said why, unless it could not.
        if (worker.state === 'redundant' && !installed && !told) {
          setTimeout(function () {
            if (!told) drillOfflineNote('копия сайта не сохранена');
          }, 1000);
        }
      });
    }, function (error) {
      drillOfflineNote('браузер не принял файл sw.js', error.message);
    });
  }, {once: true});
}
