#!/usr/bin/env bash
# Detection of passwords made from Korean, German, French and Spanish words
# with the language dictionaries on, beside zxcvbn-ts with its language
# packages, and the cost of the languages.
#
#   bench/language_eval.sh [BUILD]      (from the repository root; BUILD: build-bench)
#
# Builds the bench tools, the command and the run folder in BUILD. Roots:
# BUILD/run-extended (the default dictionary, the extended profile on) and
# BUILD/run-languages (the same, and [QUARVEL_LANG] naming Korean with its
# romanised words, German, French and Spanish, built with
# `quarvel build --language`). Corpora: bench/make_language_corpora.py (the
# word groups and random strings of their lengths), the English corpora of
# bench/make_search_corpora.py, and the 20,000-password corpus of
# bench/make_corpus.py for the throughput (median of RUNS runs of 5 passes,
# both roots in the same run); zxcvbn-ts scores the first ZXCVBN_LINES
# lines of each group (0: none). Writes bench/results/languages.txt.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
source "$ROOT/bench/lib.sh"
BUILD=${1:-$ROOT/build-bench}
RUNS=${RUNS:-3}
ZXCVBN_LINES=${ZXCVBN_LINES:-400}
WORDS=/usr/share/dict/american-english
COMMON=/usr/share/john/password.lst
OUT=$ROOT/bench/results/languages.txt

cmake -S "$ROOT" -B "$BUILD" -DQUARVEL_BUILD_BENCH=ON -DQUARVEL_BUILD_JNI=OFF >/dev/null
cmake --build "$BUILD" -j "${JOBS:-2}" --target quarvel-search-bench quarvel-run-folder quarvel-cli >/dev/null

CORPORA=$BUILD/language-corpora
mkdir -p "$CORPORA"
python3 "$ROOT/bench/make_language_corpora.py" /usr/share/hunspell/ko.dic "$CORPORA"
python3 "$ROOT/bench/make_search_corpora.py" "$COMMON" "$WORDS" "$CORPORA"
python3 "$ROOT/bench/make_corpus.py" "$COMMON" "$WORDS" 20000 >"$CORPORA/corpus.txt"

for name in run-extended run-languages; do
  mkdir -p "$BUILD/$name/conf" "$BUILD/$name/dicts"
  for f in "$BUILD"/run/dicts/default_dict.*; do ln -sf "$f" "$BUILD/$name/dicts/"; done
done
sed 's/^quarvel_search.extended=.*/quarvel_search.extended=1/' "$BUILD/run/conf/quarvel.ini" \
  >"$BUILD/run-extended/conf/quarvel.ini"
sed -e 's/^lang.ko=.*/lang.ko=dicts\/ko/' -e 's/^lang.ko.romanised=.*/lang.ko.romanised=dicts\/ko_roman/' \
  -e 's/^lang.de=.*/lang.de=dicts\/de/' -e 's/^lang.fr=.*/lang.fr=dicts\/fr/' \
  -e 's/^lang.es=.*/lang.es=dicts\/es/' "$BUILD/run-extended/conf/quarvel.ini" \
  >"$BUILD/run-languages/conf/quarvel.ini"
for language in ko de fr es; do
  "$BUILD/src/cli/quarvel" build --root "$BUILD/run-languages" --language "$language" >/dev/null
done

BENCH=$BUILD/bench/quarvel-search-bench
groups=(ko-typed ko-hangul ko-roman de fr es)
summary() { awk '{ printf("%-20s %s %s %s\n", $1, $4, $6, $NF) }'; }

mkdir -p "$(dirname "$OUT")"
{
  echo "Corpora: bench/make_language_corpora.py and make_search_corpora.py (seeded); $(nproc) cores; $(date -u +%Y-%m-%d)."
  echo
  for profile in run-extended run-languages; do
    echo "## $profile: corpus, % level<=2, % level>=3, median guess estimate"
    for g in "${groups[@]}"; do
      "$BENCH" --repeat 1 "$BUILD/$profile" "$CORPORA/$g.txt" "$CORPORA/random-$g.txt" | summary
    done
    "$BENCH" --repeat 1 "$BUILD/$profile" "$CORPORA"/mangled-*.txt "$CORPORA/random12.txt" | summary
    echo
  done
  echo "## throughput on corpus.txt (median of $RUNS runs of 5 passes)"
  median_throughput "$BENCH" "$CORPORA/corpus.txt" "$RUNS" "$BUILD/run-extended" "$BUILD/run-languages"
  echo
  echo "## slowest single check (fastest of 20 tries each), languages on"
  "$BENCH" --repeat 20 "$BUILD/run-languages" "$CORPORA/ko-typed.txt" "$CORPORA/random-ko-typed.txt" |
    awk '{ for (i = 1; i <= NF; i++) if ($i == "worst") print $1, $(i + 1), $(i + 2), $(i + 3), $(i + 4) }'
  echo
  if command -v node >/dev/null && [ "$ZXCVBN_LINES" -gt 0 ]; then
    peers=$BUILD/peers
    if [ ! -f "$peers/node_modules/@zxcvbn-ts/language-es-es/package.json" ]; then
      npm install --prefix "$peers" --no-audit --no-fund --loglevel=error @zxcvbn-ts/core@4 \
        @zxcvbn-ts/language-common@4 @zxcvbn-ts/language-en@4 @zxcvbn-ts/language-de \
        @zxcvbn-ts/language-fr @zxcvbn-ts/language-es-es >&2
    fi
    echo "## zxcvbn-ts with language-common, en, de, fr, es-es, first $ZXCVBN_LINES lines: corpus, % score<=2, % score>=3"
    files=()
    for g in "${groups[@]}"; do files+=("$CORPORA/$g.txt" "$CORPORA/random-$g.txt"); done
    NODE_PATH="$peers/node_modules" node "$ROOT/bench/peers/zxcvbn_ts_languages.js" "$ZXCVBN_LINES" "${files[@]}"
    echo
  fi
} | tee "$OUT"
