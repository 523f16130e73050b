#!/usr/bin/python3
"""The site's copy for use without a network, on servers as schools have them, in headless
Chromium against local servers on 127.0.0.1 that this test starts and stops:

- two copies of the drill in two folders of one server, and another web app there: each keeps its
  cache, the drill's worker deletes only its own older ones, and both copies open offline, also
  by a link with a query string and by the folder's address;
- a site with a file missing, or served with a type the browser refuses: the program works online,
  a line under the windows says that it will not open without a network and why, and no half
  copy is kept;
- a first visit downloads each file of the site once: the worker takes what the page has just
  loaded from the browser's cache (the requests are counted for a server that lets the browser
  keep its files a while and for one that wants them checked each time), the program's
  WebAssembly compressed, not drill.wasm as well;
- the WebAssembly unpacked by the server on the way, or answered by a page of the server's, and
  a browser that cannot unpack it;
- Chromium takes the kept files by the worker's static routes, without starting the worker;
- a school's server by its name over plain http, where no copy can be kept: the page says so.

usage: serving.py SITE_DIR OUTPUT_DIR"""

import os
import shutil
import sys
import tempfile
import time

from selenium.common.exceptions import TimeoutException
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import offline  # noqa: E402
import web_cases as web  # noqa: E402

check = web.check
cases = web.cases

PUT = """
const done = arguments[arguments.length - 1];
const [name, url] = [arguments[0], arguments[1]];
caches.open(name).then(c => c.put(url, new Response('kept'))).then(() => done(true), () => done(false));
"""
ROUTED = """
const page = performance.getEntriesByType('navigation')[0];
return page && 'workerFinalSourceType' in page ? page.workerFinalSourceType : null;
"""
NOTE = """
const note = document.getElementById('offline-note');
return note ? note.textContent : null;
"""


def wait_worker(driver, what):
    driver.set_script_timeout(20)
    try:
        WebDriverWait(driver, 20, 0.1).until(
            lambda d: d.execute_async_script(offline.ACTIVE) == "activated")
    except Exception:
        pass
    check(driver.execute_async_script(offline.ACTIVE) == "activated",
          f"{what}: the service worker is active")


def note_line(driver, seconds):
    """The line under the windows about use without a network, once it is there (or None)."""
    try:
        return WebDriverWait(driver, seconds, 0.1).until(lambda d: d.execute_script(NOTE))
    except TimeoutException:
        return None


def caches(driver):
    return set(driver.execute_async_script(offline.CACHES) or [])


def starts(driver, url, what):
    driver.get(url)
    web.wait_focus(driver, cases.EXIT, "button", what)


def neighbours(site):
    """Two copies in two folders and another app on one server; offline, both copies open, also
    by a link with a query string and by the folder's address."""
    root = tempfile.mkdtemp(prefix="drill-neighbours-")
    profile = tempfile.mkdtemp(prefix="drill-neighbours-profile-")
    for folder in ("a", "b"):
        shutil.copytree(site, os.path.join(root, folder))
    os.makedirs(os.path.join(root, "other"))
    with open(os.path.join(root, "other", "index.html"), "w", encoding="utf-8") as f:
        f.write("<!DOCTYPE html><title>Other</title>")
    server = web.serve(root, offline.Uncached)
    base = f"http://127.0.0.1:{server.server_address[1]}/"
    try:
        driver = web.browser(profile=profile)
        try:
            driver.get(base + "other/index.html")
            driver.set_script_timeout(20)
            # Another app's data; a cache that an older worker of the drill in a/ named in its old
            # way, and one that a drill elsewhere on the server named so.
            for name, url in (("other-app", base + "other/data"),
                              ("drill-00000000000000aa", base + "a/index.html"),
                              ("drill-00000000000000cc", base + "c/index.html")):
                check(driver.execute_async_script(PUT, name, url), f"cache {name} made")
            for folder in ("a", "b"):
                starts(driver, base + folder + "/index.html", f"{folder}/, online")
                wait_worker(driver, f"{folder}/")
            kept = caches(driver)
            own = {offline.cache_name(site, base + folder + "/") for folder in ("a", "b")}
            check(own | {"other-app", "drill-00000000000000cc"} == kept,
                  f"each copy keeps its cache, the other app and the other drill theirs, the "
                  f"older cache of a/ goes: {sorted(kept)}, expected "
                  f"{sorted(own | {'other-app', 'drill-00000000000000cc'})}")
        finally:
            driver.quit()
        web.stop(server)

        driver = web.browser(profile=profile)
        try:
            for address in ("a/index.html", "b/index.html", "a/index.html?klass=2b",
                            "b/?klass=2b#start", "a/"):
                starts(driver, base + address, f"offline, {address}")
                # Chromium takes a kept file straight from the cache, by the worker's routes,
                # without starting the worker; a page with a query goes through the worker.
                routed = driver.execute_script(ROUTED)
                if routed is not None:
                    check(routed == ("cache" if address.endswith(".html") else ""),
                          f"offline, {address}: the page comes by a static route: {routed!r}")
        finally:
            driver.quit()
    finally:
        web.stop(server)
        shutil.rmtree(root, ignore_errors=True)
        shutil.rmtree(profile, ignore_errors=True)


