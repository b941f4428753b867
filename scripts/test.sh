#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal
# build and once more under AddressSanitizer + UBSan (the end-to-end tests,
# which bound how fast the window answers, only in the normal build); then, where clang is
# present, runs each fuzz target for a bounded time (BREVANE_FUZZ_SECONDS,
# 20 by default) and fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DBREVANE_SANITIZE=ON -DBREVANE_BUILD_BENCH=OFF
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE e2e

# Fuzzing: only the fuzz targets and the libraries under them, built with
# clang and libFuzzer in their own folder. New inputs collect in
# build-fuzz/corpus/; a finding is written to build-fuzz/findings/ and ends
# the run (copy it to tests/fuzz/regressions/<target>/ once it is mended).
if command -v clang++ >/dev/null && command -v clang >/dev/null; then
  cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVANE_FUZZ=ON \
        -DBREVANE_BUILD_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
  cmake --build build-fuzz -j"$jobs" --target brevane_fuzz
  seconds=${BREVANE_FUZZ_SECONDS:-20}
  for target in link decoders hid_reports settings; do
    mkdir -p "build-fuzz/corpus/$target" build-fuzz/findings
    corpora=("build-fuzz/corpus/$target" "tests/fuzz/seeds/$target")
    if [ -d "tests/fuzz/regressions/$target" ]; then
      corpora+=("tests/fuzz/regressions/$target")
    fi
    echo "Fuzzing $target for ${seconds} s"
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "build-fuzz/bin/brevane_fuzz_$target" -max_total_time="$seconds" -timeout=10 \
        -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$target-" \
        "${corpora[@]}" \
        2> "build-fuzz/$target.log" \
      || { tail -n 60 "build-fuzz/$target.log"; echo "Fuzz target $target found a fault" >&2; exit 1; }
    grep -E '^(Done|stat::number_of_executed_units)' "build-fuzz/$target.log" || true
  done
else
  echo "clang is not installed: fuzzing skipped"
fi
