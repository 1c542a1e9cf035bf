#!/usr/bin/env bash
# Installs what is missing, builds the Windows executable and runs it under wine: the
# directory window on your display, with its data in data/oreb-vet below the current directory.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" --preset windows >/dev/null
cmake --build "$root/build/windows" --target oreb-vet -j "$(( $(nproc) > 4 ? 4 : $(nproc) ))"
. "$root/scripts/wine-env.sh" "$root/build/windows"
if [ -z "${DISPLAY:-}" ]; then
  echo "No DISPLAY is set, so the window has nowhere to open. Running the self-test instead." >&2
  echo "To see the window, run this from a desktop session or over X forwarding (ssh -X)." >&2
  echo "('xvfb-run -a scripts/run.sh' opens it on an invisible virtual display: for automation only.)" >&2
  export MIVO_EXAMPLE_TEST=1
fi
# The build tree's wine prefix, made as the tests make it (quietly, once: the first start takes
# some seconds), so that wine's set-up messages stay out of the terminal and the window draws its
# text with the same font as in the tests.
"$root/scripts/wine-prefix.sh"
# Without address randomization, as the tests start wine: otherwise about one start in several
# thousand ends at once, with nothing printed, when the heap lands where wine maps its shared data.
exec setarch "$(uname -m)" -R wine "$root/build/windows/app/oreb-vet.exe"
