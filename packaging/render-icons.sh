#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders the hicolor PNG icons of each tool from its SVG, so that an edited
# SVG can be re-rendered: packaging/render-icons.sh
# Writes packaging/TOOL-SIZE.png for TOOL in comm, sockbay and SIZE in 48, 64,
# 128, 256. The 16 and 32 px window icons are drawn by hand and left alone.
set -euo pipefail

dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if ! command -v rsvg-convert >/dev/null 2>&1; then
    sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y librsvg2-bin
fi

for tool in comm sockbay; do
    for size in 48 64 128 256; do
        out="$dir/$tool-$size.png"
        rsvg-convert --width "$size" --height "$size" --format png \
            --output "$out" "$dir/$tool.svg"
        echo "wrote $out"
    done
done
