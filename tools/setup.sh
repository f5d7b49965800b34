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

# libcpp-httplib-dev: the HTTP server of the browser front end (its header
# and shared library; pkg-config gives the flags it was built with).
# dpkg-dev: dpkg-shlibdeps, with which the Debian package (cpack -G DEB) takes
# its dependencies from the libraries it links. parallel: GNU parallel, whose
# recipe in docs/scale.md the tests run. coinor-libclp-dev, coinor-libcbc-dev:
# the LP and MIP solvers of the cutting plans.
packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev
          nlohmann-json3-dev libocct-foundation-dev libocct-modeling-data-dev
          libocct-modeling-algorithms-dev libocct-data-exchange-dev libtbb-dev libcpp-httplib-dev
          dpkg-dev file parallel coinor-libclp-dev coinor-libcbc-dev)
install_missing "" "${packages[@]}"

# slurm-wlm and munge: the Slurm recipes of docs/scale.md, which the tests run
# on a one-node cluster of their own (tests/scale/slurm_cluster.sh). The
# recommended plug-ins (HDF5, IPMI, ROCm, ...) are left out: that cluster loads
# none of them.
install_missing --no-install-recommends slurm-wlm munge

# The kernel's CMake targets name the system libraries they link (fontconfig,
# X11, GL, ...), and Debian's kernel packages do not depend on the development
# files of all of them. Each one the linker cannot find is installed from the
# -dev package of its name, or of the longest leading part of its name that
# is a package (tbbmalloc comes with libtbb-dev).
kernel_link_names() {
  sed -n 's/.*INTERFACE_LINK_LIBRARIES "\(.*\)"/\1/p' /usr/lib/*/cmake/opencascade/*Targets.cmake |
    tr ';' '\n' | grep -v -E '^(TK|\$<|$)' | sed -E 's|^/.*/lib([^/]*)\.so$|\1|' | sort -u
}
links() { echo 'int main(void) { return 0; }' | cc -x c - -o /dev/null "-l$1" 2>/dev/null; }
package_of() {
  local name=${1,,}
  while [ ${#name} -ge 2 ]; do
    apt-cache show "lib$name-dev" >/dev/null 2>&1 && { echo "lib$name-dev"; return; }
    name=${name%?}
  done
}
unlinked=()
for lib in $(kernel_link_names); do links "$lib" || unlinked+=("$lib"); done
if ((${#unlinked[@]})); then
  $([ "$(id -u)" -eq 0 ] || echo sudo) apt-get update -qq
  needed=()
  for lib in "${unlinked[@]}"; do
    p=$(package_of "$lib")
    [ -n "$p" ] || { echo "setup: no package found for the library $lib that the kernel links" >&2; exit 1; }
    needed+=("$p")
  done
  install_missing "" "${needed[@]}"
fi
for lib in $(kernel_link_names); do
  links "$lib" || { echo "setup: the linker still cannot find -l$lib, which the kernel links" >&2; exit 1; }
done

# The --view page, the live page of --ui browser and their browser tests: headless Chromium from Debian, Node.js
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
# Both bundles come from one build: the --view page's and the live page's.
if [ ! -f "$web/dist/viewer.js" ] || [ ! -f "$web/dist/app.js" ] ||
   [ -n "$(find "$web/src" "$web/package.json" "$web/package-lock.json" -newer "$web/dist/app.js" 2>/dev/null)" ]; then
  (cd "$web" && npm run --silent build >/dev/null)
fi
