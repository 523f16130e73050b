#!/usr/bin/env bash
# Makes sure the Debian packages that a step needs are installed.
# Usage: scripts/deps.sh build|run|test
# As root it installs what is missing; otherwise it prints the apt-get line to run and fails.
set -euo pipefail

build=(cmake make g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev)
run=(qt6-qpa-plugins fonts-dejavu-core fonts-dejavu-extra fonts-paratype fonts-urw-base35 fonts-liberation2)
test=(clang libclang-rt-14-dev xvfb xauth xdotool openbox x11-utils imagemagick
      dbus at-spi2-core python3 python3-pyatspi appstream desktop-file-utils file
      x11-xserver-utils wmctrl dpkg-dev)

case "${1:-}" in
  build) wanted=("${build[@]}") ;;
  run) wanted=("${build[@]}" "${run[@]}") ;;
  test) wanted=("${build[@]}" "${run[@]}" "${test[@]}") ;;
  *) echo "usage: $0 build|run|test" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

line="apt-get install -y --no-install-recommends ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
  echo "Missing Debian packages. As root, run:" >&2
  echo "  apt-get update && $line" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
