#!/usr/bin/env bash
# Takes docs/screenshot-open-device.png: the main dialog right after Open Device
# on the simulated device, shown in a virtual X server (xvfb-run).
#   tools/screenshot.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake -S . -B "$build" -DPELLARO_BUILD_GUI=ON -DPELLARO_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target app_screenshot
xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb \
  "$build/tests/app/app_screenshot" docs/screenshot-open-device.png
echo "written: docs/screenshot-open-device.png"
