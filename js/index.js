// Quarvel for JavaScript: the engine compiled to WebAssembly, for Node 18+
// and browsers. An environment is the engine's root folder laid out in the
// module's in-memory file system (conf/quarvel.ini, dicts/...), opened with
// quarvel_open; results are read from the engine's result record through
// the layout table the module exports, and worded here from their codes.

import createQuarvelModule from './quarvel-wasm.mjs';
import {
  MATCH_KINDS, PIECE_NAMES, REASON_NAMES, STEP_NAMES, describeMatch, nameOf, reasonText,
  stepsText,
} from './wording.js';

export { describeMatch, reasonText, stepsText };

const ERROR_SIZE = 512;
const WRITTEN_AT = Date.UTC(2000, 0, 1);
// Bytes of the password buffer kept for checks (longer ones are allocated).
const PASSWORD_ROOM = 1024;
const BAD_PASSWORD = 2000;
const NO_ENV = 2001;
const NAME_PIECE = 1;
const NAME_TRANSFORM = 2;
const NAME_ATTACK = 3;
const VARIANT_NAMES = ['lowercased', 'reversed', 'rule', 'suffix', 'prefix', 'leet', 'doubled',
  'inside', 'extended', 'cut_end', 'cut_start'];
const NIST_NAMES = ['too_short', 'blocklist', 'repetitive', 'context'];
const REASONS = {
  1001: 'the configuration cannot be read',
  1002: 'the default dictionary cannot be opened',
  1003: 'a configured dictionary cannot be opened',
  [BAD_PASSWORD]: 'the password is empty, starts with a NUL byte, or is longer than 257 bytes',
  [NO_ENV]: 'the environment is closed',
  2002: 'the library refused the result record',
  2003: 'memory ran out',
  2009: 'the answer would exceed 1023 characters',
};

/** A failure reported by the engine: `code` is its number (1001, 2000, ...). */
export class QuarvelError extends Error {
  constructor(code, reason) {
    super(`quarvel error ${code}: ${reason}`);
    this.name = 'QuarvelError';
    this.code = code;
    this.reason = reason;
  }
}

let loading = null;

// The one module instance, with its layout table read once.
function engine() {
  loading ??= createQuarvelModule().then((M) => {
    const names = M.UTF8ToString(M._quarvel_web_layout_names()).split(',').filter(Boolean);
    const base = M._quarvel_web_layout() >> 2;
    const layout = {};
    names.forEach((name, i) => { layout[name] = M.HEAPU32[base + i]; });
    M.quarvelLayout = layout;
    const result = M._malloc(layout.result_size);
    M.HEAPU8.fill(0, result, result + layout.result_size);
    M.quarvelScratch = { result, passwordRoom: M._malloc(PASSWORD_ROOM) };
    M.FS.mkdir('/quarvel');
    return M;
  });
  return loading;
}

const isNode = typeof process === 'object' && typeof process.versions?.node === 'string';

// Bytes from bytes, or from a URL (a file: URL is read from disk in Node).
async function bytesOf(source, what) {
  if (source instanceof Uint8Array) return source;
  if (source instanceof ArrayBuffer) return new Uint8Array(source);
  if (ArrayBuffer.isView(source)) {
    return new Uint8Array(source.buffer, source.byteOffset, source.byteLength);
  }
  if (typeof source === 'string' || source instanceof URL) {
    const url = new URL(source, globalThis.location?.href);
    if (url.protocol === 'file:' && isNode) {
      const { readFile } = await import('node:fs/promises');
      return new Uint8Array(await readFile(url));
    }
    const response = await fetch(url);
    if (!response.ok) throw new Error(`${what}: ${url} answered ${response.status}`);
    return new Uint8Array(await response.arrayBuffer());
  }
  throw new TypeError(`${what} is bytes (Uint8Array, ArrayBuffer) or a URL`);
}

// The configuration: its text, its bytes, or a URL object to fetch.
function configBytes(config) {
  if (typeof config === 'string') return encoder.encode(config);
  return bytesOf(config, 'config');
}

const FILE_NAME = /^[A-Za-z0-9_][A-Za-z0-9_.-]*$/;
// Root folders are numbered, and the number of a closed environment is used
// again: the engine keeps the dictionaries it decoded by their path (a cache
// shared by environments), so a new path for each environment would keep
// every closed one's dictionary alive in that cache. The same path with new
// files is seen as a changed dictionary and replaced.
let rootCount = 0;
const freeRoots = [];

