#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, as root. Safe to run
# again: it installs only what is missing.
set -euo pipefail

# Installs those of the Debian packages named after the first argument that
# are not installed yet. The first argument goes to apt-get install as it is:
# "" or options such as --no-install-recommends.
install_missing() {
  local options=$1 p
  shift
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  # $options unquoted: no word at all when it is empty.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $options "${missing[@]}" >/dev/null
}

packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev
          nlohmann-json3-dev libocct-foundation-dev libocct-modeling-data-dev
          libocct-modeling-algorithms-dev libocct-data-exchange-dev libtbb-dev)
install_missing "" "${packages[@]}"

# The --view page and its browser tests: headless Chromium from Debian, Node.js
# only where none is installed (a newer one may be), and the page's npm
# packages, bundled into web/dist/viewer.js. Each step runs only when needed.
browser=(chromium fonts-liberation)
command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || browser+=(nodejs npm)
install_missing --no-install-recommends "${browser[@]}"
web="$(cd "$(dirname "$0")/../web" && pwd)"
if [ ! -f "$web/node_modules/.package-lock.json" ] ||
   [ "$web/package-lock.json" -nt "$web/node_modules/.package-lock.json" ]; then
  (cd "$web" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
if [ ! -f "$web/dist/viewer.js" ] || [ -n "$(find "$web/src" "$web/package-lock.json" -newer "$web/dist/viewer.js" 2>/dev/null)" ]; then
  (cd "$web" && npm run --silent build >/dev/null)
fi
