#!/usr/bin/env bash
# Sets up, builds the host and the plug-in, and opens the bundled sample part
# in ufhost with the plug-in's menu. Extra arguments go to ufhost.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
echo "Building ufhost and the plug-in (the first time takes a few minutes)..." >&2
cmake --preset release >/dev/null
cmake --build --preset release --target ufhost >/dev/null
exec build/release/ufhost samples/bracket.step "$@"
