#!/usr/bin/env bash
# The lint step of the test command: clang-format --dry-run --Werror over every C++ source of the
# project, and clang-tidy with the repository's .clang-tidy (every finding an error) over the
# sources the builds compile: the portable ones through the native build's compile commands, the
# Windows-only ones parsed by clang for the mingw-w64 target through the windows build's, with
# the cross compiler's C++ library headers. Configures both presets when their build directories
# are missing. Exits non-zero with the findings when there are any.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd -P)"
jobs=$(( $(nproc) > 4 ? 4 : $(nproc) ))
folders='runtime|store|canvas|app|render|retained|uihost|bench|fuzz'

shopt -s globstar nullglob
sources=({runtime,store,canvas,app,render,retained,uihost,bench,fuzz}/**/*.{cpp,hpp})
echo "lint: clang-format over ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}"

[ -f build/native/compile_commands.json ] || cmake --preset native >/dev/null
[ -f build/windows/compile_commands.json ] || cmake --preset windows >/dev/null

# The files of the project each build compiles (googletest's are not the project's), and those only
# the windows build compiles.
compiled() {
  python3 - "$1" "$root" "$folders" <<'PY'
import json, re, sys
database, root, folders = sys.argv[1:4]
pattern = re.compile(re.escape(root) + "/(" + folders + ")/")
print("\n".join(sorted({e["file"] for e in json.load(open(database)) if pattern.match(e["file"])})))
PY
}
mapfile -t native < <(compiled build/native/compile_commands.json)
mapfile -t windows_only < <(comm -13 <(compiled build/native/compile_commands.json) \
                                     <(compiled build/windows/compile_commands.json))

# Each file as an exact match, for run-clang-tidy's file pattern.
exact() { printf '%s\n' "$@" | sed 's/[.+]/\\&/g; s/^/^/; s/$/$/' | paste -sd '|'; }

echo "lint: clang-tidy over ${#native[@]} portable files"
run-clang-tidy -quiet -j "$jobs" -p build/native -extra-arg=-Wno-unknown-warning-option "$(exact "${native[@]}")" \
  >build/native/clang-tidy.log 2>&1 || { grep -E 'error:|warning:' build/native/clang-tidy.log || tail -n 40 build/native/clang-tidy.log; exit 1; }

cxx=/usr/lib/gcc/x86_64-w64-mingw32/12-posix/include/c++
echo "lint: clang-tidy over ${#windows_only[@]} Windows-only files"
run-clang-tidy -quiet -j "$jobs" -p build/windows -extra-arg=--target=x86_64-w64-mingw32 -extra-arg=-nostdinc++ \
  -extra-arg=-isystem$cxx -extra-arg=-isystem$cxx/x86_64-w64-mingw32 -extra-arg=-isystem$cxx/backward \
  -extra-arg=-Wno-unknown-warning-option "$(exact "${windows_only[@]}")" \
  >build/windows/clang-tidy.log 2>&1 || { grep -E 'error:|warning:' build/windows/clang-tidy.log || tail -n 40 build/windows/clang-tidy.log; exit 1; }
echo "lint: clean"
