#!/usr/bin/python3
"""The theme editor in headless Chromium: the page's own switch and colour cell write what the device
writes and the themed screen shows the colour; a change made with theme set shows on the page; a page
of another site gets nothing done; and a screenshot of it all."""
import http.server
import json
import os
import plistlib
import socket
import subprocess
import sys
import threading
import time
import unittest

from editor_server import Editor

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.common.exceptions import StaleElementReferenceException
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    sys.exit("editor_browser_test.py: Selenium is missing (Debian: python3-selenium; scripts/bootstrap installs it)")

TOOL = sys.argv.pop(1)
SCREENSHOT = sys.argv.pop(1)
MAIN = "com.tervan.duskwell"
WINDOW = (1600, 1000)


def browser():
    # The WebDriver client reaches chromedriver at "localhost" whatever it is told, so a machine
    # without that name (no /etc/hosts) would otherwise show only a 30-second timeout.
    try:
        socket.getaddrinfo("localhost", None)
    except socket.gaierror as error:
        raise AssertionError(f"the name localhost does not resolve on this machine ({error}); "
                             "the browser driver needs it (is /etc/hosts missing?)") from None
    options = Options()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     f"--window-size={WINDOW[0]},{WINDOW[1]}", "--force-device-scale-factor=1"):
        options.add_argument(argument)
    options.binary_location = "/usr/bin/chromium"
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def main_file(editor):
    with open(editor.path(MAIN + ".plist"), "rb") as file:
        return plistlib.load(file)


# The pixel of the themed screen's picture at (x, y), read back from the image the page shows.
PIXEL_SCRIPT = """
const [index, version, x, y] = arguments;
const image = document.querySelector(`img[data-screen="${index}"][data-side="with"]`);
if (!image || image.dataset.version !== version || !image.complete || image.naturalWidth === 0) return null;
const canvas = document.createElement("canvas");
canvas.width = image.naturalWidth;
canvas.height = image.naturalHeight;
const context = canvas.getContext("2d");
context.drawImage(image, 0, 0);
return Array.from(context.getImageData(x, y, 1, 1).data);
"""


class AnotherSite(http.server.BaseHTTPRequestHandler):
    """A page elsewhere that knows the editor's address and even its token, and posts a change to it."""
    target = None

    def do_GET(self):
        page = f"""<!doctype html><title>elsewhere</title><script>
fetch({json.dumps(self.target)}, {{method: "POST", mode: "no-cors", headers: {{"Content-Type": "text/plain"}},
  body: JSON.stringify({{id: "{MAIN}/custom1", value: false}})}})
  .finally(() => {{ document.title = "sent"; }});
</script>"""
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.end_headers()
        self.wfile.write(page.encode())

    def log_message(self, *args):
        pass


