#!/bin/bash
# Sweeps dictionary sizes across every internal limit and measures, for each,
# the build, the open, the first check after it, quarvel_check throughput,
# bytes read per check, RSS, and PWOpen + FindPW + PWClose per call.
#
#   bench/scale_bench.sh BUILD_DIR WORK_DIR [SIZES...]
#
# BUILD_DIR is a Release build with the benchmarks (make bench prepares
# build-bench: its run/ folder gives the settings, corpus.txt the passwords).
# WORK_DIR receives the generated lists and dictionaries, and is emptied
# afterwards. Results: bench/results/scale.csv and bench/results/scale.png.
#
# The limits: 4 MiB data file (decoded below it, mapped above), 2^22 words
# (one filter shard), 2^24 words (PWOpen's decoder refuses more), 256 MiB
# data file (about 22 million words here: PWOpen's decoder refuses larger).
set -euo pipefail
build=$(realpath "$1")
work=$2
shift 2
sizes=("$@")
if [ ${#sizes[@]} -eq 0 ]; then
  sizes=(100000 300000 1000000 4194303 4194305 16777215 16777216 16777217 30000000)
fi
here=$(cd "$(dirname "$0")" && pwd)
bench=$build/bench/quarvel-scale-bench
corpus=$build/corpus.txt
out=$here/results/scale.csv
mkdir -p "$work" "$here/results"
trap 'rm -rf "$work"' EXIT

echo "words,data_bytes,build_seconds,open_ms,first_check_ms,checks_per_s,rchar_per_check,read_bytes_per_check,rss_kib,pwopen_first_ms,pwopen_findpw_per_s,pwopen_rchar_per_call" > "$out"
for n in "${sizes[@]}"; do
  root=$work/root
  rm -rf "$root"
  mkdir -p "$root/dicts"
  cp -r "$build/run/conf" "$root/"
  "$bench" gen "$work/list.txt" "$n" "$n" 14 
  b=$("$bench" build "$root/dicts/default_dict" "$work/list.txt" 1024)
  rm -f "$work/list.txt"
  sleep 1  # files changed within the last 100 ms are served without their filter
  c=$("$bench" check "$root" "$corpus" 10)
  get() { echo "$b $c" | tr -s ' ' '\n' | paste - - | awk -v k="$1" '$1 == k { print $2 }'; }
  b=$(echo "$b" | tr '\n' ' '); c=$(echo "$c" | tr '\n' ' ')
  words=$(get words)
  data=$(stat -c %s "$root/dicts/default_dict.pwd")
  line="$words,$data,$(get build_seconds),$(get open_ms),$(get first_check_ms),$(get checks_per_s),$(get rchar_per_check),$(get read_bytes_per_check),$(get rss_kib),$(get pwopen_first_ms),$(get pwopen_findpw_per_s),$(get pwopen_rchar_per_call)"
  echo "$line" | tee -a "$out"
done
if ! /usr/bin/python3 -c 'import matplotlib' 2>/dev/null; then
  apt-get install -y -qq --no-install-recommends python3-matplotlib >/dev/null 2>&1 ||
    sudo apt-get install -y -qq --no-install-recommends python3-matplotlib >/dev/null 2>&1 || true
fi
/usr/bin/python3 "$here/plot_scale.py" "$out" "$here/results/scale.png" || echo "no plot: python3-matplotlib missing"