def typed(names, kind):
    """A server that gives the files of those names the type kind."""

    class Typed(offline.Uncached):
        def guess_type(self, path):
            return kind if os.path.basename(path) in names else super().guess_type(path)

    return Typed


def broken_sites(site):
    """(label, file removed, files served as text/plain, words the line must hold)."""
    for label, missing, plain, words in (
            ("a font's licence missing", "fonts/drill-serif.txt", (), "fonts/drill-serif.txt"),
            ("the manifest missing", "manifest.webmanifest", (), "manifest.webmanifest"),
            ("drill.js served as text", None, ("drill.js",), "drill.js"),
            ("sw.js served as text", None, ("sw.js",), "sw.js")):
        root = tempfile.mkdtemp(prefix="drill-broken-")
        copy = os.path.join(root, "site")
        shutil.copytree(site, copy)
        if missing:
            os.remove(os.path.join(copy, missing))
        server = web.serve(copy, typed(plain, "text/plain"))
        driver = web.browser()
        try:
            starts(driver, f"http://127.0.0.1:{server.server_address[1]}/index.html",
                   f"{label}: online")
            note = note_line(driver, 10)
            check(note and "Без сети программа не откроется" in note and words in note,
                  f"{label}: the page says that it will not open offline, and why: {note!r}")
            seen = driver.execute_script(
                "const n = document.getElementById('offline-note'); if (!n) return false;"
                "const b = n.getBoundingClientRect(); return b.height > 0 &&"
                " getComputedStyle(n).visibility === 'visible'")
            check(seen, f"{label}: the line is shown")
            time.sleep(0.5)
            kept = [name for name in caches(driver) if name.startswith("drill")]
            check(not kept, f"{label}: no half copy is kept: {kept}")
            web.wait_focus(driver, cases.EXIT, "button", f"{label}: the program goes on")
            driver.save_screenshot(os.path.join(web.OUT, label.replace(" ", "-") + ".png"))
        finally:
            driver.quit()
            web.stop(server)
            shutil.rmtree(root, ignore_errors=True)


def wasm_forms(site):
    """The program's WebAssembly as servers send it: drill.wasm.gz unpacked on the way
    (Content-Encoding: gzip), or answered by a page of the server's, or asked for by drill.js
    where the server's own policy refuses the page's script; and a browser that cannot unpack
    it, which takes drill.wasm."""

    class Unpacking(offline.Uncached):
        def end_headers(self):
            if self.path.endswith(".wasm.gz"):
                self.send_header("Content-Encoding", "gzip")
            super().end_headers()

    class Fallback(offline.Uncached):
        def send_head(self):
            if self.path.endswith(".wasm.gz"):
                self.path = "/index.html"
            return super().send_head()

    class OwnPolicy(offline.Uncached):
        # A server's policy that allows the site's own scripts and WebAssembly, and no inline
        # script: the page's early request for the program is refused, drill.js asks for it.
        def end_headers(self):
            self.send_header("Content-Security-Policy", "script-src 'self' 'wasm-unsafe-eval'")
            super().end_headers()

    for label, handler in (("drill.wasm.gz unpacked by the server", Unpacking),
                           ("drill.wasm.gz answered by a page", Fallback),
                           ("a server's policy that refuses the page's inline script", OwnPolicy),
                           ("a browser without DecompressionStream", offline.Uncached)):
        root = tempfile.mkdtemp(prefix="drill-wasm-")
        profile = tempfile.mkdtemp(prefix="drill-wasm-profile-")
        shutil.copytree(site, os.path.join(root, "site"))
        server = web.serve(os.path.join(root, "site"), handler)
        url = f"http://127.0.0.1:{server.server_address[1]}/index.html"
        try:
            driver = web.browser(profile=profile)
            try:
                if "without" in label:
                    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {
                        "source": "delete window.DecompressionStream;"})
                if "a page" in label:
                    driver.get(url)
                    note = None
                    for _ in range(100):
                        note = driver.execute_script(
                            "const n = document.getElementById('cannot-run');"
                            "return n && !n.hidden ? n.textContent : null")
                        if note:
                            break
                        time.sleep(0.1)
                    check(note and note.startswith("Программа не запустилась"),
                          f"{label}: the page says that the program did not start: {note!r}")
                    continue
                starts(driver, url, f"{label}: online")
                loaded = driver.execute_script(
                    "return performance.getEntriesByType('resource').map(e => e.name)"
                    ".filter(n => /[.]wasm/.test(n)).map(n => n.split('/').pop())")
                expected = ["drill.wasm"] if "without" in label else ["drill.wasm.gz"]
                check(loaded == expected, f"{label}: the page loads {expected}: {loaded}")
                if "without" in label:
                    continue
                wait_worker(driver, label)
                check(driver.execute_script(NOTE) is None,
                      f"{label}: the copy for use offline is kept: {driver.execute_script(NOTE)!r}")
            finally:
                driver.quit()
            if "without" in label or "a page" in label:
                continue
            web.stop(server)
            driver = web.browser(profile=profile)
            try:
                starts(driver, url, f"{label}: offline")
            finally:
                driver.quit()
        finally:
            web.stop(server)
            shutil.rmtree(root, ignore_errors=True)
            shutil.rmtree(profile, ignore_errors=True)


