#!/usr/bin/env bash
# What one chunk of the recipes of docs/scale.md costs: a chunk of N copies
# of the sample assembly (13 bodies, 6 distinct parts), for each N given,
# measured by one `ufhost measure` and by one `ufhost cutlist` into a JSONL
# file, as the recipes' tasks do, at -j 1 and -j 2. Prints the best wall
# clock of R runs, the processor time of that run (user plus system,
# children included: it swells less than the clock when the machine is
# shared) and the clock per file.
#
# Usage: bench/scale_chunks.sh [SIZES] [R] [UFHOST]
#   defaults: "1 5 20", 3, build/release/ufhost
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=${1:-1 5 20}
repeats=${2:-3}
ufhost=$(realpath "${3:-build/release/ufhost}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

largest=0
for n in $sizes; do ((n > largest)) && largest=$n; done
for i in $(seq "$largest"); do cp samples/assembly.step "$work/$(printf '%04d' "$i")-assembly.step"; done

# Runs "$@" once in a fresh folder; prints "wall cpu" in seconds.
timed() {
  rm -rf "$work/run" && mkdir "$work/run"
  local TIMEFORMAT='%R %U %S' t
  t=$( { time (cd "$work/run" && "$@" > out.txt 2> err.txt) ; } 2>&1 ) ||
    { echo "scale_chunks: failed: $*" >&2; cat "$work/run/err.txt" >&2; exit 1; }
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' <<< "$t"
}

echo "chunks of copies of samples/assembly.step ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)), best of $repeats"
printf '%-8s %6s %3s %9s %9s %10s\n' command files -j wall cpu "wall/file"
for command in measure cutlist; do
  for n in $sizes; do
    ls "$work"/*.step | head -n "$n" > "$work/chunk"
    for jobs in 1 2; do
      best=""
      for _ in $(seq "$repeats"); do
        t=$(timed "$ufhost" "$command" -j "$jobs" --files-from "$work/chunk" --jsonl rows.jsonl)
        if [ -z "$best" ] || awk -v a="${t% *}" -v b="${best% *}" 'BEGIN { exit !(a < b) }'; then best=$t; fi
      done
      awk -v c="$command" -v n="$n" -v j="$jobs" -v w="${best% *}" -v p="${best#* }" \
        'BEGIN { printf "%-8s %6d %3d %8.2fs %8.2fs %9.3fs\n", c, n, j, w, p, w / n }'
    done
  done
done
