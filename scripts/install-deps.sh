#!/usr/bin/env bash
# Installs everything building and testing need on Debian 12 (run as root when something is
# missing), then checks that every command the scripts and tests call is on the PATH and comes
# from a package named below. Fails with the command's name when one is missing or comes from a
# package this list does not name: a tool that only one machine happens to have would otherwise
# pass here and fail on a fresh machine.
set -euo pipefail

# Every package is named, including the ones another package pulls in, so that what a command
# resolves to is always a package of this list. Nothing relies on recommends.
packages=(
  # Native build, sanitizers and fuzzing.
  cmake ninja-build gcc gcc-12 g++ g++-12 clang clang-14 libclang-rt-14-dev
  # Windows cross build.
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  # Tests and benchmarks.
  googletest libgtest-dev libbenchmark-dev
  # Lint.
  clang-format clang-format-14 clang-tidy clang-tidy-14
  # Running the Windows program: wine64 alone gives no wine, wineboot or wineserver commands.
  wine wine64 xvfb xauth libgl1-mesa-dri
  # The faces the window tests draw with (the test prefix maps the program's face to Liberation
  # Sans); wine's own fonts for its dialogs.
  fonts-liberation fonts-dejavu-core fonts-wine
  # Driving and looking at the window in the end-to-end tests.
  xdotool imagemagick imagemagick-6.q16 x11-utils python3 python3-minimal python3.11-minimal mawk
  # The test display's window manager (scripts/display-wm.py).
  python3-xlib python3-six
  # The immutable flag the window tests set on a store's files (chattr).
  e2fsprogs
  # Essential packages (and apt), present on every Debian system: named so that the check below
  # covers the shell and file commands the scripts use as well, not only the tools above.
  bash dash coreutils sed grep diffutils dpkg apt util-linux
)

# The commands the scripts call (scripts/*.sh, .ci/run, tests/e2e/*.sh, cmake/wine-run.sh.in,
# the CMake presets and toolchain file, and the lint step). Shell builtins are not listed.
commands=(
  bash sh env dirname basename nproc seq sleep mkdir mktemp rm cp ls head tail cut sort tr stat id
  timeout md5sum readlink sed grep awk cmp flock dpkg dpkg-query apt-get cat uname setarch setpriv
  chmod chown chattr
  cmake ctest ninja gcc g++ clang++
  x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres
  clang-format clang-tidy run-clang-tidy comm paste
  wine wineboot wineserver Xvfb xdotool xwininfo import convert python3
)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages (run as root to install them): ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# --- Every command comes from a listed package ----------------------------------------------------

declare -A listed=()
for p in "${packages[@]}"; do listed[$p]=1; done

# The files a command's path passes through: the path, then each symlink's target (alternatives
# go through /etc/alternatives), each also under its other name on a merged /usr (/bin/x is
# /usr/bin/x, but dpkg knows a file under the name its package shipped it with).
path_chain() {
  local path="$1" hop
  for _ in 1 2 3 4 5 6 7 8; do
    echo "$path"
    case "$path" in
      /usr/bin/* | /usr/sbin/* | /usr/lib/*) echo "${path#/usr}" ;;
      /bin/* | /sbin/* | /lib/*) echo "/usr$path" ;;
    esac
    [ -L "$path" ] || return 0
    hop="$(readlink "$path")"
    case "$hop" in
      /*) path="$hop" ;;
      *) path="$(cd "$(dirname "$path")" && pwd -P)/$hop" ;;
    esac
  done
  readlink -f "$1"
}

# owners <path>...: "package<TAB>path" for each path dpkg knows (one query for all of them).
owners() {
  dpkg-query -S "$@" 2>/dev/null | awk -F': ' '!/^diversion by/ {
    n = split($1, pkgs, ", ")
    for (i = 1; i <= n; i++) { sub(/:.*/, "", pkgs[i]); print pkgs[i] "\t" $2 }
  }' || true
}

# The path a command has on the PATH; a copy that no package owns (a wrapper in /usr/local/bin,
# a language version manager's shim) is looked past to the packaged one in the system
# directories, which must then be there.
declare -A where=()
not_found=()
for c in "${commands[@]}"; do
  p="$(command -v "$c" || true)"
  if [ -z "$p" ] || [ "${p#/}" = "$p" ]; then
    not_found+=("$c")
    continue
  fi
  where[$c]="$p"
done
if ((${#not_found[@]})); then
  echo "install-deps: commands not on the PATH: ${not_found[*]}" >&2
  exit 1
fi

declare -A owner_of=()
all_paths=()
for c in "${commands[@]}"; do
  mapfile -t hops < <(path_chain "${where[$c]}")
  all_paths+=("${hops[@]}")
  for d in /usr/bin /bin /usr/sbin /sbin; do
    [ -e "$d/$c" ] || continue
    mapfile -t hops < <(path_chain "$d/$c")
    all_paths+=("${hops[@]}")
  done
done
while IFS=$'\t' read -r pkg path; do
  owner_of[$path]+="$pkg "
done < <(owners "${all_paths[@]}")

# chain_owner listed|any <path>: a package owning the path or a file it leads to, of the list or
# any package; nothing when there is none.
chain_owner() {
  local hop pkg
  while read -r hop; do
    for pkg in ${owner_of[$hop]:-}; do
      if [ "$1" = any ] || [ -n "${listed[$pkg]:-}" ]; then
        echo "$pkg"
        return 0
      fi
    done
  done < <(path_chain "$2")
}

bad=()
for c in "${commands[@]}"; do
  p="${where[$c]}"
  if [ -z "$(chain_owner any "$p")" ]; then
    # Not from any package: look past it to the packaged command.
    p=""
    for d in /usr/bin /bin /usr/sbin /sbin; do
      if [ -x "$d/$c" ] && [ -n "$(chain_owner any "$d/$c")" ]; then p="$d/$c"; break; fi
    done
    if [ -z "$p" ]; then
      bad+=("$c (${where[$c]} belongs to no package, and no packaged $c is installed)")
      continue
    fi
  fi
  if [ -z "$(chain_owner listed "$p")" ]; then
    bad+=("$c ($p comes from $(chain_owner any "$p"), which install-deps.sh does not name)")
  fi
done
if ((${#bad[@]})); then
  printf 'install-deps: command not from a listed package: %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "install-deps: ${#packages[@]} packages installed; ${#commands[@]} commands from them on the PATH"
