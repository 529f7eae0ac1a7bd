#!/usr/bin/env python3
"""The example extension in a headless browser: example_session.js runs in its page, then a screenshot.
Chromium is driven over the DevTools protocol, Firefox over WebDriver BiDi, which also installs the
extension (bench/browser/headless.py, shared with the browser bench).

    run_example_test.py chromium|firefox BROWSER HOST REGISTER EXTENSION_DIR SCREENSHOT"""
import json, os, shutil, subprocess, sys, tempfile  # noqa: E401
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench" / "browser"))
import headless  # noqa: E402

EXTENSION_ID = "inekfkdbdmdmffhenhohjpggolffkhek"  # from the key in its manifest.json
FIREFOX_ID = "terminal@ssh-native-host.example"  # its browser_specific_settings.gecko.id
FIREFOX_UUID = "5f2d7c1e-3b8a-4e61-9c0d-2a7b4e8f1c36"
SESSION = Path(__file__).with_name("example_session.js").read_text()
PRIVATE_SSHD = Path(__file__).parents[2] / "scripts" / "private-sshd.py"


def test(kind, binary, host, register, extension, screenshot, profile, destination):
    """The session script in the extension's page; what it resolves to."""
    # The local session is the user's shell: one with a '$ ' prompt. Firefox finds hosts under
    # $HOME/.mozilla, so it gets a home of its own.
    env = dict(os.environ, SHELL="/bin/sh")
    if kind == "chromium":
        where, page = ["--user-data-dir", profile], f"chrome-extension://{EXTENSION_ID}/terminal.html"
    else:
        env["HOME"], where, page = str(Path(profile, "home")), [], f"moz-extension://{FIREFOX_UUID}/terminal.html"
        Path(env["HOME"]).mkdir()
    subprocess.run([register, "install", "--extension-id", EXTENSION_ID if kind == "chromium" else FIREFOX_ID,
                    "--browser", kind, *where, "--host", host], env=env, check=True, capture_output=True, timeout=30)
    # The ctest timeout bounds a browser that never answers.
    browser = (headless.Chromium(binary, profile, [extension], env) if kind == "chromium" else
               headless.Firefox(binary, profile, [extension], env, {FIREFOX_ID: FIREFOX_UUID}))
    try:
        browser.navigate(page)
        outcome = json.loads(browser.evaluate(f"(async () => {{ const SSH_DESTINATION = {json.dumps(destination)};\n"
                                              f"return JSON.stringify(await {SESSION}); }})()"))
        Path(screenshot).write_bytes(browser.screenshot())
        return outcome
    finally:
        browser.close()


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
        outcome = test(*sys.argv[1:], profile, destination)
        print(f"PASS ({sys.argv[1]}, {where}): {outcome}")
    finally:
        sshd.terminate()
        sshd.wait(timeout=10)
        shutil.rmtree(profile, ignore_errors=True)
