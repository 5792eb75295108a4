#!/usr/bin/env bash
# Compiles the examples of the README as written: every ```c block as a C
# program linked against the library, and every ```java block against
# quarvel.jar when a JDK is there, and the Java example files named after
# JAVAC (the README quotes them).
# usage: readme_examples_test.sh README INCLUDE_DIR LIBRARY_DIR C_COMPILER "C_FLAGS" [JAR JAVAC [JAVA_FILE...]]
set -euo pipefail
readme=$1 include=$2 libdir=$3 cc=$4 cflags=${5:-} jar=${6:-} javac=${7:-}
shift $(($# < 7 ? $# : 7))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Writes block N of language LANG to FILE; answers whether there was one.
extract() {
  awk -v lang="$1" -v want="$2" '
    /^```/ { if (inside) { inside = 0; next }
             if ($0 == "```" lang) { n++; if (n == want) { inside = 1; found = 1 } ; next } }
    inside { print }
    END { exit found ? 0 : 1 }' "$readme" > "$3"
}

compiled=0
n=1
while extract c "$n" "$work/example$n.c"; do
  # shellcheck disable=SC2086
  "$cc" $cflags -std=c99 -Wall -Wextra -Werror -I"$include" -o "$work/example$n" \
    "$work/example$n.c" -L"$libdir" -lquarvel -Wl,-rpath,"$libdir"
  compiled=$((compiled + 1))
  n=$((n + 1))
done
[ "$compiled" -gt 0 ] || { echo "no C example in $readme"; exit 1; }

if [ -n "$jar" ] && [ -n "$javac" ]; then
  n=1
  while extract java "$n" "$work/Example.java"; do
    class=$(sed -n 's/^public class \([A-Za-z0-9_]*\).*/\1/p' "$work/Example.java")
    mkdir -p "$work/java$n"
    mv "$work/Example.java" "$work/java$n/$class.java"
    "$javac" -Xlint:all -Werror -cp "$jar" -d "$work/java$n" "$work/java$n/$class.java"
    compiled=$((compiled + 1))
    n=$((n + 1))
  done
  for file in "$@"; do
    mkdir -p "$work/java$n"
    "$javac" -Xlint:all -Werror -cp "$jar" -d "$work/java$n" "$file"
    compiled=$((compiled + 1))
    n=$((n + 1))
  done
fi
echo "readme_examples_test: $compiled passed, 0 failed"
