#!/usr/bin/env bash
# Builds everything and runs every test: the native tests (plain, with AddressSanitizer and
# UndefinedBehaviorSanitizer, and with ThreadSanitizer; each fuzz corpus replayed among them), the Windows
# build's tests under Wine (the .msi's install, upgrade and uninstall among them), and a short run of each
# fuzz target; then builds the .deb, .tar.gz, Windows .zip and .msi and checks what they hold.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/setup-test-user.sh
# The code map names every source file (the include layers are checked by the build itself).
python3 scripts/check-code-map.py

jobs=$(nproc)
for preset in native native-asan native-tsan windows; do
  echo "== ${preset}"
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}" -j "${jobs}"
done

status=0
for preset in native native-asan native-tsan windows; do
  echo "== tests: ${preset}"
  ctest --preset "${preset}" || status=1
done
# The fuzz targets over their seed corpora, then a few seconds each (scripts/fuzz.sh for the long runs).
echo "== fuzz (smoke)"
bash scripts/fuzz.sh --smoke || status=1
echo "== packages"
bash scripts/check-packages.sh || status=1
# Leave no Wine server behind.
WINEPREFIX="$(pwd -P)/build/windows/wineprefix" wineserver -k 2>/dev/null || true
exit "${status}"
