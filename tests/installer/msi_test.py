#!/usr/bin/env python3
"""The Windows installer under Wine, in a prefix of its own: a bad id changes nothing; an older
version installed with ids for both families, then the current one over it without ids; the files,
registry values and manifests, and the host a browser would start answering getVersion; then the
uninstall leaves nothing of ours; an install without ids registers nothing and says so. (Wine's
msiexec installs for the machine: it has no MSIINSTALLPERUSER.)

msi_test.py BUILD_DIR SOURCE_DIR WINE_RUN PREFIX VERSION"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

build_dir, source_dir, wine_run, prefix, version = sys.argv[1:6]
CHROMIUM_ID = "dimnjlmdmbeogedbmnlfcndbbfpbkgei"
FIREFOX_ID = "snh-test@example.org"
HOST_NAME = "com.sshnativehost.host"
INSTALL_DIR = r"C:\Program Files\ssh-native-host"
BROWSER_KEYS = {
    "chrome": r"Software\Google\Chrome\NativeMessagingHosts",
    "chromium": r"Software\Chromium\NativeMessagingHosts",
    "edge": r"Software\Microsoft\Edge\NativeMessagingHosts",
    "firefox": r"Software\Mozilla\NativeMessagingHosts",
}
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


def wine(*args, stdin=None, timeout=300):
    return subprocess.run([wine_run, "--prefix", prefix, *args], input=stdin, capture_output=True,
                          timeout=timeout)


def msiexec(*args):
    started = time.monotonic()
    result = wine("msiexec", *args)
    print(f"msiexec {' '.join(args)}: exit {result.returncode}, {time.monotonic() - started:.1f} s", flush=True)
    return result.returncode


def reg_default(key):
    """The key's default value, or None when the key is absent."""
    result = wine("reg", "query", key, "/ve")
    if result.returncode != 0:
        return None
    for line in result.stdout.decode(errors="replace").splitlines():
        if "REG_SZ" in line:
            return line.split("REG_SZ", 1)[1].strip()
    return ""


def unix_path(windows_path):
    return subprocess.run(["winepath", "-u", windows_path], capture_output=True, text=True,
                          env={**os.environ, "WINEPREFIX": prefix, "WINEDEBUG": "-all"}).stdout.strip()


def our_products():
    listing = wine("reg", "query", UNINSTALL_KEY, "/s").stdout.decode(errors="replace")
    return [line for line in listing.splitlines() if "DisplayName" in line and "ssh-native-host" in line]


def get_version(host):
    request = json.dumps({"type": "getVersion"}).encode()
    result = wine(host, stdin=struct.pack("<I", len(request)) + request, timeout=60)
    out = result.stdout
    if len(out) < 4:
        return None
    (length,) = struct.unpack("<I", out[:4])
    return json.loads(out[4:4 + length])


def read_log(path):
    """Windows writes its log in UTF-16, Wine in the ANSI code page."""
    if not os.path.exists(path):
        return ""
    data = open(path, "rb").read()
    return data.decode("utf-16") if data.startswith(b"\xff\xfe") else data.decode("utf-8", errors="replace")


def leftovers():
    """What of ours is still in the prefix: the install folder, registry keys, the entry in Apps."""
    found = [INSTALL_DIR] if os.path.exists(unix_path(INSTALL_DIR)) else []
    keys = [rf"{root}\{key}" for root in ("HKLM", "HKCU")
            for key in [r"Software\ssh-native-host"] + [rf"{k}\{HOST_NAME}" for k in BROWSER_KEYS.values()]]
    # One Wine start for every query: reg prints the name of each key it finds (unquoted: no spaces).
    queries = " & ".join(f"reg query {key}" for key in keys)
    listing = wine("cmd", "/c", queries).stdout.decode(errors="replace")
    found += [line.strip() for line in listing.splitlines() if line.startswith("HKEY_")]
    return found + our_products()


