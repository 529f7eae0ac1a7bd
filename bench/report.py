#!/usr/bin/env python3
"""Prints the benchmark table (Markdown) from the raw results that scripts/bench.sh leaves in a folder:
processor.json and codec.json (Google Benchmark), relay.jsonl and relay-small.jsonl (snh_relay_bench),
writes.txt (write calls counted by strace) and, when present, wine.jsonl and browser.jsonl."""

import json
import pathlib
import sys

results = pathlib.Path(sys.argv[1])
rows = []


def goal(met, text):
    return ("met" if met else "**missed**") + f" ({text})"


def json_lines(name):
    """Every record of a JSON-lines results file, in order; none when it is missing."""
    path = results / name
    return [json.loads(line) for line in path.read_text().splitlines() if line.strip()] if path.exists() else []


def load_lines(name):
    return {r["name"]: r for r in json_lines(name)}


def median(values):
    """Of an even count, the upper one."""
    return sorted(values)[len(values) // 2]


def benchmarks(name):
    data = json.loads((results / name).read_text())
    return {b["name"]: b for b in data["benchmarks"] if b.get("run_type") == "iteration" or "bytes_per_second" in b}


out = []
emit = out.append

# Escape-sequence processor.
processor = benchmarks("processor.json")
emit("### Escape-sequence processor (1024-byte chunks)\n")
emit("| Input | Processor MB/s | Regex form MB/s | Ratio | Goal |")
emit("|---|---:|---:|---:|---|")
for name, floor in [("ascii", 2000), ("utf8", 2000), ("ls-color", 300), ("top", 300), ("vim", 300),
                    ("title-unterminated", None)]:
    fast = processor[f"processor/{name}"]["bytes_per_second"] / 1e6
    slow = processor[f"regex/{name}"]["bytes_per_second"] / 1e6
    ratio = fast / slow
    # The ratio is shown, no longer judged: at these speeds the processor does not limit any relay.
    check = goal(fast >= floor, f"{floor / 1000:g} GB/s" if floor >= 1000 else f"{floor} MB/s") if floor else ""
    emit(f"| {name} | {fast:,.0f} | {slow:,.1f} | {ratio:,.1f}x | {check} |")
scaling = sorted((b for n, b in processor.items() if n.startswith("processor-scaling/") and "_" not in n.split("/")[-1]),
                 key=lambda b: int(b["name"].split("/")[-1]))
if scaling:
    speeds = [b["bytes_per_second"] / 1e6 for b in scaling]
    sizes = ", ".join(f"{int(b['name'].split('/')[-1]) >> 10} KiB: {s:,.0f} MB/s" for b, s in zip(scaling, speeds))
    # Linear time: past the smallest size (where fixed costs show), no size runs at less than a third of
    # the speed of another; a scan that went over held-back bytes again would lose 8x with each step.
    flat = min(speeds[1:]) >= max(speeds[1:]) / 3
    emit(f"\nUnterminated title by length ({sizes}): {goal(flat, 'linear: MB/s flat in the length')}\n")

# Codec.
codec = benchmarks("codec.json")
emit("### Codec (one message)\n")
emit("| Operation | ns per message | MB/s of payload |")
emit("|---|---:|---:|")
for name, b in codec.items():
    if name.startswith("BM_Decode"):
        continue
    unit = {"ns": 1, "us": 1e3, "ms": 1e6}[b["time_unit"]]
    emit(f"| {name.removeprefix('BM_')} | {b['cpu_time'] * unit:,.0f} | {b['bytes_per_second'] / 1e6:,.0f} |")
decoding = {}
for name, b in codec.items():
    if name.startswith("BM_Decode") and name.count("/") == 1:
        kind, size = name.removeprefix("BM_Decode").split("/")
        decoding.setdefault(kind, {})[int(size)] = b["bytes_per_second"] / 1e6
if decoding:
    sizes = sorted(next(iter(decoding.values())))
    emit("\n### Request decoding by size (MB/s of request)\n")
    emit("| Request | " + " | ".join(f"{s >> 10:,} KiB" for s in sizes) + " | Goal |")
    emit("|---|" + "---:|" * len(sizes) + "---|")
    for kind, speeds in decoding.items():
        values = [speeds[s] for s in sizes]
        # Linear time: no size decodes at less than a third of the speed of another.
        flat = min(values) >= max(values) / 3
        emit(f"| {kind} | " + " | ".join(f"{v:,.0f}" for v in values) +
             f" | {goal(flat, 'linear: MB/s flat from 64 KiB to 64 MiB')} |")

# Relay.
relay = load_lines("relay.jsonl")
small = load_lines("relay-small.jsonl")
copy = relay["pipe-copy"]
emit("\n### End-to-end relay (native)\n")
emit("| Row | MiB | MiB/s | Ratio to pipe copy | CPU s: relaying process / consumer | Peak / steady RSS MiB |")
emit("|---|---:|---:|---:|---:|---|")
for name in ["pipe-copy", "pty-copy", "host-stdout", "host-pty", "peer-stdout", "peer-pty"]:
    if name not in relay:
        emit(f"| {name} | | not run | | | |")
        continue
    r = relay[name]
    rss = f"{r['peak_rss_kib'] / 1024:.1f} / {r['steady_rss_kib'] / 1024:.1f}" if "peak_rss_kib" in r else ""
    emit(f"| {name} | {r['bytes'] >> 20} | {r['mib_per_s']:,.0f} | {r['mib_per_s'] / copy['mib_per_s']:.2f} | "
         f"{r['cpu_seconds']:.2f} / {r.get('consumer_cpu_seconds', 0):.2f} | {rss} |")
emit("")
# The ratios to the copies are judged on the median of the repeated runs, when there are any: on a
# two-CPU machine one run's ratio moves with where the three processes of a relay happen to run.
repeats = {}
for r in json_lines("relay-repeats.jsonl"):
    repeats.setdefault(r["name"], []).append(r)
for host_row, copy_row, label, floor in [("host-stdout", "pipe-copy", "stdout relay", 0.75),
                                         ("host-pty", "pty-copy", "host-pty", 0.6)]:
    if host_row not in relay or copy_row not in relay:
        continue
    ratio = relay[host_row]["mib_per_s"] / relay[copy_row]["mib_per_s"]
    source = f"the {relay[host_row]['bytes'] >> 20} MiB run"
    pairs = list(zip(repeats.get(host_row, []), repeats.get(copy_row, [])))
    if pairs:
        each = sorted(h["mib_per_s"] / c["mib_per_s"] for h, c in pairs)
        ratio = median(each)
        source = (f"median of {len(each)} runs of {pairs[0][0]['bytes'] >> 20} MiB, each row beside its copy "
                  f"({', '.join(f'{x:.2f}' for x in each)}; the {relay[host_row]['bytes'] >> 20} MiB run above: "
                  f"{relay[host_row]['mib_per_s'] / relay[copy_row]['mib_per_s']:.2f})")
    emit(f"- {label} at {ratio:.2f} of the {copy_row.replace('-', ' ')}, {source}: "
         f"{goal(ratio >= floor, f'at least {floor}')}")
for mode in ["stdout", "pty"]:
    host, peer = relay.get(f"host-{mode}"), relay.get(f"peer-{mode}")
    if host and peer:
        emit(f"- {mode}: host {host['mib_per_s'] / peer['mib_per_s']:.2f}x the node-pty peer's speed, "
             f"{peer['cpu_seconds'] / host['cpu_seconds']:.1f}x less CPU: "
             f"{goal(host['mib_per_s'] > peer['mib_per_s'], 'ahead of the peer')}")
writes = results / "writes.txt"
if writes.exists():
    counted = dict(line.split("=") for line in writes.read_text().split())
    w, s, m = int(counted["writes"]), int(counted["message_writes"]), int(counted["messages"])
    emit(f"- write system calls of the host to its stdout during a {counted['mib']} MiB relay (strace): {w} in all, "
         f"{s} of them starting a stdout message, for {m} stdout messages: "
         f"{goal(s == m and w - s <= 2, 'one write per message')}")

# Latency and start-up.
emit("\n### Latency and start-up\n")
emit("| Row | p50 | p99 | Goal |")
emit("|---|---:|---:|---|")
for name in ["host-latency", "peer-latency"]:
    if name in relay:
        r = relay[name]
        check = goal(r["p99_us"] < 500, "p99 under 0.5 ms") if name.startswith("host") else ""
        emit(f"| {name} ({r['round_trips']} stdin round trips through cat) | {r['p50_us']:.0f} us | "
             f"{r['p99_us']:.0f} us | {check} |")
for name in ["host-startup", "peer-startup"]:
    if name in relay:
        r = relay[name]
        emit(f"| {name} (start to version reply, {r['starts']} starts; p90 in the p99 column) | "
             f"{r['p50_ms']:.1f} ms | {r['p90_ms']:.1f} ms | |")

# The ends of a session.
def session_ends(rows, title, ends_unknown=()):
    """ends_unknown: rows whose output has no known end, where the notice waits its second by design."""
    if not rows:
        return
    emit(f"\n### {title}\n")
    emit("| Row | Cycles | Exit notice after the last output, p50 / p90 | First output of a first connect, p50 | "
         "First output after a disconnect and connect, p50 / p90 | Goals |")
    emit("|---|---:|---:|---:|---:|---|")
    for r in rows:
        notice, first, reconnect = r["exit_notice"], r["first_output"], r["reconnect"]
        extra = reconnect["p50_ms"] - first["p50_ms"]
        checks = [goal(notice["p90_ms"] <= 20, "notice within 20 ms") if r["name"] not in ends_unknown else
                  "notice not judged (the pseudo console's output has no end before it is closed)",
                  goal(extra <= 10, f"reconnect {extra:+.1f} ms over the client's own start, at most 10")]
        emit(f"| {r['name']} | {r['cycles']} | {notice['p50_ms']:.1f} / {notice['p90_ms']:.1f} ms | "
             f"{first['p50_ms']:.1f} ms | {reconnect['p50_ms']:.1f} / {reconnect['p90_ms']:.1f} ms | "
             f"{'; '.join(checks)} |")


session_ends([relay[n] for n in ["host-ends-stdout", "host-ends-pty"] if n in relay], "Ends of a session (native)")

# Memory.
emit("\n### Host memory\n")
emit("| Run | Peak RSS MiB | Steady RSS MiB |")
emit("|---|---:|---:|")
peaks = []
for source, label in [(small, "small"), (relay, "full")]:
    for name in ["host-stdout", "host-pty", "host-title"]:
        if name in source:
            r = source[name]
            peaks.append(r["peak_rss_kib"])
            emit(f"| {name}, {r['bytes'] >> 20} MiB | {r['peak_rss_kib'] / 1024:.1f} | {r['steady_rss_kib'] / 1024:.1f} |")
emit("")
emit(f"- Host RSS at most {max(peaks) / 1024:.1f} MiB: {goal(max(peaks) < 16 * 1024, 'under 16 MiB')}")
for name in ["host-stdout", "host-title"]:
    if name in small and name in relay:
        grow = relay[name]["peak_rss_kib"] - small[name]["peak_rss_kib"]
        ratio = relay[name]["bytes"] / small[name]["bytes"]
        emit(f"- {name}: {ratio:.0f}x the input, peak RSS {grow / 1024:+.1f} MiB: "
             f"{goal(grow < 1024, 'flat: under 1 MiB more')}")

# Wine.
wine = load_lines("wine.jsonl")
if wine:
    emit("\n### Windows build under Wine\n")
    # Each relay row ran five times with everything on one CPU and five times spread; medians.
    runs = {}
    for r in json_lines("wine.jsonl"):
        if "mib_per_s" in r:
            runs.setdefault((r["name"], r.get("placement", "all-cpus")), []).append(r)

    emit("| Row | Placement | MiB | MiB/s (median) | Ratio to the Wine pipe copy | CPU s: process / wineserver |")
    emit("|---|---|---:|---:|---:|---:|")
    speed = {key: median([r["mib_per_s"] for r in rs]) for key, rs in runs.items()}
    for (name, placement), rs in runs.items():
        base = speed.get(("wine-pipe-copy", placement))
        cpu = median([r["cpu_seconds"] for r in rs])
        server = median([r.get("wineserver_cpu_seconds", 0) for r in rs])
        ratio = f"{speed[(name, placement)] / base:.2f}" if base else ""
        emit(f"| {name} | {placement} | {rs[0]['bytes'] >> 20} | {speed[(name, placement)]:,.1f} | {ratio} | "
             f"{cpu:.2f} / {server:.2f} |")
    emit("")
    for placement in ("one-cpu", "all-cpus"):
        host, copy = runs.get(("wine-host-stdout", placement)), runs.get(("wine-pipe-copy", placement))
        if not host or not copy:
            continue
        ratio = speed[("wine-host-stdout", placement)] / speed[("wine-pipe-copy", placement)]
        each = ", ".join(f"{h['mib_per_s'] / c['mib_per_s']:.2f}" for h, c in zip(host, copy))
        emit(f"- stdout relay at {ratio:.2f} of the Wine pipe copy (1 KiB reads of a CreatePipe pipe), {placement} "
             f"(run by run: {each}): {goal(ratio >= 0.6, 'at least 0.6')}")
    requests = results / "wine-requests"

    def request_counts(row, mib):
        path = requests / f"{row}-{mib}.txt"
        if not path.exists():
            return None
        return {kind: int(count) for count, kind in (line.split() for line in path.read_text().splitlines())}

    per_message = {}
    for label, row in (("host", "host-stdout"), ("copy", "spawning-copy")):
        small, large = request_counts(row, 1), request_counts(row, 3)
        if small and large:
            diff = {kind: (large.get(kind, 0) - small.get(kind, 0)) / 2048 for kind in large}
            kinds = ", ".join(f"{kind} {diff.get(kind, 0):.2f}" for kind in ("read", "select", "write"))
            per_message[label] = f"{sum(diff.values()):.2f} ({kinds})"
    if per_message:
        emit("- wineserver requests per 1 KiB message (server trace, 3 MiB less 1 MiB): "
             + "; ".join(f"{label} {text}" for label, text in per_message.items()))

    session_ends([r for r in wine.values() if "exit_notice" in r], "Ends of a session, Windows build under Wine",
                 ends_unknown=["wine-host-ends-pty"])

# Browsers.
measured = {}  # (browser, row) -> every run of it
for r in json_lines("browser.jsonl"):
    measured.setdefault((r["browser"], r["name"]), []).append(r)
if measured:
    browsers = list(dict.fromkeys(kind for kind, _ in measured))

    def run_of(kind, name):
        """The run with the median MiB/s (the upper one of an even count), or the only run."""
        runs = [r for r in measured.get((kind, name), []) if "error" not in r]
        runs.sort(key=lambda r: r["bytes"] / r["seconds"] if r.get("seconds") else 0)
        return runs[len(runs) // 2] if runs else None

    def speed(r):
        return r["bytes"] / r["seconds"] / 2**20 if r and r.get("seconds") else 0

    def ratio_to(kind, name, base):
        """The median of each run's ratio to the run of base just before it, and the ratios."""
        pairs = list(zip(measured.get((kind, name), []), measured.get((kind, base), [])))
        each = sorted(speed(r) / speed(b) for r, b in pairs if "error" not in r and "error" not in b)
        return (median(each), each) if each else (None, [])

    def median_seconds(kind, name):
        runs = [r["seconds"] for r in measured.get((kind, name), []) if "error" not in r]
        return median(runs) if runs else None

    def one(kind, name):
        return next((x for x in measured.get((kind, name), []) if "error" not in x), None)

    def failed(kind, name):
        """The cell of a row without a run."""
        reasons = [r["error"][:160] for r in measured.get((kind, name), []) if "error" in r]
        return f"failed: {'; '.join(reasons) or 'not run'}"

    emit("\n### Browsers\n")
    for kind in browsers:
        version = next(r["version"] for (k, _), rs in measured.items() if k == kind for r in rs)
        emit(f"- {kind}: {version}")
    emit("\nOutput reaching an extension's onMessage (bench/browser/extension): the run of median MiB/s, and the "
         "median of each run's ratio to the stand-in run just before it:\n")
    emit("| Browser | Row | Message size | MiB x runs | MiB/s | messages/s | Bytes per message | Ratio to the stand-in "
         "(each run) | Every byte |")
    emit("|---|---|---:|---:|---:|---:|---:|---:|---|")
    standin_of = {"host-stdout": "standin-1k", "host-pty": "standin-1k", "host-stdout-max": "standin-64k",
                  "host-pty-additions": "standin-64k"}
    for kind in browsers:
        for name in ["standin-1k", "standin-4k", "standin-16k", "standin-64k", *standin_of]:
            r = run_of(kind, name)
            if not r:
                emit(f"| {kind} | {name} | | | {failed(kind, name)} | | | | |")
                continue
            ratio, each = ratio_to(kind, name, standin_of[name]) if name in standin_of else (None, [])
            ratio = f"{ratio:.2f} ({', '.join(f'{x:.2f}' for x in each)})" if ratio else ""
            size = f"{r['message_size'] >> 10} KiB" + (" (max)" if name.endswith(("max", "additions")) else "")
            whole = "" if "expected_bytes" not in r else \
                ("yes" if all(x.get("bytes") == x["expected_bytes"] for x in measured[(kind, name)]) else "**no**")
            runs = len(measured[(kind, name)])
            emit(f"| {kind} | {name} | {size} | {r['source_bytes'] >> 20} x{runs} | {speed(r):,.1f} | "
                 f"{r['messages'] / r['seconds']:,.0f} | {r['bytes'] / r['messages']:,.0f} | {ratio} | {whole} |")
    emit("\nKey-to-echo through the bench page (one key at a time, from postMessage to the echo in onMessage):\n")
    emit("| Browser | Row | Keys | p50 ms | p99 ms | max ms |")
    emit("|---|---|---:|---:|---:|---:|")
    for kind in browsers:
        for name in ["echo-stdout", "echo-stdout-max", "echo-pty", "echo-pty-additions"]:
            r = one(kind, name)
            if r:
                emit(f"| {kind} | {name} | {r['keys']} | {r['p50_ms']:.1f} | {r['p99_ms']:.1f} | {r['max_ms']:.1f} |")
            else:
                emit(f"| {kind} | {name} | {failed(kind, name)} | | | |")
    emit("\nThe example extension (examples/extension, xterm.js), a local shell:\n")
    emit("| Browser | Row | Seconds | Given to xterm.js / expected | Longest wait of a posted task | "
         "Host RSS MiB start / peak / end | Browser RSS MiB start / peak / end |")
    emit("|---|---|---:|---|---:|---|---|")

    def mib_trio(m):
        return " / ".join(f"{m[k] / 1024:,.1f}" for k in ("start_kib", "peak_kib", "end_kib")) if m else ""

    for kind in browsers:
        for name in ["example-seq", "example-seq-additions", "seq-on-pty", "xterm-parse", "example-cat"]:
            r = one(kind, name)
            if not r:
                emit(f"| {kind} | {name} | {failed(kind, name)} | | | | |")
                continue
            if name == "example-cat":
                emit(f"| {kind} | {name}: cat of {r['source_bytes'] >> 20} MiB | {r['seconds']:.2f} | "
                     f"{r['given']:,} / {r['expected_given']:,} | {r['max_lag_ms']:.0f} ms | "
                     f"{mib_trio(r['host_rss'])} | {mib_trio(r['browser_rss'])} |")
            elif name in ("seq-on-pty", "xterm-parse"):
                what = "on a pty, read to its end, no host or browser" if name == "seq-on-pty" else \
                    "its text given to xterm.js in one write, in the page"
                emit(f"| {kind} | {name}: seq 1 {r['count']} {what} | {r['seconds']:.2f} | {r['given']:,} | | | |")
            else:
                runs = ", ".join(f"{x['seconds']:.2f}" for x in measured[(kind, name)] if "error" not in x)
                emit(f"| {kind} | {name}: seq 1 {r['count']} (median of {runs}) | {median_seconds(kind, name):.2f} | "
                     f"| | | |")

    def flat(m, source_bytes):
        """Memory that holds the output grows by at least what the run's second half brings (half the
        file): flat is less than half of that (a quarter of the file, or 16 MiB for a small one) above the
        first half's peak."""
        return bool(m) and m["second_half_peak_kib"] - m["first_half_peak_kib"] < max(source_bytes >> 12, 16 << 10)

    emit("")
    for kind in browsers:
        label = kind.capitalize()
        judged = kind == "chromium"  # the throughput goals are set in Chromium; Firefox's figures are shown
        ratio, _ = ratio_to(kind, "host-stdout", "standin-1k")
        if ratio:
            text = f"base protocol: stdout at {ratio:.2f} of the 1 KiB stand-in (median of the runs' ratios)"
            emit(f"- {label}: {text}: " + (goal(ratio >= 0.9, "at least 0.9") if judged else "(shown, not judged)"))
        ratio, each = ratio_to(kind, "host-pty-additions", "host-pty")
        if ratio:
            text = (f"pseudo_console with the additions at {ratio:.1f}x the base protocol's MiB/s (median of the runs' "
                    f"ratios: {', '.join(f'{x:.1f}' for x in each)})")
            emit(f"- {label}: {text}: " + (goal(ratio >= 3, "at least 3x") if judged else "(shown, not judged)"))
        base, fast = median_seconds(kind, "example-seq"), median_seconds(kind, "example-seq-additions")
        if base and fast:
            count = one(kind, "example-seq")["count"]
            floors = [one(kind, n)["seconds"] for n in ("seq-on-pty", "xterm-parse") if one(kind, n)]
            # The terminal and xterm.js work side by side; the slower of the two bounds any protocol.
            bound = f"; the pty alone and xterm.js alone bound it at {base / max(floors):.1f}x" if floors else ""
            emit(f"- {label}: the example extension draws seq 1 {count} {base / fast:.1f}x as fast with the additions "
                 f"(medians {base:.2f} s, {fast:.2f} s{bound}): {goal(base / fast >= 3, 'at least 3x')}")
        cat = one(kind, "example-cat")

        def growth(row, which):
            m = row[which]
            return f"{(m['second_half_peak_kib'] - m['first_half_peak_kib']) / 1024:+.1f} MiB" if m else "not sampled"

        if cat:
            steady = flat(cat["host_rss"], cat["source_bytes"]) and flat(cat["browser_rss"], cat["source_bytes"])
            memory = (f"flat: the second half's peak over the first's, host {growth(cat, 'host_rss')}, browser "
                      f"{growth(cat, 'browser_rss')}, each under {max(cat['source_bytes'] >> 22, 16)} MiB")
            emit(f"- {label}: during the cat of {cat['source_bytes'] >> 20} MiB the page got to a posted task within "
                 f"{cat['max_lag_ms']:.0f} ms: {goal(cat['max_lag_ms'] <= 100, 'within 100 ms')}; memory: "
                 f"{goal(steady, memory)}; "
                 f"{goal(cat['given'] == cat['expected_given'], 'every byte given to xterm.js')}")
        elif measured.get((kind, "example-cat")):
            emit(f"- {label}: the cat row {goal(False, failed(kind, 'example-cat'))}")
        for base_row, row in [("echo-stdout", "echo-stdout-max"), ("echo-pty", "echo-pty-additions")]:
            b, a = one(kind, base_row), one(kind, row)
            if b and a:
                emit(f"- {label}: key-to-echo p99 {a['p99_ms']:.1f} ms ({row}) against {b['p99_ms']:.1f} ms "
                     f"({base_row}): {goal(a['p99_ms'] <= b['p99_ms'] + 1, 'no worse, within the 1 ms clock step')}")

print("\n".join(out))
