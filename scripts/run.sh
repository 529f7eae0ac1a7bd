#!/usr/bin/env bash
# Builds the Windows host and runs one session through it under Wine, started exactly as a browser
# starts it: the version query, then a client in a pseudo console that prints a line and sets the
# window title, then the exit notice. Each message the host sends is printed as one line of JSON.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target ssh-native-host snh-launch >/dev/null

build=build/windows
host_path="Z:$(pwd -P | tr / '\\')\\${build//\//\\}\\src\\ssh-native-host.exe"
{
  echo '{"type":"getVersion"}'
  echo '{"type":"connect","connectParams":{"fileName":"C:\\windows\\system32\\cmd.exe","arguments":["/c","title ssh-native-host demo & echo Hello from a pseudo console"],"mode":"pseudo_console"}}'
  sleep 3
  echo '{"type":"disconnect"}'
} | cmake/wine-run.sh --prefix "$(pwd -P)/${build}/wineprefix" "${build}/tools/launcher/snh-launch.exe" "${host_path}"
