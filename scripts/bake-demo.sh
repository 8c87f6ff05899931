#!/usr/bin/env bash
# The main job: installs what is needed, builds, and bakes the built-in demo
# scene into out/ (or the folder given), printing each file written.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-out}
bash scripts/install-deps.sh
bash scripts/build.sh build
./build/bin/xsihost bake --demo "$out"
