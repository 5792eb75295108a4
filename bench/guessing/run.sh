#!/usr/bin/env bash
# Guess estimates against a real attack: Quarvel's guesses_log10 and the
# zxcvbn peers' against the guess numbers that John the Ripper and a
# combinator attack give a test set of passwords.
#
#   bench/guessing/run.sh        (from anywhere; no arguments)
#
# Installs what is missing (Debian packages with apt-get, through sudo when
# not root; the peers from npm into build-bench/peers/, never globally),
# builds Quarvel in Release in build-bench/ (the quarvel command and its
# prepared folder build-bench/run) and the matcher and combinator with g++,
# runs the self-check, writes the test set, runs each attack through the
# matcher (niced, one after the other, no candidate stored), asks each tool
# for its estimates, and writes bench/results/guessing.txt and guessing.png.
# The work folder is build-bench/guessing/.
#
# Exit status: 0; 3 when this quarvel has no guess estimate (everything else
# is still measured and reported); other non-zero on failure.
#
# Environment: GUESS_LIMIT (candidates per attack, 1000000000), JOBS (build
# jobs, 2), ATTACKS (which attacks, "wordlist incremental digits combinator").
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/../.."
ROOT=$PWD
HERE=$ROOT/bench/guessing
BUILD=$ROOT/build-bench
WORK=$BUILD/guessing
RESULTS=$ROOT/bench/results
LIMIT=${GUESS_LIMIT:-1000000000}
JOBS=${JOBS:-2}
ATTACKS=${ATTACKS:-wordlist incremental digits combinator}
PY=/usr/bin/python3  # Debian's, which sees the python3-* packages

source "$ROOT/bench/lib.sh"

# --- 1. What the benchmark needs ----------------------------------------------
install_missing() {
  install_packages cmake make g++ python3 john john-data wamerican wamerican-huge wbritish-large \
    scowl python3-zxcvbn gnuplot-nox libcli11-dev nlohmann-json3-dev
  local peers=$BUILD/peers want=()
  [ "$(node -p "try { require('$peers/node_modules/zxcvbn/package.json').version } catch (e) { '' }")" = 4.4.2 ] ||
    want+=(zxcvbn@4.4.2)
  [ "$(node -p "try { require('$peers/node_modules/@zxcvbn-ts/core/package.json').version.split('.')[0] } catch (e) { '' }")" = 4 ] ||
    want+=(@zxcvbn-ts/core@4 @zxcvbn-ts/language-common@4 @zxcvbn-ts/language-en@4)
  if [ ${#want[@]} -gt 0 ]; then
    say "installing ${want[*]} into $peers"
    mkdir -p "$peers"
    npm install --prefix "$peers" --no-audit --no-fund --loglevel=error "${want[@]}" >&2
  fi
}

# --- 2. Builds -------------------------------------------------------------------
build_all() {
  say "building Quarvel (Release) in $BUILD: the quarvel command and its folder run/"
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release \
    -DQUARVEL_BUILD_BENCH=ON -DQUARVEL_BUILD_TESTS=OFF -DQUARVEL_BUILD_JNI=OFF \
    -DQUARVEL_BUILD_JAVA_TESTS=OFF -DQUARVEL_BUILD_EXAMPLES=OFF \
    -DQUARVEL_BUILD_CONSOLE=ON -DQUARVEL_BUILD_CLI=ON >/dev/null
  nice -n 10 cmake --build "$BUILD" -j "$JOBS" --target quarvel-cli quarvel-run-folder >/dev/null
  say "building the matcher and the combinator"
  mkdir -p "$WORK/bin"
  local tool
  for tool in matcher combinator; do
    g++ -O2 -std=c++20 -Wall -Wextra -Werror -o "$WORK/bin/guess-$tool" "$HERE/$tool.cc"
  done
}

self_check() {
  say "self-check: the matcher and the Spearman code against naive models"
  (cd "$HERE" && GUESS_MATCHER="$WORK/bin/guess-matcher" PYTHONDONTWRITEBYTECODE=1 \
    "$PY" -m unittest -q test_guessing)
}

# --- 3. Test set and the attacker's lists ----------------------------------------
make_inputs() {
  say "writing the test set and the attacker's word lists"
  "$PY" "$HERE/make_testset.py" "$WORK/testset.tsv"
  cut -f2 "$WORK/testset.tsv" >"$WORK/testset.txt"
  "$PY" "$HERE/attack_lists.py" "$WORK/attacker.lst" "$WORK/common-words.txt"
  say "test set: $(wc -l <"$WORK/testset.txt") passwords; attacker's wordlist:" \
    "$(wc -l <"$WORK/attacker.lst") words; common words: $(wc -l <"$WORK/common-words.txt")"
}

# --- 4. Attacks --------------------------------------------------------------------
# attack_command NAME: the attack's candidate generator as the table shows it.
attack_command() {
  case $1 in
    wordlist) echo "john --wordlist=attacker.lst --rules --stdout" ;;
    incremental) echo "john --incremental --stdout" ;;
    digits) echo "john --incremental=Digits --stdout" ;;
    combinator) echo "bench/guessing/combinator common-words.txt" ;;
    *) echo "unknown attack $1" >&2; return 1 ;;
  esac
}

