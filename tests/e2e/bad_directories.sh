#!/usr/bin/env bash
# Data directories the program cannot use: it must say so, end with the right status, and leave
# what is there exactly as it was.
. "$(dirname "$0")/lib.sh"

# A path that is a regular file: the database is unavailable, nothing is seeded, the first check
# fails.
printf 'not a directory\n' >"$WORK/plain-file"
cp "$WORK/plain-file" "$WORK/plain-file.orig"
run_oreb_vet MIVO_EXAMPLE_DATA="$WORK/plain-file" MIVO_EXAMPLE_TEST=1
expect_eq "regular file: status" "$RUN_STATUS" 2
expect_eq "regular file: error output" "$RUN_ERR" "seed records"
expect_eq "regular file: output" "$RUN_OUT" ""
cmp -s "$WORK/plain-file" "$WORK/plain-file.orig" || fail "regular file: its bytes changed"
expect_eq "regular file: nothing made beside it" "$(ls -A "$WORK" | sort | tr '\n' ' ')" "plain-file plain-file.orig run.err run.out "

# A snapshot that does not decode (one byte of a real snapshot flipped): opened as not ok, so
# nothing is seeded over it and the file keeps every byte.
good="$WORK/good"
run_oreb_vet MIVO_EXAMPLE_DATA="$good" MIVO_EXAMPLE_TEST=1
expect_eq "reference run status" "$RUN_STATUS" 0
corrupt="$WORK/corrupt"
mkdir -p "$corrupt"
cp "$good/store.corvane" "$corrupt/store.corvane"
python3 - "$corrupt/store.corvane" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
data[len(data) // 2] ^= 0x5A
open(path, "wb").write(bytes(data))
PY
cp "$corrupt/store.corvane" "$WORK/corrupt.orig"
expect_eq "corrupt snapshot: the decoder refuses it" "$(dump_value "$(dump_store "$corrupt/store.corvane")" ok)" 0
run_oreb_vet MIVO_EXAMPLE_DATA="$corrupt" MIVO_EXAMPLE_TEST=1
expect_eq "corrupt snapshot: status" "$RUN_STATUS" 2
expect_eq "corrupt snapshot: error output" "$RUN_ERR" "seed records"
cmp -s "$corrupt/store.corvane" "$WORK/corrupt.orig" || fail "corrupt snapshot: its bytes changed"
expect_eq "corrupt snapshot: no other file" "$(ls -A "$corrupt")" "store.corvane"

# A snapshot file larger than the store reads: the read error reaches main (status 1).
big="$WORK/big"
mkdir -p "$big"
head -c 4194305 /dev/zero >"$big/store.corvane"
run_oreb_vet MIVO_EXAMPLE_DATA="$big" MIVO_EXAMPLE_TEST=1
expect_eq "oversized snapshot: status" "$RUN_STATUS" 1
case "$RUN_ERR" in
  file.read.limit:*) echo "ok: oversized snapshot: error output" ;;
  *) fail "oversized snapshot: error output '$RUN_ERR'" ;;
esac
expect_eq "oversized snapshot: size kept" "$(stat -c %s "$big/store.corvane")" 4194305
expect_eq "oversized snapshot: no other file" "$(ls -A "$big")" "store.corvane"

finish
