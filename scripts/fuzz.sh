#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang 14, ASan + UBSan) in build-fuzz/ and
# runs every target for a bounded time: first the committed regression inputs
# (fuzz/regressions/<target>/, replayed once), then fuzzing from seeds that
# the harness makes from valid objects. A crash or a sanitizer report fails.
#
#   scripts/fuzz.sh                  about 20 s per target (CI)
#   DZ_FUZZ_SECONDS=3600 scripts/fuzz.sh fuzz_transfer   one long run of one target
#
# New findings are written to build-fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
DZ_WITH_FUZZ=1 bash scripts/deps.sh

# 20 s a target: the 13 targets take about as long as 7 took at 30 s, plus
# two minutes at most (RELIABILITY.md, Fuzzing).
seconds=${DZ_FUZZ_SECONDS:-20}
build=build-fuzz
cmake -S fuzz -B "$build" -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  for f in "$build"/bin/fuzz_*; do targets+=("$(basename "$f")"); done
fi

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export DZ_FUZZ_MEDIA="$PWD/$build/media"
summary=()
for t in "${targets[@]}"; do
  bin="$build/bin/$t"
  corpus="$build/corpus/$t"
  findings="$build/findings/$t"
  mkdir -p "$corpus" "$findings"
  if [[ -d fuzz/regressions/$t ]] && compgen -G "fuzz/regressions/$t/*" >/dev/null; then
    "$bin" -runs=0 "fuzz/regressions/$t" 2>&1 | tail -n 2
  fi
  if ! DZ_FUZZ_SEEDS="$corpus" "$bin" -runs=0 >"$build/$t.seeds.log" 2>&1; then
    tail -n 20 "$build/$t.seeds.log"
    echo "fuzz: $t could not write its seed corpus" >&2
    exit 1
  fi
  log="$build/$t.log"
  if ! "$bin" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=4096 \
       -artifact_prefix="$findings/" -print_final_stats=1 "$corpus" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $t FAILED (inputs in $findings)" >&2
    exit 1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 || true)
  summary+=("$t: $runs executions in ${seconds} s, $cov")
done
printf 'fuzz: %s\n' "${summary[@]}"
