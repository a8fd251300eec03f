#!/usr/bin/env bash
# The main job in one command: installs what is missing (Debian), builds the
# library, quorvane_map_inspect and the Python module (Release) into build/,
# runs the tool on its built-in sample floor plan, prints the JSON report and
# says where the annotated picture is. Only the report goes to stdout
# (`... | python3 -m json.tool` works); everything else goes to stderr.
# Usage: scripts/inspect_sample.sh [tool options, e.g. --sample-angle 30 --cell-size-m 1]
# Environment: QUORVANE_BUILD_DIR overrides the build folder (default ./build).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QUORVANE_BUILD_DIR:-$ROOT/build}"
PICTURE="$BUILD/inspect.png"

"$ROOT/scripts/install_deps.sh"

echo "==== building quorvane_map_inspect and the Python module in $BUILD" >&2
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TOOLS=ON >&2
TARGETS=(quorvane_map_inspect)
if grep -q '^QUORVANE_BUILD_PYTHON:BOOL=ON' "$BUILD/CMakeCache.txt"; then
  TARGETS+=(quorvane_nav2)
fi
cmake --build "$BUILD" --target "${TARGETS[@]}" -j "$(nproc)" >&2

echo "==== inspecting the built-in sample floor plan" >&2
"$BUILD/bin/quorvane_map_inspect" --out "$PICTURE" --save-map "$BUILD/sample_map.yaml" "$@"

echo "==== annotated picture: $PICTURE; the sample as a map_server map: $BUILD/sample_map.yaml" >&2
echo "     (run $BUILD/bin/quorvane_map_inspect --help for every option," >&2
echo "      or give it a map: $BUILD/bin/quorvane_map_inspect path/to/map.yaml;" >&2
echo "      Python: PYTHONPATH=$BUILD/python /usr/bin/python3 -c 'import quorvane_nav2')" >&2
