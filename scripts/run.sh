#!/usr/bin/env bash
# Builds the host and its terminal client and opens a session through the host, started exactly as a
# browser starts it: your shell (or, with arguments, ssh with those arguments) in this terminal.
# ~. at the start of a line, or leaving the shell, ends it.
#
# Without a terminal (in CI, or piped) it runs a short scripted session instead, printing every
# message of the host as one line of JSON: through the Linux host, then through the Windows host and
# client under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

say() { echo "run.sh: $*" >&2; }

say "installing what the build needs from Debian's packages (scripts/setup.sh)"
bash scripts/setup.sh >/dev/null
say "building the host and its terminal client (the first build takes a few minutes; later ones seconds)"
cmake --preset native >/dev/null
cmake --build --preset native --target ssh-native-host-cli >/dev/null
cli=build/native/bin/ssh-native-host-cli

if [ -t 0 ] && [ -t 1 ]; then
  if [ $# -eq 0 ]; then
    say "starting your shell through ssh-native-host, as a browser would start it"
  else
    say "starting ssh $* through ssh-native-host, as a browser would start it"
  fi
  say "everything from here on passes through the host; ~. at the start of a line ends the session"
  status=0
  "${cli}" "$@" || status=$?
  say "the session through the host has ended (status ${status})"
  say "next: ${cli} user@host (ssh through the host), or the example extension (docs/install.md)"
  exit "${status}"
fi

echo "== Linux host: a shell in a pseudo console, typed at through a pipe"
printf 'printf "\\033]0;ssh-native-host demo\\007"; echo "Hello from a pseudo console, $((6*7))"\nexit\n' |
  "${cli}" --json --mode pseudo_console --program /bin/sh

echo "== Windows host and client, under Wine"
say "building the Windows host and client (the first build takes a few minutes)"
cmake --preset windows >/dev/null
cmake --build --preset windows --target ssh-native-host-cli >/dev/null
build=build/windows
cmake/wine-run.sh --prefix "$(pwd -P)/${build}/wineprefix" "${build}/bin/ssh-native-host-cli.exe" --json \
  --mode pseudo_console --program 'C:\windows\system32\cmd.exe' /c 'title ssh-native-host demo & echo Hello from a pseudo console' \
  </dev/null
