#!/usr/bin/env bash
# Peer comparison: Quarvel against passwdqc (C library) and zxcvbn (Node), on
# the same corpus of passwords, one tool after the other on this machine.
#
#   bench/compare.sh            (from the repository root, no arguments)
#
# Installs what is missing (Debian packages with apt-get, through sudo when not
# root; zxcvbn from npm into build-bench/peers/, never globally), builds
# Quarvel in Release in build-bench/, writes a corpus of 20,000 passwords,
# builds the default dictionary of the work folder build-bench/work from
# Debian's English word list and John's common passwords, then measures each
# tool: trial runs find how many passes over the corpus make a run of at
# least TARGET_SECONDS, then three such runs, of which the median (by
# passwords/s) is kept. Prints one table and writes it to
# bench/results/compare.txt, with a bar chart in bench/results/compare.png.
#
# Environment: JOBS (build jobs, 2), TARGET_SECONDS (2), RUNS (3).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
BUILD=$ROOT/build-bench
RESULTS=$ROOT/bench/results
JOBS=${JOBS:-2}
TARGET_SECONDS=${TARGET_SECONDS:-2}
RUNS=${RUNS:-3}
COUNT=20000
WORDS=/usr/share/dict/american-english
COMMON=/usr/share/john/password.lst

source "$ROOT/bench/lib.sh"

# --- 1. What the comparison needs -------------------------------------------
install_missing() {
  install_packages cmake make g++ python3 wamerican john-data libpasswdqc-dev gnuplot-nox
  if [ ! -f "$BUILD/peers/node_modules/zxcvbn/package.json" ]; then
    say "installing zxcvbn@4 into $BUILD/peers"
    mkdir -p "$BUILD/peers"
    npm install --prefix "$BUILD/peers" --no-audit --no-fund --loglevel=error zxcvbn@4 >&2
  fi
}

# --- 2. Builds ---------------------------------------------------------------
# The console folder's quarvel-make-dict builds the dictionary when this tree
# has it; otherwise a few lines of C call the library's CreateDict directly.
have_make_dict_tool() { [ -f "$ROOT/src/console/make_default_dict.cc" ]; }

build_all() {
  local console=OFF targets=(quarvel-bench)
  if have_make_dict_tool; then
    console=ON
    targets+=(quarvel-make-dict)
  fi
  say "building Quarvel (Release) in $BUILD"
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release \
    -DQUARVEL_BUILD_BENCH=ON -DQUARVEL_BUILD_TESTS=OFF -DQUARVEL_BUILD_JNI=OFF \
    -DQUARVEL_BUILD_JAVA_TESTS=OFF -DQUARVEL_BUILD_EXAMPLES=OFF \
    -DQUARVEL_BUILD_CONSOLE=$console >/dev/null
  cmake --build "$BUILD" -j "$JOBS" --target "${targets[@]}" >/dev/null
  say "building the passwdqc driver"
  cc -O2 -std=c99 -Wall -Wextra -Werror -o "$BUILD/passwdqc-bench" \
    "$ROOT/bench/peers/passwdqc_bench.c" -lpasswdqc
}

# --- 3. Corpus ---------------------------------------------------------------
make_corpus() {
  say "writing $COUNT passwords to $BUILD/corpus.txt"
  python3 "$ROOT/bench/make_corpus.py" "$COMMON" "$WORDS" "$COUNT" >"$BUILD/corpus.txt"
  local lines
  lines=$(grep -c . "$BUILD/corpus.txt")
  [ "$lines" -eq "$COUNT" ] || { echo "corpus has $lines passwords, not $COUNT" >&2; exit 1; }
}

