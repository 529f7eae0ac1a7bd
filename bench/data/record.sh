#!/usr/bin/env bash
# Re-records the escape-dense output that the processor benchmark replays: real full-screen programs run
# in a 50x30 terminal (the host's pseudo-console size) through a pty, with TERM=xterm-256color. The
# recordings are committed; run this only to refresh them (needs util-linux script, procps top, vim).
set -euo pipefail
cd "$(dirname "$0")"
export TERM=xterm-256color LC_ALL=C.UTF-8
# A long, stable C++ header from the compiler that the setup installs.
sample=$(ls /usr/include/c++/*/bits/basic_string.h | head -n 1)

record() {  # record OUTPUT COMMAND: the command's terminal output, keystrokes from this script's stdin
  local output=$1 command=$2
  script --quiet --echo never --return --command "stty cols 50 rows 30; ${command}" /dev/null >"${output}"
}

record ls-color.vt 'ls --color=always -l --time-style=+ /usr/bin /usr/lib/x86_64-linux-gnu | head -n 3000' </dev/null

# Interactive top, 40 refreshes; the keystrokes toggle colour, bold and the per-CPU view on the way.
{ sleep 1; printf 'z'; sleep 1; printf 'b'; sleep 1; printf '1'; sleep 3; } |
  record top.vt 'top -d 0.1 -n 40'

# A vim session: syntax-coloured C++ paged through, a search, a split window, then quit.
{
  sleep 1
  for _ in $(seq 60); do printf "\x06"; sleep 0.05; done
  printf '/Advance\r'; sleep 0.2; printf 'n'; sleep 0.2
  printf ':set number\r'; sleep 0.2; printf ':split\r'; sleep 0.2
  for _ in $(seq 30); do printf '\x02'; sleep 0.05; done
  printf ':qa!\r'; sleep 0.5
} | record vim.vt "vim -u DEFAULTS -i NONE -n -R ${sample}"

ls -l ./*.vt
