#!/usr/bin/env bash
# Installs what is missing, builds the program three times and runs every test in each build:
#   release   Linux, Qt 6, g++
#   sanitize  Linux, Qt 6, clang with AddressSanitizer and UndefinedBehaviorSanitizer, and a
#             bounded run of the parseInteger fuzzer
#   windows   Windows, Win32, cross-compiled with mingw-w64; its tests run under Wine
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

echo "== Windows build, tests under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
ctest --preset windows -j"$jobs"
