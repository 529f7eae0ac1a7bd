#!/usr/bin/env bash
# Builds the example extension into OUT_DIR (default build/example-extension): our files plus xterm.js
# and its fit add-on, installed by npm from the committed lock file. Load OUT_DIR unpacked.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-${here}/../../build/example-extension}"

# npm works in its own folder beside the output, so the source tree stays clean.
deps="${out}.npm"
mkdir -p "${deps}"
cp "${here}/package.json" "${here}/package-lock.json" "${deps}/"
(cd "${deps}" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)

rm -rf "${out}"
mkdir -p "${out}/xterm"
cp "${here}"/{manifest.json,background.js,terminal.html,terminal.css,terminal.js} "${out}/"
xterm="${deps}/node_modules/@xterm"
cp "${xterm}/xterm/lib/xterm.js" "${xterm}/xterm/css/xterm.css" "${xterm}/addon-fit/lib/addon-fit.js" "${out}/xterm/"
cp "${xterm}/xterm/LICENSE" "${out}/xterm/LICENSE"
echo "example extension built in ${out}"
