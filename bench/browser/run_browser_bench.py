#!/usr/bin/env python3
"""The browser rows of scripts/bench.sh: one browser (headless Chromium over the DevTools protocol, or
Firefox ESR over WebDriver BiDi) loads the bench extension (bench/browser/extension) and the example
extension, and each row runs in one of their pages; one JSON line per row on stdout.

    run_browser_bench.py chromium|firefox BROWSER --host HOST --register REGISTER --example DIR [sizes]

Run with Debian's /usr/bin/python3 (python3-websockets, for Firefox)."""
import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import headless

HERE = Path(__file__).resolve().parent
HOST_NAME = "com.sshnativehost.host"
BENCH_ID = "gjlgfiaehhldjoiikjiflnomobacfhcc"  # Chromium's id from the key in extension/manifest.json
BENCH_GECKO = "bench@ssh-native-host.example"
EXAMPLE_ID = "inekfkdbdmdmffhenhohjpggolffkhek"
EXAMPLE_GECKO = "terminal@ssh-native-host.example"
# Fixed by a pref in Firefox, so that the pages' addresses are known.
UUIDS = {BENCH_GECKO: "0b6c0d3e-8a41-4d2c-9f57-3c1e2a9b7d40", EXAMPLE_GECKO: "5f2d7c1e-3b8a-4e61-9c0d-2a7b4e8f1c36"}
STANDIN_SIZES = (1024, 4096, 16384, 65536)
MAX_OUTPUT_BYTES = 65536
LINE = "{:015d} the quick brown fox jumps over the lazy dog!!!!\n"  # 64 bytes, as the stand-in's


def text_file(path, mib):
    """MIB MiB of numbered 64-byte lines; the last line's text."""
    lines = (mib << 20) // 64
    with open(path, "w") as out:
        for start in range(0, lines, 16384):
            out.write("".join(LINE.format(i) for i in range(start, min(lines, start + 16384))))
    return lines, LINE.format(lines - 1).rstrip("\n")


def seq_on_pty(count):
    """`seq 1 COUNT` on a pty read to its end in 64 KiB reads, no host and no browser: the terminal's
    own share of the seq rows."""
    controller, terminal = os.openpty()
    start = time.monotonic()
    seq = subprocess.Popen(["seq", "1", str(count)], stdin=terminal, stdout=terminal, stderr=terminal)
    os.close(terminal)
    given = 0
    while True:
        try:
            chunk = os.read(controller, 65536)
        except OSError:  # EIO: every writer has closed the terminal
            break
        if not chunk:
            break
        given += len(chunk)
    seq.wait()
    os.close(controller)
    return {"seconds": time.monotonic() - start, "given": given}


def page_url(kind, extension, page):
    """The address of a page of the bench or the example extension."""
    if kind == "chromium":
        return f"chrome-extension://{BENCH_ID if extension == 'bench' else EXAMPLE_ID}/{page}"
    return f"moz-extension://{UUIDS[BENCH_GECKO if extension == 'bench' else EXAMPLE_GECKO]}/{page}"


def rss_kib(pid):
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    except OSError:
        pass
    return 0


class MemorySampler(threading.Thread):
    """Every 200 ms: the host's RSS and the browser's (the sum over the processes of its session,
    the host left out; the host's client runs in a session of its own)."""

    def __init__(self, browser_pid, host):
        super().__init__(daemon=True)
        self.browser_pid, self.host = browser_pid, os.path.realpath(host)
        self.samples, self.done = [], threading.Event()

    def run(self):
        seen = set()
        while not self.done.wait(0.2):
            host = browser = 0
            for entry in os.scandir("/proc"):
                if not entry.name.isdigit():
                    continue
                try:
                    if os.getsid(int(entry.name)) != self.browser_pid:
                        continue
                    exe = os.readlink(f"/proc/{entry.name}/exe")
                except OSError:
                    continue
                if exe == self.host:
                    # Counted from its second sample: the first may catch it between fork and exec.
                    if entry.name in seen:
                        host += rss_kib(entry.name)
                    seen.add(entry.name)
                else:
                    browser += rss_kib(entry.name)
            self.samples.append((host, browser))

    def summary(self, which):
        values = [s[which] for s in self.samples if s[which]]
        if not values:
            return {}
        half = len(values) // 2
        return {"start_kib": values[0], "peak_kib": max(values), "end_kib": values[-1],
                "first_half_peak_kib": max(values[:half] or values), "second_half_peak_kib": max(values[half:])}


