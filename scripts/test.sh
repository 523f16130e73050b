#!/usr/bin/env bash
# Installs what is missing, builds the program twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer under clang, with the fuzz target) and runs every test in both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
jobs=$(nproc)

echo "== plain build"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

echo "== sanitizer build"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DDRILL_SANITIZE=ON -DDRILL_FUZZ=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
supp="$PWD/tests/sanitizer.supp"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build/sanitize --output-on-failure -j"$jobs"
