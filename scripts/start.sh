#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release --target drill -j"$(nproc)"
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  echo "Built build/release/program/drill; there is no desktop session here to show it in." >&2
  echo "Run this from a terminal on the desktop (DISPLAY or WAYLAND_DISPLAY set)." >&2
  exit 1
fi
exec build/release/program/drill
