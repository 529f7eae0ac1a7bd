#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh --prefix DIR program [args...]
set -euo pipefail
if [ "${1:-}" = "--prefix" ]; then
  export WINEPREFIX="$2"
  shift 2
fi
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install prompts when a prefix is created.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
[ -n "${WINEPREFIX:-}" ] && mkdir -p "$WINEPREFIX"
# Keep the server alive for a minute between runs: a cold start costs seconds, a warm one milliseconds.
wineserver -p60 >/dev/null 2>&1 </dev/null || true
# Let Wine create the prefix and start its background services here, with no hold on our caller's
# output: started by the program below, they would keep its pipes open and a test runner waiting.
wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
exec wine "$@"
