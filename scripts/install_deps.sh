#!/usr/bin/env bash
# Installs the Debian packages the build, tests, benchmarks, tool and Python
# module need, when they are missing (chromium renders the tool's HTML page
# in its test). Does nothing on a machine that has them
# all. Everything it prints goes to stderr, so that a caller's stdout stays
# its own (the tool's JSON report, say).
exec 1>&2
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  libopencv-dev libopencv-contrib-dev
  rosidl-tools rosidl-generator-c-cpp python3-ament-index librosidl-runtime-c-cpp-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev libyaml-cpp-dev nlohmann-json3-dev
  clang libclang-rt-14-dev
  pybind11-dev python3-dev python3-numpy python3-pytest
  colcon python3-colcon-cmake python3-colcon-test-result python3-colcon-library-path ament-cmake
  python3-ament-package python3-catkin-pkg
  python3-colcon-recursive-crawl python3-colcon-ros python3-colcon-package-selection
  python3-colcon-package-information python3-colcon-parallel-executor python3-colcon-output
  python3-colcon-defaults python3-colcon-metadata python3-colcon-bash
  chromium
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi
if ! command -v apt-get >/dev/null; then
  echo "missing packages and no apt-get: ${missing[*]}" >&2
  exit 1
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