// Copies bytes into the module's memory at a new allocation, NUL-terminated.
function copyIn(M, bytes) {
  const at = M._malloc(bytes.length + 1);
  if (!at) throw new QuarvelError(2003, REASONS[2003]);
  M.HEAPU8.set(bytes, at);
  M.HEAPU8[at + bytes.length] = 0;
  return at;
}

function wipeAndFree(M, at, size) {
  if (!at) return;
  M.HEAPU8.fill(0, at, at + size);
  M._free(at);
}

function removeTree(FS, path) {
  for (const name of FS.readdir(path)) {
    if (name === '.' || name === '..') continue;
    const child = `${path}/${name}`;
    if (FS.isDir(FS.stat(child).mode)) removeTree(FS, child);
    else FS.unlink(child);
  }
  FS.rmdir(path);
}

const decoder = new TextDecoder();
const encoder = new TextEncoder();

// The NUL-terminated text of a fixed-size field; ASCII without a decoder.
function text(M, at, size) {
  const heap = M.HEAPU8;
  let end = at;
  let ascii = true;
  for (const limit = at + size; end < limit && heap[end] !== 0; ++end) ascii &&= heap[end] < 0x80;
  if (end === at) return '';
  return ascii ? String.fromCharCode.apply(null, heap.subarray(at, end))
    : decoder.decode(heap.subarray(at, end));
}

// The catalogue's answers, asked once per function and code.
const catalogue = new Map();
function catalogueEntry(M, fn, what, code) {
  let answers = catalogue.get(fn);
  if (!answers) catalogue.set(fn, (answers = new Map()));
  const key = code === undefined ? what : what * 65536 + code;
  let answer = answers.get(key);
  if (answer === undefined) {
    answer = M.UTF8ToString(code === undefined ? M[`_quarvel_${fn}`](what) : M[`_quarvel_${fn}`](what, code));
    answers.set(key, answer);
  }
  return answer;
}
const guessName = (M, what, code) => catalogueEntry(M, 'guess_name', what, code) || String(code);
const advice = (M, kind, code) => ({
  name: catalogueEntry(M, `${kind}_name`, code) || String(code),
  text: catalogueEntry(M, `${kind}_text`, code),
});

