#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds and runs the
# example consumers against it: with find_package(Kubik) (shared and static)
# and with pkg-config (shared and static), in C and C++; then the programs of
# examples/, under strict warnings. The viewer and its modules are checked
# when the build has them (VIEWER_BUILT 1).
#   install_and_consume.sh BUILD_DIR CONSUMER_SOURCE_DIR WORK_DIR EXAMPLES_DIR VIEWER_BUILT
# CC, CXX, CFLAGS, CXXFLAGS and LDFLAGS are passed on to the consumers.
set -euo pipefail

build_dir="$1"
consumer_src="$2"
work="$3"
examples_src="$4"
viewer_built="$5"
cc="${CC:-cc}"
cxx="${CXX:-c++}"
read -r -a cflags <<<"${CFLAGS:-}"
read -r -a cxxflags <<<"${CXXFLAGS:-}"
read -r -a ldflags <<<"${LDFLAGS:-}"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"

echo "== install into $prefix"
cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log"

libdir="$(dirname "$(find "$prefix" -name 'libkubikmath.so' -print -quit)")"
[[ -n "$libdir" && -d "$libdir" ]] || fail "libkubikmath.so not installed"
expected_files=("$prefix/include/kubik/kmath.h" "$libdir/libkubikmath.a"
  "$libdir/cmake/Kubik/KubikConfig.cmake" "$libdir/cmake/Kubik/KubikConfigVersion.cmake"
  "$libdir/pkgconfig/kubikmath.pc" "$prefix/share/doc/Kubik/LICENSE")
if [[ "$viewer_built" == 1 ]]; then
  expected_files+=("$libdir/libkgfx.so" "$libdir/libkgfx-debug.so" "$prefix/bin/kubik-cube")
fi
for file in "${expected_files[@]}"; do
  [[ -e "$file" ]] || fail "not installed: $file"
done
soname="$(readelf -d "$libdir/libkubikmath.so" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')"
[[ "$soname" =~ ^libkubikmath\.so\.[0-9]+$ ]] || fail "unexpected soname '$soname'"
[[ -e "$libdir/$soname" ]] || fail "no file for the soname $soname"

echo "== find_package consumers"
cmake -S "$consumer_src" -B "$work/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_C_FLAGS="${CFLAGS:-}" -DCMAKE_CXX_FLAGS="${CXXFLAGS:-}" \
  -DCMAKE_EXE_LINKER_FLAGS="${LDFLAGS:-}" >"$work/cmake-configure.log" ||
  { cat "$work/cmake-configure.log"; fail "configure with find_package"; }
cmake --build "$work/cmake" >"$work/cmake-build.log" ||
  { cat "$work/cmake-build.log"; fail "build with find_package"; }
for program in consumer_c consumer_cpp consumer_c_static; do
  "$work/cmake/$program" || fail "$program"
done
if [[ "$(readelf -d "$work/cmake/consumer_c_static")" == *libkubikmath* ]]; then
  fail "consumer_c_static depends on the shared library"
fi

echo "== the package refuses another major version"
if cmake -S "$consumer_src" -B "$work/cmake-v2" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DKUBIK_REQUIRED_VERSION=2.0 >"$work/cmake-v2.log" 2>&1; then
  fail "find_package(Kubik 2.0) succeeded"
fi

echo "== pkg-config consumers"
export PKG_CONFIG_PATH="$libdir/pkgconfig"
pkg-config --exists kubikmath || fail "pkg-config does not find kubikmath"
read -r -a pc_cflags <<<"$(pkg-config --cflags kubikmath)"
read -r -a pc_libs <<<"$(pkg-config --libs kubikmath)"
read -r -a pc_static <<<"$(pkg-config --static --libs kubikmath)"
# The same flags, naming the archive instead of the shared library.
pc_static=("${pc_static[@]/#-lkubikmath/-l:libkubikmath.a}")
rpath="-Wl,-rpath,$libdir"

"$cc" -std=c11 "${cflags[@]}" "${pc_cflags[@]}" "$consumer_src/consumer.c" \
  -o "$work/pc_c" "${ldflags[@]}" "${pc_libs[@]}" -lm "$rpath"
"$cxx" -std=c++20 "${cxxflags[@]}" "${pc_cflags[@]}" "$consumer_src/consumer.cpp" \
  -o "$work/pc_cpp" "${ldflags[@]}" "${pc_libs[@]}" "$rpath"
"$cc" -std=c11 "${cflags[@]}" "${pc_cflags[@]}" "$consumer_src/consumer.c" \
  -o "$work/pc_c_static" "${ldflags[@]}" "${pc_static[@]}"
for program in pc_c pc_cpp pc_c_static; do
  "$work/$program" || fail "$program"
done
# The shared consumers really use the installed library.
[[ "$(ldd "$work/pc_c")" == *"$libdir/$soname"* ]] || fail "pc_c does not load $libdir/$soname"

echo "== the examples, under strict warnings"
strict_c="-Wall -Wextra -Wpedantic -Werror"
cmake -S "$examples_src" -B "$work/examples" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_C_FLAGS="${CFLAGS:-} $strict_c" -DCMAKE_CXX_FLAGS="${CXXFLAGS:-} $strict_c" \
  -DCMAKE_EXE_LINKER_FLAGS="${LDFLAGS:-}" >"$work/examples-configure.log" ||
  { cat "$work/examples-configure.log"; fail "configure the examples"; }
cmake --build "$work/examples" >"$work/examples-build.log" ||
  { cat "$work/examples-build.log"; fail "build the examples"; }
for program in orbit_camera batch_transform; do
  "$work/examples/$program" >"$work/$program.log" || { cat "$work/$program.log"; fail "$program"; }
  [[ "$(ldd "$work/examples/$program")" == *"$libdir/$soname"* ]] ||
    fail "$program does not load $libdir/$soname"
done

if [[ "$viewer_built" == 1 ]]; then
  echo "== the installed viewer finds its libraries"
  set +e
  env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/kubik-cube" >"$work/viewer.log" 2>&1
  set -e
  if grep -q 'error while loading shared libraries' "$work/viewer.log"; then
    cat "$work/viewer.log"
    fail "the installed viewer cannot load its libraries"
  fi
fi

echo "all consumers built and ran"
