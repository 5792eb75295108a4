#!/usr/bin/env bash
# Runs every GoogleTest executable of BUILD_DIR/tests under Valgrind's
# memcheck, one executable after another, and exits non-zero when any of
# them reports a memory error or a definite leak, or fails a test.
#
#   scripts/valgrind-tests.sh BUILD_DIR
#
# BUILD_DIR should be a build without sanitizers (they cannot run under
# Valgrind). The Java tests and the shell-script tests are not run; neither
# are the C programs c_api_test and interpose_test, nor the soak. A test that
# is too slow under Valgrind is left out with a message saying so.
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
tests_dir=$1/tests
if [ ! -d "$tests_dir" ]; then
  echo "$0: no folder $tests_dir: build the tests first" >&2
  exit 2
fi
if grep -Eq '^QUARVEL_SANITIZE(_THREAD)?:BOOL=ON' "$1/CMakeCache.txt" 2>/dev/null; then
  echo "$0: $1 is a sanitizer build; Valgrind needs a plain one" >&2
  exit 2
fi

if ! command -v valgrind >/dev/null 2>&1; then
  echo "installing valgrind"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq &&
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends valgrind || exit 2
fi

# Tests left out under Valgrind, by executable, as GoogleTest patterns joined
# with ':' (for example [dictmanger_test]="Sizes/RoundTripTest.*/11"). None
# at present: the whole run takes about a minute, the slowest tests (the
# largest round trips of dictmanger_test) about 11 s each.
declare -A too_slow=()

valgrind_args=(
  --tool=memcheck
  --error-exitcode=99
  --leak-check=full
  --errors-for-leak-kinds=definite
  --show-leak-kinds=definite
  --num-callers=30
)

failed=()
passed=0
for exe in "$tests_dir"/*; do
  if [ ! -f "$exe" ] || [ ! -x "$exe" ]; then
    continue
  fi
  # GoogleTest executables carry their flags' help text; the C programs and
  # the soak do not.
  grep -q -a -F -- '--gtest_list_tests' "$exe" || continue
  name=$(basename "$exe")
  filter="*"
  if [ -n "${too_slow[$name]:-}" ]; then
    filter="*-${too_slow[$name]}"
    echo "=== $name (left out as too slow under Valgrind: ${too_slow[$name]})"
  else
    echo "=== $name"
  fi
  start=$(date +%s)
  valgrind "${valgrind_args[@]}" "$exe" --gtest_filter="$filter" --gtest_brief=1 \
    >"$tests_dir/$name.valgrind.log" 2>&1
  status=$?
  seconds=$(($(date +%s) - start))
  summary=$(grep -E '^==[0-9]+== ERROR SUMMARY' "$tests_dir/$name.valgrind.log" | tail -n 1)
  if [ $status -eq 0 ]; then
    echo "    passed in ${seconds}s: ${summary#*== }"
    passed=$((passed + 1))
  else
    echo "    FAILED (exit status $status) in ${seconds}s; log: $tests_dir/$name.valgrind.log"
    grep -E '^==[0-9]+== (Invalid|Conditional|Use of|Mismatched|Syscall|Source and|[0-9,]+ bytes in)|FAILED' \
      "$tests_dir/$name.valgrind.log" | head -n 20 | sed 's/^/    /'
    failed+=("$name")
  fi
done

if [ $passed -eq 0 ] && [ ${#failed[@]} -eq 0 ]; then
  echo "no GoogleTest executable found in $tests_dir" >&2
  exit 2
fi
if [ ${#failed[@]} -ne 0 ]; then
  echo "valgrind: ${#failed[@]} executable(s) FAILED: ${failed[*]}"
  exit 1
fi
echo "valgrind: all $passed executables clean"
