#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes a screenshot of each tool's window as it looks after start, under a
# virtual X server: packaging/screenshots.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=${1:-build}
out=${2:-docs}
mkdir -p "$out"
for pkg in xvfb x11-apps imagemagick fonts-noto-cjk; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing="${missing:-} $pkg"
done
if [ -n "${missing:-}" ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
fi
display=:97
Xvfb $display -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
for tool in comm sockbay; do
    DISPLAY=$display QT_QPA_PLATFORM=xcb "$build/$tool/$tool" &
    pid=$!
    sleep 3
    # The root window is black and bare (no window manager): trimming it
    # leaves the tool's client area.
    xwd -root -display $display | convert xwd:- -trim +repage "$out/$tool.png"
    kill $pid 2>/dev/null || true
    wait $pid 2>/dev/null || true
done
echo "screenshots in $out"
