#!/usr/bin/env bash
# Runs every unit-test program of the library under Valgrind's memcheck and
# fails unless each one reports zero errors and zero definitely lost bytes.
#
# Builds its own Debug configuration without sanitizers (Valgrind and the
# sanitizers' runtimes do not mix). Each test program runs once, whole, under
# memcheck (not once per test case, which would repeat Valgrind's start-up
# hundreds of times). Leaks other than "definitely lost" (OpenCV's and TBB's
# process-lifetime caches show up as still reachable or possibly lost) are
# not errors. Suppressions, if any are ever needed, live in
# scripts/valgrind.supp with the reason for each entry.
#
# Usage: scripts/valgrind_tests.sh [build-dir]       (default: ./build-valgrind)
# Environment: QUORVANE_VALGRIND_FILTER  a GoogleTest filter for every program
#              JOBS                      build parallelism (default 2)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build-valgrind}"
JOBS="${JOBS:-2}"
SUPPRESSIONS="$ROOT/scripts/valgrind.supp"
LOGS="$BUILD/valgrind"

command -v valgrind >/dev/null || {
  echo "valgrind is not installed (Debian: apt-get install valgrind)" >&2
  exit 2
}

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE= \
  -DQUORVANE_BUILD_TESTS=ON -DQUORVANE_BUILD_BENCH=OFF -DQUORVANE_BUILD_TOOLS=OFF
cmake --build "$BUILD" -j "$JOBS"

rm -rf "$LOGS"
mkdir -p "$LOGS"
export QUORVANE_TEST_MAPS_DIR="${QUORVANE_TEST_MAPS_DIR:-$ROOT/../shared/maps}"

valgrind_args=(--tool=memcheck --error-exitcode=99 --leak-check=full
  --show-leak-kinds=definite --errors-for-leak-kinds=definite --num-callers=40)
if [ -s "$SUPPRESSIONS" ]; then
  valgrind_args+=("--suppressions=$SUPPRESSIONS")
fi
gtest_args=(--gtest_brief=1)
if [ -n "${QUORVANE_VALGRIND_FILTER:-}" ]; then
  gtest_args+=("--gtest_filter=$QUORVANE_VALGRIND_FILTER")
fi

failed=0
printf '%-28s %8s %14s %s\n' program errors "definitely lost" result
for program in "$BUILD"/tests/test_*; do
  [ -f "$program" ] && [ -x "$program" ] || continue
  name="$(basename "$program")"
  log="$LOGS/$name.log"
  status=0
  valgrind "${valgrind_args[@]}" --log-file="$log" "$program" "${gtest_args[@]}" \
    >"$LOGS/$name.out" 2>&1 || status=$?
  errors="$(sed -n 's/.*ERROR SUMMARY: \([0-9,]*\) errors.*/\1/p' "$log" | tail -1)"
  lost="$(sed -n 's/.*definitely lost: \([0-9,]*\) bytes.*/\1/p' "$log" | tail -1)"
  result=ok
  if [ "$status" -ne 0 ]; then
    result="FAILED (exit $status; see $log and $LOGS/$name.out)"
    failed=1
  fi
  printf '%-28s %8s %14s %s\n' "$name" "${errors:-?}" "${lost:-0}" "$result"
done

if [ "$failed" -ne 0 ]; then
  echo "memcheck found errors or definite leaks" >&2
  exit 1
fi
echo "memcheck: every test program ran with 0 errors and 0 bytes definitely lost"
