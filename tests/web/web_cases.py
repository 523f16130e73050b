#!/usr/bin/python3
"""The shared case table played in headless Chromium, read as assistive technology reads the
page: the focused element's computed accessible name and role, and the dialogs' texts. The site
is served from a local server on 127.0.0.1 that this test starts and stops, and opened from the
folder (file://) as well. Screenshots at device pixel ratio 1 and 2 and at 360 px width are
written to the output folder to be looked at.

usage: web_cases.py SITE_DIR OUTPUT_DIR"""

import functools
import http.server
import os
import sys
import threading

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cases"))
import drill_cases as cases  # noqa: E402

OUT = "."  # where the screenshots go
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


def browser(width=800, height=600, ratio=1, profile=None, arguments=()):
    """Headless Chromium; a profile folder keeps what it stores for a later start; arguments:
    more of Chromium's own."""
    options = webdriver.ChromeOptions()
    if profile:
        options.add_argument(f"--user-data-dir={profile}")
    for argument in arguments:
        options.add_argument(argument)
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                     f"--window-size={width},{height}", f"--force-device-scale-factor={ratio}",
                     "--disable-background-networking", "--disable-component-update"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    # A headless window has a least width; the page's own width is set exactly, as a phone's.
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": width, "height": height, "deviceScaleFactor": ratio, "mobile": width < 400})
    return driver


def focused(driver):
    element = driver.switch_to.active_element
    return element.accessible_name, element.aria_role, element


def wait_focus(driver, name, role, what):
    try:
        WebDriverWait(driver, 5, 0.02).until(lambda d: focused(d)[:2] == (name, role))
    except Exception:
        pass
    got = focused(driver)[:2]
    check(got == (name, role), f"{what}: focus on {got}, expected {(name, role)}")


def box_text(driver):
    return driver.execute_script(
        "const b = document.getElementById('box'); return b.open ? "
        "[b.querySelector('.title').textContent, b.querySelector('.text').textContent] : null")


def result_window(driver):
    return driver.execute_script(
        "const w = [...document.querySelectorAll('dialog.window:not(#box)')].find(d => d.open);"
        "return w ? [w.querySelector('.title').textContent,"
        " [...w.querySelectorAll('.label')].map(l => l.textContent)] : null")


def window_outline(driver, caption):
    """The window titled caption as assistive technology reads it from Chromium's accessibility
    tree: its (role, name, description), then the (role, name) of what it holds, in the order a
    screen reader takes them (the text of a control is left out: it is the control's name)."""
    nodes = driver.execute_cdp_cmd("Accessibility.getFullAXTree", {})["nodes"]
    by_id = {n["nodeId"]: n for n in nodes}

    def value(node, key):
        return (node.get(key) or {}).get("value", "")

    window = next((n for n in nodes if not n.get("ignored") and value(n, "role") == "dialog"
                   and value(n, "name") == caption), None)
    if window is None:
        return None
    outline = [(value(window, "role"), value(window, "name"), value(window, "description"))]

    def walk(node):
        role = value(node, "role")
        if role == "InlineTextBox":
            return
        if not node.get("ignored") and role not in ("generic", "none"):
            outline.append((role, value(node, "name")))
            if role != "StaticText" and value(node, "name"):
                return
        for child in node.get("childIds", []):
            if child in by_id:
                walk(by_id[child])

    for child in window.get("childIds", []):
        if child in by_id:
            walk(by_id[child])
    return outline


def key(driver, *keys):
    driver.switch_to.active_element.send_keys(*keys)