work = tempfile.mkdtemp(prefix="snh-msi-test.")
try:
    # Both packages from one installed tree; the older differs only in its version.
    stage = os.path.join(work, "stage")
    for component in ([], ["--component", "msi"]):
        subprocess.run(["cmake", "--install", build_dir, "--prefix", stage, *component], check=True,
                       capture_output=True)
    packages = {}
    for name, package_version in (("old", "0.1.0.0"), ("new", version)):
        packages[name] = os.path.join(work, f"{name}.msi")
        subprocess.run(["cmake", f"-DSTAGE_DIR={stage}", f"-DMSI_VERSION={package_version}",
                        f"-DOUTPUT={packages[name]}", "-P", os.path.join(source_dir, "cmake", "BuildMsi.cmake")],
                       check=True, capture_output=True)
    shutil.rmtree(prefix, ignore_errors=True)
    log = os.path.join(work, "msi.log")

    # A bad id fails the install before anything changes, and the log says why.
    status = msiexec("/i", packages["new"], "/qn", "/l*v", log, f"CHROMIUM_EXTENSION_IDS={CHROMIUM_ID.upper()}")
    check(status != 0, "an install with a bad id succeeded")
    log_text = read_log(log)
    check(f'"{CHROMIUM_ID.upper()}" is not a valid extension id' in log_text, "the log does not name the bad id")
    left = leftovers()
    check(left == [], f"a failed install left {left}")

    check(msiexec("/i", packages["old"], "/qn", f"CHROMIUM_EXTENSION_IDS={CHROMIUM_ID}",
                  f"FIREFOX_EXTENSION_IDS={FIREFOX_ID}") == 0, "the older version did not install")
    # The newer one over it, without ids: it keeps the registrations.
    check(msiexec("/i", packages["new"], "/qn") == 0, "the upgrade failed")
    # What the uninstall must take away, as the leftover listing sees it.
    installed = leftovers()
    check(all(rf"HKEY_LOCAL_MACHINE\{key}\{HOST_NAME}" in installed for key in BROWSER_KEYS.values())
          and INSTALL_DIR in installed, f"installed, but not listed: {installed}")
    check(len(our_products()) == 1, f"not one entry in Apps: {our_products()}")

    for relative in ("ssh-native-host.exe", "ssh-native-host-cli.exe", "ssh-native-host-register.exe", "README.md",
                     "LICENSE", r"docs\protocol.md", r"docs\architecture.md", r"docs\install.md"):
        check(os.path.isfile(unix_path(rf"{INSTALL_DIR}\{relative}")), f"{relative} is not installed")
    host = rf"{INSTALL_DIR}\ssh-native-host.exe"
    for browser, key in BROWSER_KEYS.items():
        manifest_path = reg_default(rf"HKLM\{key}\{HOST_NAME}")
        expected_path = rf"{INSTALL_DIR}\NativeMessagingHosts\{browser}\{HOST_NAME}.json"
        check(manifest_path == expected_path, f"{browser}: the registry names {manifest_path!r}")
        if manifest_path is None:
            continue
        try:
            manifest = json.load(open(unix_path(manifest_path), encoding="utf-8"))
        except (OSError, ValueError) as error:
            check(False, f"{browser}: no manifest at {manifest_path}: {error}")
            continue
        allowed = {"allowed_extensions": [FIREFOX_ID]} if browser == "firefox" else {
            "allowed_origins": [f"chrome-extension://{CHROMIUM_ID}/"]}
        check(manifest == {"name": HOST_NAME, "description": manifest.get("description"), "path": host,
                           "type": "stdio", **allowed}, f"{browser}'s manifest: {manifest}")

    # Started the way Chrome starts it: the registry's manifest, the manifest's path.
    chrome_manifest = reg_default(rf"HKLM\{BROWSER_KEYS['chrome']}\{HOST_NAME}")
    if chrome_manifest:
        reply = get_version(json.load(open(unix_path(chrome_manifest)))["path"])
        check(reply is not None and reply.get("type") == "version" and reply.get("version") == version,
              f"getVersion answered {reply}")

    check(msiexec("/x", packages["new"], "/qn") == 0, "the uninstall failed")
    left = leftovers()
    check(left == [], f"the uninstall left {left}")

    # Without ids: the programs only, and the log says so.
    check(msiexec("/i", packages["new"], "/qn", "/l*v", log) == 0, "an install without ids failed")
    check("ssh-native-host: no extension id given" in read_log(log), "the log does not say that no id was given")
    registered = [key for key in BROWSER_KEYS.values() if reg_default(rf"HKLM\{key}\{HOST_NAME}") is not None]
    check(registered == [], f"without ids, registered in {registered}")
    check(msiexec("/x", packages["new"], "/qn") == 0, "the second uninstall failed")
    left = leftovers()
    check(left == [], f"the second uninstall left {left}")
finally:
    subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": prefix}, capture_output=True)
    if os.environ.get("SNH_KEEP_MSI_TEST"):
        print("kept", work)
    else:
        shutil.rmtree(work, ignore_errors=True)

if failures:
    print(f"{len(failures)} check(s) failed")
    sys.exit(1)
print("installer (Wine): all checks passed")
