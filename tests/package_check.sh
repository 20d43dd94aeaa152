#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package as `cpack -G DEB` builds it from this build folder:
# the program and its window program, desktop entry, icon, AppStream metainfo (valid) and man pages
# (English and German, no warnings) are in it, it declares what it depends on, apt could
# install it, and Debian's own checker (lintian) reports neither an error
# nor a warning.
set -euo pipefail
source_dir=$1
build_dir=$2
appstreamcli validate --no-net "$source_dir/packaging/org.pelloru.Pelloru.metainfo.xml"
warnings=$(for page in pelloru.1 pelloru.de.1; do groff -man -ww -z -Kutf8 "$source_dir/packaging/$page"; done 2>&1)
[ -z "$warnings" ] || { echo "man page: $warnings"; exit 1; }
out=$(mktemp -d /tmp/pelloru-package-XXXXXX)
trap 'rm -rf "$out"' EXIT
cpack -G DEB -B "$out" --config "$build_dir/CPackConfig.cmake" >/dev/null
deb=$(ls "$out"/*.deb)
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/pelloru ./usr/libexec/pelloru/pelloru-window ./usr/share/applications/pelloru.desktop ./usr/share/pixmaps/pelloru.xpm \
            ./usr/share/metainfo/org.pelloru.Pelloru.metainfo.xml ./usr/share/man/man1/pelloru.1.gz ./usr/share/man/de/man1/pelloru.1.gz \
            ./usr/share/doc/pelloru/copyright ./usr/share/doc/pelloru/changelog.gz; do
  grep -q " $file\$" <<<"$contents" || { echo "missing in the package: $file"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libssl3 libgsasl libsqlite3; do
  grep -q "$library" <<<"$depends" || { echo "no dependency on $library: $depends"; exit 1; }
done
apt-get install --simulate -qq "$deb" >/dev/null || { echo "apt would not install $(basename "$deb")"; exit 1; }
found=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -E '^[EW]: ' || true)
[ -z "$found" ] || { echo "lintian: $found"; exit 1; }
echo "ok: $(basename "$deb")"
