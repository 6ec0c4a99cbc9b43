#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What `cmake --install` puts in place, in a folder of its own: both
# programs (the serial tester under a name coreutils does not use), their
# desktop entries (valid), icons, manual pages and the licence; and the
# installed programs start.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/comm-serial bin/sockbay \
         share/applications/comm.desktop share/applications/sockbay.desktop \
         share/icons/hicolor/16x16/apps/comm.png share/icons/hicolor/32x32/apps/comm.png \
         share/icons/hicolor/16x16/apps/sockbay.png share/icons/hicolor/32x32/apps/sockbay.png \
         share/man/man1/comm-serial.1 share/man/man1/sockbay.1 share/doc/consoles/LICENSE; do
    [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
[ ! -e "$prefix/bin/comm" ] || { echo "a bin/comm would shadow coreutils' comm"; exit 1; }
grep -qx 'Exec=comm-serial' "$prefix/share/applications/comm.desktop"
desktop-file-validate "$prefix"/share/applications/*.desktop
# Each starts and keeps running until it is stopped.
for tool in comm-serial sockbay; do
    QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$prefix/config" "$prefix/bin/$tool" &
    pid=$!
    sleep 2
    kill -0 "$pid" || { echo "$tool did not keep running"; exit 1; }
    kill "$pid"
    wait "$pid" 2>/dev/null || true
done
echo "installed and started"
