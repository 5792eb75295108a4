#!/usr/bin/env bash
# Detection and cost of the extended search profile, beside zxcvbn's
# detection on the same corpora.
#
#   bench/search_eval.sh [BUILD]      (from the repository root; BUILD: build-bench)
#
# Builds quarvel-search-bench and the run folder (default dictionary from
# Debian's English word list and John's common passwords) in BUILD, writes
# the corpora of bench/make_search_corpora.py and bench/make_corpus.py, and
# a second run folder BUILD/run-extended whose configuration switches the
# profile on. Then, with the profile off and on: the share of each corpus
# rated level 2 or lower and 3 or higher, the passwords checked per second
# on the 20,000-password benchmark corpus (median of RUNS runs), and the
# slowest single check. zxcvbn (from npm, installed into BUILD/peers as
# compare.sh does) scores the same corpora when node is present. Writes
# bench/results/search.txt.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
source "$ROOT/bench/lib.sh"
BUILD=${1:-$ROOT/build-bench}
RUNS=${RUNS:-3}
WORDS=/usr/share/dict/american-english
COMMON=/usr/share/john/password.lst
OUT=$ROOT/bench/results/search.txt

cmake -S "$ROOT" -B "$BUILD" -DQUARVEL_BUILD_BENCH=ON -DQUARVEL_BUILD_JNI=OFF >/dev/null
cmake --build "$BUILD" -j "${JOBS:-2}" --target quarvel-search-bench quarvel-run-folder >/dev/null

CORPORA=$BUILD/search-corpora
python3 "$ROOT/bench/make_search_corpora.py" "$COMMON" "$WORDS" "$CORPORA"
python3 "$ROOT/bench/make_corpus.py" "$COMMON" "$WORDS" 20000 >"$CORPORA/corpus.txt"
mkdir -p "$BUILD/run-extended/conf"
ln -sfn ../run/dicts "$BUILD/run-extended/dicts"
sed 's/^quarvel_search.extended=.*/quarvel_search.extended=1/' "$BUILD/run/conf/quarvel.ini" \
  >"$BUILD/run-extended/conf/quarvel.ini"
grep -q '^quarvel_search.extended=1' "$BUILD/run-extended/conf/quarvel.ini"

BENCH=$BUILD/bench/quarvel-search-bench
files=("$CORPORA"/mangled-*.txt "$CORPORA/random12.txt")

# share FILE LINE_PREFIX: "level<=2 / level>=3" of a bench line.
summary() { awk '{ printf("%-20s %s %s\n", $1, $4, $6) }'; }

mkdir -p "$(dirname "$OUT")"
{
  echo "Corpora: bench/make_search_corpora.py (seeded); $(nproc) cores; $(date -u +%Y-%m-%d)."
  echo
  for profile in run run-extended; do
    echo "## $profile: corpus, % level<=2, % level>=3"
    "$BENCH" --repeat 1 "$BUILD/$profile" "${files[@]}" | summary
    echo
  done
  if command -v node >/dev/null; then
    if [ ! -f "$BUILD/peers/node_modules/zxcvbn/package.json" ]; then
      npm install --prefix "$BUILD/peers" --no-audit --no-fund --loglevel=error zxcvbn@4 >&2
    fi
    echo "## zxcvbn: corpus, % score<=2, % score>=3"
    for f in "${files[@]}"; do
      NODE_PATH="$BUILD/peers/node_modules" node "$ROOT/bench/peers/zxcvbn_bench.js" "$f" |
        awk -v name="$(basename "$f")" '/^scores 0-4/ { n = $3 + $4 + $5 + $6 + $7;
          printf("%-20s %6.2f%% %6.2f%%\n", name, 100 * ($3 + $4 + $5) / n, 100 * ($6 + $7) / n) }'
    done
    echo
  fi
  echo "## throughput on corpus.txt (median of $RUNS runs of 5 passes) and slowest check"
  median_throughput "$BENCH" "$CORPORA/corpus.txt" "$RUNS" "$BUILD/run" "$BUILD/run-extended"
  echo
  echo "## slowest single check (fastest of 20 tries each), profile on"
  "$BENCH" --repeat 20 "$BUILD/run-extended" "$CORPORA/worst.txt" "$CORPORA/corpus.txt" |
    awk '{ for (i = 1; i <= NF; i++) if ($i == "worst") print $1, $(i + 1), $(i + 2), $(i + 3), $(i + 4) }'
} | tee "$OUT"
