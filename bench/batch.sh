#!/usr/bin/env bash
# What a batch costs a file: N copies of the bundled samples measured with the
# first command by N separate `ufhost PART --answers FILE` runs in a loop, and
# by one `ufhost measure` at -j 1 and -j 2, in one run of this script so that
# the machine's load is the same for all three. Prints parts per second and
# how many times faster than the loop each batch is.
#
# Usage: bench/batch.sh [N] [UFHOST]
#   defaults: 40, build/release/ufhost
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-40}
ufhost=$(realpath "${2:-build/release/ufhost}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

samples=(samples/*.step)
mkdir -p "$work/parts"
for i in $(seq "$count"); do
  sample=${samples[$(((i - 1) % ${#samples[@]}))]}
  cp "$sample" "$work/parts/$(printf '%03d' "$i")-$(basename "$sample")"
done
printf 'menu 1\nselect all\ndialog ok\nmenu cancel\n' > "$work/answers.txt"

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { print b - a }'; }

start=$(seconds)
for part in "$work"/parts/*.step; do
  "$ufhost" "$part" --answers "$work/answers.txt" --syslog "$work/syslog.txt" > /dev/null
done
loop=$(elapsed "$start")

declare -A batch
for jobs in 1 2; do
  start=$(seconds)
  "$ufhost" measure -j "$jobs" --json "$work/rows-$jobs.json" "$work"/parts/*.step > /dev/null
  batch[$jobs]=$(elapsed "$start")
done
cmp -s "$work/rows-1.json" "$work/rows-2.json" || { echo "batch: -j 1 and -j 2 gave different rows" >&2; exit 1; }

row() { awk -v w="$1" -v t="$2" -v n="$count" -v l="$loop" 'BEGIN { printf "%-34s %8.2f s %10.1f %9.1fx\n", w, t, n / t, l / t }'; }
echo "$count copies of samples/*.step, command extents ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
printf '%-34s %10s %10s %10s\n' "way" "time" "parts/s" "vs loop"
row "$count separate runs in a loop" "$loop"
row "ufhost measure -j 1" "${batch[1]}"
row "ufhost measure -j 2" "${batch[2]}"
