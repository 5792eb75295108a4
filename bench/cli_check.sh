#!/usr/bin/env bash
# `quarvel check` on a file of passwords against the engine's single-thread
# rate: the command with --jobs 1 should reach at least 80% of it.
#
# usage: bench/cli_check.sh BUILD_DIR [COUNT]
#   BUILD_DIR  a build with QUARVEL_BUILD_BENCH=ON, its quarvel command,
#              quarvel-engine-bench and the prepared folder run/ (make bench
#              builds one: build-bench)
#   COUNT      passwords in the corpus (default 1000000)
set -euo pipefail
build=${1:?usage: cli_check.sh BUILD_DIR [COUNT]}
count=${2:-1000000}
here=$(cd "$(dirname "$0")" && pwd)
root=$build/run
corpus=$build/cli_corpus_$count.txt

cmake --build "$build" --target quarvel-cli quarvel-engine-bench quarvel-run-folder >/dev/null
if [ ! -s "$corpus" ]; then
  python3 "$here/make_corpus.py" /usr/share/john/password.lst /usr/share/dict/american-english \
    "$count" >"$corpus"
fi

rate_of() {  # seconds -> passwords per second
  python3 -c "print(round($count / $1))"
}
seconds_of() {  # command... -> wall seconds
  local start end
  start=$(date +%s.%N)
  "$@" <"$corpus" >/dev/null || [ $? -eq 1 ]
  end=$(date +%s.%N)
  python3 -c "print($end - $start)"
}

engine=$("$build/bench/quarvel-engine-bench" "$root" "$corpus" 1 1 |
  awk '/^checks\/s, 1 thread / { print $4; exit }')
echo "engine, one thread:              $engine passwords/s"
for mode in "--jobs 1" "--jobs 2" "--json --jobs 1" "--json --jobs 2"; do
  # shellcheck disable=SC2086
  s=$(seconds_of "$build/src/cli/quarvel" check --root "$root" $mode)
  r=$(rate_of "$s")
  printf 'quarvel check %-16s %s passwords/s (%s%% of the engine)\n' "$mode:" "$r" \
    "$(python3 -c "print(round(100 * $r / $engine))")"
done
