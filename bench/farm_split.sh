#!/usr/bin/env bash
# A split bake on a one-node Slurm cluster started by hand
# (scripts/slurm-cluster.sh) against the same bake on one machine: the
# 200,000-point skinned sheet of bake_big_skin.sh over frames 0 to 999 at
# 300 fps (its bend spans the range), every output, in CHUNKS chunk jobs.
# Prints the wall time of `xsihost farm slurm --wait` (submission to the
# check of every file), the wall time and peak resident memory of every job
# (each xsihost run under /usr/bin/time), those of the whole bake, and
# whether every file is the same, byte for byte. Needs Slurm and munge
# (slurmctld, slurmd, slurm-client, munge) and about 8 GB in /tmp.
#   bash bench/farm_split.sh [BUILD_DIR] [CHUNKS] [POINTS] [FRAMES]
#   (defaults: build 8 200000 1000)
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$(pwd)
build=${1:-build}
chunks=${2:-8}
points=${3:-200000}
frames=${4:-1000}
xsihost="$(cd "$build/bin" && pwd)/xsihost"
work=$(mktemp -d /tmp/zk_farm_split.XXXXXX)
chmod 0755 "$work"
trap 'bash "$tree/scripts/slurm-cluster.sh" stop "$work/cluster"; rm -rf "$work"' EXIT
bash scripts/slurm-cluster.sh start "$work/cluster" >/dev/null
. "$work/cluster/env"
python3 bench/make_big_skin.py "$work/sheet.gltf" "$points"
mkdir "$work/rss"
cat >"$work/timed.sh" <<EOF
#!/bin/sh
exec /usr/bin/time -f "%e %M" -o "$work/rss/\${SLURM_JOB_ID}_\${SLURM_ARRAY_TASK_ID:-x}_\$1" "$xsihost" "\$@"
EOF
chmod +x "$work/timed.sh"
cd "$work"
range="0:$((frames - 1))"
start=$(date +%s.%N)
"$xsihost" farm slurm --quiet --scene sheet.gltf --fps 300 --frames "$range" --chunks "$chunks" \
  --wait --poll 0.5 --xsihost "$work/timed.sh" out >jobs.txt
end=$(date +%s.%N)
echo "split bake, $chunks chunks, frames $range: $(python3 -c "print('%.1f' % ($end - $start))") s" \
  "from submission to the check of every file"
cat jobs.txt | tr '\n' ' '
echo
for f in rss/*; do
  read -r wall kb <"$f"
  name=${f#rss/}
  printf '  job %-22s %7.1f s  %6.0f MB peak\n' "$name" "$wall" "$((kb / 1024))"
done
mv out split
/usr/bin/time -f "%e %M" -o whole.txt "$xsihost" bake --quiet --scene sheet.gltf --fps 300 \
  --frames "$range" out >/dev/null
read -r wall kb <whole.txt
printf 'whole bake on this machine: %.1f s, %.0f MB peak\n' "$wall" "$((kb / 1024))"
(cd out && find . -type f | sort) >whole.list
(cd split && find . -type f -not -path './farm/*' | sort) >split.list
if diff -q whole.list split.list >/dev/null && while read -r f; do cmp -s "out/$f" "split/$f" || exit 1; done <whole.list; then
  echo "every file identical: $(wc -l <whole.list) files, $(du -sh out/mdd | cut -f1) of caches"
else
  echo "FILES DIFFER"
  exit 1
fi
