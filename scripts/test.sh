#!/usr/bin/env bash
# Installs what is missing, builds the program three times and runs every test in each build:
#   release   Linux, Qt 6, g++
#   sanitize  Linux, Qt 6, clang with AddressSanitizer and UndefinedBehaviorSanitizer, and a
#             bounded run of the parseInteger fuzzer
#   windows   Windows, Win32, 32-bit (the program that is shipped), cross-compiled with mingw-w64
#   windows64 the same sources for 64-bit Windows; its tests run under 64-bit Wine
#   web       the browser's site, built with Emscripten; its tests run under Node and Chromium
# The 32-bit build's Wine tests run where the kernel can run 32-bit programs; where it cannot
# (IA-32 emulation switched off), only its tests that need no Wine run, and the script says so.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
jobs=$(nproc)

echo "== plain build"
cmake --preset release >/dev/null
cmake --build --preset release -j"$jobs"
ctest --preset release -j"$jobs"

echo "== sanitizer build"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j"$jobs"
supp="$PWD/tests/sanitizer.supp"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --preset sanitize -j"$jobs"
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

echo "== Windows build, 32-bit"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  ctest --preset windows -j"$jobs"
else
  echo "32-bit programs cannot run on this machine's kernel: the 32-bit build's Wine tests are left out"
  ctest --preset windows -j"$jobs" -LE wine
fi

echo "== Windows build, 64-bit, tests under Wine"
cmake --preset windows64 >/dev/null
cmake --build --preset windows64 -j"$jobs"
ctest --preset windows64 -j"$jobs"

echo "== web build, tests under Node and in headless Chromium"
cmake --preset web >/dev/null
cmake --build --preset web -j"$jobs"
ctest --preset web -j"$jobs"
