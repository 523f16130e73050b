#!/usr/bin/python3
"""The site works without a network once it has been visited. Headless Chromium loads it from a
local server on 127.0.0.1 that this test starts (one that lets the browser cache nothing), waits
until the site's service worker is active and controls the page, checks that the web app
manifest and the favicon are served and name the program's icon, then stops the server, starts
the browser again on the same profile and plays the whole series from the same address. Last, a
newer build of the site on the server replaces the copy that the browser keeps.

usage: offline.py SITE_DIR OUTPUT_DIR"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import urllib.error
import urllib.request

from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import web_cases as web  # noqa: E402

check = web.check

TOOLKIT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "toolkit", "web")
MARK = "drill-newer-build"
CACHES = """
const done = arguments[arguments.length - 1];
caches.keys().then(done, () => done(null));
"""
PNG = b"\x89PNG\r\n\x1a\n"
CONTROLLED = "return !!(navigator.serviceWorker && navigator.serviceWorker.controller)"
ACTIVE = """
const done = arguments[arguments.length - 1];
navigator.serviceWorker.ready.then(r => done(r.active ? r.active.state : null), () => done(null));
"""


def fetch(url):
    """(status, content type, body) of a GET, or None where nothing answers."""
    try:
        with urllib.request.urlopen(url, timeout=5) as response:
            return response.status, response.headers.get_content_type(), response.read()
    except urllib.error.HTTPError as error:
        return error.code, None, b""
    except OSError:
        return None


def check_icons(driver, base):
    """The page's manifest and favicon links, and what the server gives for them."""
    links = driver.execute_script(
        "return ['manifest', 'icon'].map(r => { const l = document.querySelector("
        "`link[rel=\"${r}\"]`); return l ? l.href : null; })")
    manifest_url, favicon_url = links
    check(manifest_url == base + "manifest.webmanifest",
          f"the page's manifest link: {manifest_url}")
    check(favicon_url == base + "icon.png", f"the page's favicon link: {favicon_url}")
    got = fetch(base + "manifest.webmanifest")
    check(got and got[0] == 200, f"the manifest is served: {got and got[:2]}")
    manifest = json.loads(got[2]) if got and got[0] == 200 else {}
    icons = {icon.get("src"): icon for icon in manifest.get("icons", [])}
    check("icon.png" in icons and "icon-192.png" in icons,
          f"the manifest names the program's icon in both sizes: {sorted(icons)}")
    check(manifest.get("start_url") == "index.html", f"start_url {manifest.get('start_url')!r}")
    for src in ["icon.png"] + sorted(icons):
        got = fetch(base + src)
        png = bool(got) and got[0] == 200 and got[2][:8] == PNG
        check(png and got[1] == "image/png", f"{src} is served as a PNG image: {got and got[:2]}")
        size = icons.get(src, {}).get("sizes")
        if png and size:
            width = int.from_bytes(got[2][16:20], "big")
            height = int.from_bytes(got[2][20:24], "big")
            check(size == f"{width}x{height}", f"{src}: the manifest says {size}, the image is "
                                               f"{width}x{height}")


class Uncached(web.Quiet):
    """Nothing it serves is kept in the browser's own cache, so that offline only the service
    worker can answer."""

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()


def cache_name(site, scope):
    """The name of the cache that the site's worker keeps, served with that scope."""
    with open(os.path.join(site, "sw.js"), encoding="utf-8") as f:
        return f"drill {scope} " + re.search(r"const CACHE = PREFIX \+ '([^']+)'", f.read()).group(1)


def newer_site(site, folder, scope):
    """A copy of the site with a changed index.html and its worker made anew as the build makes
    it; the name of the cache that the new worker keeps."""
    shutil.copytree(site, folder)
    index = os.path.join(folder, "index.html")
    with open(index, encoding="utf-8") as f:
        text = f.read()
    with open(index, "w", encoding="utf-8") as f:
        f.write(text.replace('<meta charset="utf-8">',
                             f'<meta charset="utf-8">\n<meta name="{MARK}" content="">'))
    subprocess.run([sys.executable, os.path.join(TOOLKIT, "make_worker.py"),
                    os.path.join(TOOLKIT, "sw.js.in"), folder], check=True)
    return cache_name(folder, scope)


def main():
    site, web.OUT = sys.argv[1], sys.argv[2]
    os.makedirs(web.OUT, exist_ok=True)
    server = web.serve(site, Uncached)
    base = f"http://127.0.0.1:{server.server_address[1]}/"
    url = base + "index.html"
    profile = tempfile.mkdtemp(prefix="drill-offline-")
    try:
        driver = web.browser(profile=profile)
        try:
            driver.get(url)
            web.wait_focus(driver, web.cases.EXIT, "button", "online, at start")
            driver.set_script_timeout(20)
            state = None
            try:
                WebDriverWait(driver, 20, 0.1).until(
                    lambda d: d.execute_async_script(ACTIVE) == "activated")
            except Exception:
                state = driver.execute_async_script(ACTIVE)
            check(state is None, f"the service worker is active: {state!r}")
            # A page is controlled by the worker that was active when it loaded: the next visit.
            driver.get(url)
            try:
                WebDriverWait(driver, 10, 0.05).until(lambda d: d.execute_script(CONTROLLED))
            except Exception:
                pass
            check(driver.execute_script(CONTROLLED), "the service worker controls the page")
            check_icons(driver, base)
        finally:
            driver.quit()

        web.stop(server)
        check(fetch(url) is None, "the server is stopped")

        # The next visit, in a new start of the browser: nothing is left in its memory, and the
        # server let it keep nothing in its disk cache, so only the service worker can answer.
        driver = web.browser(profile=profile)
        try:
            names = {}
            web.play(driver, url, names)
            check(names.get("Numb", (None, None))[1] == "textbox", "offline, the series was played")
            problems = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
            check(not problems, f"offline: console errors {problems}")
            driver.save_screenshot(os.path.join(web.OUT, "offline.png"))

            # A newer build of the site on the server reaches the browser that keeps a copy.
            newer = os.path.join(profile, "newer")
            cache = newer_site(site, newer, base)
            server = web.serve(newer, Uncached, int(base.rsplit(":", 1)[1].strip("/")))
            driver.get(url)
            try:
                WebDriverWait(driver, 20, 0.2).until(lambda d: d.execute_async_script(CACHES)
                                                     == [cache])
            except Exception:
                pass
            kept = driver.execute_async_script(CACHES)
            check(kept == [cache], f"the newer site replaces the kept copy: caches {kept}, "
                                   f"expected {[cache]}")
            driver.get(url)
            check(driver.execute_script(f"return !!document.querySelector('meta[name={MARK}]')"),
                  "the next visit shows the newer site")
            web.wait_focus(driver, web.cases.EXIT, "button", "the newer site starts")
        finally:
            driver.quit()
    finally:
        web.stop(server)
        shutil.rmtree(profile, ignore_errors=True)

    print("FAILED" if web.failures else "passed", len(web.failures), "failures")
    sys.exit(1 if web.failures else 0)


if __name__ == "__main__":
    main()
