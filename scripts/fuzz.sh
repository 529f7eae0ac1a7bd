#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz) and runs each one, printing executions, exec/s, coverage
# and crashes per target.
#   scripts/fuzz.sh                  each target for 10 million executions (the long run)
#   scripts/fuzz.sh --runs N         each target for N executions
#   scripts/fuzz.sh SECONDS          each target for SECONDS seconds
#   scripts/fuzz.sh --smoke          the seed corpus, then 5 seconds each (part of scripts/test.sh)
# Optional target names after these choose targets (request_loop terminal_output utf8_carry command_line
# console_screen).
# Seeds are in fuzz/corpus/<target>; the growing corpus and any crash input go to build/fuzz/runs/<target>.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-runs=10000000)
smoke=0
case "${1:-}" in
  --runs) limit=(-runs="$2"); shift 2 ;;
  --smoke) limit=(-max_total_time=5); smoke=1; shift ;;
  [0-9]*) limit=(-max_total_time="$1"); shift ;;
esac
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(request_loop terminal_output utf8_carry command_line console_screen)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

declare -A dictionary=([request_loop]=request.dict [terminal_output]=terminal.dict [console_screen]=terminal.dict)
status=0
summary=()
for target in "${targets[@]}"; do
  exe="build/fuzz/bin/snh_fuzz_${target}"
  seeds="fuzz/corpus/${target}"
  work="build/fuzz/runs/${target}"
  [ -x "${exe}" ] && [ -d "${seeds}" ] || { echo "unknown fuzz target: ${target}" >&2; exit 2; }
  mkdir -p "${work}/corpus" "${work}/artifacts"
  options=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="${work}/artifacts/")
  [ -n "${dictionary[${target}]:-}" ] && options+=(-dict="fuzz/${dictionary[${target}]}")
  log="${work}/last.log"
  echo "== fuzz ${target}"
  rc=0
  if [ "${smoke}" = 1 ]; then
    # Every seed on its own first, so a regression on a committed input names that input.
    "${exe}" "${options[@]}" "${seeds}"/* >"${log}" 2>&1 || rc=$?
  fi
  if [ "${rc}" = 0 ]; then
    "${exe}" "${options[@]}" "${limit[@]}" "${work}/corpus" "${seeds}" >>"${log}" 2>&1 || rc=$?
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "${log}" | tail -1 | grep -o '[0-9]*$' || true)
  speed=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "${log}" | tail -1 | grep -o '[0-9]*$' || true)
  rss=$(grep -o 'stat::peak_rss_mb: *[0-9]*' "${log}" | tail -1 | grep -o '[0-9]*$' || true)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "${log}" | tail -1 || true)
  crashes=$(find "${work}/artifacts" -type f | wc -l)
  if [ "${rc}" != 0 ]; then
    status=1
    grep -E 'ERROR|property broken|SUMMARY' "${log}" | head -5 >&2 || true
  fi
  summary+=("$(printf '%-16s %12s runs %8s exec/s  %-18s peak %5s MB  %s crash inputs  exit %s' \
    "${target}" "${runs:-?}" "${speed:-?}" "${cov:-cov: ?}" "${rss:-?}" "${crashes}" "${rc}")")
done
printf '%s\n' "${summary[@]}"
exit "${status}"
