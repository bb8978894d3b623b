#!/usr/bin/env bash
# Runs every test program under valgrind memcheck (not part of the test
# command: it takes several minutes), and the constant-time checks of the MAC
# comparison and of the public-key arithmetic's secret paths (also part of the
# test command). Left out: the threaded stress cases
# (slow under valgrind; ThreadSanitizer covers them) and the secret-wipe
# scanner, which replaces the allocator and reads dead stack on purpose.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
dir=${DZ_VALGRIND_BUILD_DIR:-build-valgrind}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDZ_TEST_SEAMS=ON -DDZ_BENCH=OFF \
  -DCMAKE_CXX_FLAGS=-gdwarf-4 -DCMAKE_C_FLAGS=-gdwarf-4 >/dev/null
cmake --build "$dir" -j "$(nproc)"
failed=0
for t in platform support binding engine api gostlib reliability; do
  echo "== valgrind: test_$t =="
  if ! valgrind --error-exitcode=1 --leak-check=full --soname-synonyms=somalloc=nouserintercepts -q \
      "$dir/bin/test_$t" --gtest_filter='-*Concurrency*:SecretWipe.*' --gtest_brief=1; then
    failed=1
  fi
done
# The constant-time checks (MAC comparison, secret paths of the public-key
# arithmetic) run valgrind themselves.
echo "== valgrind: constant-time checks =="
ctest --test-dir "$dir" -R '^ctgrind_' --output-on-failure || failed=1
exit $failed
