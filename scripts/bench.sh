#!/usr/bin/env bash
# All benchmarks in one command: installs the benchmark packages (OpenSSL 3
# and its gost engine), builds a Release tree, runs libcrypt.dll next to
# libgcrypt and nettle (bench_gostlib), next to the fastest peers
# (bench_peers), then the engine next to the raw primitives, and prints the
# ratio tables. Figures are CPU time, except the two-thread rows (real time).
# Last, the peak memory of the dizora tool over the size of its input
# (bench_tool_memory).
# Usage: bash scripts/bench.sh [build directory]   (default build-bench)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}

DZ_WITH_BENCH=1 bash scripts/deps.sh

# Where OpenSSL does not find the engine in its own directory, bench_peers
# loads the shared object the package installed.
if [[ -z "${DZ_GOST_ENGINE:-}" ]]; then
  DZ_GOST_ENGINE=$(dpkg -L libengine-gost-openssl 2>/dev/null | grep '/engines-3/gost\.so$' | head -n 1 || true)
  export DZ_GOST_ENGINE
fi

# The same configuration as bench/run_engine_bench.sh, which runs next in
# this tree: g++ 12 at -O3 reports false overlaps and bounds in inlined
# string code, kept as warnings here.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS="-Wno-error=restrict -Wno-error=stringop-overread -Wno-error=stringop-overflow -Wno-error=array-bounds" >/dev/null
# Everything at once, so that all three programs load the same libcrypt.dll.
cmake --build "$build" --target bench_gostlib bench_peers bench_engine bench_tool_memory -j2

"$build/bin/bench_gostlib" --benchmark_min_time=0.5 \
  --benchmark_out="$build/bench_gostlib.json" --benchmark_out_format=json
"$build/bin/bench_peers" --benchmark_min_time=0.5 --benchmark_repetitions=3 \
  --benchmark_out="$build/bench_peers.json" --benchmark_out_format=json

sh bench/run_engine_bench.sh "$build"

echo
echo "## libcrypt.dll next to the fastest peers (bench_peers, CPU time, median of 3)"
echo
python3 bench/peer_ratios.py "$build/bench_peers.json" | tee "$build/peer_ratios.md"

echo
echo "## Peak memory of the dizora tool over its input size (bench_tool_memory)"
echo
"$build/bin/bench_tool_memory" --benchmark_counters_tabular=true
