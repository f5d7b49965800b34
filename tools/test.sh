#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset ci >/dev/null
cmake --build --preset ci
ctest --preset ci
