// The package's interface: checks against what the engine documents, bad
// input, hostile dictionary files, closing, and memory over many openings.
import test from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { pkg, required } from './helpers.mjs';

const { Quarvel, QuarvelError, memoryBytes, stepsText, version } = pkg;
const data = join(required('QUARVEL_PACKAGE'), 'data');
const files = {};
for (const ext of ['pwd', 'pwi', 'hwm', 'pwr']) files[`default_dict.${ext}`] = readFileSync(join(data, `default_dict.${ext}`));
const config = readFileSync(join(data, 'quarvel.ini'), 'utf8');

test('checks with the shipped configuration', async (t) => {
  const env = await Quarvel.openDefault();
  t.after(() => env.close());
  // password, context, the match kind and word expected (null: no match), whether level <= 2
  const cases = [
    ['password', [], 'dictionary', 'password', true],
    ['P@$$w0rd!', [], 'dictionary', 'password', true],
    ['5ummer2024!!', [], 'dictionary', 'summer', true],
    ['19870614', [], 'pattern', '19870614', true],
    ['Zorblax77', ['Zorblax', 'Quint'], 'context', 'zorblax', true],
    ['v7#Rq!2mXp&9Lz', [], null, null, false],
  ];
  for (const [password, context, kind, word, weak] of cases) {
    const s = env.check(password, { context });
    assert.equal(s.code, 0);
    assert.equal(/^RET_CD=0000:RT_LEVEL=(\d):/.exec(s.answer)?.[1], String(s.level), password);
    assert.equal(s.fields.pw_len, new TextEncoder().encode(password).length);
    assert.equal(s.explanation?.kind ?? null, kind, password);
    if (word) assert.equal(s.explanation.word, word, password);
    assert.equal(s.level <= 2, weak, `${password}: level ${s.level}`);
    // Each reason's points are what its stage lost.
    for (const r of s.reasons.filter((r) => r.stage >= 2)) {
      assert.equal(r.points, s.stage_scores[r.stage - 2] - s.stage_scores[r.stage - 1], password);
      assert.ok(r.text.length > 0);
    }
    // The steps worded here say what the engine's own English says.
    if (s.explanation && s.explanation.kind !== 'unreadable') {
      assert.equal(stepsText(s.explanation.steps), s.explanation.variant, password);
    }
    assert.ok(Number.isFinite(s.guesses_log10) && s.guesses_log10 > 0, password);
    assert.equal(Object.keys(s.crack_seconds).length, 4);
  }
  const packageJson = JSON.parse(readFileSync(join(required('QUARVEL_PACKAGE'), 'package.json'), 'utf8'));
  assert.equal(await version(), packageJson.version);
  const weak = env.check('password');
  assert.ok(weak.warning && weak.warning.text.length > 0 && /^[a-z_]+$/.test(weak.warning.name));
});

test('bad passwords are refused or graded as bytes, never a crash', async (t) => {
  const env = await Quarvel.openDefault();
  t.after(() => env.close());
  for (const bad of ['', 'a'.repeat(258), new Uint8Array([0, 65, 66])]) {
    assert.throws(() => env.check(bad), (e) => e instanceof QuarvelError && e.code === 2000);
  }
  assert.throws(() => env.check(42), TypeError);
  // Context: any list of words, or none; never a bare string or a number.
  const withContext = env.check('Zorblax77', { context: ['zorblax'] });
  assert.deepEqual(env.check('Zorblax77', { context: new Set(['zorblax']) }), withContext);
  assert.deepEqual(env.check('Zorblax77', { context: null }), env.check('Zorblax77'));
  for (const context of ['zorblax', 7, {}]) {
    assert.throws(() => env.check('Zorblax77', { context }), TypeError);
  }
  assert.ok(env.check('b'.repeat(257)).level >= 1);
  // Invalid UTF-8 is graded as its bytes; a lone surrogate becomes U+FFFD,
  // and valid UTF-8 counts characters in the shipped (extended) profile.
  const invalid = new Uint8Array([0xff, 0xfe, 0x41, 0xc3, 0x28, 0x7a, 0x80, 0x39]);
  const s = env.check(invalid);
  assert.equal(s.fields.pw_len, invalid.length);
  assert.equal(s.nist.length, invalid.length);
  assert.equal(env.check('ab\ud800cd').fields.pw_len, 5);
  // NFKC: the ligature "ﬁ" counts as two characters, "é" as one.
  assert.equal(env.check('ﬁ\u00e9').nist.length, 3);
});

