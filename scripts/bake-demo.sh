#!/usr/bin/env bash
# The main job: installs what is needed, builds only what the bake needs
# (xsihost and its plug-ins; no tests, no benchmarks) in build-demo/, and bakes
# the built-in demo scene into out/ (or the folder given), printing each file
# written.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-out}
bash scripts/install-deps.sh
cmake -S . -B build-demo -DZK_BUILD_TESTS=OFF -DZK_BUILD_BENCH=OFF >/dev/null
cmake --build build-demo -j "$(nproc)" --target xsihost ZK_XSI_Baker ZK_XSI_ExportLWO
./build-demo/bin/xsihost bake --demo "$out"
