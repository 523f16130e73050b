#!/usr/bin/python3
"""Start-up of the web build in headless Chromium, against a static HTML page with the same
controls, and the size of the site.

What is timed: from navigation start (the page's performance.timeOrigin) until the browser first
paints the main window: the page's First Contentful Paint, read from the paint timeline. Before
the program shows its main window the page holds no text or image that is displayed (the windows
are built hidden, the message box is a closed <dialog>), so the first contentful paint is the
frame in which the window, with its texts in the stand-in fonts, first appears. The moment the
program un-hides the window (a MutationObserver that this script adds to the page) is printed
beside it, with where the time before it goes: drill.js received, its WebAssembly compiled and
instantiated, the program's main run.

The static page is the drill's own main window taken from a running drill (its markup, with the
label texts and the controls' places as the program laid them out: three labels, the answer
<input>, the OK <button> with its check mark, the «Выход» <button>, the panel), with the same
site.css, so the same fonts and styles, and no script. What separates the two is then the
program itself: loading and compiling it and laying out the windows, not the fonts or the styles,
which any page with this look would pay as well. Its only other difference: it has no
Content-Security-Policy, which would refuse the captured inline styles.

Both are served by one local server on 127.0.0.1 (Python's http.server, no compression). Each
round starts a fresh Chromium (a fresh profile, so nothing cached: a pupil's first visit) for
each page in turn, the order changing between rounds, loads the page, then, once the drill's
service worker is active, loads it again in the same browser (a later visit: the browser's cache
and, for the drill, its service worker).
The ratios are taken round by round and their median shown, so that a busy machine slows both
pages of a round alike.

The site's size: every file raw and compressed with gzip -9, summed, the part that a visit over
http loads, and the biggest files.

usage: bench/web_startup.py [SITE_DIR [ROUNDS]] [--also OTHER_SITE_DIR]
  default: build/web/site, 20 rounds; --also measures another build of the site in the same
  rounds (say, one from before a change), served by a second local server. Needs chromium,
  chromium-driver, python3-selenium.
"""

import argparse
import functools
import http.server
import os
import re
import statistics
import subprocess
import threading

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

STATIC = "/bench-static.html"

# Added to each page before its own scripts: notes when the fonts are decoded, when the main
# window is made and un-hidden, and how long the WebAssembly takes to compile and instantiate.
PROBE = r"""
window.__bench = {};
(function () {
  const b = window.__bench;
  const note = function (name) { if (!(name in b)) b[name] = performance.now(); };
  // When the last of the page's fonts is decoded, and when the program makes its first window.
  const loadFont = FontFace.prototype.load;
  FontFace.prototype.load = function () {
    return loadFont.apply(this, arguments).then(function (face) {
      b['fonts loaded'] = performance.now();
      return face;
    });
  };
  const watch = new MutationObserver(function () {
    if (document.querySelector('section.window')) note('window made');
    const w = document.querySelector('section.window');
    if (w && !w.hidden) { note('shown'); watch.disconnect(); }
  });
  watch.observe(document, {subtree: true, childList: true, attributes: true,
                           attributeFilter: ['hidden']});
  for (const name of ['compile', 'instantiate', 'compileStreaming', 'instantiateStreaming']) {
    const original = WebAssembly[name];
    WebAssembly[name] = function () {
      const start = performance.now();
      return original.apply(WebAssembly, arguments).then(function (result) {
        b['wasm ' + name + ' start'] = b['wasm ' + name + ' start'] || start;
        b['wasm ' + name + ' end'] = performance.now();
        return result;
      });
    };
  }
})();
"""

READ = r"""
const fcp = performance.getEntriesByName('first-contentful-paint')[0];
const w = document.querySelector('section.window');
if (!fcp || !w || w.hidden) return null;
const out = Object.assign({}, window.__bench);
out.paint = fcp.startTime;
const nav = performance.getEntriesByType('navigation')[0];
out['DOMContentLoaded'] = nav.domContentLoadedEventStart;
out['load'] = nav.loadEventStart;
const js = performance.getEntriesByName(new URL('drill.js', location.href).href)[0];
if (js) out['drill.js received'] = js.responseEnd;
const wasm = performance.getEntriesByName(new URL('drill.wasm.gz', location.href).href)[0] ||
             performance.getEntriesByName(new URL('drill.wasm', location.href).href)[0];
if (wasm) out['drill.wasm received'] = wasm.responseEnd;
// The page itself came from the service worker, or from its cache by the worker's static routes.
out.controlled = nav.workerStart > 0 || nav.workerFinalSourceType === 'cache';
return out;
"""


def browser():
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                     "--window-size=800,600", "--force-device-scale-factor=1",
                     "--disable-background-networking", "--disable-component-update"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": PROBE})
    return driver


def load(driver, url):
    """The probe's figures (ms from navigation start) of one load of url."""
    driver.get(url)
    return WebDriverWait(driver, 20, 0.01).until(lambda d: d.execute_script(READ))


# A page that registers a service worker (the drill) comes back once the worker is active, as a
# pupil's next visit would; the static page has none.
SETTLED = r"""
const done = arguments[arguments.length - 1];
if (!document.querySelector('link[rel="manifest"]') || !navigator.serviceWorker) return done(true);
navigator.serviceWorker.ready.then(function (r) {
  if (r.active.state === 'activated') return done(true);
  r.active.addEventListener('statechange', function () {
    if (r.active.state === 'activated') done(true);
  });
});
"""