test('hostile dictionary files give a clear error, never a crash', async () => {
  const pwd = files['default_dict.pwd'];
  const pwi = files['default_dict.pwi'];
  const variants = [
    ['empty index', { 'default_dict.pwi': new Uint8Array(0) }],
    ['truncated index', { 'default_dict.pwi': pwi.subarray(0, 7) }],
    ['truncated data', { 'default_dict.pwd': pwd.subarray(0, pwd.length >> 1) }],
    ['no data file', { 'default_dict.pwd': undefined }],
  ];
  // Random damage: bytes overwritten near the start of either file.
  let seed = 12345;
  const random = (n) => { seed = (seed * 1103515245 + 12345) % 2147483648; return seed % n; };
  for (let i = 0; i < 24; ++i) {
    const name = i % 2 ? 'default_dict.pwd' : 'default_dict.pwi';
    const bytes = Uint8Array.from(files[name]);
    for (let k = 0; k < 8; ++k) bytes[random(Math.min(bytes.length, 4096))] = random(256);
    variants.push([`damaged ${name} #${i}`, { [name]: bytes }]);
  }
  let refused = 0;
  for (const [what, change] of variants) {
    const dictionaries = { ...files, ...change };
    for (const [name, bytes] of Object.entries(dictionaries)) if (!bytes) delete dictionaries[name];
    let env;
    try {
      env = await Quarvel.open({ config, dictionaries });
    } catch (e) {
      assert.ok(e instanceof QuarvelError, `${what}: ${e}`);
      assert.ok([1002, 1003].includes(e.code), `${what}: ${e.message}`);
      assert.match(e.reason, /dict/, what);
      ++refused;
      continue;
    }
    // A damaged file that opens still answers every check.
    for (const password of ['password', 'P@$$w0rd!', 'zebra-crossing-42']) {
      assert.ok(env.check(password).level >= 1, what);
    }
    env.close();
  }
  assert.ok(refused >= 4, `only ${refused} damaged dictionaries were refused`);
});

test('a missing dictionary names itself and its code', async () => {
  const cases = [
    [config.replace(/^dict\.file\.prefix\.1=$/m, 'dict.file.prefix.1=./dicts/absent'), files, 1003, /absent/],
    [config, {}, 1002, /default_dict/],
  ];
  for (const [text, dictionaries, code, named] of cases) {
    await assert.rejects(Quarvel.open({ config: text, dictionaries }),
      (e) => e instanceof QuarvelError && e.code === code && named.test(e.reason));
  }
  // Neither text, bytes nor a URL: a TypeError that says what a config is.
  for (const bad of [42, null, {}]) {
    await assert.rejects(Quarvel.open({ config: bad, dictionaries: files }),
      (e) => e instanceof TypeError && /config is its text/.test(e.message));
  }
});

test('close twice, and checks after close', async () => {
  const env = await Quarvel.open({ config, dictionaries: files });
  env.close();
  env.close();
  assert.ok(env.closed);
  assert.throws(() => env.check('password'), (e) => e instanceof QuarvelError && e.code === 2001);
});

test('many environments opened and closed do not grow memory', async () => {
  const cycle = async () => {
    const env = await Quarvel.open({ config, dictionaries: files });
    env.check('correct horse battery staple', { context: ['horse'] });
    env.close();
  };
  // The allocator and the engine's caches settle within some 30 openings
  // (the module's memory then stays at one size); a leak of what one
  // environment holds (its decoded dictionary and word index, about 1 MiB)
  // would grow it by some 40 MiB over the 40 after.
  for (let i = 0; i < 40; ++i) await cycle();
  const before = await memoryBytes();
  for (let i = 0; i < 40; ++i) await cycle();
  const grown = (await memoryBytes()) - before;
  assert.ok(grown <= 1 << 20, `memory grew by ${grown} bytes over 40 environments`);
});

test('checks read the same after the memory grew, and long passwords take their own buffer', async (t) => {
  const env = await Quarvel.open({ config, dictionaries: files });
  t.after(() => env.close());
  const passwords = ['5ummer2024!!', 'correct horse battery staple', 'é'.repeat(100), 'Zorblax77'];
  const before = passwords.map((p) => env.check(p, { context: ['zorblax'] }));
  // Each further environment decodes the dictionary again and builds its
  // own word index, several MiB, until the module's memory must grow.
  const grownFrom = await memoryBytes();
  for (let opened = 0; opened < 8 && await memoryBytes() === grownFrom; ++opened) {
    const other = await Quarvel.open({ config, dictionaries: files });
    t.after(() => other.close());
    other.check('password');
  }
  assert.ok(await memoryBytes() > grownFrom, 'the memory did not grow');
  assert.deepEqual(passwords.map((p) => env.check(p, { context: ['zorblax'] })), before);
  // Longer than the buffer kept for checks (1,024 bytes): refused as any
  // password over 257 bytes, as a string or as bytes; the next check is
  // unaffected.
  for (const long of ['é'.repeat(600), new Uint8Array(1100).fill(97), 'x'.repeat(1023)]) {
    assert.throws(() => env.check(long), (e) => e instanceof QuarvelError && e.code === 2000);
  }
  assert.deepEqual(env.check(passwords[0], { context: ['zorblax'] }), before[0]);
});
