#!/usr/bin/env bash
# Coverage-guided fuzzing of every entry family (libFuzzer; clang with the
# address and undefined-behaviour sanitizers), one target after the other.
#   scripts/fuzz.sh [SECONDS]              build, then run each target SECONDS (default 60)
#   scripts/fuzz.sh --repro TARGET FILE... build, then run the saved inputs once
# Targets: bmp_file header caller_memory operations. Corpora grow in
# build/fuzz/corpus/<target>; a crash is saved in build/fuzz/artifacts/<target>/
# (copy it into fuzz/crashers/<target>/ once mended: the ordinary test suite
# replays that folder).
set -uo pipefail
cd "$(dirname "$0")/.."
build=build/fuzz
targets=(bmp_file header caller_memory operations)

configure_and_build() {
  mkdir -p "$build"
  {
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DPELC_FUZZ=ON -DPELC_BUILD_TESTS=OFF -DPELC_BUILD_EXAMPLES=OFF -DPELC_WERROR=OFF &&
      cmake --build "$build" -j "$(nproc)" --target fuzz_seeds "${targets[@]/#/fuzz_}"
  } >"$build/build.log" 2>&1 || { tail -n 40 "$build/build.log"; return 1; }
}

configure_and_build || exit 1

if [[ "${1:-}" == "--repro" ]]; then
  shift
  target=${1:?"--repro needs a target and files"}
  shift
  "$build/bin/fuzz_$target" -runs=1 "$@"
  exit $?
fi

seconds=${1:-60}
"$build/bin/fuzz_seeds" "$build/seeds" >/dev/null || exit 1
failed=()
for target in "${targets[@]}"; do
  corpus=$build/corpus/$target
  artifacts=$build/artifacts/$target
  mkdir -p "$corpus" "$artifacts"
  inputs=("$corpus" "$build/seeds/$target" "fuzz/crashers/$target")
  [[ "$target" == "bmp_file" ]] && inputs+=("../shared/testdata/bmp/g" "../shared/testdata/bmp/q" "../shared/testdata/bmp/b")
  existing=()
  for dir in "${inputs[@]}"; do [[ -d "$dir" ]] && existing+=("$dir"); done
  log=$build/$target.log
  echo "==== $target (${seconds}s)"
  "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
    -dict=fuzz/bmp.dict -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "${existing[@]}" >"$log" 2>&1
  status=$?
  grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log"
  if ((status != 0)); then
    failed+=("$target")
    grep -E 'ERROR|runtime error|violated|Test unit written' "$log" | head -n 5
  fi
done
((${#failed[@]} == 0)) || { echo "fuzz failures: ${failed[*]} (logs in $build)"; exit 1; }
