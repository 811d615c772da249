#!/usr/bin/env bash
# Every test: formatting, then each build leg with its whole suite.
#   native debug (also with the vector kernels off), AddressSanitizer + UBSan, 64-bit Windows under wine,
#   32-bit Linux under qemu-i386, the 32-bit Windows DLL (build and export
#   check), the release build with its benchmarks, the installed packages and
#   consumers, and a short run of every fuzz target.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
jobs=$(nproc)
passed=0
failed=0
failures=()

leg() {
  local name=$1
  shift
  echo "==== $name"
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failures+=("$name")
  fi
}

build_and_test() {
  local preset=$1
  local log=build/$preset.log
  { cmake --preset "$preset" && cmake --build --preset "$preset" -j "$jobs"; } >"$log" 2>&1 ||
    { tail -n 60 "$log"; return 1; }
  run_tests "$preset"
}

# Runs a preset's tests; the whole output goes to build/<name>-tests.log (the
# preset's name unless given) and the summary, with every failure in its
# context, to the screen.
run_tests() {
  local preset=$1
  local log=build/${2:-$preset}-tests.log
  ctest --preset "$preset" -j "$jobs" >"$log" 2>&1
  local status=$?
  if ((status != 0)); then
    grep -n -B 3 -A 15 -E "Failure$|\[  FAILED  \]|\*\*\*Failed|Exception|Timeout" "$log" | head -n 200
  fi
  tail -n 25 "$log"
  return "$status"
}

format_check() {
  local files
  files=$(git ls-files '*.c' '*.h' '*.cpp' '*.hpp')
  # shellcheck disable=SC2086
  clang-format --dry-run --Werror $files
}

# The whole native suite again with every vector kernel switched off: the
# portable routines alone must give the same results.
scalar_only() {
  PELC_SIMD=scalar run_tests debug debug-scalar
}

bench_smoke() {
  build_and_test release || return 1
  build/release/bin/pelc_bench --benchmark_min_time=0.01 >/dev/null
}

mkdir -p build
leg format format_check
leg native build_and_test debug
leg native-scalar scalar_only
leg sanitizers build_and_test asan
leg wine64 build_and_test mingw-x86_64
leg qemu-i386 build_and_test linux-i386
leg i686-dll build_and_test mingw-i686
leg release-bench bench_smoke
leg install bash scripts/test-install.sh
leg fuzz bash scripts/fuzz.sh 30

echo
echo "legs: $passed passed, $failed failed"
((failed == 0)) || { echo "failed legs: ${failures[*]}"; exit 1; }
