#!/usr/bin/env bash
# Sets up, builds, and opens the bundled sample part in ufhost with the
# plug-in's menu. Extra arguments go to ufhost.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
exec build/release/ufhost samples/bracket.step "$@"
