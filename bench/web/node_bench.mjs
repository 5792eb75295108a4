// Checks per second of the WebAssembly package in Node, and of zxcvbn-ts 4
// in the same process, over one corpus (one password a line), on one thread.
//
//   node bench/web/node_bench.mjs PACKAGE_DIR PEERS_DIR CORPUS [SECONDS]
//
// PACKAGE_DIR is the unpacked npm package (build-web/js/package), PEERS_DIR
// a folder whose node_modules has @zxcvbn-ts/core, -language-common and
// -language-en. Each tool checks every tenth password to warm up, then
// goes through the corpus in steps of 7,919 lines (around from its end, so
// that the corpus's kinds of password mix) until SECONDS (default 3) have
// gone; prints one line each:
// "NAME: N checks/s, M checks/CPU s" (by the wall clock, and by the CPU time
// the process used, which a loaded machine does not inflate). Every check's
// result is read as a meter reads it: the level, each reason's text, the
// guess estimate, the warning and the suggestions.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

const [packageDir, peers, corpusPath, seconds = '3'] = process.argv.slice(2);
const load = (path) => import(pathToFileURL(path).href);
const passwords = readFileSync(corpusPath, 'utf8').split('\n').filter(Boolean);

// What a meter shows of a result, summed so that no read can be skipped.
let shown = 0;

function measure(name, check) {
  for (let i = 0; i < passwords.length; i += 10) check(passwords[i]);
  let checks = 0;
  const start = performance.now();
  const cpu = process.cpuUsage();
  do {
    for (let i = 0; i < 50; ++i) check(passwords[(checks++ * 7919) % passwords.length]);
  } while (performance.now() - start < Number(seconds) * 1000);
  const elapsed = (performance.now() - start) / 1000;
  const used = process.cpuUsage(cpu);
  const cpuSeconds = (used.user + used.system) / 1e6;
  console.log(`${name}: ${(checks / elapsed).toFixed(0)} checks/s, ` +
    `${(checks / cpuSeconds).toFixed(0)} checks/CPU s (${checks} checks)`);
}

const { Quarvel } = await load(join(packageDir, 'index.js'));
const env = await Quarvel.openDefault();
measure('quarvel-wasm', (p) => {
  const s = env.check(p);
  shown += s.level + s.guesses_log10 + (s.warning?.text.length ?? 0);
  for (const r of s.reasons) shown += r.text.length;
  for (const a of s.suggestions) shown += a.text.length;
});
env.close();

const zx = join(peers, 'node_modules/@zxcvbn-ts');
const { ZxcvbnFactory } = await load(join(zx, 'core/dist/index.mjs'));
const common = await load(join(zx, 'language-common/dist/index.mjs'));
const en = await load(join(zx, 'language-en/dist/index.mjs'));
const zxcvbn = new ZxcvbnFactory({
  dictionary: { ...common.dictionary, ...en.dictionary },
  graphs: common.adjacencyGraphs,
  translations: en.translations,
});
measure('zxcvbn-ts', (p) => {
  const s = zxcvbn.check(p);
  shown += s.score + s.guessesLog10 + (s.feedback.warning?.length ?? 0);
  for (const a of s.feedback.suggestions) shown += a.length;
});
if (!(shown > 0)) throw new Error('no result was read');
