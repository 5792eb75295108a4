#!/usr/bin/env bash
# Installs the build into a fresh prefix, then builds and runs a small C
# consumer against it twice: through pkg-config and through find_package.
# usage: install_test.sh BUILD_DIR SOURCE_DIR C_COMPILER "C_FLAGS"
set -euo pipefail
build=$1 source=$2 cc=$3 cflags=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" > "$work/install.log"
test -f "$prefix/include/quarvel/quarvel.h"
# The console and the jar come along when they were built.
if [ -n "$(find "$build" -name quarvel-console -type f -perm -u+x | head -n 1)" ]; then
  test -x "$prefix/bin/quarvel-console"
  # It finds the installed library by itself, and option 7 ends it.
  printf '7\n' | "$prefix/bin/quarvel-console" > "$work/console.out"
  echo "installed console runs: $prefix/bin/quarvel-console"
fi
# The quarvel command, with its man page and bash completion.
if [ -n "$(find "$build/src/cli" -name quarvel -type f -perm -u+x 2>/dev/null | head -n 1)" ]; then
  "$prefix/bin/quarvel" --version | grep -q '^quarvel '
  test -f "$prefix/share/man/man1/quarvel.1"
  test -f "$prefix/share/bash-completion/completions/quarvel"
  echo "installed command runs: $prefix/bin/quarvel, with quarvel(1) and its completion"
fi
if [ -n "$(find "$build" -name quarvel.jar | head -n 1)" ]; then
  test -f "$prefix/share/java/quarvel.jar"
  echo "installed jar: $prefix/share/java/quarvel.jar"
fi
# The PAM module, its manual page and the root folder it opens by default
# (sysconfdir/quarvel: inside the prefix unless the prefix is /usr).
if [ -n "$(find "$build" -name pam_quarvel.so -type f | head -n 1)" ]; then
  module=$(find "$prefix" -path '*/security/pam_quarvel.so' | head -n 1)
  test -n "$module"
  test -f "$prefix/share/man/man8/pam_quarvel.8"
  if [ -n "$(find "$build" -name default_dict.pwd | head -n 1)" ]; then
    test -f "$prefix/etc/quarvel/conf/quarvel.ini"
    test -f "$prefix/etc/quarvel/dicts/default_dict.pwd"
    test -f "$prefix/etc/quarvel/dicts/default_dict.pwi"
    test -f "$prefix/etc/quarvel/dicts/default_dict.pwr"
  fi
  echo "installed PAM module: $module"
fi

echo "--- pkg-config"
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name quarvel.pc | head -n 1)")
# shellcheck disable=SC2046,SC2086
"$cc" $cflags -o "$work/consumer-pc" "$source/tests/install_consumer/consumer.c" \
  $(pkg-config --cflags --libs quarvel) -Wl,-rpath,"$(pkg-config --variable=libdir quarvel)"
"$work/consumer-pc"

echo "--- find_package(Quarvel)"
cmake -S "$source/tests/install_consumer" -B "$work/cmake-build" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$cflags" \
  -DCMAKE_BUILD_RPATH="$prefix/lib" > "$work/configure.log"
cmake --build "$work/cmake-build" > "$work/build.log"
"$work/cmake-build/consumer"
echo "install_test: 2 passed, 0 failed"
