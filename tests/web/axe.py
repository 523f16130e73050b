#!/usr/bin/python3
"""axe-core, the accessibility checker (pinned in package-lock.json beside this file and installed
by scripts/deps.sh web), run over the page in headless Chromium in its three states: at start,
with the message box open and with the result window open, on a desktop and on a phone, and
with the line that says the site is not kept for use without a network. No
violation is allowed. The site is served from a local server on 127.0.0.1 that this test starts
and stops.

usage: axe.py SITE_DIR OUTPUT_DIR"""

import json
import os
import shutil
import sys
import tempfile

from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import screens  # noqa: E402
import web_cases as web  # noqa: E402

check = web.check
AXE = os.path.join(HERE, "node_modules", "axe-core", "axe.min.js")
RUN = """
const done = arguments[arguments.length - 1];
axe.run(document, {resultTypes: ['violations']})
  .then(r => done({version: axe.version, violations: r.violations.map(v => ({
      id: v.id, impact: v.impact, help: v.help,
      nodes: v.nodes.map(n => n.target.join(' ') + ': ' + n.failureSummary)}))}),
        e => done({error: String(e)}));
"""


def audit(driver, source, what, found):
    driver.execute_script(source)
    driver.set_script_timeout(60)
    result = driver.execute_async_script(RUN)
    check("error" not in result, f"{what}: axe ran: {result.get('error')}")
    violations = result.get("violations", [])
    found[what] = [v["id"] for v in violations]
    print(f"axe {result.get('version')}, {what}: {len(violations)} violations", flush=True)
    for v in violations:
        print(json.dumps(v, ensure_ascii=False, indent=1), flush=True)
    check(not violations, f"{what}: axe finds {[v['id'] for v in violations]}")


def main():
    site, web.OUT = sys.argv[1], sys.argv[2]
    os.makedirs(web.OUT, exist_ok=True)
    if not os.path.isfile(AXE):
        print(f"FAIL: no {AXE}: run scripts/deps.sh web, which installs it with npm")
        sys.exit(1)
    with open(AXE, encoding="utf-8") as f:
        source = f.read()
    server = web.serve(site)
    url = f"http://127.0.0.1:{server.server_address[1]}/index.html"
    found = {}
    try:
        for label, size, mobile in (("desktop", (1280, 800), False), ("phone", (360, 640), True)):
            driver = screens.start(*size, mobile=mobile, touch=mobile, url=url)
            try:
                audit(driver, source, f"{label}, at start", found)
                screens.reject(driver)
                audit(driver, source, f"{label}, message box", found)
                web.key(driver, Keys.ENTER)
                WebDriverWait(driver, 5, 0.02).until(lambda d: web.box_text(d) is None)
                screens.finish(driver)
                audit(driver, source, f"{label}, result window", found)
            finally:
                driver.quit()
        # A site without one of its files: the line under the windows that says that the program
        # will not open without a network.
        with tempfile.TemporaryDirectory() as scratch:
            broken = os.path.join(scratch, "site")
            shutil.copytree(site, broken)
            os.remove(os.path.join(broken, "manifest.webmanifest"))
            other = web.serve(broken)
            driver = screens.start(
                800, 600, url=f"http://127.0.0.1:{other.server_address[1]}/index.html")
            try:
                WebDriverWait(driver, 20, 0.1).until(
                    lambda d: d.execute_script("return !!document.getElementById('offline-note')"))
                audit(driver, source, "desktop, the line about the offline copy", found)
            finally:
                driver.quit()
                web.stop(other)
    finally:
        web.stop(server)
    print("axe's violations by state:", found)
    print("FAILED" if web.failures else "passed", len(web.failures), "failures")
    sys.exit(1 if web.failures else 0)


if __name__ == "__main__":
    main()
