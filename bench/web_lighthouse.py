#!/usr/bin/python3
"""Lighthouse's view of the web build's start-up, against the same static page as
bench/web_startup.py (the drill's main window as plain markup, with the same site.css, so the
same fonts and styles, and no script), in Lighthouse's two presets: mobile (its default: a
phone's screen, a slowed processor and a slow network, all simulated) and desktop.

Each round runs Lighthouse once per preset, page and visit, in Debian's Chromium, headless:
a first visit (Lighthouse empties the browser's storage first: nothing cached) and a later
visit (the same browser profile again, storage kept: the browser's cache and, for the drill, its
service worker, as a pupil's next visit). Printed per preset and visit: each page's scores
(performance, accessibility, best practices; medians), its first and largest contentful paint
(FCP, LCP; medians, ms) and the ratios drill / static page of FCP and LCP, taken round by round
and their median shown.

usage: bench/web_lighthouse.py [SITE_DIR [ROUNDS]] [--quick]
  default: build/web/site, 3 rounds; --quick: the mobile preset's first visit only (the tests run
  it so, once, so that the benchmark keeps working). Needs chromium, chromium-driver, python3-selenium (Debian)
  and Lighthouse from bench/lighthouse (scripts/deps.sh web installs it with npm).
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import web_startup  # noqa: E402  (the static page and the local server)

HERE = os.path.dirname(os.path.abspath(__file__))
LIGHTHOUSE = os.path.join(HERE, "lighthouse", "node_modules", "lighthouse", "cli", "index.js")
CATEGORIES = ("performance", "accessibility", "best-practices")
PRESETS = ("mobile", "desktop")
VISITS = ("first visit", "later visit")


def lighthouse(url, preset, profile, keep_storage, scratch):
    """Lighthouse's report of one load of url, as a dict."""
    report = os.path.join(scratch, "report.json")
    command = ["node", LIGHTHOUSE, url, "--quiet", "--output=json", "--output-path=" + report,
               "--only-categories=" + ",".join(CATEGORIES),
               "--chrome-flags=--headless=new --no-sandbox --disable-gpu --no-first-run "
               "--disable-background-networking --disable-component-update "
               "--user-data-dir=" + profile]
    if preset == "desktop":
        command.append("--preset=desktop")
    if keep_storage:
        command.append("--disable-storage-reset")
    environment = dict(os.environ, CHROME_PATH="/usr/bin/chromium")
    subprocess.run(command, check=True, env=environment, stdout=subprocess.DEVNULL,
                   timeout=300)
    with open(report, encoding="utf-8") as f:
        return json.load(f)


def figures(report):
    audits = report["audits"]
    out = {name: report["categories"][name]["score"] for name in CATEGORIES}
    out["FCP"] = audits["first-contentful-paint"]["numericValue"]
    out["LCP"] = audits["largest-contentful-paint"]["numericValue"]
    return out


def main():
    parser = argparse.ArgumentParser(description="Lighthouse: the web build's start-up against "
                                                 "a static page with the same controls.")
    parser.add_argument("site", nargs="?", default=os.path.join(HERE, "..", "build", "web", "site"))
    parser.add_argument("rounds", nargs="?", type=int, default=3)
    parser.add_argument("--quick", action="store_true",
                        help="the mobile preset's first visit only")
    args = parser.parse_args()
    presets, visits = (PRESETS[:1], VISITS[:1]) if args.quick else (PRESETS, VISITS)
    if not os.path.exists(LIGHTHOUSE):
        sys.exit(f"no Lighthouse at {LIGHTHOUSE}: run scripts/deps.sh web (as root)")
    site = os.path.abspath(args.site)
    static = []
    server = web_startup.make_server(site, static)
    base = f"http://127.0.0.1:{server.server_address[1]}"
    pages = {"drill": base + "/index.html", "static page": base + web_startup.STATIC}
    results = {(preset, visit, page): [] for preset in presets for visit in visits
               for page in pages}
    try:
        driver = web_startup.browser()
        try:
            static.append(web_startup.static_page(site, driver, pages["drill"]))
        finally:
            driver.quit()
        with tempfile.TemporaryDirectory() as scratch:
            for number in range(args.rounds):
                names = list(pages)
                shift = number % len(names)
                for preset in presets:
                    for page in names[shift:] + names[:shift]:
                        profile = os.path.join(scratch, f"profile-{number}-{preset}-{len(page)}")
                        for visit in visits:
                            report = lighthouse(pages[page], preset, profile,
                                                visit == "later visit", scratch)
                            results[preset, visit, page].append(figures(report))
    finally:
        server.shutdown()
        server.server_close()

    version = report["lighthouseVersion"]
    print(f"Lighthouse {version}, Chromium headless, {args.rounds} rounds; medians; "
          f"FCP and LCP in ms (simulated for the preset's device and network):")
    for preset in presets:
        for visit in visits:
            print(f"{preset}, {visit}:")
            for page in pages:
                rows = results[preset, visit, page]
                scores = "  ".join(f"{name} {statistics.median(r[name] for r in rows):.2f}"
                                   for name in CATEGORIES)
                paints = "  ".join(f"{m} {statistics.median(r[m] for r in rows):7.0f}"
                                   for m in ("FCP", "LCP"))
                print(f"  {page:12} {scores}  {paints}")
            pairs = list(zip(results[preset, visit, "drill"],
                             results[preset, visit, "static page"]))
            ratios = "  ".join(
                f"{m} {statistics.median(a[m] / b[m] for a, b in pairs):.2f}"
                for m in ("FCP", "LCP"))
            print(f"  ratio drill / static page: {ratios}  (goal: at most 1.3)")


if __name__ == "__main__":
    main()
