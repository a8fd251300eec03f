#!/usr/bin/env bash
# Installs what is missing (Debian), then builds and tests the library in every
# configuration CI checks:
#   1. Release, warnings as errors: unit tests, exported-symbol check,
#      benchmarks and tool built;
#   2. an installed copy consumed by a plain-CMake project, and its Python
#      module imported from the install prefix;
#   3. a colcon workspace: colcon build, colcon test, and the package's entry
#      in the ament index;
#   4. AddressSanitizer + UndefinedBehaviorSanitizer, halting on error, with
#      the portable fallbacks of the compiler extensions;
#   5. ThreadSanitizer over the concurrency tests;
#   6. the libFuzzer targets, each for a bounded time on its seed corpus.
# Usage: scripts/run_tests.sh [build-root]   (default: ./build-ci)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build-ci}"
JOBS="$(nproc)"
FUZZ_SECONDS="${QUORVANE_FUZZ_SECONDS:-30}"

"$ROOT/scripts/install_deps.sh"

# Real maps for the tests that read them, when the workplace's folder is there.
MAPS_DIR=""
if [ -d "$ROOT/../shared/maps" ]; then
  MAPS_DIR="$(cd "$ROOT/../shared/maps" && pwd)"
fi

step() { printf '\n==== %s\n' "$*"; }

step "Release build (warnings are errors)"
cmake -S "$ROOT" -B "$BUILD/release" -DCMAKE_BUILD_TYPE=Release -DQUORVANE_WERROR=ON \
  -DQUORVANE_BUILD_BENCH=ON -DQUORVANE_BUILD_TOOLS=ON -DQUORVANE_TEST_MAPS_DIR="$MAPS_DIR"
cmake --build "$BUILD/release" -j "$JOBS"
ctest --test-dir "$BUILD/release" --output-on-failure -j "$JOBS"

step "The newcomer's commands: the sample's report alone on stdout, then the README's Python example"
# Command 1 on the release build tree: its stdout must be the JSON report alone.
QUORVANE_BUILD_DIR="$BUILD/release" bash "$ROOT/scripts/inspect_sample.sh" --compact \
  | /usr/bin/python3 -c "import json, sys; json.load(sys.stdin)"
echo "stdout of scripts/inspect_sample.sh parses as JSON"
/usr/bin/python3 "$ROOT/scripts/run_readme_python.py" "$BUILD/release"

step "Install and consume with find_package"
rm -rf "$BUILD/prefix" "$BUILD/consumer"
cmake --install "$BUILD/release" --prefix "$BUILD/prefix" >/dev/null
cmake -S "$ROOT/tests/consumer" -B "$BUILD/consumer" -DCMAKE_PREFIX_PATH="$BUILD/prefix" \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror"
cmake --build "$BUILD/consumer" -j "$JOBS"
LD_LIBRARY_PATH="$BUILD/prefix/lib:${LD_LIBRARY_PATH:-}" "$BUILD/consumer/consumer"
# The installed Python module loads from its package folder with the installed libraries.
PY_DIR="$(sed -n 's/^QUORVANE_PYTHON_INSTALL_DIR:STRING=//p' "$BUILD/release/CMakeCache.txt")"
PY_EXE="$(sed -n 's/^Python3_EXECUTABLE:FILEPATH=//p' "$BUILD/release/CMakeCache.txt")"
if [ -n "$PY_DIR" ] && [ -n "$PY_EXE" ]; then
  (cd / && PYTHONPATH="$BUILD/prefix/$PY_DIR" "$PY_EXE" -c \
    "import numpy, quorvane_nav2 as q; q.main_direction(numpy.zeros((8, 8), numpy.uint8))")
fi

step "colcon workspace: the README's lines, then the ament index"
# The source is linked into a fresh workspace and built exactly as the README
# says a ROS 2 developer would.
WS="$BUILD/colcon-ws"
rm -rf "$WS"
mkdir -p "$WS/src"
ln -s "$ROOT" "$WS/src/quorvane_nav2_algo_core"
(
  cd "$WS"
  export MAKEFLAGS="-j$JOBS" CTEST_PARALLEL_LEVEL="$JOBS"
  colcon build --packages-select quorvane_nav2_algo_core
  colcon test --packages-select quorvane_nav2_algo_core
  colcon test-result --verbose
)
INDEX="$WS/install/quorvane_nav2_algo_core/share/ament_index/resource_index/packages/quorvane_nav2_algo_core"
if [ ! -f "$INDEX" ]; then
  echo "the package did not register in the ament index: $INDEX is missing" >&2
  exit 1
fi
echo "registered in the ament index: $INDEX"

# This configuration also uses the portable fallbacks instead of the compiler
# extensions (QUORVANE_PORTABLE): both paths must give the same results.
step "AddressSanitizer + UndefinedBehaviorSanitizer, portable fallbacks"
cmake -S "$ROOT" -B "$BUILD/asan" -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_WERROR=ON -DQUORVANE_PORTABLE=ON \
  -DQUORVANE_SANITIZE="address;undefined" -DQUORVANE_BUILD_TOOLS=ON \
  -DQUORVANE_TEST_MAPS_DIR="$MAPS_DIR"
cmake --build "$BUILD/asan" -j "$JOBS"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir "$BUILD/asan" --output-on-failure -j "$JOBS"

if [ -f "$ROOT/tests/test_concurrency.cpp" ]; then
  step "ThreadSanitizer over the concurrency tests"
  cmake -S "$ROOT" -B "$BUILD/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_WERROR=ON \
    -DQUORVANE_SANITIZE=thread -DQUORVANE_BUILD_TOOLS=OFF
  cmake --build "$BUILD/tsan" -j "$JOBS" --target test_concurrency
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir "$BUILD/tsan" --output-on-failure -R '^Concurrency\.'
fi

if [ -f "$ROOT/fuzz/CMakeLists.txt" ]; then
  step "libFuzzer targets, ${FUZZ_SECONDS} s each"
  cmake -S "$ROOT" -B "$BUILD/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DQUORVANE_BUILD_FUZZ=ON -DQUORVANE_BUILD_TESTS=OFF \
    -DQUORVANE_BUILD_TOOLS=OFF -DQUORVANE_BUILD_PYTHON=OFF -DQUORVANE_FUZZ_SECONDS="$FUZZ_SECONDS"
  cmake --build "$BUILD/fuzz" -j "$JOBS"
  ctest --test-dir "$BUILD/fuzz" --output-on-failure -j "$JOBS"
fi

step "All configurations passed"
