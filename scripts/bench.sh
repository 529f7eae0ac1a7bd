#!/usr/bin/env bash
# The bench command: builds the native Release host and the benchmarks, runs every benchmark (the
# escape-sequence processor and the codec, the end-to-end relay against a plain pipe copy and a
# Node.js node-pty peer, latency, the ends of a session, start-up, memory, and the Windows build under
# Wine, and the browser rows in headless Chromium and Firefox ESR), and prints the table of figures, ratios
# and goals. The raw results stay in build/native/bench-results/.
#
#   scripts/bench.sh [--quick] [--no-wine] [--no-browser]
#     --quick: small sizes, a smoke run of a few minutes; --no-wine: skip the Windows build's row;
#     --no-browser: skip the browser rows
set -euo pipefail
cd "$(dirname "$0")/.."

mib=256 title_mib=64 round_trips=10000 starts=20 cycles=20 min_time=1 wine_mib=64 with_wine=1
browser_sizes=(--mib 32 --repeats 5 --keys 1000 --seq 1000000 --flood-mib 100) with_browser=1
for option in "$@"; do
  case "${option}" in
    --quick) mib=16 title_mib=4 round_trips=1000 starts=5 cycles=5 min_time=0.1 wine_mib=8
             browser_sizes=(--mib 4 --repeats 1 --keys 200 --seq 100000 --flood-mib 8) ;;
    --no-wine) with_wine=0 ;;
    --no-browser) with_browser=0 ;;
    *) echo "usage: scripts/bench.sh [--quick] [--no-wine] [--no-browser]" >&2; exit 2 ;;
  esac
done

bash scripts/setup.sh >/dev/null
# The peer host needs Node.js and npm; install Debian's only where there is none.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  sudo_cmd=(); [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends nodejs npm >/dev/null
fi
(cd bench/peer && npm ci --no-audit --no-fund --loglevel=error >/dev/null)

cmake --preset native >/dev/null
cmake --build --preset native --target ssh-native-host snh_processor_bench snh_codec_bench snh_relay_bench \
  snh_bench_writer snh_pipe_copy snh_pty_copy ssh-native-host-register >/dev/null
build=$(pwd -P)/build/native
results=${build}/bench-results
rm -rf "${results}" && mkdir -p "${results}"

echo "== processor and codec" >&2
for bench in processor codec; do
  "${build}/bin/snh_${bench}_bench" --benchmark_min_time="${min_time}" \
    --benchmark_out="${results}/${bench}.json" --benchmark_out_format=json >&2
done

echo "== relay, latency, start-up, memory" >&2
relay=("${build}/bin/snh_relay_bench" --host "${build}/bin/ssh-native-host" --writer "${build}/bin/snh_bench_writer"
       --copy "${build}/bin/snh_pipe_copy" --pty-copy "${build}/bin/snh_pty_copy"
       --peer "node $(pwd -P)/bench/peer/host.js")
"${relay[@]}" --mib "${mib}" --title-mib "${title_mib}" --round-trips "${round_trips}" --starts "${starts}" \
  --cycles "${cycles}" >"${results}/relay.jsonl"
# The ratios to the copies, five times over: one run's ratio on a two-CPU machine moves with where the
# three processes of a relay happen to run; the report takes the median.
for repeat in 1 2 3 4 5; do
  "${relay[@]}" --mib "${mib}" --only pipe-copy,host-stdout,pty-copy,host-pty
done >"${results}/relay-repeats.jsonl"
# The same host rows at a sixteenth of the size: memory must not grow with the input.
"${relay[@]}" --mib $((mib / 16)) --title-mib $(((title_mib + 15) / 16)) --only host-stdout,host-title \
  >"${results}/relay-small.jsonl"

echo "== write system calls per message (strace)" >&2
trace=${results}/strace
mkdir -p "${trace}"
cat >"${trace}/host.sh" <<WRAPPER
#!/bin/sh
exec strace -f -qq -s 32 -e trace=write,execve -e signal=none -o "${trace}/t" -ff "${build}/bin/ssh-native-host"
WRAPPER
chmod +x "${trace}/host.sh"
"${relay[@]}" --host "${trace}/host.sh" --mib 16 --only host-stdout >"${trace}/relay.jsonl"
# Count the host's writes to its stdout, and those that start a stdout message (length, then the JSON);
# the client's own trace file is the one with its execve.
writes=0 message_writes=0
for f in "${trace}"/t.*; do
  grep -q 'execve(".*snh_bench_writer' "${f}" && continue
  writes=$((writes + $(grep -c '^write(1,' "${f}" || true)))
  message_writes=$((message_writes + $(grep -c '^write(1, ".*{\\"type\\":\\"stdout\\"' "${f}" || true)))
done
messages=$(python3 -c 'import json,sys; print(json.loads(open(sys.argv[1]).readline())["messages"])' "${trace}/relay.jsonl")
echo "mib=16 writes=${writes} message_writes=${message_writes} messages=${messages}" >"${results}/writes.txt"

if [ "${with_browser}" = 1 ]; then
  echo "== browsers: headless Chromium, Firefox ESR" >&2
  bash examples/extension/build.sh "${build}/example-extension" >/dev/null
  # Debian's own interpreter: it has python3-websockets, which the Firefox driver needs.
  for browser in chromium firefox; do
    binary=$(command -v "${browser}" || command -v "${browser}-esr") ||
      { echo "no ${browser} (scripts/setup.sh installs it)" >&2; exit 1; }
    # Every row times out in the page; this only stops a browser that no longer answers at all.
    timeout 1800 /usr/bin/python3 bench/browser/run_browser_bench.py "${browser}" "${binary}" \
      --host "${build}/bin/ssh-native-host" \
      --register "${build}/bin/ssh-native-host-register" --example "${build}/example-extension" "${browser_sizes[@]}"
  done >"${results}/browser.jsonl"
