"""Headless browsers with unpacked extensions, driven from Python: Chromium over the DevTools protocol
(--remote-debugging-pipe: NUL-terminated JSON in on fd 3, out on fd 4), Firefox over WebDriver BiDi (a
WebSocket, through Debian's python3-websockets), which also installs the extensions. Shared by the
browser bench (run_browser_bench.py) and the example extension's test (tests/browser/run_example_test.py).

Both offer navigate(url), evaluate(expression) (awaits a promise; the value must be a string),
screenshot() (PNG bytes), close() and process (the browser's Popen, leader of its own session)."""
import asyncio
import base64
import fcntl
import itertools
import json
import os
import re
import signal
import subprocess
import time
from pathlib import Path

WINDOW = "--window-size=820,460"


def kill_group(process):
    """The browser and every process it started (it leads a session of its own)."""
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:  # all gone already
        pass
    process.wait(timeout=10)


class Chromium:
    def __init__(self, binary, profile, extensions, env):
        pipes = (*os.pipe(), *os.pipe())
        # Lifted above 4 first, so that moving them onto 3 and 4 in the child cannot overwrite each other.
        to_r, self.to_w, self.from_r, from_w = (fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10) for fd in pipes)
        joined = ",".join(map(str, extensions))
        self.process = subprocess.Popen(
            [binary, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-sync",
             "--disable-background-networking", "--disable-component-update", "--disable-dev-shm-usage",
             "--remote-debugging-pipe", f"--user-data-dir={profile}", f"--load-extension={joined}",
             f"--disable-extensions-except={joined}", WINDOW, "about:blank"],
            env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True, pass_fds=(3, 4), preexec_fn=lambda: (os.dup2(to_r, 3), os.dup2(from_w, 4)))
        for fd in (*pipes, to_r, from_w):  # only the browser keeps its ends, so its exit reads as EOF
            os.close(fd)
        self.ids, self.pending = itertools.count(1), b""
        try:
            target = self.call("Target.createTarget", url="about:blank")["targetId"]
            self.page = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        except BaseException:
            self.close()
            raise

    def call(self, method, session=None, **params):
        """The reply to one command; events, which nothing here asks for, are skipped."""
        request = {"id": next(self.ids), "method": method, "params": params}
        if session:
            request["sessionId"] = session
        os.write(self.to_w, json.dumps(request).encode() + b"\0")
        while True:
            *messages, self.pending = self.pending.split(b"\0")
            reply = next((r for r in map(json.loads, messages) if r.get("id") == request["id"]), None)
            if reply:
                break
            chunk = os.read(self.from_r, 1 << 20)
            if not chunk:
                raise RuntimeError("Chromium closed its pipe")
            self.pending += chunk
        result = reply.get("result", {})
        if "error" in reply or "exceptionDetails" in result:
            raise RuntimeError(f"{method}: {reply.get('error') or result['exceptionDetails']}")
        return result

    def navigate(self, url):
        self.call("Page.navigate", self.page, url=url)  # answered once the page is committed

    def evaluate(self, expression):
        return self.call("Runtime.evaluate", self.page, expression=expression, awaitPromise=True,
                         returnByValue=True)["result"]["value"]

    def screenshot(self):
        return base64.b64decode(self.call("Page.captureScreenshot", self.page)["data"])

    def close(self):
        kill_group(self.process)
        os.close(self.to_w)
        os.close(self.from_r)


class Firefox:
    def __init__(self, binary, profile, extensions, env, uuids):
        """uuids: extension id to the moz-extension:// host it gets, fixed by a pref so that its pages'
        addresses are known."""
        import websockets  # Debian's python3-websockets

        firefox_profile = Path(profile, "firefox")
        firefox_profile.mkdir(parents=True)
        pref = json.dumps(json.dumps(uuids))
        (firefox_profile / "user.js").write_text(f'user_pref("extensions.webextensions.uuids", {pref});\n')
        log = Path(profile, "firefox.log")
        with open(log, "wb") as output:
            # System access lets the automation open the extensions' own pages.
            self.process = subprocess.Popen(
                [binary, "--headless", "--no-remote", "--profile", str(firefox_profile), "--remote-debugging-port=0",
                 "--remote-allow-system-access", WINDOW, "about:blank"],
                env=env, stdin=subprocess.DEVNULL, stdout=output, stderr=output, start_new_session=True)
        try:
            for _ in range(600):  # a minute
                found = re.search(rb"WebDriver BiDi listening on (ws://\S+)", log.read_bytes())
                if found or self.process.poll() is not None:
                    break
                time.sleep(0.1)
            if not found:
                raise RuntimeError(f"Firefox never listened:\n{log.read_text(errors='replace')}")
            self.loop = asyncio.new_event_loop()
            asyncio.set_event_loop(self.loop)  # websockets 10 takes the current loop
            self.connection = self.loop.run_until_complete(
                websockets.connect(found.group(1).decode() + "/session", max_size=None, ping_interval=None))
            self.ids = itertools.count(1)
            self.call("session.new", capabilities={})
            for extension in extensions:
                self.call("webExtension.install",
                          extensionData={"type": "path", "path": str(Path(extension).resolve())})
            self.context = self.call("browsingContext.create", type="tab")["context"]
            # Headless Firefox ignores the window's size on its command line; the page's is set here.
            self.call("browsingContext.setViewport", context=self.context, viewport={"width": 820, "height": 460})
        except BaseException:
            self.close()
            raise

    def call(self, method, **params):
        async def exchange():
            request_id = next(self.ids)
            await self.connection.send(json.dumps({"id": request_id, "method": method, "params": params}))
            while (reply := json.loads(await self.connection.recv())).get("id") != request_id:
                pass
            if reply.get("type") == "error" or reply.get("result", {}).get("type") == "exception":
                raise RuntimeError(f"{method}: {reply}")
            return reply["result"]
        return self.loop.run_until_complete(exchange())

    def navigate(self, url):
        self.call("browsingContext.navigate", context=self.context, url=url, wait="complete")

    def evaluate(self, expression):
        result = self.call("script.evaluate", expression=expression, target={"context": self.context},
                           awaitPromise=True)
        return result["result"]["value"]

    def screenshot(self):
        return base64.b64decode(self.call("browsingContext.captureScreenshot", context=self.context)["data"])

    def close(self):
        kill_group(self.process)
