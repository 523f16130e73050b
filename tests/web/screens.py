#!/usr/bin/python3
"""The site on screens of every size and kind, in headless Chromium with device emulation, served
from a local server on 127.0.0.1 that this test starts and stops:

- a screen that changes its size (a phone turned, a desktop window made smaller, one too short for
  the window): the windows are placed again, the page scrolls to what does not fit, and the
  focused control is in view;
- a small screen and 400 % zoom (320 x 256 CSS pixels): every control is reached and the focused
  one is in view, at start and after each Tab, and so are the message box and the result window;
- the message box: centred over the window it speaks for, on the screen, its English text marked
  as English;
- touch: a tap on OK leaves the focus in the answer field, which has it back after the box; the
  title bar's close button is at least 24 CSS pixels square;
- where the program cannot run (no WebAssembly, no dialogs, a server's policy that forbids
  WebAssembly, JavaScript switched off): a readable Russian text instead of an empty page.

Screenshots of the phone turned, 320 px, 400 % zoom and forced colours go to the output folder to
be looked at.

usage: screens.py SITE_DIR OUTPUT_DIR"""

import os
import sys
import time

from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import web_cases as web  # noqa: E402

check = web.check
cases = web.cases

# The viewport, and the rectangles (left, top, right, bottom, in the viewport's CSS pixels) of
# the shown windows and of the focused element.
RECTS = """
const r = e => { const b = e.getBoundingClientRect();
                 return [b.left, b.top, b.right, b.bottom].map(Math.round); };
const shown = [...document.querySelectorAll('.window')].filter(w => w.open || (w.tagName !==
  'DIALOG' && !w.hidden));
const doc = document.documentElement;
return {view: [doc.clientWidth, doc.clientHeight], scroll: [doc.scrollWidth, doc.scrollHeight],
        at: [window.scrollX, window.scrollY],
        // Each window with whether its far corner shows it, not something that clips it.
        windows: shown.map(w => { const b = r(w);
          const at = document.elementFromPoint(b[2] - 6, b[3] - 6);
          return [w.querySelector('.title').textContent, b, !!at && w.contains(at)]; }),
        focus: document.activeElement === document.body ? null : r(document.activeElement),
        // Whether the middle of the focused element shows it, not something that clips it.
        seen: (() => { const e = document.activeElement, b = e.getBoundingClientRect();
                       const at = document.elementFromPoint(b.left + b.width / 2,
                                                            b.top + b.height / 2);
                       return !!at && e.contains(at); })()};
"""


def inside(rect, view, slack=1):
    return (rect[0] >= -slack and rect[1] >= -slack and rect[2] <= view[0] + slack
            and rect[3] <= view[1] + slack)


def resize(driver, width, height, ratio=1, mobile=False):
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": width, "height": height, "deviceScaleFactor": ratio, "mobile": mobile})
    time.sleep(0.3)  # the resize event and the layout after it


def start(width, height, ratio=1, mobile=False, touch=False, url=None):
    driver = web.browser(width, height, ratio)
    resize(driver, width, height, ratio, mobile)
    if touch:
        driver.execute_cdp_cmd("Emulation.setTouchEmulationEnabled",
                               {"enabled": True, "maxTouchPoints": 5})
    if url:
        driver.get(url)
        web.wait_focus(driver, cases.EXIT, "button", f"{width}x{height}: at start")
    return driver


def check_fits(driver, what):
    """Every shown window in the viewport, and no horizontal scrolling."""
    got = driver.execute_script(RECTS)
    # A window under a modal one is covered by its backdrop: only the top one is seen.
    for number, (title, rect, seen) in enumerate(got["windows"], 1):
        check(inside(rect, got["view"]) and (seen or number < len(got["windows"])),
              f"{what}: window {title!r} at {rect} in a viewport of {got['view']}, whole in view")
    check(got["scroll"][0] <= got["view"][0], f"{what}: no horizontal scrolling: {got}")
    return got


def check_focus_in_view(driver, what):
    got = driver.execute_script(RECTS)
    check(got["focus"] and inside(got["focus"], got["view"]) and got["seen"],
          f"{what}: the focused control {got['focus']} is in view in {got['view']} "
          f"(scrolled to {got['at']})")
    return got


def reject(driver, text="abc"):
    """Types a rejected answer into the field and presses Enter: the message box opens."""
    for _ in range(3):
        if web.focused(driver)[1] == "textbox":
            break
        web.key(driver, Keys.SHIFT, Keys.TAB)
        time.sleep(0.1)
    field = web.focused(driver)[2]
    field.send_keys(text)
    field.send_keys(Keys.ENTER)
    WebDriverWait(driver, 5, 0.02).until(lambda d: web.box_text(d))