// The result record at r, as the fields of a Strength.
function readResult(M, r) {
  const L = M.quarvelLayout;
  const i32 = (at) => M.HEAP32[at >> 2];
  const u32 = (at) => M.HEAPU32[at >> 2];
  const f64 = (at) => M.HEAPF64[at >> 3];
  const count = (at, max) => Math.max(0, Math.min(i32(at), max));

  const steps = [];
  for (let i = 0; i < count(r + L.step_count, L.max_steps); ++i) {
    const s = r + L.match_steps + i * L.step_size;
    const piece = i32(s + L.step_piece);
    steps.push({
      code: nameOf(STEP_NAMES, i32(s + L.step_code)),
      piece: piece === 0 ? '' : nameOf(PIECE_NAMES, piece),
      count: i32(s + L.step_count_member),
      count2: i32(s + L.step_count2),
      arg: text(M, s + L.step_arg, L.step_arg_size),
    });
  }
  const m = r + L.match;
  const kind = i32(m + L.match_kind);
  let explanation = null;
  if (kind !== 0) {
    const variants = u32(m + L.match_variants);
    explanation = {
      kind: MATCH_KINDS[kind] ?? String(kind),
      slot: i32(m + L.match_slot),
      prefix: text(M, m + L.match_prefix, L.match_prefix_size),
      word: text(M, m + L.match_word, L.match_word_size),
      rule: text(M, m + L.match_rule, L.match_rule_size),
      affix: text(M, m + L.match_affix, L.match_affix_size),
      variant: text(M, m + L.match_variant, L.match_variant_size),
      variants: VARIANT_NAMES.filter((_, bit) => variants & (1 << bit)),
      breach_count: kind === 6 ? u32(r + L.breach_count) + u32(r + L.breach_count + 4) * 2 ** 32 : 0,
      steps,
    };
  }
  const reasons = [];
  for (let i = 0; i < count(r + L.reason_count, L.max_reasons); ++i) {
    const at = r + L.reasons + i * L.reason_size;
    const reason = {
      stage: i32(at + L.reason_stage),
      code: nameOf(REASON_NAMES, i32(at + L.reason_code)),
      points: i32(at + L.reason_points),
      value: i32(at + L.reason_value),
      limit: i32(at + L.reason_limit),
    };
    reason.text = reasonText(reason, explanation);
    reasons.push(reason);
  }
  const pieces = [];
  for (let i = 0; i < count(r + L.piece_count, L.max_pieces); ++i) {
    const p = r + L.pieces + i * L.piece_size;
    const bits = u32(p + L.piece_transforms);
    const transforms = [];
    for (let bit = 1; bit && bit <= bits; bit <<= 1) {
      if (bits & bit) transforms.push(guessName(M, NAME_TRANSFORM, bit));
    }
    pieces.push({
      kind: guessName(M, NAME_PIECE, i32(p + L.piece_kind)),
      start: i32(p + L.piece_start),
      length: i32(p + L.piece_length),
      word: text(M, p + L.piece_word, L.piece_word_size),
      rank: u32(p + L.piece_rank),
      slot: i32(p + L.piece_slot),
      transforms,
      guesses_log10: f64(p + L.piece_guesses_log10),
    });
  }
  const crack_seconds = {};
  for (let a = 0; a < L.attacks; ++a) {
    crack_seconds[guessName(M, NAME_ATTACK, a)] = f64(r + L.crack_seconds + 8 * a);
  }
  const suggestions = [];
  for (let i = 0; i < count(r + L.suggestion_count, L.max_suggestions); ++i) {
    suggestions.push(advice(M, 'suggestion', i32(r + L.suggestions + 4 * i)));
  }
  const warning = i32(r + L.warning);
  const failures = u32(r + L.nist_failures);
  const stage_scores = [];
  for (let i = 0; i < 6; ++i) stage_scores.push(i32(r + L.stage_score + 4 * i));
  return {
    level: i32(r + L.level),
    code: i32(r + L.code),
    fields: {
      pw_len: i32(r + L.pw_len),
      pw_ncr: i32(r + L.pw_ncr),
      rept_ncr: i32(r + L.rept_ncr),
      cts_ncr: i32(r + L.cts_ncr),
      dict_fd_cnt: i32(r + L.dict_fd_cnt),
      pdict_fd: i32(r + L.pdict_fd),
      distinct: i32(r + L.distinct),
    },
    stage_scores,
    explanation,
    answer: text(M, r + L.answer, L.answer_size),
    nist: {
      ok: i32(r + L.nist_ok) !== 0,
      failures: NIST_NAMES.filter((_, bit) => failures & (1 << bit)),
      length: i32(r + L.nist_length),
      min_length: i32(r + L.nist_min_length),
    },
    reasons,
    guesses_log10: f64(r + L.guesses_log10),
    crack_seconds,
    pieces,
    warning: warning ? advice(M, 'warning', warning) : null,
    suggestions,
  };
}

/** An environment: a configuration and its dictionaries, opened in the engine. */
export class Quarvel {
  #M;
  #env;
  #root;

  constructor(M, env, root) {
    this.#M = M;
    this.#env = env;
    this.#root = root;
  }

  /**
   * Opens an environment from the configuration (its text, bytes, or a URL
   * object) and the dictionary files by name ("default_dict.pwd", ...:
   * bytes or URLs), laid out as the engine's root folder. A relative
   * dictionary prefix in the configuration ("./dicts/default_dict") finds
   * them. Throws a QuarvelError 1001, 1002 or 1003 when it does not open.
   */
  static async open({ config, dictionaries = {} } = {}) {
    if (config === undefined) throw new TypeError('open needs a config');
    const entries = Object.entries(dictionaries);
    for (const [name] of entries) {
      if (!FILE_NAME.test(name)) throw new TypeError(`bad dictionary file name '${name}'`);
    }
    const [M, conf, files] = await Promise.all([
      engine(), configBytes(config),
      Promise.all(entries.map(([name, source]) => bytesOf(source, name))),
    ]);
    const root = `/quarvel/${freeRoots.pop() ?? ++rootCount}`;
    M.FS.mkdirTree(`${root}/conf`);
    M.FS.mkdir(`${root}/dicts`);
    M.FS.writeFile(`${root}/conf/quarvel.ini`, conf);
    entries.forEach(([name], i) => {
      const path = `${root}/dicts/${name}`;
      M.FS.writeFile(path, files[i]);
      // Written whole and never again: dated in the past, so the engine does
      // not take them for files still being written (this file system keeps
      // whole seconds, and a file changed within two seconds of being read
      // is read again once quiet, its word index rebuilt).
      M.FS.utime(path, WRITTEN_AT, WRITTEN_AT);
    });
    const path = copyIn(M, encoder.encode(root));
    const error = M._malloc(ERROR_SIZE);
    try {
      M.HEAPU8[error] = 0;
      const env = M._quarvel_open(path, error, ERROR_SIZE);
      if (!env) {
        const reason = M.UTF8ToString(error) || 'the environment cannot be opened';
        const code = Number(/\((100[123])\)/.exec(reason)?.[1] ?? 1001);
        removeTree(M.FS, root);
        freeRoots.push(Number(root.slice(9)));
        throw new QuarvelError(code, reason);
      }
      return new Quarvel(M, env, root);
    } finally {
      M._free(path);
      M._free(error);
    }
  }

