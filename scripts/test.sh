#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then the unit tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer, then (with clang) a short run
# of each fuzzing target over its corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh

log=$(mktemp)
trap 'rm -f "$log"' EXIT
passed() { sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n1; }

echo "== tests"
(cd build && ctest --output-on-failure -j2 --timeout 600) | tee "$log"
total=$(passed)

echo "== unit tests with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=ON \
  -DTARN_BUILD_APP=OFF -DTARN_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j2
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j2 --timeout 600) | tee "$log"
total=$((total + $(passed)))

if command -v clang++ >/dev/null; then
  echo "== fuzzing targets over their corpora"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARN_FUZZ=ON -DTARN_BUILD_APP=OFF -DTARN_BUILD_TESTS=OFF -DTARN_BUILD_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j2 --target fuzz_decoder fuzz_ini
  for target in decoder ini; do
    corpus=$(mktemp -d)
    cp fuzz/corpus/$target/* "$corpus"/
    build-fuzz/fuzz/fuzz_$target -max_total_time=20 -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
    rm -rf "$corpus"
    total=$((total + 1))
  done
else
  echo "== clang not installed: fuzzing targets skipped"
fi
echo "tests: $total passed, 0 failed"