def play(driver, url, names):
    driver.get(url)
    check(driver.title == "Drill", f"{url}: page title {driver.title!r}")
    wait_focus(driver, cases.EXIT, "button", "at start")
    names["bkClose"] = focused(driver)[:2]
    outline = window_outline(driver, cases.MAIN_CAPTION)
    check(outline and outline[0][:2] == ("dialog", cases.MAIN_CAPTION),
          f"the main window is a dialog named by its caption: {outline}")
    # The answer field follows its exercise, and each count the caption beside it.
    texts = [name for role, name in outline[1:]]
    exercise = next((i for i, t in enumerate(texts) if cases.EXERCISE.fullmatch(t)), None)
    check(exercise is not None and outline[exercise + 2][0] == "textbox"
          and texts.index(cases.TOTAL_CAPTION) + 1 == texts.index("20")
          and texts[texts.index(cases.LEFT_CAPTION) + 1] == "20",
          f"the main window in reading order: {outline}")
    names["main window"] = outline
    # Escape does nothing; the arrow keys and Tab go round the window in tab order.
    key(driver, Keys.ESCAPE)
    wait_focus(driver, cases.EXIT, "button", "after Escape")
    key(driver, Keys.ARROW_RIGHT)
    wait_focus(driver, cases.OK, "button", "Right from «Выход»")
    names["bbRes"] = focused(driver)[:2]
    key(driver, Keys.ARROW_LEFT)
    wait_focus(driver, cases.EXIT, "button", "Left from OK")
    key(driver, Keys.SHIFT, Keys.TAB)
    try:
        WebDriverWait(driver, 5, 0.02).until(lambda d: focused(d)[1] == "textbox")
    except Exception:
        pass
    name, role, field = focused(driver)
    check(role == "textbox", f"Shift+Tab from «Выход» wraps to the field, got {(name, role)}")
    names["Numb"] = (name, role)
    check(field.get_attribute("inputmode") == "numeric", "the field offers digits")

    correct = 0
    for number in range(cases.SERIES_LENGTH):
        name, role, field = focused(driver)
        match = cases.EXERCISE.fullmatch(name)
        check(role == "textbox" and match, f"exercise {number}: focus on {(name, role)}")
        if not match:
            return
        first, second = int(match.group(1)), int(match.group(2))
        for text in cases.REJECTED.get(number, []):
            field.send_keys(Keys.CONTROL, "a")
            field.send_keys(Keys.BACKSPACE)
            if text:
                field.send_keys(text)
            field.send_keys(Keys.ENTER)
            try:
                WebDriverWait(driver, 5, 0.02).until(lambda d: box_text(d))
            except Exception:
                pass
            shown = box_text(driver)
            check(shown == ["Drill", cases.rejection_message(text)],
                  f"exercise {number}, {text!r}: box {shown}")
            box_name, box_role, _ = focused(driver)
            names["box OK"] = (box_name, box_role)
            key(driver, Keys.ESCAPE)  # the box stays: Escape does nothing
            check(box_text(driver) is not None, "Escape leaves the box open")
            key(driver, Keys.ENTER)
            WebDriverWait(driver, 5, 0.02).until(lambda d: box_text(d) is None)
            wait_focus(driver, name, "textbox", f"exercise {number} after the box")
            check(focused(driver)[2].get_property("value") == text,
                  f"exercise {number}: the field keeps {text!r}")
        kind = cases.kind_of(number)
        field = focused(driver)[2]
        field.send_keys(Keys.CONTROL, "a")
        field.send_keys(Keys.BACKSPACE)
        field.send_keys(cases.answer_text(kind, first, second))
        field.send_keys(Keys.ENTER)
        correct += kind in cases.RIGHT_KINDS
        if number + 1 < cases.SERIES_LENGTH:
            try:
                WebDriverWait(driver, 5, 0.02).until(
                    lambda d: focused(d)[0] != name and focused(d)[1] == "textbox"
                    or focused(d)[2].get_property("value") == "")
            except Exception:
                pass

    try:
        WebDriverWait(driver, 5, 0.02).until(lambda d: result_window(d))
    except Exception:
        pass
    result = result_window(driver)
    check(result is not None, "the result window opens after the twentieth answer")
    if not result:
        return
    caption, labels = result
    expected = cases.correct_answers()
    check(correct == expected, "the table's count")
    check(caption == cases.RESULT_CAPTION, f"result caption {caption!r}")
    # In reading order: each number after what it counts.
    check(labels == [cases.COUNT_CAPTION, str(expected), cases.MARK_CAPTION,
                     str(cases.mark_for(expected))], f"result texts {labels}")
    wait_focus(driver, cases.EXIT, "button", "in the result window")
    names["Button1"] = focused(driver)[:2]
    outline = window_outline(driver, cases.RESULT_CAPTION)
    description = f"{cases.COUNT_CAPTION.strip()} {expected}. {cases.MARK_CAPTION} " \
                  f"{cases.mark_for(expected)}"
    check(outline and outline[0] == ("dialog", cases.RESULT_CAPTION, description)
          and outline[1:] == [("StaticText", cases.RESULT_CAPTION),  # the title bar
                              ("StaticText", cases.COUNT_CAPTION), ("StaticText", str(expected)),
                              ("StaticText", cases.MARK_CAPTION),
                              ("StaticText", str(cases.mark_for(expected))),
                              ("button", cases.EXIT)],
          f"the result window, a dialog described by its lines, in reading order: {outline}")
    names["result window"] = outline
    driver.save_screenshot(os.path.join(OUT, "result.png"))
    key(driver, Keys.ESCAPE)
    check(result_window(driver) is not None, "Escape leaves the result window open")
    key(driver, Keys.TAB)
    wait_focus(driver, cases.EXIT, "button", "Tab wraps inside the result window")
    key(driver, Keys.ENTER)
    WebDriverWait(driver, 5, 0.02).until(lambda d: result_window(d) is None)
    # Back in the main window: the field and OK are disabled, the focus on «Выход».
    wait_focus(driver, cases.EXIT, "button", "after the result window")
    disabled = driver.execute_script(
        "return [...document.querySelectorAll('section.window input, section.window .ok')]"
        ".map(e => e.disabled)")
    check(disabled == [True, True], f"field and OK disabled: {disabled}")
    driver.save_screenshot(os.path.join(OUT, "finished.png"))
    key(driver, Keys.ENTER)
    # The page did not open itself, so the browser keeps it: the windows show closed and the
    # program's icon starts a new series.
    wait_focus(driver, "Drill", "button", "after «Выход»")
    check(driver.execute_script("return document.querySelector('section.window').hidden"),
          "the main window is closed")


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(site, handler=Quiet, port=0):
    """A local server for the site, on 127.0.0.1, running until it is shut down."""
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", port), functools.partial(handler, directory=site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def stop(server):
    """Stops a server that serve() started; a server stopped already is left as it is, so that a
    test may stop it midway (to go offline) and again on its way out."""
    if getattr(server, "stopped", False):
        return
    server.stopped = True
    server.shutdown()
    server.server_close()


