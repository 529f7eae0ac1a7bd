#!/usr/bin/env bash
# The long soak runs: connect and disconnect cycles in every mode with the host's fds or handles,
# threads and memory measured, and a long relay checked byte for byte on the stdout pipe and the pty.
#   scripts/soak.sh [CYCLES [RELAY_CHARACTERS [PRESETS...]]]
# Defaults: 1000 cycles per mode, 1 GiB of base64 text, presets native and windows (under Wine).
# Each cycle takes about a second (the host's exit notice follows a second after the client ends).
set -euo pipefail
cd "$(dirname "$0")/.."

cycles="${1:-1000}"
characters="${2:-1073741824}"
shift $(($# > 2 ? 2 : $#))
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native windows)

status=0
for preset in "${presets[@]}"; do
  echo "== soak: ${preset}, ${cycles} cycles per mode, relay of ${characters} characters"
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}" -j "$(nproc)" --target snh_conformance_tests ssh-native-host snh_test_client
  dir="build/${preset}"
  runner=()
  suffix=""
  if [ "${preset}" = windows ]; then
    runner=(cmake/wine-run.sh --prefix "$(pwd -P)/${dir}/wineprefix")
    suffix=".exe"
  fi
  SNH_SOAK_CYCLES="${cycles}" SNH_SOAK_RELAY_CHARACTERS="${characters}" \
    "${runner[@]}" "${dir}/tests/conformance/snh_conformance_tests${suffix}" \
    --host="$(pwd -P)/${dir}/bin/ssh-native-host${suffix}" \
    --client="$(pwd -P)/${dir}/tests/clients/snh_test_client${suffix}" --gtest_filter='Soak.*' || status=1
done
if [[ " ${presets[*]} " == *" windows "* ]]; then
  WINEPREFIX="$(pwd -P)/build/windows/wineprefix" wineserver -k 2>/dev/null || true
fi
exit "${status}"
