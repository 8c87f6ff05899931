#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (address and undefined
# sanitizers on) and runs each for a bounded time, starting from its
# committed corpus in fuzz/corpus/<target>. New inputs go to a scratch
# folder; an input that fails is kept in fuzz-artifacts/ to be added to the
# corpus with the fix.
#   bash scripts/fuzz.sh [SECONDS_PER_TARGET]      (default 10)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
build=build-fuzz
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZK_FUZZ=ON \
  -DZK_BUILD_TESTS=OFF -DZK_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
targets=(mdd zsc scene_checks gltf_facts run_arguments scene_load)
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
  if ASAN_OPTIONS="detect_leaks=$leaks" "$build/bin/fuzz_$t" -max_total_time="$seconds" \
       -timeout=10 -rss_limit_mb=2048 \
       -detect_leaks=$leaks -artifact_prefix="fuzz-artifacts/${t}-" \
       "$work/$t" "fuzz/corpus/$t" >"$work/$t.log" 2>&1; then
    echo "fuzz_$t: $(grep -o 'Done [0-9]* runs' "$work/$t.log" | tail -1) in ${seconds} s"
    passed=$((passed + 1))
  else
    echo "fuzz_$t: FAILED"
    tail -n 40 "$work/$t.log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
