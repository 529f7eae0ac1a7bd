#!/usr/bin/env bash
# Builds the packages from the native and windows builds (already configured and built) and checks
# that each holds what it should: the programs, the documentation, and in the Windows programs their
# version resource, icon and manifest.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "check-packages: $*" >&2
  exit 1
}
expect_listed() {  # listing file, then the paths that must appear in it
  local listing=$1
  shift
  for path in "$@"; do
    grep -qE "(^|[ /])${path}\$" "${listing}" || fail "${path} is missing from ${listing##*/}:
$(cat "${listing}")"
  done
}

version=$(sed -n 's/^project(ssh-native-host VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d)
trap 'rm -rf "${work}"' EXIT

for preset in native windows; do
  rm -rf "build/${preset}/packages"
  (cd "build/${preset}" && cpack >"${work}/cpack-${preset}.log" 2>&1) || fail "cpack failed in build/${preset}:
$(cat "${work}/cpack-${preset}.log")"
done

deb=build/native/packages/ssh-native-host_${version}_amd64.deb
tgz=build/native/packages/ssh-native-host-${version}-Linux.tar.gz
zip=build/windows/packages/ssh-native-host-${version}-win64.zip
for package in "${deb}" "${tgz}" "${zip}"; do
  [ -f "${package}" ] || fail "${package} was not made"
done

dpkg-deb -c "${deb}" | awk '{print $NF}' >"${work}/deb"
expect_listed "${work}/deb" usr/bin/ssh-native-host usr/bin/ssh-native-host-cli \
  usr/share/doc/ssh-native-host/README.md usr/share/doc/ssh-native-host/docs/protocol.md
depends=$(dpkg-deb -f "${deb}" Depends)
for library in libc6 libstdc\\+\\+6 libvterm; do
  grep -qE "${library}" <<<"${depends}" || fail "Depends lacks ${library}: ${depends}"
done
echo "deb: $(grep -c . "${work}/deb") entries; Depends: ${depends}"

tar -tzf "${tgz}" >"${work}/tgz"
expect_listed "${work}/tgz" bin/ssh-native-host bin/ssh-native-host-cli share/doc/ssh-native-host/README.md
echo "tar.gz: $(grep -c . "${work}/tgz") entries"

unzip -Z1 "${zip}" >"${work}/zip"
expect_listed "${work}/zip" bin/ssh-native-host.exe bin/ssh-native-host-cli.exe doc/README.md doc/docs/protocol.md
echo "zip: $(grep -c . "${work}/zip") entries"

# Resource types: 3 icon, 14 icon group, 16 version, 24 manifest.
unzip -q "${zip}" -d "${work}/zip-tree"
declare -A descriptions=([ssh-native-host]="Native Messaging host" [ssh-native-host-cli]="ssh-native-host terminal client")
for program in "${!descriptions[@]}"; do
  exe=$(find "${work}/zip-tree" -name "${program}.exe")
  resources=$(wrestool -l "${exe}")
  for type in 3 14 16 24; do
    grep -q -- "--type=${type} " <<<"${resources}" || fail "${program}.exe has no resource of type ${type}: ${resources}"
  done
  version_text=$(wrestool -x --raw --type=16 "${exe}" | strings -el)
  for text in "${descriptions[${program}]}" "${version}" "${program}.exe"; do
    grep -qF "${text}" <<<"${version_text}" || fail "${program}.exe's version resource lacks \"${text}\""
  done
  wrestool -x --raw --type=24 "${exe}" | grep -q 'level="asInvoker"' || fail "${program}.exe's manifest is not asInvoker"
  echo "${program}.exe: icon, version ${version} (\"${descriptions[${program}]}\"), asInvoker manifest"
done
echo "packages: all checks passed"
