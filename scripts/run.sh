#!/usr/bin/env bash
# Installs what is missing, builds the Windows executable and runs it under wine: the directory
# window on your display, with its data in data/oreb-vet below the current directory. Without a
# display it runs the self-test instead, on a new data directory of its own that it removes
# afterwards: the self-test writes its demo changes into the directory it is given.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" --preset windows >/dev/null
cmake --build "$root/build/windows" --target oreb-vet -j "$(( $(nproc) > 4 ? 4 : $(nproc) ))"
# The build's wine runner; its first start makes the build tree's wine prefix (some seconds).
run=("$root/build/windows/wine-run" "$root/build/windows/app/oreb-vet.exe")

if [ -n "${DISPLAY:-}" ]; then
  if ! xwininfo -root >/dev/null 2>&1; then
    echo "run.sh: the display $DISPLAY that DISPLAY names cannot be opened: no X server runs there, or" \
      "it does not let this user in." >&2
    echo "Run this from a desktop session or over X forwarding (ssh -X), or unset DISPLAY to run the" \
      "self-test instead." >&2
    exit 1
  fi
  exec "${run[@]}"
fi

echo "No DISPLAY is set, so the window has nowhere to open. Running the self-test instead, on a new" \
  "temporary data directory (your data/oreb-vet stays as it is)." >&2
echo "To see the window, run this from a desktop session or over X forwarding (ssh -X)." >&2
echo "('xvfb-run -a scripts/run.sh' opens it on an invisible virtual display: for automation only.)" >&2
data="$(mktemp -d "${TMPDIR:-/tmp}/oreb-vet-self-test.XXXXXX")"
trap 'rm -rf "$data"' EXIT
status=0
MIVO_EXAMPLE_TEST=1 MIVO_EXAMPLE_DATA="$data" "${run[@]}" || status=$?
exit "$status"
