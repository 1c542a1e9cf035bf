#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: native, native under
# AddressSanitizer and UndefinedBehaviorSanitizer, Windows under wine (window tests on a
# virtual display; the read-only lock file's tests once more as an unprivileged user), and a
# bounded fuzzing run. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(( $(nproc) > 4 ? 4 : $(nproc) ))

step() { printf '\n==== %s ====\n' "$*"; }

step "dependencies"
scripts/install-deps.sh

step "native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

step "native: a directory where the lock file cannot be made, as an unprivileged user"
scripts/test-unwritable-directory.sh build/native

step "lint"
cmake --preset windows >/dev/null
scripts/lint.sh

step "sanitizer build and tests"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j "$jobs"
ctest --preset sanitize -j "$jobs"

step "windows build and tests under wine"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
. scripts/wine-env.sh build/windows
trap oreb_stop_all EXIT
oreb_start_display
oreb_start_wine
# Tests that open windows share one display and the pointer: run those one at a time.
ctest --preset windows -LE display -j 2
ctest --preset windows -L display -j 1

step "windows: the read-only lock file, as an unprivileged user"
scripts/test-read-only-lock.sh build/windows

if [ -x scripts/run-fuzz.sh ]; then
  step "fuzzing (bounded)"
  scripts/run-fuzz.sh
fi

step "all tests passed"
