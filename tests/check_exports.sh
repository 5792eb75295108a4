#!/usr/bin/env bash
# Compares the dynamic symbols that the library defines with the export list.
# usage: check_exports.sh LIBRARY EXPECTED_LIST
set -euo pipefail
lib=$1
expected=$2
actual=$(nm -D --defined-only "$lib" | awk 'NF >= 3 { print $3 }' | sed 's/@.*//' | sort -u)
want=$(grep -E '^[A-Za-z_][A-Za-z0-9_]*$' "$expected" | sort -u)
if [ "$actual" != "$want" ]; then
  echo "exported symbols differ from the export list (< exported only, > listed only):"
  diff <(echo "$actual") <(echo "$want") || true
  exit 1
fi
echo "$(echo "$want" | wc -l) symbols exported, as listed"
