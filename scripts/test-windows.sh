#!/usr/bin/env bash
# The 32-bit Windows build: cross-compiles dizora.dll, libcrypt.dll (and its
# test-only variants), the tool and the test programs with mingw-w64, checks
# the export and import tables of both DLLs, then runs the test suites and the
# C host program under Wine.
#
#   bash scripts/test-windows.sh            # build, check, test
#   DZ_WIN_BUILD_DIR=build-w bash scripts/test-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."

DZ_WITH_WINDOWS=1 bash scripts/deps.sh

build=${DZ_WIN_BUILD_DIR:-build-win32}
jobs=$(nproc)
objdump=i686-w64-mingw32-objdump

echo "== Windows cross build (i686-w64-mingw32, Release) =="
start=$SECONDS
# Release, as the DLLs are deployed; warnings are errors where DZ_WERROR=ON
# (scripts/test.sh). Google Benchmark has no Windows build here: the
# configuration skips the benchmarks by itself.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
  -DCMAKE_BUILD_TYPE=Release -DDZ_WERROR="${DZ_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j "$jobs"
echo "cross build: $((SECONDS - start)) s"

# ---- Export and import tables (no Wine needed) ------------------------------

# "ORDINAL NAME" lines of a DLL's named exports.
named_exports() {
  "$objdump" -p "$1" | awk '
    /^Export Address Table -- Ordinal Base/ { base = $NF }
    /^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
    table && /^[[:space:]]*$/ { table = 0 }
    table { gsub(/[\[\]]/, " "); print $1 + base, $2 }' | sort -n
}

# Number of entries of a DLL's export address table (named or not).
export_slots() {
  "$objdump" -p "$1" | awk '
    /^Export Address Table -- Ordinal Base/ { table = 1; next }
    table && /^[[:space:]]*$/ { table = 0 }
    table && /Export RVA/ { n++ }
    END { print n + 0 }'
}

check_failed=0
fail() { echo "CHECK FAILED: $*" >&2; check_failed=1; }

# dizora.dll: the names of include/dizora.h, each at the ordinal of
# src/api/dizora.def, and nothing else.
dizora_dll="$build/bin/dizora.dll"
expected_dizora=$(awk '$1 !~ /^;/ && /@[0-9]+[[:space:]]*$/ {
    o = $NF; sub(/^@/, "", o); n = $1; sub(/@[0-9]+$/, "", n); print o, n }' src/api/dizora.def | sort -n)
header_names=$(grep -oE 'DIZORA_API[[:space:]]+[A-Za-z0-9_]+\(' include/dizora.h |
  sed -E 's/DIZORA_API[[:space:]]+//; s/\($//' | sort)
[[ $(wc -l <<<"$header_names") -eq 75 ]] || fail "include/dizora.h declares $(wc -l <<<"$header_names") functions, not 75"
[[ $(cut -d' ' -f2 <<<"$expected_dizora" | sort) == "$header_names" ]] || fail "dizora.def and dizora.h name different functions"
[[ $(cut -d' ' -f1 <<<"$expected_dizora" | tr '\n' ' ') == "$(seq 1 75 | tr '\n' ' ')" ]] ||
  fail "dizora.def does not use the ordinals 1..75 once each"
actual_dizora=$(named_exports "$dizora_dll")
if [[ "$actual_dizora" != "$expected_dizora" ]]; then
  fail "dizora.dll exports differ from dizora.def:"
  diff <(echo "$expected_dizora") <(echo "$actual_dizora") >&2 || true
fi
[[ $(export_slots "$dizora_dll") -eq 75 ]] || fail "dizora.dll has $(export_slots "$dizora_dll") export slots, not 75"
grep -q '@' <<<"$actual_dizora" && fail "dizora.dll exports decorated names"

# libcrypt.dll: the 60 entry points of gostlib/entry_points.inc, in table order.
crypt_dll="$build/bin/libcrypt.dll"
expected_crypt=$(grep -oE '^GOSTLIB_ENTRY\([A-Za-z0-9_]+\)' gostlib/entry_points.inc |
  sed -E 's/^GOSTLIB_ENTRY\((.*)\)$/\1/' | awk '{ print NR, $1 }')
[[ $(wc -l <<<"$expected_crypt") -eq 60 ]] || fail "entry_points.inc lists $(wc -l <<<"$expected_crypt") names, not 60"
actual_crypt=$(named_exports "$crypt_dll")
if [[ "$actual_crypt" != "$expected_crypt" ]]; then
  fail "libcrypt.dll exports differ from entry_points.inc:"
  diff <(echo "$expected_crypt") <(echo "$actual_crypt") >&2 || true
fi
[[ $(export_slots "$crypt_dll") -eq 60 ]] || fail "libcrypt.dll has $(export_slots "$crypt_dll") export slots, not 60"
grep -q '@' <<<"$actual_crypt" && fail "libcrypt.dll exports decorated names"

# Both import system DLLs only: no runtime of the compiler, no libgcrypt DLL.
system_dlls='^(KERNEL32|msvcrt|ADVAPI32|USER32|WS2_32|GDI32|SHELL32|ole32|OLEAUT32|bcrypt|CRYPT32|ntdll)\.dll$'
for dll in "$dizora_dll" "$crypt_dll"; do
  imports=$("$objdump" -p "$dll" | awk '/DLL Name:/ { print $3 }' | sort -u)
  echo "$(basename "$dll") imports: $(tr '\n' ' ' <<<"$imports")"
  while read -r name; do
    [[ -z "$name" ]] && continue
    grep -qiE "$system_dlls" <<<"$name" || fail "$(basename "$dll") imports $name, not a system DLL"
  done <<<"$imports"
done
echo "dizora.dll: $(wc -l <<<"$actual_dizora") named exports; libcrypt.dll: $(wc -l <<<"$actual_crypt")"
[[ $check_failed -eq 0 ]] || exit 1
echo "export and import checks: passed"

# ---- The test programs under Wine --------------------------------------------

# A private prefix, removed afterwards. The server is started outside ctest
# (with its output away from ctest's pipes) or every test would wait for it.
WINEPREFIX="$(mktemp -d)/prefix"
export WINEPREFIX WINEDEBUG=-all
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$(dirname "$WINEPREFIX")"
}
trap cleanup EXIT
start=$SECONDS
wine wineboot </dev/null >/dev/null 2>&1 || true
wineserver -w
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot </dev/null >/dev/null 2>&1 || true
echo "wine prefix: $((SECONDS - start)) s"

# The users' locale: Russian, ANSI code page 1251 (Wine takes it from LC_ALL).
# UIDs are compared by the system's rules of that locale. The UTF-8 locale
# itself is built into the private directory (LOCPATH), so that the Linux side
# of Wine decodes command lines and file names as UTF-8 too; without it a
# Cyrillic argument typed in a shell reaches the program garbled.
locales="$(dirname "$WINEPREFIX")/locale"
mkdir -p "$locales"
localedef -i ru_RU -f UTF-8 "$locales/ru_RU.UTF-8"
start=$SECONDS
LOCPATH="$locales" LC_ALL=ru_RU.UTF-8 ctest --test-dir "$build" -j "$jobs" --timeout 900 --output-on-failure
echo "tests under wine: $((SECONDS - start)) s"