# --- 4. Quarvel's work folder ------------------------------------------------
make_work_folder() {
  local work=$BUILD/work
  say "preparing $work (default settings, dictionary from wamerican + password.lst)"
  rm -rf "$work"
  mkdir -p "$work/conf" "$work/dicts"
  printf '[QUARVEL_RULE]\n' >"$work/conf/quarvel.ini"
  if have_make_dict_tool; then
    (cd "$work" && "$BUILD/src/console/quarvel-make-dict" words.txt ./dicts/default_dict \
      "$WORDS" "$COMMON" >/dev/null)
  else
    LC_ALL=C awk '!/^#!comment:/' "$WORDS" "$COMMON" >"$work/words.txt"
    cat >"$BUILD/make_dict.c" <<'EOF'
/* Builds a dictionary with the library's CreateDict: make_dict WORDLIST PREFIX */
#include <stdio.h>
#include <string.h>
#include "quarvel/pwanalysis.h"
int main(int argc, char **argv) {
  if (argc != 3) return 2;
  const char *answer = CreateDict(argv[1], argv[2]);
  fflush(stdout);
  if (strcmp(answer, "RET_CD=0000") != 0) {
    fprintf(stderr, "CreateDict(%s, %s): %s\n", argv[1], argv[2], answer);
    return 1;
  }
  return 0;
}
EOF
    cc -O2 -std=c99 -Wall -Wextra -Werror -I "$ROOT/include" -o "$BUILD/make_dict" \
      "$BUILD/make_dict.c" -L "$BUILD" -lquarvel -Wl,-rpath,"$BUILD"
    (cd "$work" && "$BUILD/make_dict" words.txt ./dicts/default_dict >/dev/null)
  fi
  local ext
  for ext in pwd pwi hwm; do
    [ -s "$work/dicts/default_dict.$ext" ] || { echo "dictionary file default_dict.$ext missing" >&2; exit 1; }
  done
}

# --- 5. Measurements ---------------------------------------------------------
# field FILE KEY: the first word after KEY on the line that starts with KEY.
field() {
  awk -v key="$2" 'index($0, key) == 1 { split(substr($0, length(key) + 1), w, " "); print w[1]; exit }' "$1"
}

# rest FILE KEY: everything after KEY (and the blanks that follow it).
rest() {
  awk -v key="$2" 'index($0, key) == 1 { s = substr($0, length(key) + 1); sub(/^ +/, "", s); print s; exit }' "$1"
}

run_quarvel() { "$BUILD/bench/quarvel-bench" "$BUILD/work" "$BUILD/corpus.txt" "$1"; }
run_passwdqc() { "$BUILD/passwdqc-bench" "$BUILD/corpus.txt" "$1"; }
run_zxcvbn() { NODE_PATH="$BUILD/peers/node_modules" node "$ROOT/bench/peers/zxcvbn_bench.js" "$BUILD/corpus.txt" "$1"; }

# measure TOOL: calibrates the number of passes over the corpus until a run
# lasts at least TARGET_SECONDS (the first, single pass also gives the
# verdict counts), then makes RUNS timed runs; prints the path of the median
# run's report.
measure() {
  local tool=$1 dir=$BUILD/runs/$1 repeat=1 seconds i
  rm -rf "$dir"
  mkdir -p "$dir"
  "run_$tool" 1 >"$dir/pilot.txt"
  cp "$dir/pilot.txt" "$dir/calibration.txt"
  while :; do
    seconds=$(awk -v n="$(field "$dir/calibration.txt" verifications)" \
      -v pps="$(field "$dir/calibration.txt" "passwords/s")" 'BEGIN { print n / pps }')
    say "$tool: $repeat pass(es) over the corpus took $seconds s"
    if awk -v s="$seconds" -v t="$TARGET_SECONDS" 'BEGIN { exit !(s >= t) }'; then break; fi
    # Aim 10% past the target: a warm process runs faster than the first pass.
    repeat=$(awk -v r="$repeat" -v s="$seconds" -v t="$TARGET_SECONDS" \
      'BEGIN { x = r * 1.1 * t / s; x = (x == int(x)) ? x : int(x) + 1; print (x > r ? x : r + 1) }')
    "run_$tool" "$repeat" >"$dir/calibration.txt"
  done
  say "$tool: $RUNS runs of $repeat pass(es)"
  for ((i = 1; i <= RUNS; i++)); do
    "run_$tool" "$repeat" >"$dir/run$i.txt"
    say "  run $i: $(field "$dir/run$i.txt" "passwords/s") passwords/s"
  done
  echo "$repeat" >"$dir/repeat"
  for ((i = 1; i <= RUNS; i++)); do
    printf '%s %s\n' "$(field "$dir/run$i.txt" "passwords/s")" "$dir/run$i.txt"
  done | sort -n | awk -v m=$(((RUNS + 1) / 2)) 'NR == m { print $2 }'
}

