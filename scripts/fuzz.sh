#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (address and undefined
# sanitizers on) and runs each for a bounded time, starting from its
# committed corpus in fuzz/corpus/<target>. New inputs go to a scratch
# folder; an input that fails is kept in fuzz-artifacts/ to be added to the
# corpus with the fix.
# The runs are seeded (ZK_FUZZ_SEED, default 1) and capped in count, so the
# test command tries the same inputs every time; ZK_FUZZ_SEED=0 lets
# libFuzzer choose a seed and drops the caps, for a search of new inputs.
# ZK_FUZZ_EXTENSIONS=1 has the scene-load target read each input under a file
# name extension (Assimp picks some readers by extension alone).
# By default the targets are those that fuzz this project's own code, the
# gate of the test command. The scene-load target, whose inputs go through
# Assimp's readers, is for longer searches: ZK_FUZZ_TARGETS="scene_load"
# (or "all") names the targets to run.
#   bash scripts/fuzz.sh [SECONDS_PER_TARGET]      (default 10)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
build=build-fuzz
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZK_FUZZ=ON \
  -DZK_BUILD_TESTS=OFF -DZK_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
seed=${ZK_FUZZ_SEED:-1}
own=(mdd zsc scene_checks collada gltf_facts fbx run_arguments vertex_cache)
case "${ZK_FUZZ_TARGETS:-}" in
  "") targets=("${own[@]}") ;;
  all) targets=("${own[@]}" scene_load) ;;
  *) read -r -a targets <<<"$ZK_FUZZ_TARGETS" ;;
esac
# About what each target runs in 10 s on a 2-core machine.
declare -A runs=([mdd]=1000000 [zsc]=600000 [scene_checks]=15000 [collada]=50000 [gltf_facts]=50000
                 [fbx]=20000 [run_arguments]=200000 [vertex_cache]=150000 [scene_load]=4000)
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"
work=$(mktemp -d /tmp/zk_fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p fuzz-artifacts
passed=0
failed=0
for t in "${targets[@]}"; do
  mkdir -p "$work/$t"
  # Assimp's readers leak what they built when they refuse a file; a leak
  # there is none of this project's.
  leaks=1
  [ "$t" = scene_load ] && leaks=0
  cap=${runs[$t]}
  [ "$seed" = 0 ] && cap=-1
  if ASAN_OPTIONS="detect_leaks=$leaks" "$build/bin/fuzz_$t" -max_total_time="$seconds" \
       -seed="$seed" -runs="$cap" -timeout=10 -rss_limit_mb=2048 \
       -detect_leaks=$leaks -artifact_prefix="fuzz-artifacts/${t}-" \
       "$work/$t" "fuzz/corpus/$t" >"$work/$t.log" 2>&1; then
    echo "fuzz_$t: $(grep -o 'Done [0-9]* runs in [0-9]* second' "$work/$t.log" | tail -1)s"
    passed=$((passed + 1))
  else
    echo "fuzz_$t: FAILED"
    tail -n 40 "$work/$t.log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