# generate NAME: runs the attack's candidate generator, niced, in place of
# the shell that calls it. John's session files (NAME.rec, NAME.log) go to
# the work folder and are deleted after the attack (John still makes an
# empty ~/.john of the user's home). Its "press a key" prompt reads no
# terminal: </dev/null.
generate() {
  local session=--session=$WORK/john/$1
  case $1 in
    wordlist) exec nice -n 10 john --wordlist="$WORK/attacker.lst" --rules --stdout "$session" ;;
    incremental) exec nice -n 10 john --incremental --stdout "$session" ;;
    digits) exec nice -n 10 john --incremental=Digits --stdout "$session" ;;
    combinator) exec nice -n 10 "$WORK/bin/guess-combinator" "$WORK/common-words.txt" ;;
  esac
}

# run_attack NAME: the attack's candidates through a pipe into the matcher,
# which stops it after LIMIT; writes attacks/NAME.pos and attacks/NAME.meta.
run_attack() {
  local name=$1 command dir=$WORK/attacks
  command=$(attack_command "$name")
  mkdir -p "$dir" "$WORK/john"
  rm -f "$dir/$name".*
  say "attack $name: $command (up to $LIMIT candidates)"
  local start end statuses
  start=$(date +%s.%N)
  set +e +o pipefail
  (cd "$WORK" && generate "$name" </dev/null 2>"$dir/$name.log") |
    nice -n 10 "$WORK/bin/guess-matcher" "$WORK/testset.txt" "$LIMIT" "$dir/$name.pos" \
      2>"$dir/$name.summary"
  statuses=("${PIPESTATUS[@]}")
  set -e -o pipefail
  end=$(date +%s.%N)
  rm -f "$WORK/john/$name".*
  # The attack ends when the matcher closes the pipe: John then dies of
  # SIGPIPE (141); the combinator stops quietly.
  if [ "${statuses[1]}" -ne 0 ] || { [ "${statuses[0]}" -ne 0 ] && [ "${statuses[0]}" -ne 141 ]; }; then
    echo "attack $name failed (generator status ${statuses[0]}, matcher ${statuses[1]})" >&2
    cat "$dir/$name.summary" "$dir/$name.log" >&2 || true
    return 1
  fi
  local candidates found cpu
  read -r _ candidates _ found _ _ _ cpu < <(tail -n 1 "$dir/$name.summary")
  {
    echo "command=$command"
    echo "candidates=$candidates"
    echo "found=$found"
    echo "seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf("%.1f", e - s) }')"
    echo "cpu=$cpu"
    echo "exhausted=$([ "$candidates" -lt "$LIMIT" ] && echo 1 || echo 0)"
  } >"$dir/$name.meta"
  say "  $candidates candidates, $found found, $(grep ^seconds= "$dir/$name.meta" | cut -d= -f2) s"
}

# --- 5. Estimates ---------------------------------------------------------------------
estimate() {
  local tool=$1 dir=$WORK/estimates
  mkdir -p "$dir"
  rm -f "$dir/$tool".*
  say "estimates of $tool"
  case $tool in
    quarvel)
      local status=0
      "$PY" "$HERE/quarvel_estimates.py" "$BUILD/src/cli/quarvel" "$BUILD/run" \
        "$WORK/testset.txt" "$dir/$tool.txt" 2>"$dir/$tool.err" || status=$?
      if [ "$status" -ne 0 ]; then
        cat "$dir/$tool.err" >&2
        if [ "$status" -eq 3 ]; then
          echo "this quarvel has no guess estimate" >"$dir/$tool.failed"
          return 0
        fi
        return 1
      fi
      echo "$(git -C "$ROOT" describe --always --dirty 2>/dev/null || echo "?") (quarvel check --json)" \
        >"$dir/$tool.version"
      ;;
    zxcvbn | zxcvbn-ts)
      NODE_PATH="$BUILD/peers/node_modules" nice -n 10 node "$HERE/estimate.js" "$tool" \
        "$WORK/testset.txt" >"$dir/$tool.txt" 2>"$dir/$tool.version"
      echo "$(cat "$dir/$tool.version"), Node $(node --version)" >"$dir/$tool.version"
      ;;
  esac
}

main() {
  install_missing
  build_all
  self_check
  make_inputs
  rm -rf "$WORK/attacks"
  local name
  for name in $ATTACKS; do run_attack "$name"; done
  rm -rf "$WORK/john"
  for name in quarvel zxcvbn zxcvbn-ts; do estimate "$name"; done
  say "report"
  local status=0
  "$PY" "$HERE/report.py" "$WORK" "$RESULTS" "$LIMIT" || status=$?
  say "wrote $RESULTS/guessing.txt and $RESULTS/guessing.png"
  if [ "$status" -eq 3 ]; then
    echo "bench/guessing: this quarvel has no guess estimate (the Quarvel row is empty)" >&2
  fi
  return "$status"
}

main "$@"
