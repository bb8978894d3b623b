#!/usr/bin/env bash
# Builds and runs every test suite twice: a normal build (build/) and a build
# with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/); packs the
# normal build as a Debian package and runs the tool from it.
set -euo pipefail
cd "$(dirname "$0")/.."
# One apt step for the native and the Windows packages: adding the i386
# architecture upgrades native libraries, which every build must then see.
export DZ_WITH_WINDOWS="${DZ_WITH_WINDOWS:-1}"
export DZ_WITH_FUZZ="${DZ_WITH_FUZZ:-1}"
bash scripts/deps.sh

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDZ_TEST_SEAMS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

echo "== normal build =="
run_suite build
echo "== Debian package of the normal build =="
bash scripts/package.sh build
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build-asan -DDZ_SANITIZE=ON -DDZ_BENCH=OFF

echo "== ThreadSanitizer build: the concurrency tests =="
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDZ_TEST_SEAMS=ON -DDZ_TSAN=ON -DDZ_BENCH=OFF >/dev/null
tsan_targets=()
for t in test_engine test_binding test_api test_reliability; do
  if cmake --build build-tsan --target help | grep -q "^\.\.\. $t\$"; then tsan_targets+=("$t"); fi
done
cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}" crypt_dll
# ThreadSanitizer of clang/gcc can fail at start-up under high address-space
# randomisation; run without it.
for t in "${tsan_targets[@]}"; do
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    setarch "$(uname -m)" -R "build-tsan/bin/$t" --gtest_filter='*Concurrency*'
done

if [[ "$DZ_WITH_WINDOWS" == 1 ]]; then
  echo "== Windows build: dizora.dll and libcrypt.dll under Wine =="
  bash scripts/test-windows.sh
fi

echo "== libFuzzer harnesses: regression inputs and a bounded run per target =="
if [[ "$DZ_WITH_FUZZ" == 1 ]]; then
  bash scripts/fuzz.sh
fi
