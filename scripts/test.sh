#!/usr/bin/env bash
# Installs what is missing, builds the program five times and runs every test in each build:
#   release   Linux, Qt 6, g++
#   sanitize  Linux, Qt 6, clang with AddressSanitizer and UndefinedBehaviorSanitizer, and a
#             bounded run of the parseInteger fuzzer
#   windows   Windows, Win32, 32-bit (the program that is shipped), cross-compiled with mingw-w64
#   windows64 the same sources for 64-bit Windows; its tests run under 64-bit Wine
#   web       the browser's site, built with Emscripten; its tests run under Node and Chromium
# and then makes a whole release with scripts/release.sh and checks it.
# The 32-bit build's Wine tests run wherever the 32-bit Wine runs: natively where the kernel runs
# 32-bit programs, through qemu's user-mode emulator where it cannot (IA-32 emulation switched
# off; scripts/deps.sh sets that up, see scripts/run32.sh). The stage says which.
# Every stage runs even when an earlier one fails; the script ends with the list of failed stages.
# A stage is a name and a command (usually a function below): `stage NAME command...`.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test || exit 1
jobs=$(nproc)

failed=()
stage() {
  local name=$1
  shift
  local started=$SECONDS
  echo "== $name"
  # Not in an `if`: there bash would ignore set -e inside the stage.
  (set -e; "$@")
  local status=$?
  if [[ $status -ne 0 ]]; then
    echo "== $name: FAILED (status $status) after $((SECONDS - started)) s" >&2
    failed+=("$name")
  else
    echo "== $name: passed in $((SECONDS - started)) s"
  fi
}

# Configures and builds a preset, then runs its tests (with any further ctest arguments).
build_and_test() {
  local preset=$1
  shift
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs" "$@"
}

plain() {
  build_and_test release
}

sanitize() {
  local supp="$PWD/tests/sanitizer.supp"
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
  LSAN_OPTIONS="suppressions=$supp:print_suppressions=0" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    build_and_test sanitize
}

windows32() {
  local route
  route=$(scripts/run32.sh route) || true
  case $route in
    native) echo "32-bit programs run natively on this kernel: the 32-bit build's tests run under Wine" ;;
    qemu) echo "this kernel cannot run 32-bit programs: the 32-bit build's tests run under Wine through qemu-i386 (binfmt_misc)" ;;
    *) echo "32-bit programs cannot run here, not even through qemu: as root, run scripts/deps.sh windows" >&2
       return 1 ;;
  esac
  build_and_test windows
}

windows64() {
  build_and_test windows64
}

web() {
  build_and_test web
}

# Every package a release publishes, signed with a throw-away certificate and key, and the apt
# repository installed into a clean Debian 12 (as root in CI). It reuses the builds above.
release() {
  python3 tests/package/release/check_release.py
}

stage "plain build" plain
stage "sanitizer build" sanitize
stage "Windows build, 32-bit (the shipped program), tests under Wine" windows32
stage "Windows build, 64-bit, tests under Wine" windows64
stage "web build, tests under Node and in headless Chromium" web
stage "release: every package, signed, installed from the apt repository" release

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "== failed stages:" >&2
  printf '   %s\n' "${failed[@]}" >&2
  exit 1
fi
echo "== all stages passed"
