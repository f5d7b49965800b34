#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix, and runs the
# installed ufhost from a folder outside the build and source trees: a run
# with --view, `measure` and --list, each finding the plug-in, the pages and
# the samples beside itself.
#   install_test.sh CMAKE BUILD_DIR SOURCE_DIR
set -euo pipefail
cmake=$1 build=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$work/first" > "$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }
mv "$work/first" "$work/moved"
prefix=$work/moved
ufhost=$prefix/bin/ufhost
mkdir "$work/elsewhere"
cd "$work/elsewhere"

# Everything it loads and reads is inside the moved prefix.
"$ufhost" --help > help.txt
grep -q "plug-in  $prefix/lib/zarvel/plugin/release/Zarvel_06.so" help.txt || { tail -3 help.txt; fail "plug-in not found in the prefix"; }
grep -q "pages    $prefix/share/zarvel/web\$" help.txt || { tail -3 help.txt; fail "pages not found in the prefix"; }
for binary in "$ufhost" "$prefix"/lib/zarvel/plugin/*/Zarvel_06.so; do
  ldd "$binary" > ldd.txt
  for lib in libufhost_core libufun libufui libwinplat; do
    if grep -q "$lib" ldd.txt; then
      grep "$lib" ldd.txt | grep -q "=> $prefix/" || { cat ldd.txt; fail "$binary takes $lib from outside the prefix"; }
    fi
  done
  grep -q "not found" ldd.txt && { cat ldd.txt; fail "$binary: a library is not found"; }
done
"$ufhost" --version | grep -q "^ufhost [0-9]" || fail "--version"
zcat "$prefix/share/man/man1/ufhost.1.gz" | grep -q '^\.TH UFHOST 1' || fail "manual page"

cp "$prefix/share/zarvel/samples/bracket.step" part.step
"$ufhost" part.step --answer "menu 1" --answer "select all" --answer "dialog ok" \
  --answer "menu cancel" --transcript run.jsonl --syslog syslog.txt --view part.html > run.out 2> run.err ||
  { cat run.err; fail "a run"; }
grep -q '"title":"Габариты детали"' run.jsonl || fail "the run showed no result"
grep -q "three" part.html || fail "the page has no viewer"
"$ufhost" measure --json rows.json --view-dir views part.step "$prefix"/share/zarvel/samples/*.step > measure.out 2> measure.err ||
  { cat measure.out measure.err; fail "measure"; }
samples=$(ls "$prefix"/share/zarvel/samples/*.step | wc -l)
grep -c '"ok": true' rows.json | grep -q "^$((samples + 1))\$" || { cat rows.json; fail "measure rows"; }
[ -f views/part.html ] || fail "measure --view-dir"
"$ufhost" --list part.step | grep -q "1 bodies\|1 body" || fail "--list"
# The cut list finds the shipped stock catalogue.
"$ufhost" cutlist --stock default --json cut.json "$prefix/share/zarvel/samples/assembly.step" > cut.out 2> cut.err ||
  { cat cut.out cut.err; fail "cutlist"; }
grep -q '"designation": "round 40"' cut.json || { cat cut.out; fail "cutlist stock"; }
# The debug configuration of the plug-in is there and loads.
"$ufhost" part.step --plugin "$prefix/lib/zarvel/plugin/debug/Zarvel_06.so" --answer "menu cancel" > /dev/null ||
  fail "the debug plug-in"
echo "installed, moved and run from $work/elsewhere"
