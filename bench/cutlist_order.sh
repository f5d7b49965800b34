#!/usr/bin/env bash
# A production order against the same files counted once: the cut list of
# 200 copies of the sample assembly, each ordered 10 times, and of the same
# 200 files once each, both at -j 2. An order multiplies counts; it reads
# and measures no more, so the ratio of the two should stay near 1.
#
# Usage: bench/cutlist_order.sh [BUILD] [COPIES]   (default: build/release 200)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
copies=${2:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for i in $(seq -w 1 "$copies"); do cp samples/assembly.step "$work/assembly-$i.step"; done
ls "$work"/assembly-*.step > "$work/once.txt"
sed 's/$/:10/' "$work/once.txt" > "$work/ordered.txt"
now() { date +%s.%N; }
run() {  # run LIST OUT: seconds, and the parts measured (folders of --out-dir)
  local t0 t1
  rm -rf "$work/runs"
  t0=$(now)
  "$build/ufhost" cutlist -j 2 --stock default --out-dir "$work/runs" --files-from "$1" > "$2"
  t1=$(now)
  echo "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }') $(find "$work/runs" -mindepth 1 -maxdepth 1 -type d | wc -l)"
}
read -r once once_parts < <(run "$work/once.txt" "$work/once.out")
read -r ordered ordered_parts < <(run "$work/ordered.txt" "$work/ordered.out")
pieces_once=$(head -n 1 "$work/once.out" | sed -n 's/.* in \([0-9]*\) pieces.*/\1/p')
pieces_ordered=$(head -n 1 "$work/ordered.out" | sed -n 's/.* in \([0-9]*\) pieces.*/\1/p')
printf "%-44s %9s %7s %9s\n" "cut list (-j 2)" "seconds" "parts" "pieces"
printf "%-44s %9s %7s %9s\n" "$copies files, once each" "$once" "$once_parts" "$pieces_once"
printf "%-44s %9s %7s %9s\n" "$copies files, 10 of each" "$ordered" "$ordered_parts" "$pieces_ordered"
awk -v a="$ordered" -v b="$once" 'BEGIN { printf "%-44s %9.2f  (the order adds no measuring time: near 1)\n", "ratio", a / b }'
