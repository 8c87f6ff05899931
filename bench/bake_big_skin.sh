#!/usr/bin/env bash
# Times an MDD-only bake of a 200,000-point sheet skinned to 4 bones over 100
# frames (`xsihost run ... ZK_XSI_Baker ... ZK_MDDAct=1`) and sets beside it,
# from the same run of this script:
#   load        loading the scene alone (`xsihost list`, the same start-up
#               and import), for the .gltf and for the same scene as .glb
#   bake part   the whole process minus the load
#   write limit writing the same cache bytes from memory, one write per
#               frame block, into a new file in the same folder
# and last the whole `xsihost bake` (every output) for reference. Each time
# is the least of 3 tries: on a shared machine other work only adds time.
#   bash bench/bake_big_skin.sh [BUILD_DIR]        (default: build)
# ZK_HOST_THREADS sets the number of threads the host evaluates on;
# ZK_SHEET_FBX names the same scene as FBX (made in Blender by
# make_big_skin_fbx.py) to time its load beside the glTF's.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
xsihost="$build/bin/xsihost"
work=$(mktemp -d /tmp/zk_big_skin.XXXXXX)
trap 'rm -rf "$work"' EXIT
python3 bench/make_big_skin.py "$work/sheet.gltf" 200000
python3 bench/make_big_skin.py "$work/sheet.glb" 200000
python3 - "$xsihost" "$work" <<'PY'
import hashlib, os, shutil, struct, subprocess, sys, time
xsihost, work = sys.argv[1], sys.argv[2]


def timed(*args):
    """The least of 3 runs of a command in seconds, its output discarded."""
    best = None
    for _ in range(3):
        start = time.perf_counter()
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
        seconds = time.perf_counter() - start
        best = seconds if best is None else min(best, seconds)
    return best


gltf, glb, mdd = (os.path.join(work, n) for n in ("sheet.gltf", "sheet.glb", "mdd"))
listing = subprocess.run([xsihost, "list", "--scene", gltf], check=True, capture_output=True,
                         text=True).stdout
points = sum(int(f[3]) for f in (l.split() for l in listing.splitlines()) if f[1:2] == ["mesh"])
load = timed(xsihost, "list", "--scene", gltf)
load_glb = timed(xsihost, "list", "--scene", glb)
fbx = os.environ.get("ZK_SHEET_FBX")
load_fbx = timed(xsihost, "list", "--scene", fbx) if fbx else None


def bake_mdd(folder, threads=None):
    """Seconds of one MDD-only bake into a new folder."""
    os.makedirs(folder)
    env = dict(os.environ, ZK_HOST_THREADS=threads) if threads else None
    start = time.perf_counter()
    subprocess.run([xsihost, "run", "--scene", gltf, "--fps", "30", "--quiet", "ZK_XSI_Baker",
                    "ZK_ObjString=Sheet", "ZK_FilePath=" + folder, "ZK_StartFrame=0",
                    "ZK_EndFrame=99", "ZK_MDDAct=1"], check=True, env=env)
    return time.perf_counter() - start


# Each bake writes a new file, as the write limit below does.
whole = None
for k in range(3):
    if k:
        shutil.rmtree(mdd)
    seconds = bake_mdd(mdd)
    whole = seconds if whole is None else min(whole, seconds)
cache = os.path.join(mdd, "Sheet.mdd")
data = open(cache, "rb").read()
# The same bake on one and on two host threads must give the same bytes.
same = True
for threads in ("1", "2"):
    other = os.path.join(work, "mdd" + threads)
    bake_mdd(other, threads)
    same = same and open(os.path.join(other, "Sheet.mdd"), "rb").read() == data
    shutil.rmtree(other)
frames, count = struct.unpack(">ii", data[:8])
head = 8 + 4 * frames
block = 12 * count
blocks = [data[head + k * block: head + (k + 1) * block] for k in range(frames + 1)]
path = cache + ".limit"
limit = None
for _ in range(3):
    start = time.perf_counter()
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    os.write(fd, data[:head])
    for b in blocks:
        os.write(fd, b)
    os.close(fd)
    seconds = time.perf_counter() - start
    limit = seconds if limit is None else min(limit, seconds)
    os.remove(path)

full = timed(xsihost, "bake", "--scene", gltf, "--fps", "30", "--frames", "0:99", "--quiet",
             os.path.join(work, "out"))

bake = whole - load
print("points %d, frames %d, cache %.0f MB (md5 %s; %s with 1 and 2 host threads)"
      % (points, frames, len(data) / 1e6, hashlib.md5(data).hexdigest(),
         "the same" if same else "DIFFERENT"))
print("whole process   %.3f s" % whole)
print("load            %.3f s   (the same scene as .glb: %.3f s)" % (load, load_glb))
if load_fbx is not None:
    print("load of the FBX %.3f s   (%s)" % (load_fbx, fbx))
print("bake part       %.3f s   %.1f million points x frames per second"
      % (bake, points * frames / bake / 1e6))
print("write limit     %.3f s   bake part at %.2f of the limit" % (limit, limit / bake))
print("whole xsihost bake of every output: %.3f s" % full)
PY
