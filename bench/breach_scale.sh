#!/usr/bin/env bash
# Hashed leaked-password lists at scale: generates a synthetic list of N
# SHA-1 hashes (default 100 million, about 5 GB of text), times
# `LC_ALL=C sort -S 1G` on it against `quarvel build --sha1 --memory 1G`
# (with peak memory), then exact lookups and quarvel_check with the list
# configured, with and without the extended profile. Deletes its data at
# the end, whatever happens.
#
#   bench/breach_scale.sh BUILD_DIR WORK_DIR [N]
set -euo pipefail
build=$(realpath "$1")
work=$2
n=${3:-100000000}
mkdir -p "$work"
work=$(realpath "$work")
trap 'rm -rf "$work"' EXIT
bench=$build/bench/quarvel-breach-bench
cli=$build/src/cli/quarvel

"$bench" generate "$n" "$work/list.txt"
ls -l "$work/list.txt"
sync
echo "--- LC_ALL=C sort -S 1G"
/usr/bin/time -f "sort: %e s, peak %M KiB" env LC_ALL=C sort -S 1G -T "$work" "$work/list.txt" \
  -o "$work/sorted.txt"
rm -f "$work/sorted.txt"
echo "--- quarvel build --sha1 --memory 1G"
mkdir -p "$work/root/conf" "$work/root/dicts"
/usr/bin/time -f "build: %e s, peak %M KiB" "$cli" build --sha1 --memory 1G \
  --prefix "$work/root/dicts/breach" "$work/list.txt"
ls -l "$work/root/dicts/breach.hsh"
rm -f "$work/list.txt"

echo "--- exact lookups"
"$bench" lookup "$work/root/dicts/breach" "$n" 2000000

printf 'password\ndragon\n' | "$cli" build --prefix "$work/root/dicts/default_dict" - > /dev/null
for extended in 0 1; do
  cat > "$work/root/conf/quarvel.ini" <<CONF
[QUARVEL_RULE]
quarvel_rule.postfix_num=2
quarvel_rule.prefix_num=1
[QUARVEL_SEARCH]
quarvel_search.pw_postfix_num=1
quarvel_search.pw_prefix_num=1
quarvel_search.pw_reverse=1
quarvel_search.extended=$extended
[QUARVEL_BREACH]
breach.file.prefix.1=dicts/breach
CONF
  echo "--- quarvel_check, full variant search, extended profile $extended"
  "$bench" check "$work/root" "$n" 100000
done
