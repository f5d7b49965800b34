#!/usr/bin/env bash
# Builds the Debian package from the install rules and checks what it holds
# and what it depends on (derived from the libraries it links).
#   package_test.sh CPACK BUILD_DIR
set -euo pipefail
cpack=$1 build=$2
fail() { echo "FAILED: $*" >&2; exit 1; }
cd "$build"
rm -f zarvel_*.deb
"$cpack" -G DEB > cpack.log 2>&1 || { cat cpack.log; fail "cpack -G DEB"; }
deb=$(ls zarvel_*.deb)
dpkg-deb -c "$deb" > contents.txt
for file in ./usr/bin/ufhost ./usr/lib/zarvel/libufhost_core.so ./usr/lib/zarvel/plugin/release/Zarvel_06.so \
            ./usr/lib/zarvel/plugin/debug/Zarvel_06.so ./usr/share/zarvel/web/dist/viewer.js \
            ./usr/share/zarvel/web/app.html ./usr/share/zarvel/samples/bracket.step \
            ./usr/share/man/man1/ufhost.1.gz ./usr/share/doc/zarvel/README.md \
            ./usr/share/doc/zarvel/LICENSE ./usr/share/doc/zarvel/copyright; do
  grep -q " $file\$" contents.txt || fail "$deb lacks $file"
done
# The terms the package comes under: the project's own and what it links.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/zarvel/copyright > copyright.txt
for says in "License: Expat" "LGPL-2.1 with Open CASCADE exception" "EPL-1.0"; do
  grep -q "$says" copyright.txt || fail "the package's copyright file does not say $says"
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in libocct-foundation libocct-data-exchange libcpp-httplib coinor-libclp coinor-libcbc libstdc++6; do
  [[ $depends == *"$package"* ]] || fail "$deb does not depend on $package: $depends"
done
echo "$deb: $(wc -l < contents.txt) entries; Depends: $depends"
