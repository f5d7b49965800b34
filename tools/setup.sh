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
