#!/usr/bin/env bash
# Runs every fuzz target with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer:
#
#   fuzz/run.sh [SECONDS] [TARGET...]
#
# SECONDS (default 60) is each target's run time; TARGET names a subset of
# config, dictionary, rules, wordlist, password, hashed, rank, filter, mapped,
# pam_options, cli_json (default: all, one after the other). Installs clang and its runtime libraries when they are missing,
# builds the targets in build-fuzz (or $QUARVEL_FUZZ_BUILD), and runs each
# from a copy of its seed corpus fuzz/corpus/<target>/ in
# build-fuzz/corpus/<target>/, which keeps what the runs find: nothing is
# written into the repository. Prints, per target, the run time, the number
# of executions and the reproducer of any crash, leak or hang; the exit
# status is non-zero when any target found one.
set -euo pipefail

seconds=${1:-60}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUARVEL_FUZZ_BUILD:-$root/build-fuzz}
jobs=${JOBS:-2}
if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=(config dictionary rules wordlist password hashed rank filter mapped pam_options cli_json)
fi
case "$seconds" in
  '' | *[!0-9]*) echo "run.sh: SECONDS must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac

# --- Tools --------------------------------------------------------------------
# clang-14 compiles; libclang-rt-14-dev holds the libFuzzer and sanitizer
# runtimes; the cli_json target reads JSON back with nlohmann-json.
packages=(clang-14 libclang-rt-14-dev cmake make nlohmann-json3-dev)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
cc=$(command -v clang-14 || command -v clang)
cxx=$(command -v clang++-14 || command -v clang++)

# --- Build --------------------------------------------------------------------
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DQUARVEL_SANITIZE=ON -DQUARVEL_BUILD_FUZZERS=ON \
  -DQUARVEL_BUILD_TESTS=OFF -DQUARVEL_BUILD_EXAMPLES=OFF -DQUARVEL_BUILD_CONSOLE=OFF \
  -DQUARVEL_BUILD_JNI=OFF -DQUARVEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]/%/_fuzzer}"

# --- Runs ---------------------------------------------------------------------
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
mkdir -p "$build/tmp" "$build/logs"
# A target that crashes leaves its working folder here, not in /tmp.
export TMPDIR=$build/tmp

failed=0
summary=()
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  artifacts=$build/artifacts/$t
  log=$build/logs/$t.log
  mkdir -p "$corpus" "$artifacts"
  cp -p "$root/fuzz/corpus/$t/"* "$corpus/"
  echo "=== $t: ${seconds}s from $(ls "$corpus" | wc -l) inputs (log: $log)"
  start=$(date +%s%N)
  status=0
  "$build/fuzz/${t}_fuzzer" "$corpus" -max_total_time="$seconds" -timeout=30 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1 || status=$?
  elapsed_ms=$((($(date +%s%N) - start) / 1000000))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  line=$(printf '%-11s %4d.%01d s %12s executions' "$t" $((elapsed_ms / 1000)) \
    $((elapsed_ms % 1000 / 100)) "${runs:-?}")
  if [ "$status" -ne 0 ]; then
    failed=1
    reproducer=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
    line="$line  FAULT (exit $status): ${reproducer:-see $log}"
    grep -E "^(==[0-9]+==ERROR|SUMMARY|\*\*\*)" "$log" | head -5 || true
  else
    line="$line  no fault"
  fi
  echo "$line"
  summary+=("$line")
done

echo
echo "=== fuzzing summary (${seconds}s per target)"
printf '%s\n' "${summary[@]}"
exit $failed
