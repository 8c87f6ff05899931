#!/usr/bin/env bash
# Times a whole `xsihost bake` of a 200,000-point skinned glTF over 100
# frames and prints points x frames per second.
#   bash bench/bake_big_skin.sh [BUILD_DIR]        (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d /tmp/zk_big_skin.XXXXXX)
trap 'rm -rf "$work"' EXIT
python3 bench/make_big_skin.py "$work/sheet.gltf" 200000
points=$("$build/bin/xsihost" list --scene "$work/sheet.gltf" | awk '$2 == "mesh" { n += $4 } END { print n }')
start=$(date +%s.%N)
"$build/bin/xsihost" bake --scene "$work/sheet.gltf" --fps 30 --frames 0:99 --quiet "$work/out" >/dev/null
end=$(date +%s.%N)
python3 - "$points" "$start" "$end" <<'PY'
import sys
points, start, end = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3])
seconds = end - start
print("points %d, frames 100, %.2f s, %.1f million points x frames per second"
      % (points, seconds, points * 100 / seconds / 1e6))
PY
