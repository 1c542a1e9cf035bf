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
  echo "No DISPLAY is set, so the window has nowhere to open. Running the self-test instead;" >&2
  echo "set DISPLAY (or run 'xvfb-run -a scripts/run.sh') to see the window." >&2
  export MIVO_EXAMPLE_TEST=1
fi
exec wine "$root/build/windows/app/oreb-vet.exe"
