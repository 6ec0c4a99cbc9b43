#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian package as a user gets it: installed with apt-get (which brings
# what it depends on), each tool started as its desktop entry says and left
# running a while, then the package removed and nothing of it left behind.
# Needs root: packaging/check-package.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
export DEBIAN_FRONTEND=noninteractive
deb=$(ls -t "$build"/comm-sockbay_*.deb | head -n 1)
deb=$(realpath "$deb")

# What it must ask for: the Qt libraries the programs link, found by
# dpkg-shlibdeps, and what they load or show.
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6serialport6 \
           qt6-qpa-plugins fonts-noto-cjk qt6-translations-l10n; do
    grep -q "\b$dep\b" <<<"$depends" || { echo "Depends lacks $dep: $depends"; exit 1; }
done

dpkg-deb -f "$deb" Recommends | grep -q '\bfonts-freefont-ttf\b' || { echo "Recommends lacks the control symbols' font"; exit 1; }

was_installed=no
dpkg-query -W -f='${Status}' comm-sockbay 2>/dev/null | grep -q "install ok installed" && was_installed=yes
apt-get install -y -qq "$deb" >/dev/null
cleanup() {
    [ "$was_installed" = yes ] || apt-get remove -y -qq comm-sockbay >/dev/null || true
    rm -rf "$home"
}
home=$(mktemp -d)
trap cleanup EXIT

for f in /usr/bin/comm-serial /usr/bin/sockbay \
         /usr/share/applications/comm.desktop /usr/share/applications/sockbay.desktop \
         /usr/share/icons/hicolor/scalable/apps/comm.svg /usr/share/icons/hicolor/256x256/apps/sockbay.png \
         /usr/share/man/man1/comm-serial.1.gz /usr/share/doc/comm-sockbay/copyright; do
    dpkg -S "$f" >/dev/null || { echo "the package does not hold $f"; exit 1; }
done
ls /usr/share/metainfo/*.comm.metainfo.xml /usr/share/metainfo/*.sockbay.metainfo.xml >/dev/null
appstreamcli validate --no-net /usr/share/metainfo/*.comm.metainfo.xml /usr/share/metainfo/*.sockbay.metainfo.xml

# Each starts from its menu entry's command and keeps running until stopped.
for entry in comm sockbay; do
    exec_line=$(sed -n 's/^Exec=//p' "/usr/share/applications/$entry.desktop")
    cmd=$(command -v "${exec_line%% *}") || { echo "$entry.desktop: $exec_line is not in the path"; exit 1; }
    HOME=$home XDG_CONFIG_HOME=$home/.config QT_QPA_PLATFORM=offscreen "$cmd" &
    pid=$!
    sleep 2
    kill -0 "$pid" 2>/dev/null || { echo "$cmd (from $entry.desktop) did not keep running"; exit 1; }
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "$entry.desktop: $cmd started"
done

if [ "$was_installed" = no ]; then
    apt-get remove -y -qq comm-sockbay >/dev/null
    for f in /usr/bin/comm-serial /usr/bin/sockbay /usr/share/applications/comm.desktop; do
        [ ! -e "$f" ] || { echo "$f is left after removing the package"; exit 1; }
    done
    was_installed=yes   # nothing left for the trap to remove
fi
echo "package installed, started and removed: $(basename "$deb")"