def plain_http(site):
    """A school server by its name over plain http: the browser keeps no copy there (a service
    worker needs https); the program works, and the line under the windows says so, on each
    visit."""
    server = web.serve(site, offline.Uncached)
    name = "school.example"
    url = f"http://{name}:{server.server_address[1]}/index.html"
    driver = web.browser(arguments=(f"--host-resolver-rules=MAP {name} 127.0.0.1",))
    try:
        for visit in ("first visit", "next visit"):
            starts(driver, url, f"plain http, {visit}")
            check(driver.execute_script("return window.isSecureContext") is False,
                  f"plain http, {visit}: the page is not a secure context (as on a school's "
                  f"server without https)")
            note = note_line(driver, 5)
            check(note and "Без сети программа не откроется" in note and "https://" in note,
                  f"plain http, {visit}: the page says that it needs https to open offline: "
                  f"{note!r}")
            check(not driver.execute_script("return !!navigator.serviceWorker"),
                  f"plain http, {visit}: no service worker")
        driver.save_screenshot(os.path.join(web.OUT, "plain-http.png"))
    finally:
        driver.quit()
        web.stop(server)


def counting(cache_control):
    """A server that counts what it sends, with the Cache-Control header given."""
    log = []

    class Counting(web.Quiet):
        def end_headers(self):
            self.send_header("Cache-Control", cache_control)
            super().end_headers()

        def log_request(self, code="-", size="-"):
            log.append((self.path, int(code)))

    return Counting, log


def first_visit(site):
    """Each file of the site downloaded once on a first visit, the worker's copy included."""
    for cache_control in ("max-age=600", "no-cache"):
        handler, log = counting(cache_control)
        server = web.serve(site, handler)
        driver = web.browser()
        try:
            starts(driver, f"http://127.0.0.1:{server.server_address[1]}/index.html",
                   f"first visit, {cache_control}")
            wait_worker(driver, f"first visit, {cache_control}")
        finally:
            driver.quit()
            web.stop(server)
        bodies = [path for path, code in log if code == 200]
        again = sorted({path for path in bodies if bodies.count(path) > 1})
        size = sum(os.path.getsize(os.path.join(site, path.lstrip("/")))
                   for path in bodies if os.path.isfile(os.path.join(site, path.lstrip("/"))))
        print(f"first visit, Cache-Control: {cache_control}: {len(log)} requests, "
              f"{len(bodies)} with the file ({size // 1024} KB), "
              f"{sum(code == 304 for _, code in log)} answered 'not modified'", flush=True)
        check(not again, f"first visit, {cache_control}: downloaded more than once: {again}")
        # The program comes compressed, once; drill.wasm is only for a browser that cannot unpack.
        check("/drill.wasm.gz" in bodies and "/drill.wasm" not in bodies,
              f"first visit, {cache_control}: drill.wasm.gz loaded, not drill.wasm")


def main():
    site, web.OUT = sys.argv[1], sys.argv[2]
    os.makedirs(web.OUT, exist_ok=True)
    for part in (neighbours, broken_sites, wasm_forms, plain_http, first_visit):
        print("--", part.__name__, flush=True)
        part(site)
    print("FAILED" if web.failures else "passed", len(web.failures), "failures")
    sys.exit(1 if web.failures else 0)


if __name__ == "__main__":
    main()
