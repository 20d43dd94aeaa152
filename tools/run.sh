#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what Pelloru needs, builds it, starts a private POP3 server on a
# free loopback port with the sample mailbox of tests/data (and a second,
# IMAP one with the same messages), points a temporary settings profile at
# them (accounts "pop3" and "imap"), and runs Pelloru: the window when a
# display is there, otherwise one headless scan whose rows are printed.
# Everything it starts is stopped again when Pelloru ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash tools/install-deps.sh
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-run -j2 --target pelloru demo_mailbox

work=$(mktemp -d /tmp/pelloru-run-XXXXXX)
chmod 755 "$work"
mkfifo "$work/keep"
# The demo server serves until its standard input closes.
build-run/tools/demo_mailbox "$root/tests/data" <"$work/keep" >"$work/server" &
server=$!
exec 3>"$work/keep"
cleanup() { exec 3>&-; wait "$server" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/server" ] && break; sleep 0.1; done
read -r port user password imapsport cafile <"$work/server"

export XDG_CONFIG_HOME="$work/config"
printf '127.0.0.1:%s\n%s\n%s\n' "$port" "$user" "$password" | build-run/src/app/pelloru --configure --account pop3
if [ "${imapsport:-0}" != 0 ]; then
  printf 'imaps://127.0.0.1:%s\n%s\n%s\nCAFILE=%s\n' "$imapsport" "$user" "$password" "$cafile" |
    build-run/src/app/pelloru --configure --account imap
fi
cd "$work"
echo "The sample mailbox, as one headless scan shows it (pelloru --list):" >&2
"$root/build-run/src/app/pelloru" --list
# From here on a pattern deletes the Outlook offer over POP3 and moves it to
# the spam folder over IMAP (with backups here).
printf 'Subject:*Wartungsvertrag\n' >"$work/loesche_direkt.txt"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "The window: choose \"Check\" to scan; the offer is then deleted (POP3) and moved to Junk (IMAP)." >&2
  "$root/build-run/src/app/pelloru"
else
  echo "No display. One more scan, now with the pattern file:" >&2
  "$root/build-run/src/app/pelloru" --list
  ls msg_* >&2 2>/dev/null || true
fi