def register(kind, args, work, env):
    """The host for both extensions, and a stand-in host of each size as a host of its own name."""
    ids = (BENCH_ID, EXAMPLE_ID) if kind == "chromium" else (BENCH_GECKO, EXAMPLE_GECKO)
    extra = ["--user-data-dir", str(work / "profile")] if kind == "chromium" else []
    subprocess.run([args.register, "install", "--extension-id", ids[0], "--extension-id", ids[1], "--browser", kind,
                    "--host", args.host, *extra], env=env, check=True, capture_output=True, timeout=30)
    folder = (work / "profile" / "NativeMessagingHosts" if kind == "chromium"
              else Path(env["HOME"], ".mozilla", "native-messaging-hosts"))
    folder.mkdir(parents=True, exist_ok=True)
    for size in STANDIN_SIZES:
        name = f"com.sshnativehost.bench_standin_{size >> 10}k"
        script = work / f"standin-{size >> 10}k.sh"
        script.write_text(f"#!/bin/sh\nexec {sys.executable} {HERE / 'standin_host.py'} {size} {args.mib << 20}\n")
        script.chmod(0o755)
        manifest = {"name": name, "description": "bench stand-in", "path": str(script), "type": "stdio"}
        if kind == "chromium":
            manifest["allowed_origins"] = [f"chrome-extension://{BENCH_ID}/"]
        else:
            manifest["allowed_extensions"] = [BENCH_GECKO]
        (folder / f"{name}.json").write_text(json.dumps(manifest))