def settle(driver):
    driver.set_script_timeout(20)
    driver.execute_async_script(SETTLED)


def static_page(site, driver, url):
    """The drill's main window as a page of plain markup, taken from the running drill."""
    load(driver, url)
    body = driver.execute_script(
        "const d = document.getElementById('desktop').cloneNode(true);"
        "d.querySelectorAll('dialog').forEach(e => e.remove());"
        "return d.outerHTML")
    with open(os.path.join(site, "index.html"), encoding="utf-8") as f:
        head = re.sub(r"<script\b.*?</script>\n?", "", f.read().split("<body>")[0], flags=re.S)
    head = "\n".join(line for line in head.splitlines() if "Content-Security-Policy" not in line)
    return (head + "\n<body>\n" + body + "\n</body>\n</html>\n").encode()


def make_server(site, static):
    class Handler(http.server.SimpleHTTPRequestHandler):
        def do_GET(self):
            if self.path == STATIC and static:
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(static[0])))
                self.end_headers()
                self.wfile.write(static[0])
            else:
                super().do_GET()

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), functools.partial(Handler, directory=site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def site_size(site):
    rows = []
    for folder, _, names in os.walk(site):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                packed = subprocess.run(["gzip", "-9", "-n", "-c"], stdin=f, check=True,
                                        capture_output=True).stdout
            rows.append((os.path.relpath(path, site), os.path.getsize(path), len(packed)))
    return sorted(rows, key=lambda row: -row[2])


def summary(values):
    return f"median {statistics.median(values):7.1f}  min {min(values):7.1f}"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Start-up of the web build against a static "
                                                 "page with the same controls; the site's size.")
    parser.add_argument("site", nargs="?",
                        default=os.path.join(here, "..", "build", "web", "site"))
    parser.add_argument("rounds", nargs="?", type=int, default=20)
    parser.add_argument("--also", help="another build of the site, measured alongside")
    args = parser.parse_args()
    site, rounds = os.path.abspath(args.site), args.rounds
    static = []
    servers = [make_server(site, static)]
    base = f"http://127.0.0.1:{servers[0].server_address[1]}"
    pages = {"drill": base + "/index.html", "static page": base + STATIC}
    if args.also:
        servers.append(make_server(os.path.abspath(args.also), []))
        pages["drill (--also)"] = f"http://127.0.0.1:{servers[-1].server_address[1]}/index.html"
    visits = ("first visit", "later visit")
    figures = {(page, visit): [] for page in pages for visit in visits}
    try:
        driver = browser()
        try:
            static.append(static_page(site, driver, pages["drill"]))
        finally:
            driver.quit()
        names = list(pages)
        for number in range(rounds + 1):
            # Each round in another order; the first round only warms the machine's caches.
            shift = number % len(names)
            for page in names[shift:] + names[:shift]:
                driver = browser()
                try:
                    results = [load(driver, pages[page])]
                    settle(driver)
                    results.append(load(driver, pages[page]))
                finally:
                    driver.quit()
                if number:
                    for visit, result in zip(visits, results):
                        figures[page, visit].append(result)
    finally:
        for server in servers:
            server.shutdown()
            server.server_close()

    print(f"headless Chromium, {rounds} interleaved rounds, ms from navigation start "
          f"until the main window is first painted (first contentful paint):")
    drills = [page for page in pages if page != "static page"]
    for visit in visits:
        print(f"{visit}:")
        for page in pages:
            values = [r["paint"] for r in figures[page, visit]]
            print(f"  {page:16} {summary(values)}")
        for page in drills:
            results = figures[page, visit]
            for step in ("drill.js received", "drill.wasm received", "fonts loaded",
                         "wasm instantiate start", "wasm instantiate end",
                         "wasm instantiateStreaming start", "wasm instantiateStreaming end",
                         "window made",
                         "shown"):
                values = [r[step] for r in results if step in r]
                if values:
                    print(f"    {page}: {step:22} {summary(values)}")
            controlled = sum(r["controlled"] for r in results)
            if controlled:
                print(f"    {page}: served by its service worker or its cache in {controlled} of "
                      f"{len(results)} loads")
        for page in drills:
            pairs = zip(figures[page, visit], figures["static page", visit])
            ratio = statistics.median(a["paint"] / b["paint"] for a, b in pairs)
            print(f"  ratio {page} / static page ({visit}): {ratio:.2f}  (goal: at most 1.3)")

    rows = site_size(site)
    raw, packed = sum(r[1] for r in rows), sum(r[2] for r in rows)
    print(f"site {site}: {len(rows)} files, {raw} bytes ({raw / 1024:.0f} KB) raw, "
          f"{packed} bytes ({packed / 1024:.0f} KB) with each file gzip -9")
    # drill.wasm.js serves only a page opened from the folder; over http drill.wasm.gz is loaded
    # (drill.wasm only by a browser that cannot unpack it).
    web = [r for r in rows if r[0] not in ("drill.wasm.js", "drill.wasm")]
    raw, packed = sum(r[1] for r in web), sum(r[2] for r in web)
    print(f"  a pupil's first visit over http downloads all but drill.wasm.js and drill.wasm: "
          f"{raw} bytes "
          f"({raw / 1024:.0f} KB) from a server that sends files as they are, {packed} bytes "
          f"({packed / 1024:.0f} KB) from one that compresses")
    print("  biggest files (raw, gzip -9 bytes):")
    for name, size, small in rows[:4]:
        print(f"    {name:24} {size:8} {small:8}")


if __name__ == "__main__":
    main()
