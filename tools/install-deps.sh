#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building, testing and running Pelloru need on Debian 12.
# Idempotent: the package index is refreshed once, then apt installs only
# what is missing. Another apt or dpkg run holding the lock is waited for
# (up to 10 minutes) rather than failed on.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libgtest-dev dovecot-pop3d dovecot-imapd qt6-base-dev qt6-networkauth-dev qt6-l10n-tools libssl-dev
          libgumbo-dev python3 ca-certificates qt6-translations-l10n libx11-dev libgsasl-dev
          qtkeychain-qt6-dev libsqlite3-dev zlib1g-dev gnome-keyring dbus-daemon appstream dpkg-dev groff-base lintian "$@")
export DEBIAN_FRONTEND=noninteractive
apt-get -o DPkg::Lock::Timeout=600 update -qq
apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