def finish(driver):
    """Answers every exercise: the result window opens."""
    for _ in range(3):
        if web.focused(driver)[1] == "textbox":
            break
        web.key(driver, Keys.SHIFT, Keys.TAB)
        time.sleep(0.1)
    # Two answers in quick succession may draw the same exercise again, so an accepted answer
    # is told by the field it empties, not by a new exercise.
    for _ in range(cases.SERIES_LENGTH):
        WebDriverWait(driver, 5, 0.02).until(
            lambda d: web.focused(d)[1] == "textbox"
            and cases.EXERCISE.fullmatch(web.focused(d)[0]))
        name, _, field = web.focused(driver)
        first, second = map(int, cases.EXERCISE.fullmatch(name).groups())
        field.send_keys(Keys.CONTROL, "a")
        field.send_keys(Keys.BACKSPACE)
        field.send_keys(str(first + second), Keys.ENTER)
        WebDriverWait(driver, 5, 0.02).until(
            lambda d: web.result_window(d) or web.focused(d)[1] == "textbox"
            and web.focused(d)[2].get_property("value") == "")
    WebDriverWait(driver, 10, 0.05).until(lambda d: web.result_window(d))


def screens_that_change(url):
    """(label, start size, changed size, mobile): the windows follow the screen."""
    for label, before, after, mobile in (
            ("phone turned", (360, 640), (640, 360), True),
            ("phone turned back", (640, 360), (360, 640), True),
            ("desktop window made smaller", (1280, 800), (800, 600), False),
            ("window too short for the main window", (800, 600), (800, 200), False)):
        driver = start(*before, mobile=mobile, url=url)
        try:
            resize(driver, *after, mobile=mobile)
            got = driver.execute_script(RECTS)
            view = got["view"]
            for title, rect, _ in got["windows"]:
                high = rect[3] - rect[1]
                if high <= view[1]:
                    check(inside(rect, view), f"{label}: window {title!r} at {rect} in {view}")
                else:
                    # Too high for the screen: from the top, and the page scrolls to the rest.
                    check(rect[1] + got["at"][1] >= 0 and rect[0] >= 0 and rect[2] <= view[0]
                          and got["scroll"][1] >= rect[3] + got["at"][1],
                          f"{label}: the page scrolls to the whole window: {got}")
            check(got["scroll"][0] <= view[0], f"{label}: no horizontal scrolling: {got}")
            check_focus_in_view(driver, f"{label}: «Выход»")
            # Each control in view when it has the focus, the field and OK too.
            for name in ("the field", "OK", "«Выход»"):
                web.key(driver, Keys.SHIFT, Keys.TAB)
                time.sleep(0.1)
                check_focus_in_view(driver, f"{label}: {name} after Shift+Tab")
            if label == "phone turned":
                driver.save_screenshot(os.path.join(web.OUT, "phone-turned.png"))
        finally:
            driver.quit()


def small_screens(url):
    """320 x 256 CSS pixels, on a phone and as a desktop at 400 % zoom: every control reached."""
    for label, ratio, mobile in (("320 px", 1, True), ("400 % zoom", 4, False)):
        driver = start(320, 256, ratio, mobile, url=url)
        try:
            check_fits(driver, label)
            check_focus_in_view(driver, f"{label}: «Выход» at start")
            driver.save_screenshot(os.path.join(web.OUT, f"{label.split()[0]}-{ratio}.png"))
            for step in ("OK", "the field", "«Выход»", "OK"):
                web.key(driver, Keys.TAB)
                time.sleep(0.1)
                check_focus_in_view(driver, f"{label}: {step} after Tab")
            reject(driver)
            check_fits(driver, f"{label}, message box")
            check_focus_in_view(driver, f"{label}: the box's OK")
            web.key(driver, Keys.ENTER)
            WebDriverWait(driver, 5, 0.02).until(lambda d: web.box_text(d) is None)
            check_focus_in_view(driver, f"{label}: the field after the box")
            finish(driver)
            check_fits(driver, f"{label}, result window")
            check_focus_in_view(driver, f"{label}: «Выход» of the result window")
            driver.save_screenshot(os.path.join(web.OUT, f"{label.split()[0]}-{ratio}-result.png"))
        finally:
            driver.quit()


def message_box(url):
    """The box centred over the main window, on the screen, its text in English."""
    for label, size, mobile in (("desktop", (1280, 800), False), ("phone", (360, 640), True)):
        driver = start(*size, mobile=mobile, url=url)
        try:
            reject(driver)
            got = driver.execute_script(RECTS)
            main, box = got["windows"][0][1], got["windows"][-1][1]
            check(inside(box, got["view"]), f"{label}: the box {box} on screen {got['view']}")
            centre = lambda r: ((r[0] + r[2]) / 2, (r[1] + r[3]) / 2)  # noqa: E731
            off = [abs(a - b) for a, b in zip(centre(box), centre(main))]
            check(max(off) <= 2, f"{label}: the box {box} centred over the main window {main}")
            lang = driver.execute_script(
                "return document.getElementById('box-text').closest('[lang]').lang")
            check(lang == "en", f"{label}: the box's English text is marked {lang!r}")
        finally:
            driver.quit()


