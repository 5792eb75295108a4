#!/bin/bash
# The scale targets, run once:
#  - a synthetic list of 200 million lines (about 2.3 GB, 180 million
#    distinct words) built by quarvel_build with a 1 GiB budget, against
#    LC_ALL=C sort -u -S 1G of the same list, in the same run;
#  - quarvel_check against a dictionary of 100 million words, against the
#    default dictionary.
#
#   bench/scale_targets.sh BUILD_DIR WORK_DIR
#
# BUILD_DIR as for bench/scale_bench.sh. WORK_DIR needs about 10 GB, and is
# removed afterwards. Writes bench/results/targets.txt.
set -euo pipefail
build=$(realpath "$1")
work=$2
here=$(cd "$(dirname "$0")" && pwd)
bench=$build/bench/quarvel-scale-bench
corpus=$build/corpus.txt
out=$here/results/targets.txt
mkdir -p "$work"
work=$(realpath "$work")
trap 'rm -rf "$work"' EXIT
{
  echo "# $(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores; load: $(uptime)"
  echo "## build: 200,000,000 lines"
  "$bench" gen "$work/list.txt" 200000000 180000000 7
  echo "list_bytes $(stat -c %s "$work/list.txt")"
  /usr/bin/time -f "sort_seconds %e\nsort_peak_rss_kib %M" \
    env LC_ALL=C sort -u -S 1G -T "$work" -o "$work/sorted.txt" "$work/list.txt" 2>&1
  echo "sort_lines $(wc -l < "$work/sorted.txt")"
  rm -f "$work/sorted.txt"
  mkdir -p "$work/big"
  /usr/bin/time -f "build_wall_seconds %e\nbuild_process_peak_rss_kib %M" \
    "$bench" build "$work/big/dict" "$work/list.txt" 1024 2>&1
  ls -l "$work/big"
  rm -rf "$work/big" "$work/list.txt"
  echo "# load: $(uptime)"

  echo "## checks: 100,000,000 words"
  mkdir -p "$work/root/dicts"
  cp -r "$build/run/conf" "$work/root/"
  "$bench" gen "$work/list.txt" 100000000 100000000 11
  "$bench" build "$work/root/dicts/default_dict" "$work/list.txt" 1024
  rm -f "$work/list.txt"
  ls -l "$work/root/dicts"
  sleep 1  # files changed within the last 100 ms are served without their filter
  echo "### 100M-word dictionary"
  "$bench" check "$work/root" "$corpus" 5
  echo "### default dictionary"
  "$bench" check "$build/run" "$corpus" 5
  echo "# load: $(uptime)"
} 2>&1 | tee "$out"
