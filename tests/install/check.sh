#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What `cmake --install` puts in place, in a folder of its own: both
# programs (the serial tester under a name coreutils does not use), their
# desktop entries and AppStream metadata (both valid), icons at every size,
# manual pages and the licence; and the installed programs start.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
files="bin/comm-serial bin/sockbay share/man/man1/comm-serial.1.gz share/man/man1/sockbay.1.gz
       share/doc/comm-sockbay/LICENSE share/doc/comm-sockbay/copyright"
for tool in comm sockbay; do
    files="$files share/applications/$tool.desktop share/icons/hicolor/scalable/apps/$tool.svg"
    for size in 16 32 48 64 128 256; do
        files="$files share/icons/hicolor/${size}x$size/apps/$tool.png"
    done
done
for f in $files; do
    [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
# Each icon is as large as the folder it is in says.
for png in "$prefix"/share/icons/hicolor/*/apps/*.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    actual=$(file -b "$png" | sed -n 's/.*, \([0-9]*\) x \([0-9]*\),.*/\1x\2/p')
    [ "$actual" = "$size" ] || { echo "$png is $actual, not $size"; exit 1; }
done
[ ! -e "$prefix/bin/comm" ] || { echo "a bin/comm would shadow coreutils' comm"; exit 1; }
# Started as they always were: the command line is for scripts, not the menu.
grep -qx 'Exec=comm-serial' "$prefix/share/applications/comm.desktop"
grep -qx 'Exec=sockbay' "$prefix/share/applications/sockbay.desktop"
desktop-file-validate "$prefix"/share/applications/*.desktop
# One metainfo file per tool, naming its desktop entry.
for tool in comm sockbay; do
    meta=$(ls "$prefix"/share/metainfo/*."$tool".metainfo.xml)
    grep -q "<launchable type=\"desktop-id\">$tool.desktop</launchable>" "$meta"
done
# Valid as they stand, and with the desktop entries they name.
appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml
appstreamcli validate-tree --no-net "$prefix"
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
