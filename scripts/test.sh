#!/usr/bin/env bash
# The test command: installs what is needed, builds the plain, the sanitizer
# and the Release build with warnings as errors, and runs the whole suite in
# the first two. The Release build (-O3) is only compiled: it proves that the
# optimiser's warnings stay quiet, and its tests would repeat the plain ones.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DZK_WERROR=ON
bash scripts/build.sh build-asan -DZK_WERROR=ON -DZK_SANITIZE=ON -DZK_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
bash scripts/build.sh build-release -DZK_WERROR=ON -DCMAKE_BUILD_TYPE=Release
echo "== tests (plain build)"
ctest --test-dir build --output-on-failure -j "$(nproc)"
echo "== tests (address + undefined sanitizers)"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