class EditorInChromium(unittest.TestCase):
    def test_the_editor_in_a_real_browser(self):
        with Editor(TOOL, settings=[("custom1", "false")]) as editor:
            driver = browser()
            try:
                self.edit_and_follow(editor, driver)
            finally:
                driver.quit()

    def edit_and_follow(self, editor, driver):
        # The page redraws its header and cells as the state comes in: an element found a moment ago may be gone.
        wait = WebDriverWait(driver, 30, poll_frequency=0.05, ignored_exceptions=(StaleElementReferenceException,))
        driver.get(editor.url)
        wait.until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-version"))
        self.assertEqual(driver.find_element(By.ID, "pane-title").text, "duskwell")
        self.assertIn("off", driver.find_element(By.ID, "header-switch").text)

        # The dark theme on, with the page's own switch.
        switch = driver.find_element(By.CSS_SELECTOR, f'input.toggle[data-id="{MAIN}/custom1"]')
        self.assertFalse(switch.is_selected())
        switch.click()
        wait.until(lambda d: main_file(editor).get("custom1") is True)
        wait.until(lambda d: "on" in d.find_element(By.ID, "header-switch").text)

        # A background colour typed into the colour cell, as the picker's hex field takes it.
        def type_colour(d):
            field = d.find_element(By.CSS_SELECTOR, f'.cell.color[data-id="{MAIN}/background"] input.hex')
            field.clear()
            field.send_keys("#1c1c24", Keys.ENTER)
            return True
        wait.until(type_colour)
        wait.until(lambda d: main_file(editor).get("background") == "#1C1C24")
        self.assertIsInstance(main_file(editor)["custom1"], bool)

        # A table cell of the Library screen, which the library paints with "background": its pixel.
        state = wait.until(lambda d: (lambda s: s if s["drawing"]["attributed"] else None)(editor.state()))
        library = next(i for i, s in enumerate(state["screens"]) if s["name"] == "Library")
        regions = state["screens"][library]["regions"]
        cell = next(r for r in regions if r["path"].endswith("SPTTableViewCell[3]/UITableViewCellContentView[0]"))
        x, y = int(cell["x"]) + 3, int(cell["y"] + cell["height"] / 2)
        on_top = [r for r in regions if r["x"] <= x < r["x"] + r["width"] and r["y"] <= y < r["y"] + r["height"]][-1]
        self.assertEqual((on_top["painter"], on_top["color"]), ('"background"', "#1C1C24FF"))
        pixel = wait.until(lambda d: d.execute_script(PIXEL_SCRIPT, library, state["screens"][library]["with"], x, y))
        self.assertEqual(pixel, [0x1C, 0x1C, 0x24, 255])
        # The header is drawn anew with each state, so it is read through the wait, which retries a stale one.
        wait.until(lambda d: "1C1C24" in d.find_element(By.CSS_SELECTOR, '#summary [data-key="background"]').text)

        # theme set, outside the page: the page follows.
        subprocess.run([TOOL, "theme", "set", editor.root, "tabs", "#203040"], check=True, capture_output=True,
                       timeout=60)
        wait.until(lambda d: d.find_element(By.CSS_SELECTOR, f'.cell.color[data-id="{MAIN}/tabs"] input.hex')
                   .get_attribute("value") == "#203040")
        wait.until(lambda d: "203040" in d.find_element(By.CSS_SELECTOR, '#summary [data-key="tabs"]').text)

        # Refused: a request without the token, and a cross-origin POST from a real page elsewhere.
        before = editor.file_bytes()
        status, _, reply = editor.request("GET", "/api/state", token=False)
        self.assertEqual((status, reply[:8]), (403, b"refused:"))
        status, _, _ = editor.request("POST", "/api/set", json.dumps({"id": f"{MAIN}/custom1", "value": False}).encode(),
                                      headers={"Origin": "http://elsewhere.example", "Content-Type": "application/json"})
        self.assertEqual(status, 403)
        AnotherSite.target = f"http://{editor.host}/api/set?token={editor.token}"
        elsewhere = http.server.ThreadingHTTPServer(("127.0.0.1", 0), AnotherSite)
        threading.Thread(target=elsewhere.serve_forever, daemon=True).start()
        try:
            driver.get(f"http://127.0.0.1:{elsewhere.server_address[1]}/")
            wait.until(lambda d: d.title == "sent")
        finally:
            elsewhere.shutdown()
            elsewhere.server_close()
        time.sleep(0.3)  # what a write would take, had one been made
        self.assertEqual(editor.file_bytes(), before)

        # The page once more, a view under the pointer, for the README.
        driver.get(editor.url)
        wait.until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-version"))
        image = driver.find_element(By.CSS_SELECTOR, f'img[data-screen="{library}"][data-side="with"]')
        wait.until(lambda d: d.execute_script("return arguments[0].complete && arguments[0].naturalWidth > 0", image))
        scale = image.size["width"] / state["screens"][library]["width"]
        ActionChains(driver).move_to_element_with_offset(
            image, int((x + 40) * scale - image.size["width"] / 2), int(y * scale - image.size["height"] / 2)).perform()
        wait.until(lambda d: d.find_element(By.ID, "tooltip").is_displayed())
        self.assertIn('set by "background"', driver.find_element(By.ID, "tooltip").text)
        os.makedirs(os.path.dirname(os.path.abspath(SCREENSHOT)), exist_ok=True)
        self.assertTrue(driver.save_screenshot(SCREENSHOT))
        with open(SCREENSHOT, "rb") as file:
            self.assertEqual(file.read(8), b"\x89PNG\r\n\x1a\n")


if __name__ == "__main__":
    unittest.main()
