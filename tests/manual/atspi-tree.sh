#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# By hand, not in CI: starts a tool under a virtual X server and a session
# bus of its own with Qt's accessibility bridge on, and prints what a
# screen reader is told of its window (tests/manual/atspi-tree.py).
#   tests/manual/atspi-tree.sh BUILD_DIR comm|sockbay [BUTTON_TO_PRESS...]
# Needs xvfb, at-spi2-core, dbus and python3-pyatspi (Debian packages).
set -euo pipefail
build=$1 tool=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
exec dbus-run-session -- bash -s "$build" "$tool" "$here" "$@" <<'INNER'
set -euo pipefail
build=$1 tool=$2 here=$3
shift 3
Xvfb :93 -screen 0 1280x1024x24 >/dev/null 2>&1 & xvfb=$!
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 & bus=$!
sleep 1
config=$(mktemp -d)
DISPLAY=:93 QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_CONFIG_HOME=$config \
    "$build/$tool/$tool" >/dev/null 2>&1 & app=$!
trap 'kill $app $bus $xvfb 2>/dev/null || true; rm -rf "$config"' EXIT
sleep 3
/usr/bin/python3 "$here/atspi-tree.py" "$tool" "$@"
INNER
