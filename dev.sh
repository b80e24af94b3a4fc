#!/usr/bin/env bash
# Kubik developer entry point.
#   ./dev.sh run    build and run the viewer (in a virtual display when none is reachable)
#   ./dev.sh test   build and run every test (release and sanitizer builds, and the
#                   64-bit ARM build under qemu-aarch64)
#   ./dev.sh build [preset]   configure and build one preset (default: release)
#   ./dev.sh fuzz [seconds]   build the fuzz targets (clang) and run each for a while (default 60 s)
set -euo pipefail
cd "$(dirname "$0")"

# Debian packages the build, the tests, the benchmarks and the headless run need.
PACKAGES=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libglm-dev libeigen3-dev libcglm-dev
  libsdl2-dev xvfb xdotool imagemagick x11-utils
  qemu-user ccache g++-aarch64-linux-gnu python3
)

missing_packages() {
  local missing=()
  for pkg in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  echo "${missing[@]:-}"
}

ensure_packages() {
  local missing
  missing="$(missing_packages)"
  [[ -z "$missing" ]] && return 0
  if [[ "$(id -u)" -ne 0 ]]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get install -y $missing" >&2
    exit 1
  fi
  echo "Installing: $missing"
  apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
}

# Rebuilds of unchanged sources (a second preset, a fresh clone) come from the
# compiler cache.
use_compiler_cache() {
  if command -v ccache >/dev/null 2>&1; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR="$PWD"
  fi
}

build() {
  local preset="$1"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
}

# The 64-bit ARM cross build: the math library with its NEON family, the
# selection, conformance and pipeline suites and the viewer's headless parts,
# run under qemu-aarch64 with the cross sysroot. The emulated run is kept to
# these suites; the x86-only families are not built for ARM at all.
AARCH64_TEST_TARGETS=(
  math_reference_test math_dispatch_test math_conformance_test math_neon_test
  math_pipeline_test ieee_half_test window_test viewer_test kubik_accuracy
)

run_aarch64_tests() {
  local tool missing=()
  for tool in aarch64-linux-gnu-g++ qemu-aarch64; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
  done
  if ((${#missing[@]})); then
    echo "== aarch64: SKIPPED, not installed: ${missing[*]} =="
    return 0
  fi
  echo "== aarch64 build =="
  cmake --preset aarch64 >/dev/null
  cmake --build --preset aarch64 --target "${AARCH64_TEST_TARGETS[@]}"
  echo "== aarch64 tests (qemu-aarch64) =="
  # Programs outside the list are not built; their placeholders are not tests.
  ctest --preset aarch64 -E '_NOT_BUILT$'
}

run_tests() {
  # The first-call binding is the one place threads race; check it under
  # ThreadSanitizer first, then run everything in release and sanitizer builds.
  echo "== tsan build (dispatch) =="
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan --target math_dispatch_test math_first_call_race
  echo "== tsan tests (dispatch) =="
  ctest --preset tsan -R 'Binding\.|math_first_call_race'
  echo "== release build =="
  build release
  echo "== release tests =="
  ctest --preset release
  run_aarch64_tests
  echo "== asan build =="
  build asan
  echo "== asan tests =="
  ctest --preset asan
}

# The libFuzzer targets under the address and undefined-behaviour
# sanitizers; corpora and any crash inputs are kept under out/fuzz/.
run_fuzzers() {
  local seconds="${1:-60}"
  if ! command -v clang++-14 >/dev/null 2>&1; then
    echo "The fuzz targets need clang 14. Install it with:" >&2
    echo "  sudo apt-get install -y clang-14 libclang-rt-14-dev" >&2
    exit 1
  fi
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz --target fuzz_array_transforms fuzz_project_arrays fuzz_half \
    fuzz_pipeline
  local target status=0
  for target in array_transforms project_arrays half pipeline; do
    echo "== fuzz_$target ($seconds s) =="
    mkdir -p "out/fuzz/$target"
    (cd out/fuzz && "../../build/fuzz/bin/fuzz_$target" -max_total_time="$seconds" \
      -print_final_stats=1 "$target") || status=1
  done
  return "$status"
}

run_viewer() {
  local viewer=build/release/bin/kubik-cube
  if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
    "$viewer"
    return
  fi
  # No display: show the program working in a virtual one, with a drag and
  # Escape, and keep the screenshots.
  echo "No display reachable: running the viewer in a virtual X display."
  tests/e2e/drive_viewer.sh "$viewer" out
}

main() {
  local command="${1:-}"
  use_compiler_cache
  case "$command" in
    test)
      ensure_packages
      run_tests
      ;;
    run)
      ensure_packages
      build release
      run_viewer
      ;;
    fuzz)
      ensure_packages
      run_fuzzers "${2:-60}"
      ;;
    build)
      ensure_packages
      build "${2:-release}"
      ;;
    *)
      echo "usage: ./dev.sh run | test | build [preset] | fuzz [seconds]" >&2
      exit 2
      ;;
  esac
}

main "$@"
