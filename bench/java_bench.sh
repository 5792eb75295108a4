#!/usr/bin/env bash
# Throughput of Quarvel.check from Java on one and on two threads.
# usage: java_bench.sh BUILD_DIR ROOT PASSWORDS [ROUNDS]
# BUILD_DIR is a build with QUARVEL_BUILD_BENCH and the Java interface (its
# java/quarvel.jar, java/quarvel_java_bench.jar and libquarvel.so); ROOT a
# folder with conf/quarvel.ini and dicts/, such as BUILD_DIR/run.
set -euo pipefail
build=$1 root=$2 passwords=$3 rounds=${4:-10}
exec java -Djava.library.path="$build" \
  -cp "$build/java/quarvel.jar:$build/java/quarvel_java_bench.jar" \
  QuarvelBench "$root" "$passwords" "$rounds"
