#!/usr/bin/env bash
# Configures the project as a consumer building only the math library would,
# and checks that nothing beyond a compiler and CMake is looked for: no
# window, graphics, test or benchmark packages, no viewer targets, warnings
# not turned into errors.
#   library_only_build.sh SOURCE_DIR WORK_DIR
set -euo pipefail
src="$1"
work="$2"
rm -rf "$work"
cmake -S "$src" -B "$work" -G Ninja -DKUBIK_BUILD_VIEWER=OFF -DKUBIK_BUILD_TESTS=OFF \
  -DKUBIK_BUILD_BENCH=OFF >"$work.log" 2>&1 || { cat "$work.log"; exit 1; }

status=0
if grep -E '^(SDL2|X11|GTest|GMock|benchmark)[A-Za-z0-9_]*:' "$work/CMakeCache.txt"; then
  echo "FAIL: the library-only configuration looked for the packages above"
  status=1
fi
if grep -q -- '-Werror' "$work/build.ninja"; then
  echo "FAIL: -Werror is on for a consumer build"
  status=1
fi
targets="$(cmake --build "$work" --target help)"
for target in kubikmath kubikmath_static; do
  grep -q "^$target:" <<<"$targets" || { echo "FAIL: no target $target"; status=1; }
done
for target in kubik-cube kgfx kubikwindow; do
  if grep -q "^$target:" <<<"$targets"; then
    echo "FAIL: target $target exists without the viewer"
    status=1
  fi
done
[[ $status -eq 0 ]] && echo "library-only configuration needs a compiler and CMake only"
exit "$status"
