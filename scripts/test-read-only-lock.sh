#!/usr/bin/env bash
# The Windows tests of a read-only lock file, run so that the file refuses writes: the lock must
# then be had through a read open. Under wine the files are opened by the wine server, and a
# root user's server writes a read-only file all the same, so in the suite these tests skip; here
# they run as an unprivileged user (nobody, when this script runs as root), in a scratch folder
# with a wine prefix of that user's own, and each must pass, not skip.
# usage: scripts/test-read-only-lock.sh <windows build dir>
set -euo pipefail
build="$(cd "$1" && pwd)"
scripts="$(cd "$(dirname "$0")" && pwd)"
tests=(runtime/tests/runtime_file_lock_test.exe store/tests/store_writers_test.exe)
filter='*ALockFileThatCannotBeWritten*'

# The build tree can be where the user cannot read it (below root's home): its files are copied.
work="$(mktemp -d "${TMPDIR:-/tmp}/oreb-read-only-lock.XXXXXX")"
cp "$scripts/wine-run.sh" "$work/"
for t in "${tests[@]}"; do cp "$build/$t" "$work/"; done
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chmod 755 "$work"
  chown -R nobody:nogroup "$work"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
as_user+=(env -u DISPLAY HOME="$work" WINEPREFIX="$work/prefix")
cleanup() {
  "${as_user[@]}" wineserver -k >/dev/null 2>&1 || true
  "${as_user[@]}" wineserver -w >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

failed=0
for t in "${tests[@]}"; do
  name="$(basename "$t")"
  status=0
  out="$("${as_user[@]}" "$work/wine-run.sh" "$work/$name" --gtest_filter="$filter" 2>&1 | tr -d '\r')" || status=$?
  if [ "$status" -ne 0 ] || ! grep -qx '\[  PASSED  \] 1 test\.' <<<"$out" || grep -q 'SKIPPED' <<<"$out"; then
    printf '%s\n' "$out"
    echo "read-only lock: $name did not pass as $("${as_user[@]}" id -un) (status $status)" >&2
    failed=1
  else
    echo "read-only lock: $name passed as $("${as_user[@]}" id -un)"
  fi
done
exit "$failed"
