#!/usr/bin/env python3
"""A real browser drives the host: headless Chromium loads the test extension, which connects to the
host registered for it, runs one pseudo-console session and POSTs every message back here."""

import argparse
import base64
import hashlib
import json
import os
import queue
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

# The id that follows from the key in extension/manifest.json; the registration names it.
EXTENSION_ID = "dimnjlmdmbeogedbmnlfcndbbfpbkgei"
HOST_NAME = "com.sshnativehost.host"
TITLE = "snh browser title"
GREETING = "browser says hi"
PROMPT = "ready> "
TYPED = "typed in the browser"
EXITED = "SSH Process exited"
CAPABILITIES = {"resize", "closeStdin", "exitCode"}
CONSOLE_SIZE = {"x": 77, "y": 11}
EXIT_CODE = 3
SESSION_TIMEOUT_S = 45


def extension_id_from_key(key_base64):
    """Chromium's id: the first 128 bits of SHA-256 of the public key, in hex digits mapped to a-p."""
    digest = hashlib.sha256(base64.b64decode(key_base64)).hexdigest()[:32]
    return "".join(chr(ord("a") + int(c, 16)) for c in digest)


class ReportServer(ThreadingHTTPServer):
    def __init__(self):
        super().__init__(("127.0.0.1", 0), ReportHandler)
        self.events = queue.Queue()


