#!/usr/bin/env bash
# Creates the account that the end-to-end tests log in to through a private sshd on 127.0.0.1. Only
# the test command runs this; building and running the host need no account. Safe to run again.
#
# It has no usable password ("*", which sshd does not take for a locked account, so key logins work);
# the password test sets a random one for its run and puts "*" back. Without root nothing is created
# and the end-to-end tests say what is missing.
set -euo pipefail

if [ "$(id -u)" -eq 0 ] && ! id snh-test >/dev/null 2>&1; then
  useradd --create-home --shell /bin/sh snh-test
  usermod --password '*' snh-test
fi
