#!/usr/bin/env bash
# Main job: builds the engine, the GOST library and the tool, then runs the
# end-to-end demonstration between a client and a bank (extra arguments go to
# `dizora demo`, e.g. --alg 1994 or --dir DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDZ_TEST_SEAMS=OFF >/dev/null
cmake --build build -j "$(nproc)" --target dizora_tool
build/bin/dizora --version
exec build/bin/dizora demo "$@"
