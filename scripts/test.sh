#!/usr/bin/env bash
# The test command: every suite and host test in a normal build (build/),
# which is also packed as a Debian package whose tool is run; in an
# AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/), in a
# Release build with GCC (build-release/) and in a Release build with clang
# (build-clang/); the concurrency tests and the C hosts under ThreadSanitizer
# (build-tsan/); the 32-bit Windows build in Release under Wine; the fuzzing
# regression inputs and a bounded fuzzing run. Warnings are errors here.
set -euo pipefail
cd "$(dirname "$0")/.."
# One apt step for the native and the Windows packages: adding the i386
# architecture upgrades native libraries, which every build must then see.
export DZ_WITH_WINDOWS="${DZ_WITH_WINDOWS:-1}"
export DZ_WITH_FUZZ="${DZ_WITH_FUZZ:-1}"
export DZ_WERROR=ON
DZ_WITH_FUZZ=1 bash scripts/deps.sh  # clang 14 is needed by the clang build too

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  local start=$SECONDS
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDZ_TEST_SEAMS=ON -DDZ_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
  echo "$dir: $((SECONDS - start)) s"
}

echo "== normal build =="
run_suite build
echo "== Debian package of the normal build =="
bash scripts/package.sh build
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build-asan -DDZ_SANITIZE=ON -DDZ_BENCH=OFF
# Release as users and packagers build it, with GCC and with clang (clang
# also checks that no static of src/ and gostlib/ is destroyed at exit).
echo "== Release build, GCC =="
run_suite build-release -DCMAKE_BUILD_TYPE=Release -DDZ_BENCH=OFF
echo "== Release build, clang =="
CC=clang-14 CXX=clang++-14 run_suite build-clang -DCMAKE_BUILD_TYPE=Release -DDZ_BENCH=OFF

echo "== ThreadSanitizer build: the concurrency tests and the C hosts =="
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDZ_TEST_SEAMS=ON -DDZ_TSAN=ON -DDZ_BENCH=OFF \
  -DDZ_WERROR=ON >/dev/null
tsan_targets=(test_platform test_gostlib test_engine test_binding test_api test_reliability dlopen_host)
cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}" crypt_dll
# ThreadSanitizer of clang/gcc can fail at start-up under high address-space
# randomisation; run without it.
# Threaded tests carry "Concurren" in their names; a program whose filter
# selects nothing fails the stage, so a renamed test cannot drop out unseen.
for t in "${tsan_targets[@]}"; do
  [[ $t == test_* ]] || continue
  if ! "build-tsan/bin/$t" --gtest_list_tests --gtest_filter='*Concurren*' | grep -q '^  '; then
    echo "$t: no threaded test selected for ThreadSanitizer" >&2
    exit 1
  fi
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    setarch "$(uname -m)" -R "build-tsan/bin/$t" --gtest_filter='*Concurren*'
done
TSAN_OPTIONS="halt_on_error=1" setarch "$(uname -m)" -R \
  ctest --test-dir build-tsan -R '^host_c_(exit|close|thread)$' --output-on-failure

if [[ "$DZ_WITH_WINDOWS" == 1 ]]; then
  echo "== Windows build (Release): dizora.dll and libcrypt.dll under Wine =="
  bash scripts/test-windows.sh
fi

echo "== libFuzzer harnesses: regression inputs and a bounded run per target =="
if [[ "$DZ_WITH_FUZZ" == 1 ]]; then
  bash scripts/fuzz.sh
fi
