#!/usr/bin/env bash
# Builds the packages from the native and windows builds (already configured and built) and checks
# that each holds what it should: the programs, the documentation, the licence (Debian's copyright file
# in the .deb, LICENSE in the others), man pages that render, a wrapped description, and in the Windows
# programs their version resource, icon and manifest; in the Windows installer its files and registry
# values (msiinfo).
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

# The packages carry the example extension as built (npm ci from the committed lock file).
[ -f build/example-extension/manifest.json ] || bash examples/extension/build.sh >/dev/null

for preset in native windows; do
  rm -rf "build/${preset}/packages"
  (cd "build/${preset}" && cpack >"${work}/cpack-${preset}.log" 2>&1) || fail "cpack failed in build/${preset}:
$(cat "${work}/cpack-${preset}.log")"
done

deb=build/native/packages/ssh-native-host_${version}_amd64.deb
tgz=build/native/packages/ssh-native-host-${version}-Linux.tar.gz
zip=build/windows/packages/ssh-native-host-${version}-win64.zip
msi=build/windows/packages/ssh-native-host-${version}-x64.msi
for package in "${deb}" "${tgz}" "${zip}" "${msi}"; do
  [ -f "${package}" ] || fail "${package} was not made"
done

programs=(ssh-native-host ssh-native-host-cli ssh-native-host-register)
man_pages=("${programs[@]/#/share/man/man1/}")
man_pages=("${man_pages[@]/%/.1.gz}")

dpkg-deb -c "${deb}" | awk '{print $NF}' >"${work}/deb"
expect_listed "${work}/deb" "${programs[@]/#/usr/bin/}" "${man_pages[@]/#/usr/}" \
  usr/share/doc/ssh-native-host/README.md usr/share/doc/ssh-native-host/copyright \
  usr/share/doc/ssh-native-host/docs/protocol.md usr/share/doc/ssh-native-host/docs/install.md
! grep -q "doc/ssh-native-host/LICENSE$" "${work}/deb" || fail "the .deb holds LICENSE besides its copyright file"
dpkg-deb -x "${deb}" "${work}/deb-tree"
copyright=${work}/deb-tree/usr/share/doc/ssh-native-host/copyright
for field in "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" "Files: *" \
  "Copyright: 2026 the ssh-native-host authors" "License: MIT" " Permission is hereby granted"; do
  grep -qF -- "${field}" "${copyright}" || fail "the copyright file lacks \"${field}\""
done
# Each page renders, names its program and tells how to register the host.
for program in "${programs[@]}"; do
  page=$(MANWIDTH=80 man -l "${work}/deb-tree/usr/share/man/man1/${program}.1.gz" 2>&1) ||
    fail "man -l ${program}.1.gz failed: ${page}"
  grep -qE "^ +${program} - " <<<"${page}" || fail "${program}.1.gz has no NAME line: ${page}"
  grep -q "SYNOPSIS" <<<"${page}" || fail "${program}.1.gz has no SYNOPSIS"
done
grep -q "ssh-native-host-register install --extension-id ID" \
  <<<"$(man -l "${work}/deb-tree/usr/share/man/man1/ssh-native-host.1.gz")" ||
  fail "ssh-native-host(1) does not say how to register the host"
# A synopsis line, then an extended description of lines that begin with a space, none too long.
description=$(dpkg-deb -f "${deb}" Description)
[ "$(wc -l <<<"${description}")" -ge 3 ] || fail "the description has no extended part: ${description}"
long=$(awk 'length > 80' <<<"${description}")
[ -z "${long}" ] || fail "description lines over 80 columns: ${long}"
! tail -n +2 <<<"${description}" | grep -q '^[^ ]' || fail "description lines must begin with a space: ${description}"
[ "$(dpkg-deb -f "${deb}" Recommends)" = openssh-client ] || fail "the .deb does not recommend openssh-client"
# Removing the package takes back the machine's registrations (not an upgrade).
dpkg-deb -e "${deb}" "${work}/deb-control"
sh -n "${work}/deb-control/prerm" || fail "the .deb's prerm is not valid sh"
grep -qE '^ *remove\)' "${work}/deb-control/prerm" &&
  grep -q 'ssh-native-host-register remove --scope system' "${work}/deb-control/prerm" ||
  fail "the .deb's prerm does not take back the machine's registrations on remove"
