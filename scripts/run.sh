#!/usr/bin/env bash
# Builds the host for Windows and for this machine and runs one session through each, each host started
# exactly as a browser starts it: the version query, then a client in a pseudo console that prints a
# line and sets the window title, a line of input typed to it, and the exit notice. Every message the
# host sends is printed as one line of JSON.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >/dev/null
for preset in windows native; do
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}" --target ssh-native-host snh-launch >/dev/null
done

echo "== Windows host, under Wine"
build=build/windows
host_path="Z:$(pwd -P | tr / '\\')\\${build//\//\\}\\src\\ssh-native-host.exe"
{
  echo '{"type":"getVersion"}'
  echo '{"type":"connect","connectParams":{"fileName":"C:\\windows\\system32\\cmd.exe","arguments":["/c","title ssh-native-host demo & echo Hello from a pseudo console"],"mode":"pseudo_console"}}'
  sleep 3
  echo '{"type":"disconnect"}'
} | cmake/wine-run.sh --prefix "$(pwd -P)/${build}/wineprefix" "${build}/tools/launcher/snh-launch.exe" "${host_path}"

echo "== Linux host"
{
  echo '{"type":"getVersion"}'
  echo '{"type":"connect","connectParams":{"fileName":"sh","arguments":["-c","printf \"\\033]0;ssh-native-host demo\\007Hello from a pseudo console\\nName? \"; read name; echo \"Hi, $name\""],"mode":"pseudo_console"}}'
  sleep 1
  echo '{"type":"stdin","input":"Ada\r"}'
  sleep 2
  echo '{"type":"disconnect"}'
} | build/native/tools/launcher/snh-launch build/native/src/ssh-native-host
