#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, as root. Safe to run
# again: it installs only what is missing.
set -euo pipefail
packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev
          nlohmann-json3-dev libocct-foundation-dev libocct-modeling-data-dev
          libocct-modeling-algorithms-dev libocct-data-exchange-dev libtbb-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The --view page and its browser tests: headless Chromium from Debian, Node.js
# only where none is installed (a newer one may be), and the page's npm
# packages, bundled into web/dist/viewer.js. Each step runs only when needed.
browser=(chromium fonts-liberation)
command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || browser+=(nodejs npm)
missing=()
for p in "${browser[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi
web="$(cd "$(dirname "$0")/../web" && pwd)"
if [ ! -f "$web/node_modules/.package-lock.json" ] ||
   [ "$web/package-lock.json" -nt "$web/node_modules/.package-lock.json" ]; then
  (cd "$web" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
if [ ! -f "$web/dist/viewer.js" ] || [ -n "$(find "$web/src" "$web/package-lock.json" -newer "$web/dist/viewer.js" 2>/dev/null)" ]; then
  (cd "$web" && npm run --silent build >/dev/null)
fi
