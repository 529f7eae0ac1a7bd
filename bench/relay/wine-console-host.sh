#!/usr/bin/env bash
# Starts a Windows host under Wine with a console, as a browser gives it one: standard input and
# output stay the caller's pipes, and a pty from script(1) behind them makes Wine create the console
# that the console modes need. Usage: wine-console-host.sh WINEPREFIX PROGRAM.exe [ARGUMENT...]
set -euo pipefail
prefix=$1
shift
exec 3<&0 4>&1
export WINEPREFIX=${prefix} WINEDEBUG=${WINEDEBUG:--all}
exec script --quiet --flush --return --command "wine $(printf '%q ' "$@")<&3 >&4" /dev/null </dev/null >/dev/null
