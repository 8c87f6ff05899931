#!/usr/bin/env bash
# Bakes the MDD cache of one large skinned mesh over many frames and shows
# whether the host's memory stays flat over the frames.
#   bash bench/long_bake.sh [BUILD_DIR] [POINTS] [FRAMES] [FOLDER]
#   (defaults: build, 500000 points, 1000 frames, $TMPDIR or /tmp)
#
# The mesh is bench/make_big_skin.py's sheet (4 influences per point); the
# frame rate is chosen so that the frames span its 3.3 s animation. Two bakes
# of the same scene run one after the other, FRAMES/10 frames and FRAMES
# frames, each as `xsihost run ... ZK_XSI_Baker` with only the MDD cache on.
# For each: wall time, points x frames per second and peak RSS (the kernel's
# maximum resident set of the finished process); during the long one, VmRSS
# every 0.2 s beside the number of frame blocks the cache holds at that moment.
# Flat memory: both peaks about equal, and RSS at 10 % of the frames about
# equal to RSS at 90 %. Each cache is checked (size and header) and deleted.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
points=${2:-500000}
frames=${3:-1000}
folder=${4:-${TMPDIR:-/tmp}}

# The long cache and the scene file must fit: 8 + 4F + 12P(F+1) bytes plus 100 bytes per point.
need=$((8 + 4 * frames + 12 * points * (frames + 1) + 100 * points))
avail=$(df --output=avail -B1 "$folder" | tail -n 1 | tr -d ' ')
if ((avail < need)); then
    echo "long_bake: $folder has $((avail >> 20)) MiB free, the bake needs $((need >> 20)) MiB;" \
        "give another folder as the fourth argument" >&2
    exit 2
fi

work=$(mktemp -d "$folder/zk_long_bake.XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 bench/make_big_skin.py "$work/sheet.gltf" "$points"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

python3 - "$build/bin/xsihost" "$work" "$points" "$frames" <<'PY'
import os
import struct
import subprocess
import sys
import threading
import time

xsihost, work, points, frames = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
fps = max(frames * 3 // 10, 1)  # 3.3 s of animation over the frames


def vm_rss_kb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def bake(count):
    """Bakes frames 0 .. count-1; returns seconds, CPU seconds, peak RSS in kB, samples."""
    out = os.path.join(work, "out%d" % count)
    os.mkdir(out)
    cache = os.path.join(out, "Sheet.mdd")
    header = 8 + 4 * count
    block = 12 * points
    argv = [xsihost, "run", "--quiet", "--scene", os.path.join(work, "sheet.gltf"),
            "--fps", str(fps), "ZK_XSI_Baker", "ZK_ObjString=Sheet", "ZK_FilePath=" + out,
            "ZK_StartFrame=0", "ZK_EndFrame=%d" % (count - 1), "ZK_MDDAct=1"]
    samples = []  # (seconds, VmRSS kB, frame blocks in the cache, -1 before it exists)
    done = threading.Event()

    def sample():
        while not done.is_set():
            rss = vm_rss_kb(proc.pid)
            try:
                blocks = max(os.path.getsize(cache) - header, 0) // block
            except OSError:
                blocks = -1
            if rss is not None:
                samples.append((time.monotonic() - start, rss, blocks))
            done.wait(0.2)

    start = time.monotonic()
    proc = subprocess.Popen(argv)
    sampler = threading.Thread(target=sample)
    sampler.start()
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.monotonic() - start
    done.set()
    sampler.join()
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit("long_bake: xsihost exited %d" % proc.returncode)
    size = os.path.getsize(cache)
    with open(cache, "rb") as f:
        head = struct.unpack(">ii", f.read(8))
    os.remove(cache)
    os.rmdir(out)
    if size != header + block * (count + 1) or head != (count, points):
        sys.exit("long_bake: the cache is not %d frames of %d points (%d bytes, header %s)"
                 % (count, points, size, head))
    return seconds, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, samples


short = max(frames // 10, 1)
s_seconds, s_cpu, s_peak, _ = bake(short)
l_seconds, l_cpu, l_peak, samples = bake(frames)

print("points %d, frames %d (%d fps), cache %.2f GB"
      % (points, frames, fps, (8 + 4 * frames + 12 * points * (frames + 1)) / 1e9))
for count, seconds, cpu, peak in ((short, s_seconds, s_cpu, s_peak),
                                  (frames, l_seconds, l_cpu, l_peak)):
    print("%5d frames: %7.2f s (CPU %.2f s), %6.1f million points x frames per second,"
          " peak RSS %d MiB" % (count, seconds, cpu, points * count / seconds / 1e6, peak // 1024))
if l_seconds > s_seconds:
    print("the %d frames more: %.2f s, %.1f million points x frames per second (import excluded)"
          % (frames - short, l_seconds - s_seconds,
             points * (frames - short) / (l_seconds - s_seconds) / 1e6))
print("peak RSS %d frames - %d frames: %+d kB" % (frames, short, l_peak - s_peak))

walk = [s for s in samples if s[2] >= 0]
if walk:
    before = [s[1] for s in samples if s[2] < 0]
    print("RSS while the cache is written (%d samples; %d during the import before it, most %d kB):"
          % (len(walk), len(before), max(before, default=0)))
    marks = []
    for percent in (10, 50, 90):
        at = next((s for s in walk if s[2] >= percent * (frames + 1) // 100), walk[-1])
        marks.append(at)
        print("  %2d%% of the frames: %6d kB at %6.2f s (%3.0f%% of the run, %d blocks written)"
              % (percent, at[1], at[0], 100 * at[0] / l_seconds, at[2]))
    print("  90%% - 10%%: %+d kB; least %d kB, most %d kB over the walk"
          % (marks[2][1] - marks[0][1], min(s[1] for s in walk), max(s[1] for s in walk)))
PY
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
