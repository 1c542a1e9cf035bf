# Helpers of the end-to-end tests, sourced by each test script.
# usage: . lib.sh <oreb-vet> <store-dump> [runner]
# The runner (build/<dir>/wine-run for the Windows build) is put in front of both programs.
set -uo pipefail

OREB_VET="$1"
STORE_DUMP="$2"
RUNNER="${3:-}"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/oreb-e2e.XXXXXX")"
failures=0

cleanup_work() { rm -rf "$WORK"; }
trap cleanup_work EXIT

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect_eq <what> <actual> <expected>
expect_eq() {
  if [ "$2" != "$3" ]; then
    fail "$1: got '$2', expected '$3'"
  else
    echo "ok: $1"
  fi
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
  exit 0
}

# Runs oreb-vet with the given environment assignments (NAME=value ...), in the current
# directory; sets RUN_STATUS, RUN_OUT and RUN_ERR (line ends normalised: Windows writes CR LF).
run_oreb_vet() {
  local out="$WORK/run.out" err="$WORK/run.err"
  env "$@" $RUNNER "$OREB_VET" >"$out" 2>"$err"
  RUN_STATUS=$?
  RUN_OUT="$(tr -d '\r' <"$out")"
  RUN_ERR="$(tr -d '\r' <"$err")"
}

# dump_store <file>: prints the decoded file ("key=value" lines after ok, message, sequence and
# entries), through the store's own decoder.
dump_store() {
  $RUNNER "$STORE_DUMP" "$1" | tr -d '\r'
}

# dump_value <dump text> <key>: the value of one line of a dump.
dump_value() {
  printf '%s\n' "$1" | awk -v key="$2" 'index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }'
}

# The sequence of a store file, or empty when it cannot be read.
store_sequence() {
  [ -f "$1" ] || return 0
  dump_value "$(dump_store "$1" 2>/dev/null)" sequence
}

# wait_for_sequence <file> <sequence> <seconds>: waits until the store file reaches the sequence.
wait_for_sequence() {
  local deadline=$((SECONDS + $3)) seq
  while [ "$SECONDS" -lt "$deadline" ]; do
    seq="$(store_sequence "$1")"
    [ "$seq" = "$2" ] && return 0
    sleep 0.1
  done
  fail "store $1 did not reach sequence $2 within $3 s (it is at '${seq:-none}')"
  return 1
}
