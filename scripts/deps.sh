#!/usr/bin/env bash
# Makes sure the Debian packages that a step needs are installed.
# Usage: scripts/deps.sh build|run|test|windows|web|release
#   build    the Linux program's compiler, CMake, Qt's development files, the header-only libraries
#   run      what the Linux program needs at run time, besides
#   test     everything the test command uses: both Linux builds, the Windows build and Wine
#   windows  the Windows cross build (mingw-w64) and Wine to run it
#            (where the kernel cannot run 32-bit programs, test and windows also set up qemu's
#            emulator for the 32-bit Wine: scripts/run32.sh)
#   web      the web build (Emscripten), Node to run its tests, the browser and the font tools
#   release  scripts/release.sh: all three builds, and the tools that make and sign the apt
#            repository and sign the Windows packages
# As root it installs what is missing; otherwise it prints the apt-get line to run and fails.
set -euo pipefail

# debhelper and dpkg-dev build the Debian packages (scripts/build-deb.sh, dpkg-buildpackage).
build=(cmake make g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev nlohmann-json3-dev
       doctest-dev dpkg-dev debhelper)
# Wine's 32-bit half comes from Debian's i386 architecture, which the script adds when missing.
windows=(cmake make nlohmann-json3-dev doctest-dev
         g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
         g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
         wine wine32:i386 wine64 fonts-wine wixl msitools osslsigncode openssl
         xvfb xauth xdotool openbox x11-utils wmctrl imagemagick python3 python3-xlib)
# Emscripten runs its optimizer on Debian's node modules, and terser shortens the names in the
# program's script; chromium and its driver play the site; fonttools subsets the fonts and
# imagemagick turns the icon into PNG for the site.
web=(cmake make nlohmann-json3-dev doctest-dev emscripten nodejs terser
     chromium chromium-driver python3-selenium fonttools python3-brotli imagemagick)
# apt-ftparchive (apt-utils) and gpg make the signed apt repository; osslsigncode signs for
# Windows; the release test installs the repository into a clean Debian made by mmdebstrap.
release_tools=(apt-utils gnupg osslsigncode openssl mmdebstrap)
run=(qt6-qpa-plugins fonts-dejavu-core fonts-dejavu-extra fonts-paratype fonts-urw-base35 fonts-liberation2
     qt6-translations-l10n)
test=(clang libclang-rt-14-dev xvfb xauth xdotool openbox x11-utils imagemagick
      dbus at-spi2-core python3 python3-pyatspi orca appstream desktop-file-utils file
      lintian reuse xclip python3-xlib
      x11-xserver-utils wmctrl dpkg-dev)

# The shipped Windows build is 32-bit, and so is the Wine that runs its tests: where the kernel
# cannot run 32-bit programs, scripts/run32.sh installs qemu's user-mode emulator and registers it
# for them. The registration is lost at every boot, so it is checked on every run (quickly).
setup_32bit_route() {
  case "$1" in
    test|windows) "$(dirname "$0")/run32.sh" setup ;;
  esac
}

case "${1:-}" in
  build) wanted=("${build[@]}") ;;
  run) wanted=("${build[@]}" "${run[@]}") ;;
  test) wanted=("${build[@]}" "${run[@]}" "${test[@]}" "${windows[@]}" "${web[@]}"
              "${release_tools[@]}") ;;
  windows) wanted=("${windows[@]}") ;;
  web) wanted=("${web[@]}") ;;
  release) wanted=("${build[@]}" "${windows[@]}" "${web[@]}" "${release_tools[@]}") ;;
  *) echo "usage: $0 build|run|test|windows|web|release" >&2; exit 2 ;;
esac

# Two test tools come from npm, each pinned by the package-lock.json of its folder: the web tests'
# accessibility checker axe-core (tests/web) and Lighthouse for bench/web_lighthouse.py
# (bench/lighthouse). Node and npm come from the web step's Debian packages, so this runs once
# they are in. A copy of the lock file in node_modules tells that a folder is already installed.
npm_tools() {
  case "$1" in web|test|release) ;; *) return 0 ;; esac
  local root dir
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  for dir in "$root/tests/web" "$root/bench/lighthouse"; do
    cmp -s "$dir/package-lock.json" "$dir/node_modules/.drill-installed-lock" && continue
    npm ci --prefix "$dir" --no-audit --no-fund --loglevel=error
    cp "$dir/package-lock.json" "$dir/node_modules/.drill-installed-lock"
  done
}

# What comes after the Debian packages, which it needs.
the_rest() {
  npm_tools "$1"
  setup_32bit_route "$1"
}

missing=()
for p in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -eq 0 ]]; then
  the_rest "$1"
  exit 0
fi

needs_i386=no
for p in "${missing[@]}"; do
  [[ "$p" == *:i386 ]] && needs_i386=yes
done
if [[ $needs_i386 == yes ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  add_i386="dpkg --add-architecture i386 && "
else
  needs_i386=no
  add_i386=""
fi

line="apt-get install -y --no-install-recommends ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
  echo "Missing Debian packages. As root, run:" >&2
  echo "  ${add_i386}apt-get update && $line" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if [[ $needs_i386 == yes ]]; then
  dpkg --add-architecture i386
fi
# Another install (a second build, a package manager in the background) may hold the lock: wait.
lock=(-o DPkg::Lock::Timeout=900)
apt-get "${lock[@]}" update -qq
apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
the_rest "$1"