fi

if [ "${with_wine}" = 1 ]; then
  echo "== the Windows build under Wine" >&2
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target ssh-native-host snh_bench_writer snh_pipe_copy >/dev/null
  windows=$(pwd -P)/build/windows
  prefix=${windows}/wineprefix
  run=("$(pwd -P)/cmake/wine-run.sh" --prefix "${prefix}")
  console="$(pwd -P)/bench/relay/wine-console-host.sh ${prefix}"
  writer_path="Z:$(echo "${windows}/bin/snh_bench_writer.exe" | tr / '\\')"
  # The limit the host is held to (spawning-copy, reported as wine-pipe-copy) starts the writer itself on
  # a pipe from CreatePipe, which wineserver serves, as the host does, and is started as the host is. The
  # shell pipe copy (wine-shell-pipe-copy) reads a Unix pipe that bypasses wineserver.
  wine_relay=("${build}/bin/snh_relay_bench" --host "${console} ${windows}/bin/ssh-native-host.exe"
    --writer "${writer_path}" --writer-command "${run[*]} ${windows}/bin/snh_bench_writer.exe"
    --copy "${run[*]} ${windows}/bin/snh_pipe_copy.exe" --spawning-copy "${console} ${windows}/bin/snh_pipe_copy.exe")
  server_name=$(printf 'server-%x-%x' $(stat -c '0x%D %i' "${prefix}"))
  # The CPU seconds this prefix's wineserver has used so far.
  server_cpu() {
    local pid
    for pid in $(pgrep -x 'wineserver(64)?'); do
      if [[ "$(readlink "/proc/${pid}/cwd")" == */"${server_name}" ]]; then
        awk -v tick="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); print ($12 + $13) / tick }' "/proc/${pid}/stat"
        return
      fi
    done
    echo 0
  }
  # wine_rows PLACEMENT [COMMAND PREFIX...]: each row once, with the wineserver's CPU time during it.
  wine_rows() {
    local placement=$1 row line before
    shift
    for row in spawning-copy host-stdout pipe-copy; do
      before=$(server_cpu)
      line=$("$@" "${wine_relay[@]}" --mib "${wine_mib}" --only "${row}")
      echo "${line%\}},\"placement\":\"${placement}\",\"wineserver_cpu_seconds\":$(awk "BEGIN { print $(server_cpu) - ${before} }")}"
    done
  }
  # Each message costs round trips to wineserver, whose wall-clock price depends on whether the reader and
  # the server share a CPU; on this VM a wake-up on the other CPU costs several times the work. So the rows
  # run with everything (wineserver too) on one CPU, where the figures repeat, and spread over all CPUs, as
  # a browser runs them, five times each.
  one_cpu=(taskset -c "$(($(nproc) - 1))")
  for placement in one-cpu all-cpus; do
    pin=()
    [ "${placement}" = one-cpu ] && pin=("${one_cpu[@]}")
    WINEPREFIX=${prefix} wineserver -k 2>/dev/null && WINEPREFIX=${prefix} wineserver -w
    WINEPREFIX=${prefix} "${pin[@]}" wineserver -p
    "${pin[@]}" "${run[@]}" cmd.exe /c exit >/dev/null 2>&1
    for repeat in 1 2 3 4 5; do wine_rows "${placement}" "${pin[@]}"; done
  done | sed -e 's/"name":"spawning-copy"/"name":"wine-pipe-copy"/' -e 's/"name":"pipe-copy"/"name":"wine-shell-pipe-copy"/' \
    -e 's/"name":"host-stdout"/"name":"wine-host-stdout"/' >"${results}/wine.jsonl"
  # The ends of a session. The pseudo console's exit notice under Wine waits its full second (see
  # docs/performance.md), so they take fewer cycles here.
  "${wine_relay[@]}" --cycles $(((cycles + 1) / 2)) --only host-ends-stdout,host-ends-pty |
    sed -e 's/"name":"host-ends-\([a-z]*\)"/"name":"wine-host-ends-\1"/' >>"${results}/wine.jsonl"
  # Server requests per message: the server's own trace (-d1) of 1 and 3 MiB through each; the difference
  # is 2048 messages' worth, without the start-up's requests.
  requests=${results}/wine-requests
  mkdir -p "${requests}"
  WINEPREFIX=${prefix} wineserver -k 2>/dev/null && WINEPREFIX=${prefix} wineserver -w
  WINEPREFIX=${prefix} wineserver -f -d1 -p 2>>"${requests}/server.log" &
  "${run[@]}" cmd.exe /c exit >/dev/null 2>&1
  for row in spawning-copy host-stdout; do
    for request_mib in 1 3; do
      : >"${requests}/server.log"
      "${wine_relay[@]}" --mib "${request_mib}" --only "${row}" >/dev/null
      grep -oE '^[0-9a-f]{4}: [a-z_]+\( ' "${requests}/server.log" | awk '{ print $2 }' | tr -d '(' | sort | uniq -c \
        >"${requests}/${row}-${request_mib}.txt"
    done
  done
  WINEPREFIX=${prefix} wineserver -k 2>/dev/null || true
  wait
  rm -f "${requests}/server.log"
fi

python3 bench/report.py "${results}" | tee "${results}/table.md"
