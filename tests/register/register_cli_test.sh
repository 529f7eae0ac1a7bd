#!/usr/bin/env bash
# The real ssh-native-host-register, run as a user would: install for every browser, check what was
# written, remove, check it is gone.
#   register_cli_test.sh posix TOOL HOST
#   register_cli_test.sh wine TOOL HOST WINE_RUN PREFIX     (the registry of a Wine prefix)
set -euo pipefail

mode=$1 tool=$2 host=$3
chrome_id=dimnjlmdmbeogedbmnlfcndbbfpbkgei
firefox_id=snh-test@example.org
name=com.sshnativehost.host
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_in() {  # expect_in TEXT NEEDLE WHAT
  if [[ "$1" != *"$2"* ]]; then fail "$3: '$2' not in:"; printf '%s\n' "$1"; fi
}

work=$(mktemp -d "${TMPDIR:-/tmp}/snh-register-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT

if [ "$mode" = posix ]; then
  export HOME="$work/home"
  unset XDG_CONFIG_HOME
  mkdir -p "$HOME"
  dirs=(.config/google-chrome/NativeMessagingHosts .config/chromium/NativeMessagingHosts
        .config/microsoft-edge/NativeMessagingHosts .mozilla/native-messaging-hosts)

  # The modes do not follow the umask: others read, only the owner writes.
  out=$(umask 000 && "$tool" install --extension-id "$chrome_id" --extension-id "$firefox_id" --host "$host")
  wrong=$(find "$HOME" -mindepth 1 \( -type d ! -perm 755 \) -o \( -type f ! -perm 644 \))
  [ -z "$wrong" ] || fail "modes under umask 000: $(ls -ld $wrong)"
  for dir in "${dirs[@]}"; do
    manifest="$HOME/$dir/$name.json"
    expect_in "$out" "wrote $manifest" "install output"
    [ -f "$manifest" ] || { fail "no $manifest"; continue; }
    text=$(cat "$manifest")
    expect_in "$text" "\"name\": \"$name\"" "$manifest"
    expect_in "$text" "\"path\": \"$host\"" "$manifest"
    expect_in "$text" "\"type\": \"stdio\"" "$manifest"
    if [[ "$dir" == .mozilla/* ]]; then
      expect_in "$text" "\"allowed_extensions\": [
    \"$firefox_id\"
  ]" "$manifest"
    else
      expect_in "$text" "\"allowed_origins\": [
    \"chrome-extension://$chrome_id/\"
  ]" "$manifest"
    fi
  done

  [[ "$("$tool" --version)" =~ ^ssh-native-host-register\ [0-9]+(\.[0-9]+){3}$ ]] || fail "--version: $("$tool" --version)"

  # A bad id is refused before anything is written.
  rm -rf "$HOME" && mkdir -p "$HOME"
  set +e
  err=$("$tool" install --extension-id "${chrome_id^^}" --host "$host" 2>&1)
  status=$?
  set -e
  [ "$status" -eq 2 ] || fail "a bad id exited $status, not 2"
  expect_in "$err" "is not a valid extension id" "bad id"
  [ -z "$(find "$HOME" -type f)" ] || fail "a bad id wrote files: $(find "$HOME" -type f)"

  # Refused: a host that is no program; a host others may change, for every user; a manifest path
  # holding someone else's file or a link (neither written through nor replaced).
  manifest="$HOME/${dirs[0]}/$name.json"
  mkdir -p "${manifest%/*}"
  echo '{"name":"org.other.host"}' >"$work/foreign" && ln -s "$work/foreign" "$manifest"
  cp "$host" "$work/host"
  for refusal in "2 is not an executable program|--host /etc/passwd" \
                 "2 for every user: |--host $work/host --scope system --manifest-dir $work/m" \
                 "1 is not a manifest of $name; remove it yourself|--host $host"; do
    expected=${refusal%%|*} args=${refusal#*|}
    set +e
    err=$("$tool" install --extension-id "$chrome_id" --browser chrome $args 2>&1)
    status=$?
    set -e
    [ "$status" -eq "${expected%% *}" ] || fail "install $args exited $status"
    expect_in "$err" "${expected#* }" "install $args"
  done
  [ -L "$manifest" ] && [ "$(cat "$work/foreign")" = '{"name":"org.other.host"}' ] || fail "the link was replaced"
  [ ! -e "$work/m" ] || fail "a refused install wrote $work/m"
  rm "$manifest"

  "$tool" install --extension-id "$chrome_id" --extension-id "$firefox_id" --host "$host" >/dev/null
  out=$("$tool" remove)
  for dir in "${dirs[@]}"; do
    expect_in "$out" "removed $HOME/$dir/$name.json" "remove output"
  done
  [ -z "$(find "$HOME" -type f)" ] || fail "remove left files: $(find "$HOME" -type f)"
  out=$("$tool" remove)
  expect_in "$out" "nothing at $HOME/${dirs[0]}/$name.json" "second remove"
else
  wine_run=$4
  export WINEPREFIX=$5 WINEDEBUG=-all
  win() { "$wine_run" --prefix "$WINEPREFIX" "$@" 2>/dev/null | tr -d '\r'; }
  win_host=$(winepath -w "$host" 2>/dev/null)
  key='HKEY_CURRENT_USER\Software\Google\Chrome\NativeMessagingHosts\'"$name"
  mozilla_key='HKEY_CURRENT_USER\Software\Mozilla\NativeMessagingHosts\'"$name"

  out=$(win "$tool" install --extension-id "$chrome_id" --extension-id "$firefox_id" --browser chrome \
          --browser firefox --host "$win_host")
  expect_in "$out" "set $key to " "install output"
  expect_in "$out" "set $mozilla_key to " "install output"
  manifest=$(sed -n "s/^set ${key//\\/\\\\} to //p" <<<"$out")
  query=$(win reg query "$key" /ve || true)
  expect_in "$query" "REG_SZ" "reg query $key"
  expect_in "$query" "$manifest" "reg query $key"
  unix_manifest=$(winepath -u "$manifest" 2>/dev/null)
  if [ -f "$unix_manifest" ]; then
    text=$(cat "$unix_manifest")
    expect_in "$text" "\"path\": \"${win_host//\\/\\\\}\"" "$manifest"
    expect_in "$text" "chrome-extension://$chrome_id/" "$manifest"
  else
    fail "no manifest at $manifest ($unix_manifest)"
  fi

  out=$(win "$tool" remove --browser chrome --browser firefox)
  expect_in "$out" "deleted $key" "remove output"
  expect_in "$out" "removed $manifest" "remove output"
  if win reg query "$key" /ve >/dev/null; then fail "the key is still there after remove"; fi
  [ ! -e "$unix_manifest" ] || fail "the manifest is still there after remove"
  out=$(win "$tool" remove --browser chrome)
  expect_in "$out" "no key $key" "second remove"

  # Wine says every file is owned by its user, so no host passes for every user here.
  refused() { "$wine_run" --prefix "$WINEPREFIX" "$tool" install --extension-id "$chrome_id" \
                --browser chrome "$@" 2>&1 | tr -d '\r' || true; }
  err=$(refused --host 'Z:\etc\passwd')
  expect_in "$err" "is not an executable program" "a host that is no program"
  err=$(refused --host "$win_host" --scope system)
  expect_in "$err" "refusing to register $win_host for every user: " "a host others may change"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "register CLI ($mode): all checks passed"