class ReportHandler(BaseHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        if 0 <= length <= 4 * 1024 * 1024:
            body = self.rfile.read(length)
            try:
                self.server.events.put(json.loads(body))
            except ValueError:
                self.server.events.put({"event": "unreadable report", "body": body.decode("utf-8", "replace")})
        self.send_response(204)
        self.send_header("Access-Control-Allow-Origin", "*")
        self.end_headers()

    def log_message(self, *args):
        pass


def fail(message, events, browser_log):
    print(f"FAIL: {message}")
    print("events seen:")
    for event in events:
        print("  " + json.dumps(event))
    if browser_log.exists():
        tail = browser_log.read_text(errors="replace").splitlines()[-40:]
        print("browser log (last lines):")
        for line in tail:
            print("  " + line)
    return 1


def collect(server, deadline):
    """Events until the session is done, the port closes or the deadline passes."""
    events = []
    while time.monotonic() < deadline:
        try:
            event = server.events.get(timeout=0.2)
        except queue.Empty:
            continue
        events.append(event)
        if event.get("event") in ("done", "disconnected", "extension failed", "connectNative failed"):
            break
    # The port stays open after "done"; take what is still in flight.
    end = min(deadline, time.monotonic() + 1.0)
    while time.monotonic() < end:
        try:
            events.append(server.events.get(timeout=0.1))
        except queue.Empty:
            pass
    return events


def check(events, expected_version):
    messages = [e["message"] for e in events if e.get("event") == "message"]
    started = [e for e in events if e.get("event") == "started"]
    if not started:
        return "the extension never reported that it started"
    if started[0].get("extensionId") != EXTENSION_ID:
        return f"the extension runs as {started[0].get('extensionId')!r}, not {EXTENSION_ID!r}"
    failures = [e for e in events if e.get("event") in ("extension failed", "connectNative failed")]
    if failures:
        return f"the extension failed: {failures[0]}"
    if not messages:
        disconnected = [e for e in events if e.get("event") == "disconnected"]
        reason = disconnected[0].get("error") if disconnected else "no disconnect either"
        return f"no message from the host ({reason})"
    if messages[0] != {"type": "version", "version": expected_version}:
        return f"first message is {messages[0]}, not the version {expected_version}"
    if not CAPABILITIES <= set(messages[1].get("capabilities", []) if len(messages) > 1 else []):
        return f"the answer to getCapabilities is {messages[1:2]}, not one offering {sorted(CAPABILITIES)}"
    console = [m["pseudoConsoleOutput"] for m in messages if m.get("type") == "pseudo_console_output"]
    text = "".join(c.get("processedContent", "") for c in console)
    raw = "".join(c.get("rawContent", "") for c in console)
    titles = [c["windowTitle"] for c in console if "windowTitle" in c]
    if GREETING not in text:
        return f"the output {text!r} lacks {GREETING!r}"
    if "\x1b" in text:
        return f"the processed output still holds escape sequences: {text!r}"
    if f"\x1b]0;{TITLE}\x07" not in raw:
        return f"the raw output {raw!r} lacks the title sequence"
    if titles != [TITLE]:
        return f"window titles {titles}, expected [{TITLE!r}]"
    if f"got:{TYPED}" not in text:
        return f"the output {text!r} lacks the echoed input 'got:{TYPED}'"
    if f"size:{CONSOLE_SIZE['y']} {CONSOLE_SIZE['x']}" not in text:
        return f"the output {text!r} lacks the size {CONSOLE_SIZE}: the resize did not reach the program"
    errors = [m for m in messages if m.get("type") == "error"]
    if errors != [{"type": "error", "error": EXITED, "exitCode": EXIT_CODE}]:
        return f"error messages {errors}, expected exactly the exit notice with exitCode {EXIT_CODE}"
    if not any(e.get("event") == "done" for e in events):
        return "the extension did not finish the session"
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--chromium", required=True)
    parser.add_argument("--host", required=True, help="the ssh-native-host executable")
    parser.add_argument("--register", required=True, help="the ssh-native-host-register executable")
    parser.add_argument("--extension", required=True, help="the test extension's folder")
    parser.add_argument("--version", required=True, help="the version the host must report")
    args = parser.parse_args()

    if shutil.which(args.chromium) is None:
        print(f"FAIL: {args.chromium} not found (scripts/setup.sh installs Debian's chromium)")
        return 1
    manifest = json.loads(Path(args.extension, "manifest.json").read_text())
    derived = extension_id_from_key(manifest["key"])
    if derived != EXTENSION_ID:
        print(f"FAIL: the extension key gives id {derived}, the test expects {EXTENSION_ID}")
        return 1

    work = Path(tempfile.mkdtemp(prefix="snh-browser-"))
    server = ReportServer()
    server_thread = threading.Thread(target=server.serve_forever, daemon=True)
    server_thread.start()
    browser = None
    browser_log = work / "chromium.log"
    try:
        user_data_dir = work / "profile"
        extension = work / "extension"
        shutil.copytree(args.extension, extension)
        script = (f"printf '\\033]0;{TITLE}\\007'; echo '{GREETING}'; printf '{PROMPT}'; "
                  f'read line; echo "got:$line"; echo "size:$(stty size)"; exit {EXIT_CODE}')
        config = {
            "reportUrl": f"http://127.0.0.1:{server.server_address[1]}/report",
            "fileName": "/bin/sh",
            "arguments": ["-c", script],
            "prompt": PROMPT.strip(),
            "input": TYPED + "\r",
            "consoleSize": CONSOLE_SIZE,
        }
        (extension / "config.json").write_text(json.dumps(config))

        register = subprocess.run(
            [args.register, "install", "--extension-id", EXTENSION_ID, "--browser", "chromium",
             "--scope", "user", "--user-data-dir", str(user_data_dir), "--host", args.host],
            capture_output=True, text=True, timeout=30)
        print(register.stdout, end="")
        if register.returncode != 0:
            print(f"FAIL: registration exited {register.returncode}: {register.stderr}")
            return 1
        registered = user_data_dir / "NativeMessagingHosts" / f"{HOST_NAME}.json"
        if not registered.is_file():
            print(f"FAIL: registration did not write {registered}")
            return 1

        # Branded Chrome ignores --load-extension unless the feature below is disabled; Debian's
        # Chromium honours it either way.
        command = [
            args.chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
            "--no-default-browser-check", "--disable-background-networking",
            "--disable-component-update", "--disable-sync", "--disable-quic", "--disable-dev-shm-usage",
            "--disable-features=DisableLoadExtensionCommandLineSwitch",
            f"--user-data-dir={user_data_dir}", f"--load-extension={extension}",
            f"--disable-extensions-except={extension}", "about:blank",
        ]
        with open(browser_log, "wb") as log:
            browser = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                       start_new_session=True)
        events = collect(server, time.monotonic() + SESSION_TIMEOUT_S)
        problem = check(events, args.version)
        if problem:
            return fail(problem, events, browser_log)
        count = sum(1 for e in events if e.get("event") == "message")
        for event in events:
            if event.get("event") == "message":
                print("  " + json.dumps(event["message"]))
        print(f"PASS: {count} messages from the host through Chromium "
              f"({subprocess.run([args.chromium, '--version'], capture_output=True, text=True).stdout.strip()})")
        return 0
    finally:
        if browser is not None:
            try:
                os.killpg(browser.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            browser.wait(timeout=10)
        server.shutdown()
        server.server_close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
