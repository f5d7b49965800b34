#!/usr/bin/env bash
# The time from the click on OK in the selection to the box drawn in the page
# of `ufhost --ui browser`, for the first two commands on one body, as headless
# Chromium shows it (tests/browser/drive_app.mjs, scenario "timing"). Prints
# one row per command: the fastest, the median and the slowest of N runs.
#
# Usage: bench/ok_to_box.sh [PART] [N] [UFHOST]
#   defaults: samples/bracket.step, 5, build/release/ufhost
set -euo pipefail
cd "$(dirname "$0")/.."
part=${1:-samples/bracket.step}
runs=${2:-5}
ufhost=${3:-build/release/ufhost}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for i in $(seq "$runs"); do
  mkdir -p "$work/$i"
  node tests/browser/drive_app.mjs timing "$ufhost" "$part" "$work/$i" > "$work/$i.json" ||
    { echo "run $i failed: $(cat "$work/$i.json")" >&2; exit 1; }
done
node -e '
const fs = require("fs");
const [work, runs, part] = process.argv.slice(1);
const times = {};
for (let i = 1; i <= Number(runs); ++i)
  for (const [command, ms] of Object.entries(JSON.parse(fs.readFileSync(`${work}/${i}.json`)).ok_to_box_ms))
    (times[command] ||= []).push(ms);
console.log(`OK to box on ${part}, ${runs} runs (ms)`);
console.log("command   fastest   median  slowest");
for (const [command, list] of Object.entries(times)) {
  list.sort((a, b) => a - b);
  const f = (v) => v.toFixed(0).padStart(8);
  console.log(`${command.padEnd(8)}${f(list[0])} ${f(list[list.length >> 1])} ${f(list[list.length - 1])}`);
}' "$work" "$runs" "$part"
