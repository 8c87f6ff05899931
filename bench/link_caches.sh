#!/usr/bin/env bash
# What writing the scene files of a split bake costs: `xsihost bake
# --link-caches` (the scene and mesh files of the whole range, linking the
# caches the chunk jobs make) beside the whole-range bake of every output, on
# the 200,000-point skinned sheet of bake_big_skin.sh, over its own range
# (frames 0 to 99 at 30 fps) and over 1,000 frames; `xsihost list` (start-up
# and scene load alone) for reference. Each time is the least of 3 runs,
# wall and CPU (user + system), with the peak resident memory; each run
# writes into a new folder. The files of --link-caches are compared with
# those of the whole bake into the same folder, byte for byte.
#   bash bench/link_caches.sh [BUILD_DIR] [POINTS]     (default: build 200000)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
points=${2:-200000}
xsihost="$build/bin/xsihost"
work=$(mktemp -d /tmp/zk_link_caches.XXXXXX)
trap 'rm -rf "$work"' EXIT
python3 bench/make_big_skin.py "$work/sheet.gltf" "$points"
python3 - "$xsihost" "$work" <<'PY'
import filecmp, os, shutil, subprocess, sys, time

xsihost, work = sys.argv[1], sys.argv[2]
scene = os.path.join(work, "sheet.gltf")


def run(args):
    """Wall seconds, CPU seconds and peak RSS (MB) of one run."""
    start = time.perf_counter()
    child = subprocess.Popen(args, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit("failed: %s" % " ".join(args))
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0


def least(make_args, out=None):
    best = None
    for _ in range(3):
        if out:
            shutil.rmtree(out, ignore_errors=True)
        r = run(make_args())
        best = r if best is None else tuple(min(a, b) for a, b in zip(best, r))
    return best


def same_files(whole, linked):
    names = []
    for root, _, files in os.walk(linked):
        for f in files:
            path = os.path.join(root, f)
            rel = os.path.relpath(path, linked)
            if not filecmp.cmp(path, os.path.join(whole, rel), shallow=False):
                return False, rel
            names.append(rel)
    return True, len(names)


load = least(lambda: [xsihost, "list", "--scene", scene])
print("xsihost list (start-up and load): %.3f s wall, %.3f s CPU, %.0f MB peak" % load)
for frames in ("0:99", "0:999"):
    out = os.path.join(work, "out")
    bake = [xsihost, "bake", "--quiet", "--scene", scene, "--fps", "30", "--frames", frames]
    whole = least(lambda: bake + [out], out)
    shutil.rmtree(out, ignore_errors=True)
    run(bake + [out])
    os.rename(out, out + ".whole")
    linked = least(lambda: bake + ["--link-caches", out], out)
    same, what = same_files(out + ".whole", out)
    shutil.rmtree(out + ".whole")
    shutil.rmtree(out)
    print("frames %s: whole bake %.3f s wall, %.3f s CPU, %.0f MB; --link-caches %.3f s wall,"
          " %.3f s CPU, %.0f MB: %.1f%% of the wall time, %.1f%% of the CPU time; %s"
          % (frames, *whole, *linked, 100 * linked[0] / whole[0], 100 * linked[1] / whole[1],
             "%d files identical" % what if same else "DIFFERENT: " + what))
PY