def main():
    global OUT
    site, OUT = sys.argv[1], sys.argv[2]
    os.makedirs(OUT, exist_ok=True)
    server = serve(site)
    http_url = f"http://127.0.0.1:{server.server_address[1]}/index.html"
    file_url = "file://" + os.path.abspath(os.path.join(site, "index.html"))
    try:
        for url in (http_url, file_url):
            names = {}
            driver = browser()
            try:
                play(driver, url, names)
                problems = [entry for entry in driver.get_log("browser")
                            if entry["level"] == "SEVERE"]
                check(not problems, f"{url}: console errors {problems}")
            finally:
                driver.quit()
            print(url, "accessible names and roles:", names, flush=True)
        for label, (width, height, ratio) in {"ratio1": (800, 600, 1), "ratio2": (800, 600, 2),
                                              "width360": (360, 640, 1)}.items():
            driver = browser(width, height, ratio)
            try:
                driver.get(http_url)
                wait_focus(driver, cases.EXIT, "button", f"{label}: at start")
                scroll = driver.execute_script(
                    "return document.documentElement.scrollWidth"
                    " - document.documentElement.clientWidth")
                check(scroll <= 0, f"{label}: no horizontal scrolling ({scroll} px too wide)")
                driver.save_screenshot(os.path.join(OUT, f"{label}.png"))
            finally:
                driver.quit()
    finally:
        stop(server)

    print("FAILED" if failures else "passed", len(failures), "failures")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
