#!/bin/sh
# Runs a libFuzzer binary for a fixed number of executions over a scratch copy of its seed corpus,
# so the checked-in corpus stays as it is. Exits non-zero when the fuzzer finds a crash; the
# crashing input is then left in the current directory (crash-*, as libFuzzer names it).
#   fuzz/run.sh <binary> <runs>
set -eu

if [ "$#" -ne 2 ]; then
  echo "usage: $0 <fuzz binary> <runs>" >&2
  exit 2
fi
binary=$1
runs=$2
name=$(basename "$binary")
seeds="$(cd "$(dirname "$0")" && pwd)/corpus/${name%_fuzz}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/corpus"
if [ -d "$seeds" ]; then
  cp -R "$seeds/." "$work/corpus/"
fi

status=0
"$binary" -runs="$runs" -print_final_stats=1 "$work/corpus" || status=$?
exit "$status"
