#!/usr/bin/env bash
# The native test of a data directory where the lock file cannot be made, run as a user the
# directory's permissions refuse (nobody, when this script runs as root, whom they do not): it
# must pass, not skip.
# usage: scripts/test-unwritable-directory.sh <native build dir>
set -euo pipefail
build="$(cd "$1" && pwd)"
test_binary=app/tests/app_view_test
filter='*ADirectoryWhereTheLockFileCannotBeMade*'

# The build tree can be where the user cannot read it (below root's home): the test is copied.
work="$(mktemp -d "${TMPDIR:-/tmp}/oreb-unwritable.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cp "$build/$test_binary" "$work/"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chmod 755 "$work"
  chown -R nobody:nogroup "$work"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
status=0
out="$("${as_user[@]}" env HOME="$work" TMPDIR="$work" "$work/$(basename "$test_binary")" --gtest_filter="$filter" 2>&1)" ||
  status=$?
if [ "$status" -ne 0 ] || ! grep -qx '\[  PASSED  \] 1 test\.' <<<"$out" || grep -q 'SKIPPED' <<<"$out"; then
  printf '%s\n' "$out"
  echo "unwritable directory: the test did not pass as $("${as_user[@]}" id -un) (status $status)" >&2
  exit 1
fi
echo "unwritable directory: passed as $("${as_user[@]}" id -un)"