# --- 6. Table and chart ------------------------------------------------------
# fmt_int N: N with thousands separators.
fmt_int() { awk -v n="$1" 'BEGIN { s = sprintf("%.0f", n); o = ""; while (length(s) > 3) { o = "," substr(s, length(s) - 2) o; s = substr(s, 1, length(s) - 3) } print s o }'; }
fmt_ratio() { awk -v q="$1" -v t="$2" 'BEGIN { r = q / t; printf(r >= 10 ? "%.0fx" : r >= 1 ? "%.1fx" : "%.2fx", r) }'; }
fmt_mib() { awk -v k="$1" 'BEGIN { printf("%.1f MiB", k / 1024) }'; }

main() {
  install_missing
  build_all
  make_corpus
  make_work_folder

  local quarvel_report passwdqc_report zxcvbn_report
  quarvel_report=$(measure quarvel)
  passwdqc_report=$(measure passwdqc)
  zxcvbn_report=$(measure zxcvbn)

  local passwdqc_version zxcvbn_version node_version cpu quarvel_pps
  passwdqc_version=$(dpkg-query -W -f='${Version}' libpasswdqc-dev 2>/dev/null || echo "?")
  zxcvbn_version=$(node -p "require('$BUILD/peers/node_modules/zxcvbn/package.json').version")
  node_version=$(node --version)
  cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
  quarvel_pps=$(field "$quarvel_report" "passwords/s")

  mkdir -p "$RESULTS"
  local table=$RESULTS/compare.txt data=$BUILD/compare.dat
  : >"$data"
  {
    echo "Corpus: $(fmt_int $COUNT) passwords (bench/make_corpus.py); median of $RUNS runs per tool, each"
    echo "run about ${TARGET_SECONDS} s or more; $(nproc) cores, ${cpu:-unknown CPU}; $(date -u +%Y-%m-%d)."
    echo
    echo "| Tool | Version | passwords/s | Quarvel ÷ tool | mean latency | p50 latency | p99 latency | peak RSS |"
    echo "|---|---|--:|--:|--:|--:|--:|--:|"
    local tool label version report pps
    for tool in quarvel passwdqc zxcvbn; do
      case $tool in
        quarvel) label=Quarvel; version="$(git -C "$ROOT" describe --always --dirty 2>/dev/null || echo "?")"; report=$quarvel_report ;;
        passwdqc) label=passwdqc; version="$passwdqc_version (C)"; report=$passwdqc_report ;;
        zxcvbn) label=zxcvbn; version="$zxcvbn_version (Node $node_version)"; report=$zxcvbn_report ;;
      esac
      pps=$(field "$report" "passwords/s")
      printf '| %s | %s | %s | %s | %s µs | %s µs | %s µs | %s |\n' "$label" "$version" "$(fmt_int "$pps")" \
        "$(fmt_ratio "$quarvel_pps" "$pps")" "$(awk -v p="$pps" 'BEGIN { printf("%.1f", 1e6 / p) }')" \
        "$(field "$report" "latency p50")" \
        "$(field "$report" "latency p99")" "$(fmt_mib "$(field "$report" "peak RSS")")"
      printf '"%s" %s "%s/s"\n' "$label" "$pps" "$(fmt_int "$pps")" >>"$data"
    done
    echo
    echo "Passes over the corpus per run: Quarvel $(cat "$BUILD/runs/quarvel/repeat"),"\
      "passwdqc $(cat "$BUILD/runs/passwdqc/repeat"), zxcvbn $(cat "$BUILD/runs/zxcvbn/repeat")."
    local pilots=$BUILD/runs
    echo "Verdicts on the corpus (one pass): Quarvel levels 1-4: $(rest "$pilots/quarvel/pilot.txt" "levels 1-4");"\
      "passwdqc accepted $(field "$pilots/passwdqc/pilot.txt" accepted), rejected $(field "$pilots/passwdqc/pilot.txt" rejected);"\
      "zxcvbn scores 0-4: $(rest "$pilots/zxcvbn/pilot.txt" "scores 0-4")."
  } >"$table"
  cat "$table"

  local term=png
  if gnuplot -e "set terminal pngcairo" >/dev/null 2>&1; then term=pngcairo; fi
  gnuplot -e "datafile='$data'; outfile='$RESULTS/compare.png'; term='$term';
              subtitle='$(fmt_int $COUNT) passwords, median of $RUNS runs, $(nproc) cores'" "$ROOT/bench/plot.gp"
  say "wrote $table and $RESULTS/compare.png"
}

main "$@"
