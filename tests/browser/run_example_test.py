#!/usr/bin/env python3
"""The example extension in headless Chromium, driven over the DevTools protocol: a local shell typed
into, resized and ended, read back from xterm.js's buffer; saves a screenshot of the page."""

import base64, fcntl, json, os, signal, subprocess, sys, tempfile, time  # noqa: E401
from pathlib import Path

SCREEN = ("(() => { const b = term.buffer.active, lines = [];"
          " for (let i = 0; i < b.length; i++) lines.push(b.getLine(i).translateToString(true));"
          " return lines.join('\\n'); })()")

PAGE_STATE = f"JSON.stringify({{status: statusText.textContent, screen: {SCREEN}}})"


class Page:
    """One page over --remote-debugging-pipe: NUL-terminated JSON, requests on fd 3, replies on fd 4."""

    def __init__(self, to_browser, from_browser):
        self.pipe, self.pending, self.id, self.session = (to_browser, from_browser), b"", 0, None

    def call(self, method, **params):
        self.id += 1
        request = {"id": self.id, "method": method, "params": params, "sessionId": self.session}
        os.write(self.pipe[0], json.dumps({k: v for k, v in request.items() if v is not None}).encode() + b"\0")
        while True:
            for frame in self.pending.split(b"\0")[:-1]:
                reply = json.loads(frame)
                if reply.get("id") == self.id:
                    self.pending = self.pending[self.pending.index(frame) + len(frame) + 1:]
                    if "error" in reply:
                        raise RuntimeError(f"{method}: {reply['error']}")
                    return reply["result"]
            chunk = os.read(self.pipe[1], 1 << 20)  # the ctest timeout bounds a browser that never answers
            if not chunk:
                raise RuntimeError("the browser closed the DevTools pipe")
            self.pending += chunk

    def js(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, what, expression, timeout=20):
        for _ in range(timeout * 5):
            if value := self.js(expression):
                return value
            time.sleep(0.2)
        raise RuntimeError(f"{what} did not happen in {timeout} s; the page: {self.js(PAGE_STATE)}")

    def type_line(self, text):  # as typed: text into xterm's focused input, then the Enter key
        self.call("Input.insertText", text=text)
        for kind in ("keyDown", "keyUp"):
            self.call("Input.dispatchKeyEvent", type=kind, key="Enter", code="Enter", windowsVirtualKeyCode=13)

    def size(self, width, height):
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=1, mobile=False)


def session(page, screenshot):
    page.size(820, 460)
    page.wait_for("the terminal", "typeof term === 'object'")
    page.js("document.getElementById('connect').requestSubmit()")  # empty destination: a local shell
    page.wait_for("a shell prompt", f"{SCREEN}.trim() !== ''")
    page.type_line("printf '\\033]0;snh example\\007'; echo snh-$((6*7)); ls --color=always -d /usr/*")
    page.wait_for("the command's output", f"{SCREEN}.includes('\\nsnh-42')")
    page.wait_for("the window title", "document.title === 'snh example'")
    offered = page.js("hostCapabilities")
    if "resize" in offered:
        page.size(700, 380)
        cols, rows = page.wait_for("the terminal's refit", "term.cols < 80 && [term.cols, term.rows]")
        page.type_line("stty size")
        page.wait_for(f"stty size saying {rows} {cols}", f"{SCREEN}.includes('\\n{rows} {cols}')")
    page.type_line("exit 3")
    expected = "Exited with code 3" if "exitCode" in offered else "Exited"
    page.wait_for(f"the page saying {expected!r}", f"statusText.textContent === {json.dumps(expected)}")
    Path(screenshot).write_bytes(base64.b64decode(page.call("Page.captureScreenshot")["data"]))
    return offered


def main(chromium, host, register, extension, screenshot):
    extension_id = "inekfkdbdmdmffhenhohjpggolffkhek"  # from the key in its manifest.json
    profile = tempfile.mkdtemp(prefix="snh-example-")
    subprocess.run([register, "install", "--extension-id", extension_id, "--browser", "chromium",
                    "--user-data-dir", profile, "--host", host], check=True, capture_output=True, timeout=30)
    # Lifted above 4 first, so that moving them onto 3 and 4 in the child cannot overwrite each other.
    pipes = (*os.pipe(), *os.pipe())
    to_r, to_w, from_r, from_w = (fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10) for fd in pipes)
    browser = subprocess.Popen(
        [chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-sync",
         "--disable-background-networking", "--disable-component-update", "--disable-dev-shm-usage",
         "--remote-debugging-pipe", f"--user-data-dir={profile}", f"--load-extension={extension}",
         f"--disable-extensions-except={extension}", "about:blank"],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True, pass_fds=(3, 4),
        preexec_fn=lambda: (os.dup2(to_r, 3), os.dup2(from_w, 4)))
    for fd in (*pipes, to_r, from_w):  # only the browser keeps its ends, so its exit reads as EOF
        os.close(fd)
    try:
        page = Page(to_w, from_r)
        target = page.call("Target.createTarget", url=f"chrome-extension://{extension_id}/terminal.html")
        page.session = page.call("Target.attachToTarget", targetId=target["targetId"], flatten=True)["sessionId"]
        offered = session(page, screenshot)
        print(f"PASS: output, title, exit checked; host offers {offered} (resize, exitCode checked when offered)")
        return 0
    except RuntimeError as e:
        print(f"FAIL: {e}")
        return 1
    finally:
        os.killpg(browser.pid, signal.SIGKILL)
        browser.wait(timeout=10)
        subprocess.run(["rm", "-rf", profile])


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
