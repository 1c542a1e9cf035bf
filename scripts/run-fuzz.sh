#!/usr/bin/env bash
# Bounded fuzzing of the durable record store: builds the libFuzzer targets with clang, ASan and
# UBSan in build/fuzz (a project of its own, fuzz/CMakeLists.txt) and runs each for a fixed time
# from the committed seed corpus. Exits non-zero on a build failure, a crash or a sanitizer
# report, and then prints the end of the fuzzer's log. OREB_FUZZ_SECONDS sets the time per
# target (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/fuzz
seconds=${OREB_FUZZ_SECONDS:-30}
jobs=$(( $(nproc) > 4 ? 4 : $(nproc) ))
mkdir -p "$build"

if ! { cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DOREB_FUZZ_ONLY=ON &&
       cmake --build "$build" -j "$jobs" --target snapshot_decoder_fuzzer open_database_fuzzer; } \
     >"$build/build.log" 2>&1; then
  tail -n 40 "$build/build.log"
  echo "fuzz: build failed (log: $build/build.log)" >&2
  exit 1
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for name in snapshot_decoder open_database; do
  target="$build/${name}_fuzzer"
  work="$build/corpus/$name"  # new inputs go here; the committed seeds stay as they are
  mkdir -p "$work" "$build/artifacts/$name"
  log="$build/$name.log"
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$build/artifacts/$name/" "$work" "fuzz/corpus/$name" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    echo "fuzz: $name: ${runs:-?} inputs in ${seconds}s, no failure"
  else
    tail -n 60 "$log"
    echo "fuzz: $name FAILED (log: $log, inputs: $build/artifacts/$name/)" >&2
    status=1
  fi
done
exit $status
