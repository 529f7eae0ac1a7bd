#!/usr/bin/env bash
# Installs every Debian package that building and testing ssh-native-host needs. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  nlohmann-json3-dev rapidjson-dev libfmt-dev googletest libgtest-dev libgmock-dev
  libvterm-dev openssh-server openssh-client
  chromium firefox-esr python3 python3-websockets
  libbenchmark-dev libsimdjson-dev strace
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine
  dpkg-dev unzip icoutils help2man man-db wixl msitools
  clang-14 libclang-rt-14-dev
  ccache
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Node.js and npm build the example extension. Any install will do: a Node.js from another source
# ships its own npm, which Debian's npm package conflicts with.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then missing+=(nodejs npm); fi
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