  /**
   * Opens the configuration and default dictionary that come with the
   * package: the service configuration, with the extended search on.
   */
  static openDefault() {
    const here = (name) => new URL(`./data/${name}`, import.meta.url);
    const dictionaries = {};
    for (const ext of ['pwd', 'pwi', 'hwm', 'pwr']) {
      dictionaries[`default_dict.${ext}`] = here(`default_dict.${ext}`);
    }
    return Quarvel.open({ config: here('quarvel.ini'), dictionaries });
  }

  /** True once close() was called. */
  get closed() {
    return this.#env === 0;
  }

  /**
   * Grades a password (a string, encoded as UTF-8, or its bytes), with
   * context words (a login name, the words of a full name) searched like a
   * dictionary. The bytes copied into the module's memory are wiped before
   * it returns. Throws QuarvelError 2000 for an empty password or one over
   * 257 bytes, 2001 once closed.
   */
  check(password, { context = [] } = {}) {
    if (this.#env === 0) throw new QuarvelError(NO_ENV, REASONS[NO_ENV]);
    if (typeof context === 'string') throw new TypeError('context is a list of words');
    const M = this.#M;
    const L = M.quarvelLayout;
    const bytes = typeof password === 'string' ? encoder.encode(password)
      : password instanceof Uint8Array ? password : null;
    if (bytes === null) throw new TypeError('a password is a string or a Uint8Array');
    const words = context.map((w) => encoder.encode(String(w)));
    // The module's scratch record and password buffer serve every check (a
    // check runs to its end before another starts), and are wiped after it.
    const { result, passwordRoom } = M.quarvelScratch;
    const pw = bytes.length < PASSWORD_ROOM ? passwordRoom : copyIn(M, bytes);
    const owned = [];
    try {
      if (pw === passwordRoom) {
        M.HEAPU8.set(bytes, pw);
        M.HEAPU8[pw + bytes.length] = 0;
      }
      let list = 0;
      if (words.length) {
        for (const word of words) owned.push([copyIn(M, word), word.length + 1]);
        list = M._malloc(4 * words.length);
        owned.push([list, 4 * words.length]);
        words.forEach((_, i) => { M.HEAPU32[(list >> 2) + i] = owned[i][0]; });
      }
      M.HEAPU32[result >> 2] = L.result_size;
      M.HEAPU32[(result + L.match) >> 2] = L.match_size;
      const code = words.length
        ? M._quarvel_check_context(this.#env, pw, bytes.length, list, words.length, result)
        : M._quarvel_check(this.#env, pw, bytes.length, result);
      if (code !== 0) throw new QuarvelError(code, REASONS[code] ?? 'the check failed');
      return readResult(M, result);
    } finally {
      M.HEAPU8.fill(0, result, result + L.result_size);
      if (pw === passwordRoom) M.HEAPU8.fill(0, pw, pw + bytes.length + 1);
      else wipeAndFree(M, pw, bytes.length + 1);
      for (const [at, size] of owned) wipeAndFree(M, at, size);
      for (const word of words) word.fill(0);
      if (typeof password === 'string') bytes.fill(0);
    }
  }

  /** Releases the environment and its files. Closing again does nothing. */
  close() {
    if (this.#env === 0) return;
    this.#M._quarvel_close(this.#env);
    this.#env = 0;
    removeTree(this.#M.FS, this.#root);
    freeRoots.push(Number(this.#root.slice(9)));
  }
}

/** The engine's version, "MAJOR.MINOR.PATCH". */
export async function version() {
  const M = await engine();
  return M.UTF8ToString(M._quarvel_version());
}

/** Bytes of WebAssembly memory the module holds (it grows, never shrinks). */
export async function memoryBytes() {
  return (await engine()).HEAPU8.length;
}
