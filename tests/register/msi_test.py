#!/usr/bin/env python3
"""The .msi under Wine (machine installs: Wine has no MSIINSTALLPERUSER), in a prefix of its own.
msi_test.py BUILD_DIR SOURCE_DIR WINE_RUN PREFIX VERSION"""
import json, os, shutil, struct, subprocess, sys, tempfile, time

build_dir, source_dir, wine_run, prefix, version = sys.argv[1:6]
CHROMIUM_IDS, FIREFOX_ID = ["dimnjlmdmbeogedbmnlfcndbbfpbkgei", "inekfkdbdmdmffhenhohjpggolffkhek"], "snh@example.org"
HOST_NAME = "com.sshnativehost.host"
INSTALL_DIR = r"C:\Program Files\ssh-native-host"
BROWSER_KEYS = {"chrome": r"Software\Google\Chrome", "chromium": r"Software\Chromium",
                "edge": r"Software\Microsoft\Edge", "firefox": r"Software\Mozilla"}
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


def wine(*args, stdin=None):
    return subprocess.run([wine_run, "--prefix", prefix, *args], input=stdin, capture_output=True, timeout=300)


def msiexec(*args):
    started, status = time.monotonic(), wine("msiexec", *args).returncode
    print(f"msiexec {' '.join(args)}: exit {status}, {time.monotonic() - started:.1f} s", flush=True)
    return status


def browser_key(browser, root="HKLM"):
    return rf"{root}\{BROWSER_KEYS[browser]}\NativeMessagingHosts\{HOST_NAME}"


def registered_manifest(browser):
    lines = wine("reg", "query", browser_key(browser), "/ve").stdout.decode(errors="replace").splitlines()
    return next((line.split("REG_SZ", 1)[1].strip() for line in lines if "REG_SZ" in line), None)


def unix_path(path):  # on C:
    return os.path.join(prefix, "drive_c", path[3:].replace("\\", "/"))


def ours():
    """Ours in the prefix: the folder, the keys (one Wine start; reg names each key it finds), Apps entries."""
    keys = [rf"{root}\Software\ssh-native-host" for root in ("HKLM", "HKCU")]
    keys += [browser_key(browser, root) for browser in BROWSER_KEYS for root in ("HKLM", "HKCU")]
    keys.append(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall /s")
    listing = wine("cmd", "/c", " & ".join(f"reg query {key}" for key in keys)).stdout.decode(errors="replace")
    found = [INSTALL_DIR] if os.path.exists(unix_path(INSTALL_DIR)) else []
    return found + [line.strip() for line in listing.splitlines()
                    if line.startswith("HKEY_") and ("ssh-native-host" in line or HOST_NAME in line)
                    or "DisplayName" in line and "ssh-native-host" in line]


work = tempfile.mkdtemp(prefix="snh-msi-test.")
try:
    stage, log, msi = os.path.join(work, "stage"), os.path.join(work, "msi.log"), {}
    for part in ([], ["--component", "msi"]):  # the id check is packed, not installed
        subprocess.run(["cmake", "--install", build_dir, "--prefix", stage, *part], check=True, capture_output=True)
    for name, package_version in (("old", "0.1.0.0"), ("new", version)):  # one tree, two versions
        msi[name] = os.path.join(work, f"{name}.msi")
        subprocess.run(["cmake", f"-DSTAGE_DIR={stage}", f"-DMSI_VERSION={package_version}",
                        f"-DOUTPUT={msi[name]}", "-P", os.path.join(source_dir, "cmake", "BuildMsi.cmake")],
                       check=True, capture_output=True)
    shutil.rmtree(prefix, ignore_errors=True)

    # A bad id changes nothing, and the log says why.
    check(msiexec("/i", msi["new"], "/qn", "/l*v", log, f"CHROMIUM_EXTENSION_IDS={CHROMIUM_IDS[0].upper()}") != 0,
          "an install with a bad id succeeded")
    check(f'"{CHROMIUM_IDS[0].upper()}" is not a valid extension id' in open(log, errors="replace").read(), "no reason")
    check(not (left := ours()), f"a failed install left {left}")

    # An older version with ids of both families (a list); the current one over it, without: it keeps them.
    check(msiexec("/i", msi["old"], "/qn", f"CHROMIUM_EXTENSION_IDS={','.join(CHROMIUM_IDS)}",
                  f"FIREFOX_EXTENSION_IDS={FIREFOX_ID}") == 0, "the older version did not install")
    check(msiexec("/i", msi["new"], "/qn") == 0, "the upgrade failed")
    # The folder, Software\ssh-native-host, a key per browser, and one entry in Apps.
    check(len(installed := ours()) == 7 and sum("DisplayName" in line for line in installed) == 1, f"{installed}")
    for name in ("ssh-native-host.exe", "ssh-native-host-cli.exe", "ssh-native-host-register.exe", "README.md",
                 "LICENSE", r"docs\protocol.md", r"docs\performance.md", r"examples\extension\manifest.json"):
        check(os.path.isfile(unix_path(rf"{INSTALL_DIR}\{name}")), f"{name} is not installed")
    for browser in BROWSER_KEYS:
        path = registered_manifest(browser)
        check(path == rf"{INSTALL_DIR}\NativeMessagingHosts\{browser}\{HOST_NAME}.json", f"{browser}: {path!r}")
        manifest = json.load(open(unix_path(path))) if path and os.path.isfile(unix_path(path)) else {}
        allowed = {"allowed_extensions": [FIREFOX_ID]} if browser == "firefox" else {
            "allowed_origins": [f"chrome-extension://{cid}/" for cid in CHROMIUM_IDS]}
        check(manifest == {"name": HOST_NAME, "description": manifest.get("description"),
                           "path": rf"{INSTALL_DIR}\ssh-native-host.exe", "type": "stdio", **allowed},
              f"{browser}'s manifest: {manifest}")
        if browser == "chrome" and manifest:  # started as Chrome starts it: registry, manifest, path
            request = json.dumps({"type": "getVersion"}).encode()
            out = wine(manifest["path"], stdin=struct.pack("<I", len(request)) + request).stdout
            reply = json.loads(out[4:4 + struct.unpack("<I", out[:4])[0]]) if len(out) >= 4 else None
            check(reply == {"type": "version", "version": version}, f"getVersion answered {reply}")

    check(msiexec("/x", msi["new"], "/qn") == 0, "the uninstall failed")
    check(not (left := ours()), f"the uninstall left {left}")

    # Without ids: the programs only, and the log says so.
    check(msiexec("/i", msi["new"], "/qn", "/l*v", log) == 0, "an install without ids failed")
    check("ssh-native-host: no extension id given" in open(log, errors="replace").read(), "no word of no ids")
    check(all(registered_manifest(browser) is None for browser in BROWSER_KEYS), "registered without ids")
    check(msiexec("/x", msi["new"], "/qn") == 0 and not (left := ours()), f"the second uninstall left {left}")
finally:
    subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": prefix}, capture_output=True)
    shutil.rmtree(work, ignore_errors=True)
print(f"{len(failures)} check(s) failed" if failures else "installer (Wine): all checks passed")
sys.exit(1 if failures else 0)