for program in "${programs[@]}"; do
  page=$(MANWIDTH=80 man -l "${work}/deb-tree/usr/share/man/man1/${program}.1.gz" 2>&1)
  for section in EXAMPLES "SEE ALSO"; do
    grep -q "^${section}" <<<"${page}" || fail "${program}.1.gz has no ${section}"
  done
done
# Every relative link of the installed README leads to a file the package holds.
readme_links() {  # README, then the folder it is installed in
  grep -oE '\]\([^)#:]+\)' "$1" | sed -E 's/^\]\((.*)\)$/\1/' | while read -r link; do
    [ -e "$2/${link}" ] || echo "${link}"
  done
}
missing=$(readme_links "${work}/deb-tree/usr/share/doc/ssh-native-host/README.md" "${work}/deb-tree/usr/share/doc/ssh-native-host")
[ -z "${missing}" ] || fail "the .deb's README links to files it does not hold: ${missing}"
expect_listed "${work}/deb" usr/share/doc/ssh-native-host/CHANGELOG.md \
  usr/share/doc/ssh-native-host/examples/extension/manifest.json \
  usr/share/doc/ssh-native-host/examples/extension/xterm/xterm.js
depends=$(dpkg-deb -f "${deb}" Depends)
for library in libc6 libstdc\\+\\+6 libvterm; do
  grep -qE "${library}" <<<"${depends}" || fail "Depends lacks ${library}: ${depends}"
done
echo "deb: $(grep -c . "${work}/deb") entries; Depends: ${depends}"

tar -tzf "${tgz}" >"${work}/tgz"
expect_listed "${work}/tgz" "${programs[@]/#/bin/}" "${man_pages[@]}" share/doc/ssh-native-host/README.md \
  share/doc/ssh-native-host/LICENSE share/doc/ssh-native-host/docs/install.md
echo "tar.gz: $(grep -c . "${work}/tgz") entries"

unzip -Z1 "${zip}" >"${work}/zip"
exes=("${programs[@]/#/bin/}")
expect_listed "${work}/zip" "${exes[@]/%/.exe}" doc/README.md doc/LICENSE doc/docs/protocol.md doc/docs/install.md \
  doc/CHANGELOG.md doc/examples/extension/manifest.json
echo "zip: $(grep -c . "${work}/zip") entries"

# Resource types: 3 icon, 14 icon group, 16 version, 24 manifest.
unzip -q "${zip}" -d "${work}/zip-tree"
zip_doc=$(dirname "$(find "${work}/zip-tree" -name README.md -path '*/doc/README.md')")
missing=$(readme_links "${zip_doc}/README.md" "${zip_doc}")
[ -z "${missing}" ] || fail "the .zip's README links to files it does not hold: ${missing}"
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
# The installer: its files, and a registry value naming the manifest for each of the four browsers.
msiinfo export "${msi}" File | tr -d '\r' | cut -f3 >"${work}/msi"
expect_listed "${work}/msi" "${programs[@]/%/.exe}" README.md LICENSE protocol.md install.md CHANGELOG.md \
  manifest.json
msiextract -C "${work}/msi-tree" "${msi}" >/dev/null
msi_doc=$(dirname "$(find "${work}/msi-tree" -name README.md -not -path '*/examples/*')")
missing=$(readme_links "${msi_doc}/README.md" "${msi_doc}")
[ -z "${missing}" ] || fail "the .msi's README links to files it does not hold: ${missing}"
browsers=$(msiinfo export "${msi}" Registry | grep -c 'NativeMessagingHosts\\com.sshnativehost.host.*\.json') || true
[ "${browsers}" -eq 4 ] || fail "the .msi registers ${browsers} browsers, not 4"
echo "msi: $(grep -c . "${work}/msi") files, ${browsers} browsers"
echo "packages: all checks passed"
