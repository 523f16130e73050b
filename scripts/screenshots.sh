#!/usr/bin/env bash
# Takes the screenshots of both windows that the README shows, from the real program on a
# private X server: docs/screenshots/main-window.png and docs/screenshots/result-window.png.
# Usage: scripts/screenshots.sh [BUILD-DIR]
# Without a build folder it builds the program in build/release, as scripts/start.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
build=${1:-build/release}
if [[ $# -eq 0 ]]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
elif [[ ! -f "$build/CMakeCache.txt" ]]; then
  echo "$build is not a configured build folder" >&2
  exit 2
fi
cmake --build "$build" --target drill -j"$(nproc)"
/usr/bin/python3 tests/qt/screens/take_screenshots.py --program "$build/program/drill" \
  --xsession tests/qt/e2e --out docs/screenshots
