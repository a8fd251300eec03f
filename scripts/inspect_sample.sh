#!/usr/bin/env bash
# The main job in one command: installs what is missing (Debian), builds the
# library and quorvane_map_inspect (Release) into build/, runs the tool on its
# built-in sample floor plan, prints the JSON report and says where the
# annotated picture is.
# Usage: scripts/inspect_sample.sh [tool options, e.g. --sample-angle 30 --cell-size-m 1]
# Environment: QUORVANE_BUILD_DIR overrides the build folder (default ./build).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QUORVANE_BUILD_DIR:-$ROOT/build}"
PICTURE="$BUILD/inspect.png"

"$ROOT/scripts/install_deps.sh"

echo "==== building quorvane_map_inspect in $BUILD" >&2
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TOOLS=ON >/dev/null
cmake --build "$BUILD" --target quorvane_map_inspect -j "$(nproc)" >/dev/null

echo "==== inspecting the built-in sample floor plan" >&2
"$BUILD/bin/quorvane_map_inspect" --out "$PICTURE" "$@"

echo "==== annotated picture: $PICTURE" >&2
echo "     (run $BUILD/bin/quorvane_map_inspect --help for every option," >&2
echo "      or give it a map: $BUILD/bin/quorvane_map_inspect path/to/map.yaml)" >&2
