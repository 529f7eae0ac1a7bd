#!/usr/bin/env python3
"""The example extension in headless Chromium: example_session.js runs in its page over the DevTools
protocol (--remote-debugging-pipe); then a screenshot of the page."""

import base64, fcntl, json, os, shutil, signal, subprocess, sys, tempfile, time  # noqa: E401
from pathlib import Path

EXTENSION_ID = "inekfkdbdmdmffhenhohjpggolffkhek"  # from the key in its manifest.json


def devtools(to_browser, from_browser):
    """A call(method, session, **params) over NUL-terminated JSON frames; raises on the browser's error."""
    state = {"id": 0, "pending": b""}

    def call(method, session=None, **params):
        state["id"] += 1
        request = {"id": state["id"], "method": method, "params": params}
        os.write(to_browser, json.dumps(request | ({"sessionId": session} if session else {})).encode() + b"\0")
        while True:  # the ctest timeout bounds a browser that never answers
            *frames, state["pending"] = state["pending"].split(b"\0")
            for reply in (r for r in map(json.loads, frames) if r.get("id") == state["id"]):
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply["result"]
            chunk = os.read(from_browser, 1 << 20)
            if not chunk:
                raise RuntimeError("the browser closed the DevTools pipe")
            state["pending"] += chunk
    return call


def main(chromium, host, register, extension, screenshot):
    profile = tempfile.mkdtemp(prefix="snh-example-")
    subprocess.run([register, "install", "--extension-id", EXTENSION_ID, "--browser", "chromium",
                    "--user-data-dir", profile, "--host", host], check=True, capture_output=True, timeout=30)
    # Lifted above 4 first, so that moving them onto 3 and 4 in the child cannot overwrite each other.
    pipes = (*os.pipe(), *os.pipe())
    to_r, to_w, from_r, from_w = (fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10) for fd in pipes)
    browser = subprocess.Popen(
        [chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-sync",
         "--disable-background-networking", "--disable-component-update", "--disable-dev-shm-usage",
         "--remote-debugging-pipe", f"--user-data-dir={profile}", f"--load-extension={extension}",
         f"--disable-extensions-except={extension}", "--window-size=820,460", "about:blank"],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True, pass_fds=(3, 4), preexec_fn=lambda: (os.dup2(to_r, 3), os.dup2(from_w, 4)))
    for fd in (*pipes, to_r, from_w):  # only the browser keeps its ends, so its exit reads as EOF
        os.close(fd)
    try:
        call = devtools(to_w, from_r)
        target = call("Target.createTarget", url=f"chrome-extension://{EXTENSION_ID}/terminal.html")
        page = call("Target.attachToTarget", targetId=target["targetId"], flatten=True)["sessionId"]
        for _ in range(100):  # the page loads after createTarget answers
            if call("Runtime.evaluate", page, expression="typeof statusText")["result"]["value"] == "object":
                break
            time.sleep(0.2)
        script = Path(__file__).with_name("example_session.js").read_text()
        result = call("Runtime.evaluate", page, expression=script, awaitPromise=True, returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError(result["exceptionDetails"].get("exception", {}).get("description", result))
        Path(screenshot).write_bytes(base64.b64decode(call("Page.captureScreenshot", page)["data"]))
        print(f"PASS: the host offers {result['result']['value']}; resize and exitCode checked when offered")
        return 0
    except RuntimeError as e:
        print(f"FAIL: {e}")
        return 1
    finally:
        os.killpg(browser.pid, signal.SIGKILL)
        browser.wait(timeout=10)
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
