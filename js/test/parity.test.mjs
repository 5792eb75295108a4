// The same verdict in WebAssembly as natively: the benchmark corpus of
// 20,000 passwords through the package and through the quarvel command's
// JSON output (native quarvel_check), with the same root folder, in the
// standard profile (the console's root) and the extended one (the service
// root). Every field the command writes must be equal.
import test from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { join } from 'node:path';
import { openRoot, pkg, required } from './helpers.mjs';

const source = required('QUARVEL_SOURCE');
const corpus = execFileSync('python3', [join(source, 'bench/make_corpus.py'),
  '/usr/share/john/password.lst', '/usr/share/dict/american-english', '20000'],
  { maxBuffer: 1 << 26 });

// The command's lines: split at line feeds, a carriage return before one dropped.
function lines(bytes) {
  const out = [];
  let start = 0;
  for (let i = 0; i <= bytes.length; ++i) {
    if (i < bytes.length && bytes[i] !== 0x0a) continue;
    if (i === bytes.length && start === i) break;
    let end = i;
    if (end > start && bytes[end - 1] === 0x0d) --end;
    out.push(bytes.subarray(start, end));
    start = i + 1;
  }
  return out;
}

const PERSONAL = { XX: -1, '00': 0, '01': 1 };

// What the package answers, in the shape of the command's JSON.
function asCommandJson(s) {
  const m = s.explanation;
  const entry = {
    code: 0, level: s.level,
    fields: { RT_LEVEL: s.level, PW_LEN: s.fields.pw_len, PW_NCR: s.fields.pw_ncr,
      REPT_NCR: s.fields.rept_ncr, CTS_NCR: s.fields.cts_ncr, DICT_FD_CNT: s.fields.dict_fd_cnt,
      PDICT_FD: Object.keys(PERSONAL).find((k) => PERSONAL[k] === s.fields.pdict_fd) },
    stages: s.stage_scores,
    reasons: s.reasons.map(({ stage, code, points, value, limit }) => ({ stage, code, points, value, limit })),
    match: m && { kind: m.kind, slot: m.slot, prefix: m.prefix, word: m.word, rule: m.rule,
      affix: m.affix, variant: m.variant, variants: m.variants, breach_count: m.breach_count,
      steps: m.steps },
    nist: s.nist, answer: s.answer, guesses_log10: s.guesses_log10,
    crack_seconds: s.crack_seconds, pieces: s.pieces,
    warning: s.warning && { code: s.warning.name, text: s.warning.text },
    suggestions: s.suggestions,
  };
  return entry;
}

// The command's object, with the members the package words differently
// (reason texts) or leaves to the code (a step's unused members) aligned.
function normalised(native, wasm) {
  const out = structuredClone(native);
  delete out.line;
  for (const r of out.reasons ?? []) {
    delete r.text;
    r.value ??= 0;
    r.limit ??= 0;
  }
  if (out.match) {
    out.match.steps = out.match.steps.map((step, i) => {
      const mine = wasm.match?.steps[i] ?? {};
      return { code: step.code, piece: step.piece ?? mine.piece, count: step.count ?? mine.count,
        count2: step.count2 ?? mine.count2, arg: step.arg ?? mine.arg };
    });
  }
  return out;
}

// Floating-point figures (the estimate) to 12 significant digits: Emscripten's
// libm and glibc's may round log10 and pow differently in the last place.
function rounded(value) {
  // (Counts, levels and ranks are below 10^12, and stay as they are.)
  if (typeof value === 'number') return Number(value.toPrecision(12));
  if (Array.isArray(value)) return value.map(rounded);
  if (value && typeof value === 'object') {
    return Object.fromEntries(Object.entries(value).map(([k, v]) => [k, rounded(v)]));
  }
  return value;
}

async function compare(root, name) {
  const nativeLines = execFileSync(required('QUARVEL_CLI'), ['check', '--json', '--root', root],
    { input: corpus, maxBuffer: 1 << 28 }).toString('utf8').split('\n').filter(Boolean);
  const passwords = lines(corpus);
  assert.equal(nativeLines.length, passwords.length, `${name}: one answer a password`);
  const env = await openRoot(root);
  try {
    passwords.forEach((password, i) => {
      const native = JSON.parse(nativeLines[i]);
      let wasm;
      try {
        const strength = env.check(password);
        // The steps worded in JavaScript read as the engine's own English
        // (which cuts arguments of 63 bytes and texts of 191).
        const m = strength.explanation;
        if (m && m.kind !== 'unreadable' && m.variant.length < 191 && m.steps.every((s) => s.arg.length < 63)) {
          assert.equal(pkg.stepsText(m.steps), m.variant, `${name} line ${i + 1}`);
        }
        wasm = asCommandJson(strength);
      } catch (e) {
        if (!(e instanceof pkg.QuarvelError)) throw e;
        assert.equal(e.code, native.code, `${name} line ${i + 1}`);
        return;
      }
      assert.deepEqual(rounded(wasm), rounded(normalised(native, wasm)), `${name} line ${i + 1}`);
    });
  } finally {
    env.close();
  }
}

test('standard profile: the console root', async () => {
  await compare(required('QUARVEL_RUN_ROOT'), 'standard');
});

test('extended profile: the service root', async () => {
  await compare(required('QUARVEL_SERVICE_ROOT'), 'extended');
});