def rows(args, work):
    """(name, (extension, page), expression, extra fields) for every row, in order; a row without a page
    has a function in place of the expression."""
    data = work / "lines.txt"
    lines, _ = text_file(data, args.mib)
    size = lines * 64
    bench_page = ("bench", "bench.html")
    page_ready = ("await new Promise((r) => { const w = () => typeof measureOutput === 'function' ? r() : "
                  "setTimeout(w, 10); w(); });")

    def bench_call(call):
        return f"(async () => {{ {page_ready} return JSON.stringify(await {call}); }})()"

    timeout = 60 + args.mib * 10
    cat = {"fileName": "cat", "arguments": [str(data)]}
    # The browser's first native host and first run of the page are slow (a cold start, code not yet
    # compiled): a run of the 1 KiB stand-in first, not reported.
    params = {"host": "com.sshnativehost.bench_standin_1k", "expectBytes": args.mib << 20, "timeoutSeconds": timeout}
    yield "warm-up", bench_page, bench_call(f"measureOutput({json.dumps(params)})"), {"warm_up": True}
    # One run's speed on two CPUs moves with where the browser's processes and the host happen to run:
    # the throughput rows run several times over, interleaved, and the report takes the median of each
    # host row's ratio to the stand-in run just before it.
    for _ in range(args.repeats):
        for standin in STANDIN_SIZES:
            params = {"host": f"com.sshnativehost.bench_standin_{standin >> 10}k", "expectBytes": args.mib << 20,
                      "timeoutSeconds": timeout}
            yield f"standin-{standin >> 10}k", bench_page, bench_call(f"measureOutput({json.dumps(params)})"), \
                {"message_size": standin, "source_bytes": args.mib << 20}
        for name, extra in [("host-stdout", {}), ("host-stdout-max", {"maxOutputBytes": MAX_OUTPUT_BYTES}),
                            ("host-pty", {"mode": "pseudo_console"}),
                            ("host-pty-additions", {"mode": "pseudo_console", "maxOutputBytes": MAX_OUTPUT_BYTES,
                                                    "omitProcessedContent": True})]:
            params = {"connectParams": {**cat, **extra}, "timeoutSeconds": timeout}
            # The terminal turns each line end into \r\n.
            expected = size + (lines if extra.get("mode") else 0)
            yield name, bench_page, bench_call(f"measureOutput({json.dumps(params)})"), \
                {"source_bytes": size, "expected_bytes": expected, "message_size": extra.get("maxOutputBytes", 1024)}
    echo = {"fileName": "/bin/sh", "arguments": ["-c", "printf ready; exec cat"]}
    raw_echo = {"fileName": "/bin/sh", "arguments": ["-c", "stty raw -echo; printf ready; exec cat"],
                "mode": "pseudo_console"}
    # Each base row beside its row with the additions, key by key.
    for name, sessions in [("echo-stdout", {"echo-stdout": echo,
                                            "echo-stdout-max": {**echo, "maxOutputBytes": MAX_OUTPUT_BYTES}}),
                           ("echo-pty", {"echo-pty": raw_echo,
                                         "echo-pty-additions": {**raw_echo, "maxOutputBytes": MAX_OUTPUT_BYTES,
                                                                "omitProcessedContent": True}})]:
        call = {"sessions": sessions, "keys": args.keys, "timeoutSeconds": 60 + args.keys}
        yield name, bench_page, bench_call(f"measureEcho({json.dumps(call)})"), {}

    example_js = (HERE / "example_rows.js").read_text()

    def example_call(call):
        return f"{example_js}\n(async () => JSON.stringify(await {call}))()"

    seq = {"command": f"seq 1 {args.seq}", "lastLine": str(args.seq), "timeoutSeconds": 300}
    for name, query in [("example-seq", "?additions=off"), ("example-seq-additions", "")] * args.repeats:
        yield name, ("example", f"terminal.html{query}"), example_call(f"drawRow({json.dumps(seq)})"), \
            {"count": args.seq}
    # The parts of the seq rows that no protocol can save: the pty alone (no page: run here), and
    # xterm.js alone.
    yield "seq-on-pty", None, lambda: seq_on_pty(args.seq), {"count": args.seq}
    parse = example_call(f"parseRow({json.dumps({'count': args.seq})})")
    yield "xterm-parse", ("example", "terminal.html"), parse, {"count": args.seq}
    flood = work / "flood.txt"
    flood_lines, last = text_file(flood, args.flood_mib)
    command = f"cat {flood}"
    call = {"command": command, "lastLine": last, "timeoutSeconds": 60 + args.flood_mib * 10}
    # What the page must be given: the file with \r\n line ends, the command's echo and the next prompt
    # (dash's: '# ' for root).
    prompt = "# " if os.geteuid() == 0 else "$ "
    yield "example-cat", ("example", "terminal.html"), example_call(f"floodRow({json.dumps(call)})"), \
        {"source_bytes": flood_lines * 64, "expected_given": flood_lines * 65 + len(command) + 2 + len(prompt),
         "sample_memory": True}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("kind", choices=["chromium", "firefox"])
    parser.add_argument("browser")
    parser.add_argument("--host", required=True)
    parser.add_argument("--register", required=True)
    parser.add_argument("--example", required=True, help="the built example extension")
    parser.add_argument("--mib", type=int, default=32, help="MiB through each throughput row")
    parser.add_argument("--repeats", type=int, default=5, help="runs of each throughput and seq row")
    parser.add_argument("--keys", type=int, default=1000, help="keys of each echo row")
    parser.add_argument("--seq", type=int, default=1000000, help="seq 1 N in the example extension")
    parser.add_argument("--flood-mib", type=int, default=100, help="MiB of the cat in the example extension")
    parser.add_argument("--only", help="comma-separated row names")
    args = parser.parse_args()

    # bench.sh bounds a browser that stops answering with timeout(1): its TERM still ends the browser.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("run_browser_bench.py: stopped (SIGTERM)"))
    work = Path(tempfile.mkdtemp(prefix="snh-browser-bench-"))
    home = work / "home"
    home.mkdir()
    # The local shell is dash, whose prompt the rows know; Firefox finds hosts under $HOME/.mozilla.
    env = dict(os.environ, SHELL="/bin/sh", HOME=str(home) if args.kind == "firefox" else os.environ["HOME"])
    browser = None
    try:
        register(args.kind, args, work, env)
        extensions = [HERE / "extension", Path(args.example).resolve()]
        browser = (headless.Chromium(args.browser, work / "profile", extensions, env) if args.kind == "chromium" else
                   headless.Firefox(args.browser, work / "profile", extensions, env, UUIDS))
        version = subprocess.run([args.browser, "--version"], capture_output=True, text=True).stdout.strip()
        only = set(args.only.split(",")) if args.only else None
        for name, page, expression, extra in rows(args, work):
            if only and name not in only and not extra.get("warm_up"):
                continue
            warm_up = extra.pop("warm_up", False)
            sampler = MemorySampler(browser.process.pid, args.host) if extra.pop("sample_memory", False) else None
            if sampler:
                sampler.start()
            try:
                if page is None:
                    result = expression()
                else:
                    browser.navigate(page_url(args.kind, *page))
                    result = json.loads(browser.evaluate(expression))
            except RuntimeError as error:
                result = {"error": str(error)[:2000]}
            if sampler:
                sampler.done.set()
                sampler.join()
                result["host_rss"], result["browser_rss"] = sampler.summary(0), sampler.summary(1)
            if warm_up:
                continue
            for name, figures in result.pop("sessions", {name: result}).items():  # a row of several sessions
                print(json.dumps({"browser": args.kind, "version": version, "name": name, **extra, **figures}),
                      flush=True)
    finally:
        if browser is not None:
            browser.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