def tap(driver, element):
    x, y = driver.execute_script(
        "const b = arguments[0].getBoundingClientRect();"
        "return [b.left + b.width / 2, b.top + b.height / 2];", element)
    for kind, points in (("touchStart", [{"x": x, "y": y}]), ("touchEnd", [])):
        driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": kind, "touchPoints": points})
    time.sleep(0.3)


def touch(url):
    """A phone with a touch screen: OK tapped, then the box's OK tapped."""
    driver = start(360, 640, mobile=True, touch=True, url=url)
    try:
        field = driver.find_element("css selector", "section.window input")
        tap(driver, field)
        name = web.focused(driver)[0]
        check(web.focused(driver)[1] == "textbox", "a tap puts the focus into the field")
        field.send_keys("abc")
        tap(driver, driver.find_element("css selector", "section.window button.ok"))
        WebDriverWait(driver, 5, 0.02).until(lambda d: web.box_text(d))
        tap(driver, driver.find_element("css selector", "#box button.ok"))
        WebDriverWait(driver, 5, 0.02).until(lambda d: web.box_text(d) is None)
        web.wait_focus(driver, name, "textbox", "after tapping the box's OK")
        check(field.get_property("value") == "abc", "the field keeps the rejected text")
        size = driver.execute_script(
            "const b = document.querySelector('section.window .close').getBoundingClientRect();"
            "return [b.width, b.height];")
        check(min(size) >= 24, f"the close button is {size} CSS pixels, at least 24 x 24")
        check_fits(driver, "touch")
        driver.save_screenshot(os.path.join(web.OUT, "touch.png"))
    finally:
        driver.quit()


def ax_texts(driver):
    nodes = driver.execute_cdp_cmd("Accessibility.getFullAXTree", {})["nodes"]
    return " ".join((n.get("name") or {}).get("value", "") for n in nodes
                    if not n.get("ignored") and (n.get("role") or {}).get("value") == "StaticText")


def cannot_run(url, csp_url):
    """(label, what is taken away, words the page must say)."""
    for label, script, address, words in (
            ("no WebAssembly", "delete window.WebAssembly;", url, "WebAssembly"),
            ("no dialogs", "delete window.HTMLDialogElement;", url, "диалоговых окон"),
            ("a policy without 'wasm-unsafe-eval'", None, csp_url, "wasm-unsafe-eval"),
            ("JavaScript off", None, url, "JavaScript")):
        driver = start(800, 600)
        try:
            if script:
                driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": script})
            if label == "JavaScript off":
                driver.execute_cdp_cmd("Emulation.setScriptExecutionDisabled", {"value": True})
            driver.get(address)
            text = ""
            for _ in range(50):
                text = ax_texts(driver)
                if words in text:
                    break
                time.sleep(0.1)
            check(words in text and "Программа" in text,
                  f"{label}: the page says why the program cannot run: {text!r}")
            if label != "JavaScript off":
                lang = driver.execute_script(
                    "const e = document.getElementById('cannot-run');"
                    "return e && !e.hidden ? e.closest('[lang]').lang : null")
                check(lang == "ru", f"{label}: the text is marked Russian: {lang!r}")
            shot = "cannot-run-" + label.split("'")[0].strip().replace(" ", "-") + ".png"
            driver.save_screenshot(os.path.join(web.OUT, shot))
        finally:
            driver.quit()


def forced_colours(url):
    """Forced colours (a high-contrast theme): looked at, from the screenshots."""
    driver = start(800, 600)
    try:
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": [
            {"name": "forced-colors", "value": "active"},
            {"name": "prefers-color-scheme", "value": "dark"}]})
        driver.get(url)
        web.wait_focus(driver, cases.EXIT, "button", "forced colours: at start")
        driver.save_screenshot(os.path.join(web.OUT, "forced-colours.png"))
        reject(driver)
        driver.save_screenshot(os.path.join(web.OUT, "forced-colours-box.png"))
    finally:
        driver.quit()


class Strict(web.Quiet):
    """A server whose policy lets scripts of the site run but no WebAssembly."""

    def end_headers(self):
        self.send_header("Content-Security-Policy", "script-src 'self'")
        super().end_headers()


def main():
    site, web.OUT = sys.argv[1], sys.argv[2]
    os.makedirs(web.OUT, exist_ok=True)
    server, strict = web.serve(site), web.serve(site, Strict)
    url = f"http://127.0.0.1:{server.server_address[1]}/index.html"
    csp_url = f"http://127.0.0.1:{strict.server_address[1]}/index.html"
    try:
        for part in (screens_that_change, small_screens, message_box, touch, forced_colours):
            print("--", part.__name__, flush=True)
            part(url)
        print("-- cannot_run", flush=True)
        cannot_run(url, csp_url)
    finally:
        for s in (server, strict):
            web.stop(s)
    print("FAILED" if web.failures else "passed", len(web.failures), "failures")
    sys.exit(1 if web.failures else 0)


if __name__ == "__main__":
    main()
