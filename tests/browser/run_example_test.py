#!/usr/bin/env python3
"""The example extension in headless Chromium: example_session.js runs in its page over the DevTools
protocol (--remote-debugging-pipe: NUL-terminated JSON in on fd 3, out on fd 4); then a screenshot."""
import base64, fcntl, itertools, json, os, shutil, signal, subprocess, sys, tempfile  # noqa: E401
from pathlib import Path

EXTENSION_ID = "inekfkdbdmdmffhenhohjpggolffkhek"  # from the key in its manifest.json


def test(chromium, host, register, extension, screenshot, profile):
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
        env=dict(os.environ, SHELL="/bin/sh"),  # the local session is the user's shell: one with a '$ ' prompt
        start_new_session=True, pass_fds=(3, 4), preexec_fn=lambda: (os.dup2(to_r, 3), os.dup2(from_w, 4)))
    for fd in (*pipes, to_r, from_w):  # only the browser keeps its ends, so its exit reads as EOF
        os.close(fd)
    ids, pending = itertools.count(1), [b""]

    def call(method, session=None, **params):  # the ctest timeout bounds a browser that never answers
        request = {"id": next(ids), "method": method, "params": params, "sessionId": session}
        request = {key: value for key, value in request.items() if value is not None}
        os.write(to_w, json.dumps(request).encode() + b"\0")
        while not (replies := [r for r in map(json.loads, pending[:-1]) if r.get("id") == request["id"]]):
            pending[-1:] = (pending[-1] + (os.read(from_r, 1 << 20) or b"closed\0")).split(b"\0")
        reply = replies[0].get("result", {})
        if "error" in replies[0] or "exceptionDetails" in reply:
            raise RuntimeError(f"{method}: {replies[0].get('error') or reply['exceptionDetails']}")
        return reply
    try:
        target = call("Target.createTarget", url="about:blank")["targetId"]
        page = call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        # Answered once the page is committed, so what is evaluated next runs in it.
        call("Page.navigate", page, url=f"chrome-extension://{EXTENSION_ID}/terminal.html")
        script = Path(__file__).with_name("example_session.js").read_text()
        offered = call("Runtime.evaluate", page, expression=script, awaitPromise=True, returnByValue=True)
        Path(screenshot).write_bytes(base64.b64decode(call("Page.captureScreenshot", page)["data"]))
        print(f"PASS: the host offers {offered['result']['value']}; typed, resized, exit code 3 shown")
    finally:
        os.killpg(browser.pid, signal.SIGKILL)
        browser.wait(timeout=10)


if __name__ == "__main__":
    profile = tempfile.mkdtemp(prefix="snh-example-")
    try:
        test(*sys.argv[1:], profile)
    finally:
        shutil.rmtree(profile, ignore_errors=True)
