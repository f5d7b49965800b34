#!/usr/bin/env bash
# Sets up, builds and runs every test: once as CI builds it (warnings are
# errors), once more with AddressSanitizer and UndefinedBehaviorSanitizer,
# which find the memory errors and undefined behaviour that a plain run passes.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
for preset in ci sanitize; do
  echo "== $preset build and tests"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
