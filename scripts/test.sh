#!/usr/bin/env bash
# The test command: installs what is needed, builds the plain and the
# sanitizer build, runs the whole suite in both, then runs each fuzz target
# for a bounded time (about a minute in all).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
bash scripts/build.sh build-asan -DZK_SANITIZE=ON -DZK_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
echo "== tests (plain build)"
ctest --test-dir build --output-on-failure -j "$(nproc)"
echo "== tests (address + undefined sanitizers)"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
echo "== fuzz targets (libFuzzer, 10 s each)"
bash scripts/fuzz.sh 10
