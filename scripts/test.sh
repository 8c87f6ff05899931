#!/usr/bin/env bash
# The test command: installs what is needed, builds the plain, the sanitizer
# and the Release build with warnings as errors, runs the whole suite in the
# first two, runs a split bake on a one-node Slurm cluster started by hand
# (scripts/slurm-test.sh; skipped, and said so, when Slurm cannot be
# installed), runs each fuzz target of the project's own code for a bounded
# time (about a minute in all), then installs the plain build into a scratch
# prefix and bakes the demo scene with the installed xsihost.
# The Release build (-O3) is only compiled: it proves that the optimiser's
# warnings stay quiet, and its tests would repeat the plain ones.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DZK_WERROR=ON
bash scripts/build.sh build-asan -DZK_WERROR=ON -DZK_SANITIZE=ON -DZK_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
bash scripts/build.sh build-release -DZK_WERROR=ON -DCMAKE_BUILD_TYPE=Release
echo "== tests (plain build)"
ctest --test-dir build --output-on-failure -j "$(nproc)"
echo "== tests (address + undefined sanitizers)"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
echo "== split bake on a one-node Slurm cluster"
slurm=0
bash scripts/slurm-test.sh build || slurm=$?
case $slurm in
0) slurm_result="passed" ;;
77) slurm_result="SKIPPED (Slurm could not be installed), not passed" ;;
*) exit 1 ;;
esac
echo "== fuzz targets (libFuzzer, 10 s each)"
bash scripts/fuzz.sh 10
echo "== install (cmake --install to a scratch prefix, installed xsihost bake --demo)"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build --prefix "$prefix/usr" >/dev/null
"$prefix/usr/bin/xsihost" --version
"$prefix/usr/bin/xsihost" bake --demo --quiet "$prefix/out" >/dev/null
for f in mdd/Grid.mdd lwo/Grid.lwo scene.lws scene.zsc; do
  test -s "$prefix/out/$f" || { echo "installed bake did not write $f" >&2; exit 1; }
done
echo "installed xsihost baked the demo scene"
echo "Slurm cluster test: $slurm_result"
