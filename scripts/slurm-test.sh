#!/usr/bin/env bash
# The cluster test: a split bake on a real one-node Slurm cluster.
#
#   bash scripts/slurm-test.sh [BUILD_DIR]      (default: build)
#
# Installs Slurm and munge from Debian when they are missing, starts a
# one-node cluster under a scratch folder (scripts/slurm-cluster.sh), bakes
# a skinned scene split into chunks with `xsihost farm slurm --wait`, first
# with one chunk made to fail (the join must be cancelled, the command must
# fail and name it), then with that chunk and the join submitted again; then
# bakes the whole range with `xsihost bake` into the same output folder and
# compares every file byte for byte. The cluster is stopped and the scratch
# folder removed however the test ends.
#
# Exit status: 0 passed; 1 failed (a cluster that does not start fails too);
# 77 skipped: the packages are missing and cannot be installed, which never
# counts as passed.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$(pwd)
build=${1:-build}
xsihost="$(cd "$build/bin" && pwd)/xsihost"
[ -x "$xsihost" ] || { echo "slurm-test: no xsihost in $build/bin" >&2; exit 1; }
PATH="$PATH:/usr/sbin:/sbin"

skip() {
  echo "slurm-test: SKIPPED: $*"
  exit 77
}

pkgs=(slurmctld slurmd slurm-client munge)
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then SUDO=; elif sudo -n true 2>/dev/null; then SUDO="sudo -n"; else
    skip "Slurm is not installed (${missing[*]}) and packages cannot be installed without root"
  fi
  export DEBIAN_FRONTEND=noninteractive
  if ! { $SUDO apt-get update -qq && $SUDO apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"; } >/dev/null 2>&1; then
    skip "the packages ${missing[*]} could not be installed"
  fi
fi

work=$(mktemp -d /tmp/zk_slurm_test.XXXXXX)
chmod 0755 "$work" # munged wants every folder above its socket open to all
cleanup() {
  bash "$tree/scripts/slurm-cluster.sh" stop "$work/cluster" || true
  rm -rf "$work"
}
trap cleanup EXIT
start=$(date +%s.%N)

if ! bash "$tree/scripts/slurm-cluster.sh" start "$work/cluster" >"$work/start.txt" 2>&1; then
  cat "$work/start.txt" "$work"/cluster/log/*.log >&2 || true
  echo "slurm-test: FAILED: the one-node cluster did not start" >&2
  exit 1
fi
# shellcheck disable=SC1091
. "$work/cluster/env"

# A sheet of 20,000 points skinned to 4 bones over 100 frames, and an
# xsihost that fails chunk 2 while a marker file exists.
python3 "$tree/bench/make_big_skin.py" "$work/skin.gltf" 20000
cat >"$work/xsihost.sh" <<EOF
#!/bin/sh
if [ "\${SLURM_ARRAY_TASK_ID:-}" = 2 ] && [ -e "$work/fail" ]; then
  echo "chunk 2 made to fail" >&2
  exit 3
fi
exec "$xsihost" "\$@"
EOF
chmod +x "$work/xsihost.sh"
touch "$work/fail"

cd "$work"
farm=("$xsihost" farm slurm --scene skin.gltf --fps 30 --chunks 5 --wait --poll 0.3 --quiet
      --xsihost "$work/xsihost.sh" out)
status=0
"${farm[@]}" >submit1.txt 2>err1.txt || status=$?
fail() {
  echo "slurm-test: FAILED: $*" >&2
  for f in submit1.txt err1.txt submit2.txt err2.txt out/farm/logs/*; do
    [ -f "$f" ] && { echo "--- $f" >&2; head -20 "$f" >&2; }
  done
  exit 1
}
[ "$status" -eq 1 ] || fail "the split with a failing chunk exited $status, not 1"
grep -q '^xsihost: chunk 2 (frames 40:59), job [0-9_]*, ended FAILED' err1.txt ||
  fail "the failed chunk was not named"
grep -q '^xsihost: join, job [0-9]*, ended CANCELLED' err1.txt ||
  fail "the join was not cancelled after the failed chunk"
grep -q -- '--only 2,join$' err1.txt || fail "no advice to submit chunk 2 and the join again"
[ "$(wc -l <submit1.txt)" -eq 3 ] || fail "not three jobs submitted"
[ ! -e out/mdd/Sheet.mdd ] || fail "a cache was joined although a chunk failed"

rm "$work/fail"
"${farm[@]}" --only 2,join >submit2.txt 2>err2.txt || fail "the resubmitted chunk and join failed"
[ "$(wc -l <submit2.txt)" -eq 2 ] || fail "not two jobs submitted again"

# The whole range on this machine, into the same output folder: every file
# the same, byte for byte. The file lists are compared too, so that nothing
# made, or nothing compared, cannot pass.
mv out split
"$xsihost" bake --quiet --scene skin.gltf --fps 30 out >/dev/null
(cd out && find . -type f | sort) >whole.txt
(cd split && find . -type f -not -path './farm/*' | sort) >split.txt
diff whole.txt split.txt >/dev/null || fail "the split bake made other files: $(diff whole.txt split.txt | tr '\n' ' ')"
for f in ./mdd/Sheet.mdd ./lwo/Sheet.lwo ./emdl/Sheet.emdl ./scene.lws ./scene.mel ./scene.fxs ./scene.zsc; do
  grep -qx "$f" whole.txt || fail "the whole bake did not make $f"
done
compared=0
while read -r f; do
  cmp -s "out/$f" "split/$f" || fail "$f differs from the whole bake's"
  compared=$((compared + 1))
done <whole.txt
end=$(date +%s.%N)
echo "slurm-test: PASSED: a 5-chunk split bake on a one-node cluster, a failed chunk submitted" \
  "again, $compared files identical to the whole bake ($(python3 -c "print(round($end - $start, 1))") s)"
