#!/usr/bin/env bash
# The cut list of a generated assembly of 200 instances of 10 distinct parts
# against `ufhost measure --command search` of the same 10 parts given as
# separate files, both at -j 1, in one run: each distinct part is measured
# once, so the cut list should take at most 1.5 times the batch (it measures
# each part both as modelled and turned, and reads the assembly once).
#
# Usage: bench/cutlist.sh [BUILD]   (default: build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/make_samples" --bench "$work" > /dev/null
now() { date +%s.%N; }
t0=$(now)
"$build/ufhost" cutlist -j 1 --stock default --json "$work/cut.json" "$work/assembly200.step" > "$work/cut.txt"
t1=$(now)
"$build/ufhost" measure --command search -j 1 "$work"/part-*.step > "$work/measure.txt"
t2=$(now)
parts=$(head -n 1 "$work/cut.txt")
awk -v t0="$t0" -v t1="$t1" -v t2="$t2" -v parts="$parts" 'BEGIN {
  cut = t1 - t0; measure = t2 - t1
  printf "%-52s %9s\n", "run (-j 1)", "seconds"
  printf "%-52s %9.2f\n", "ufhost cutlist, 200 instances of 10 parts", cut
  printf "%-52s %9.2f\n", "ufhost measure --command search, the 10 parts", measure
  printf "%-52s %9.2f  (target: at most 1.5)\n", "ratio", cut / measure
  print parts
}'
