#!/usr/bin/env python3
"""The example extension in a headless browser: example_session.js runs in its page, then a screenshot.
Chromium is driven over the DevTools protocol (--remote-debugging-pipe: NUL-terminated JSON in on fd 3,
out on fd 4), Firefox over WebDriver BiDi (a WebSocket, through Debian's python3-websockets), which also installs the
extension.

    run_example_test.py chromium|firefox BROWSER HOST REGISTER EXTENSION_DIR SCREENSHOT"""
import asyncio, base64, fcntl, itertools, json, os, re, shutil, signal, subprocess, sys, tempfile, time  # noqa: E401
from pathlib import Path

EXTENSION_ID = "inekfkdbdmdmffhenhohjpggolffkhek"  # from the key in its manifest.json
FIREFOX_ID = "terminal@ssh-native-host.example"  # its browser_specific_settings.gecko.id
FIREFOX_UUID = "5f2d7c1e-3b8a-4e61-9c0d-2a7b4e8f1c36"  # fixed by a pref, so the page's address is known
SESSION = Path(__file__).with_name("example_session.js").read_text()
PRIVATE_SSHD = Path(__file__).parents[2] / "scripts" / "private-sshd.py"


def test_chromium(chromium, host, register, extension, screenshot, profile, session):
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
        result = call("Runtime.evaluate", page, expression=session, awaitPromise=True, returnByValue=True)
        Path(screenshot).write_bytes(base64.b64decode(call("Page.captureScreenshot", page)["data"]))
        return result["result"]["value"]
    finally:
        os.killpg(browser.pid, signal.SIGKILL)
        browser.wait(timeout=10)


async def drive_firefox(url, extension, screenshot, session):
    """The session script in the extension's page, over WebDriver BiDi; what it resolves to."""
    import websockets  # Debian's python3-websockets

    async with websockets.connect(url, max_size=None) as connection:
        ids = itertools.count(1)

        async def call(method, **params):
            request_id = next(ids)
            await connection.send(json.dumps({"id": request_id, "method": method, "params": params}))
            while (reply := json.loads(await connection.recv())).get("id") != request_id:
                pass
            if reply.get("type") == "error" or reply.get("result", {}).get("type") == "exception":
                raise RuntimeError(f"{method}: {reply}")
            return reply["result"]
        await call("session.new", capabilities={})
        await call("webExtension.install", extensionData={"type": "path", "path": str(Path(extension).resolve())})
        context = (await call("browsingContext.create", type="tab"))["context"]
        await call("browsingContext.navigate", context=context,
                   url=f"moz-extension://{FIREFOX_UUID}/terminal.html", wait="complete")
        result = await call("script.evaluate", expression=session, target={"context": context}, awaitPromise=True)
        shot = await call("browsingContext.captureScreenshot", context=context)
        Path(screenshot).write_bytes(base64.b64decode(shot["data"]))
        return result["result"]["value"]


def test_firefox(firefox, host, register, extension, screenshot, profile, session):
    # Firefox finds hosts under $HOME/.mozilla; both get a home of their own.
    home = Path(profile, "home")
    home.mkdir()
    env = dict(os.environ, HOME=str(home), SHELL="/bin/sh")
    subprocess.run([register, "install", "--extension-id", FIREFOX_ID, "--browser", "firefox", "--host", host],
                   env=env, check=True, capture_output=True, timeout=30)
    firefox_profile = Path(profile, "firefox")
    firefox_profile.mkdir()
    uuids = json.dumps(json.dumps({FIREFOX_ID: FIREFOX_UUID}))
    (firefox_profile / "user.js").write_text(f'user_pref("extensions.webextensions.uuids", {uuids});\n')
    log = Path(profile, "firefox.log")
    with open(log, "wb") as output:
        browser = subprocess.Popen(
            # System access lets the automation open the extension's own page.
            [firefox, "--headless", "--no-remote", "--profile", str(firefox_profile), "--remote-debugging-port=0",
             "--remote-allow-system-access", "--window-size=820,460", "about:blank"],
            env=env, stdin=subprocess.DEVNULL, stdout=output, stderr=output, start_new_session=True)
    try:
        for _ in range(600):  # the ctest timeout bounds a browser that never listens
            found = re.search(rb"WebDriver BiDi listening on (ws://\S+)", log.read_bytes())
            if found or browser.poll() is not None:
                break
            time.sleep(0.1)
        if not found:
            raise RuntimeError(f"Firefox never listened:\n{log.read_text(errors='replace')}")
        return asyncio.run(drive_firefox(found.group(1).decode() + "/session", extension, screenshot, session))
    finally:
        os.killpg(browser.pid, signal.SIGKILL)
        browser.wait(timeout=10)


if __name__ == "__main__":
    # Over OpenSSH where the private sshd can run (root, the snh-test account), else in a local shell.
    sshd = subprocess.Popen([sys.executable, PRIVATE_SSHD], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    profile = tempfile.mkdtemp(prefix="snh-example-")
    try:
        destination = sshd.stdout.readline().strip()
        if not destination and sshd.wait() != 77:  # 77: it cannot run here, and says why
            raise RuntimeError(f"private-sshd.py failed: {sshd.stderr.read()}")
        where = f"over OpenSSH as {destination.split()[-1]}" if destination else \
            f"in a local shell; {sshd.stderr.read().strip()}"
        outcome = {"chromium": test_chromium, "firefox": test_firefox}[sys.argv[1]](
            *sys.argv[2:], profile, f"const SSH_DESTINATION = {json.dumps(destination)};\n{SESSION}")
        print(f"PASS ({sys.argv[1]}, {where}): {outcome}")
    finally:
        sshd.terminate()
        sshd.wait(timeout=10)
        shutil.rmtree(profile, ignore_errors=True)
