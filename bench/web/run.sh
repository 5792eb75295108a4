#!/usr/bin/env bash
# The WebAssembly build against the native engine and the JavaScript peers:
# checks per second in Node (one thread, the 20,000-password corpus, the
# service root) beside quarvel_check natively in the same run and zxcvbn-ts
# 4 in the same Node process; the gzip-compressed size of everything the
# meter page loads beside zxcvbn 4.4.2's dist/zxcvbn.js; and the time from
# navigation to the first verdict in headless Chromium.
#
#   bench/web/run.sh BUILD      (make bench-web: BUILD is build-web)
#
# The peers come from npm into BUILD/peers/, never globally.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
peers=$build/peers

if [ ! -f "$peers/node_modules/@zxcvbn-ts/core/package.json" ] ||
   [ ! -f "$peers/node_modules/zxcvbn/package.json" ]; then
  npm install --prefix "$peers" --no-audit --no-fund --loglevel=error \
    @zxcvbn-ts/core@4 @zxcvbn-ts/language-common@4 @zxcvbn-ts/language-en@4 zxcvbn@4.4.2
fi
python3 "$root/bench/make_corpus.py" /usr/share/john/password.lst \
  /usr/share/dict/american-english 20000 > "$build/corpus.txt"

echo "== checks per second, one thread, 20,000 passwords, service root"
echo "-- native quarvel_check"
"$build/bench/quarvel-engine-bench" "$build/service" "$build/corpus.txt" 10 1 | grep '1 thread '
echo "-- Node $(node --version): the package, then zxcvbn-ts $(node -p \
  "require('$peers/node_modules/@zxcvbn-ts/core/package.json').version")"
node "$here/node_bench.mjs" "$build/js/package" "$peers" "$build/corpus.txt" 5

echo "== bytes a page loads (gzip -9)"
site=$build/site
total=0
for f in index.html site.css meter.css meter.js quarvel/index.js quarvel/wording.js \
         quarvel/quarvel-wasm.mjs quarvel/quarvel-wasm.wasm quarvel/data/quarvel.ini quarvel/data/default_dict.pwd \
         quarvel/data/default_dict.pwi quarvel/data/default_dict.hwm quarvel/data/default_dict.pwr; do
  size=$(gzip -9c "$site/$f" | wc -c)
  total=$((total + size))
  printf '%9d %9d  %s\n' "$(stat -c %s "$site/$f")" "$size" "$f"
done
printf '%9s %9d  the meter page, in all\n' '' "$total"
zx=$peers/node_modules/zxcvbn/dist/zxcvbn.js
printf '%9d %9d  zxcvbn %s dist/zxcvbn.js\n' "$(stat -c %s "$zx")" "$(gzip -9c "$zx" | wc -c)" \
  "$(node -p "require('$peers/node_modules/zxcvbn/package.json').version")"

echo "== navigation to the first verdict, headless Chromium $(chromium --version 2>/dev/null | awk '{print $2}')"
node "$here/first_verdict.mjs" "$site" 9
