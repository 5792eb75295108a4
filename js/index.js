// Quarvel for JavaScript: the engine compiled to WebAssembly, for Node 18+
// and browsers. An environment is the engine's root folder laid out in the
// module's in-memory file system (conf/quarvel.ini, dicts/...), opened with
// quarvel_open; results are read from the engine's result record through
// the layout table the module exports, and worded here from their codes.

import {
  MATCH_KINDS, PIECE_NAMES, REASON_NAMES, STEP_NAMES, describeMatch, nameOf, reasonText,
  stepsText,
} from './wording.js';

export { describeMatch, reasonText, stepsText };

const ERROR_SIZE = 512;
const WRITTEN_AT = Date.UTC(2000, 0, 1);
// Bytes of the password buffer kept for checks (longer ones are allocated).
const PASSWORD_ROOM = 1024;
// Bytes of the longest text read a character at a time (measured in Node
// 20: faster up to about a dozen, the decoder beyond).
const SHORT_TEXT = 12;
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
const isNode = typeof process === 'object' && typeof process.versions?.node === 'string';

// The module's WebAssembly. A browser starts fetching it, and compiling it
// as it arrives, before the module's JavaScript is even loaded (that
// JavaScript is imported when first needed, so that a page's own modules
// run, and start fetching their dictionaries, without waiting for it).
// Node, whose fetch cannot read a file: URL, is handed the bytes.
async function wasmOptions() {
  const url = new URL('./quarvel-wasm.wasm', import.meta.url);
  if (isNode) {
    const { readFile } = await import('node:fs/promises');
    return { wasmBinary: await readFile(url) };
  }
  const compiled = WebAssembly.compileStreaming(fetch(url)).catch(async (error) => {
    // A server that does not say application/wasm: compile it whole.
    console.warn(`quarvel: WebAssembly compiled after download (${error.message})`);
    const response = await fetch(url);
    if (!response.ok) throw new Error(`${url} answered ${response.status}`);
    return WebAssembly.compile(await response.arrayBuffer());
  });
  // Its failure is reported where the opening waits for it.
  compiled.catch(() => {});
  return {
    compiled,
    instantiateWasm(imports, receive) {
      compiled.then((module) => WebAssembly.instantiate(module, imports))
        .then((instance) => receive(instance), () => {});
      return {};
    },
  };
}

// The one module instance, with its layout table read once.
function engine() {
  loading ??= Promise.all([import('./quarvel-wasm.mjs'), wasmOptions()])
    .then(([{ default: createQuarvelModule }, options]) =>
      // A WebAssembly that cannot be fetched or compiled fails the opening
      // here rather than leaving the module waiting for it.
      Promise.all([createQuarvelModule(options), options.compiled]))
    .then(([M]) => {
      const names = M.UTF8ToString(M._quarvel_web_layout_names()).split(',').filter(Boolean);
      const base = M._quarvel_web_layout() >> 2;
      // Made in one go, the table keeps V8's fast properties (one by one,
      // its 75 names would make it a dictionary, slow to read at every check).
      const layout = Object.fromEntries(names.map((name, i) => [name, M.HEAPU32[base + i]]));
      M.quarvelLayout = layout;
      const result = M._malloc(layout.result_size);
      M.HEAPU8.fill(0, result, result + layout.result_size);
      M.quarvelScratch = { result, passwordRoom: M._malloc(PASSWORD_ROOM) };
      M.FS.mkdir('/quarvel');
      return M;
    });
  return loading;
}

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
  if (config instanceof URL || config instanceof ArrayBuffer || ArrayBuffer.isView(config)) {
    return bytesOf(config, 'config');
  }
  throw new TypeError('config is its text, its bytes (Uint8Array, ArrayBuffer) or a URL object');
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

// The module's memory as typed arrays, made again only when it grew (the
// module then replaces its own views), with the scratch password buffer.
function viewsOf(M) {
  let views = M.quarvelViews;
  if (views === undefined || views.u8 !== M.HEAPU8) {
    const u8 = M.HEAPU8;
    const { passwordRoom } = M.quarvelScratch;
    views = M.quarvelViews = {
      u8, i32: M.HEAP32, u32: M.HEAPU32, f64: M.HEAPF64,
      // One byte short of the room: the NUL after the longest that fits.
      password: u8.subarray(passwordRoom, passwordRoom + PASSWORD_ROOM - 1),
    };
  }
  return views;
}

// The NUL-terminated text of a fixed-size field. The decoder is the
// fastest for longer texts; a short ASCII one is made a character at a time.
function text(u8, at, size) {
  if (u8[at] === 0) return '';
  let end = at;
  for (const limit = at + size; end < limit && u8[end] !== 0; ++end);
  if (end - at > SHORT_TEXT) return decoder.decode(u8.subarray(at, end));
  let short = '';
  let high = 0;
  for (let i = at; i < end; ++i) {
    high |= u8[i];
    short += String.fromCharCode(u8[i]);
  }
  return high < 0x80 ? short : decoder.decode(u8.subarray(at, end));
}

// The catalogue's answers, asked of the module once per code: arrays by
// code for the advice ({name, text}) and for each kind of guess name.
function catalogue(M) {
  if (M.quarvelCatalogue) return M.quarvelCatalogue;
  const lookup = (fn) => {
    const known = [];
    return (code) => known[code] ??= M.UTF8ToString(fn(code));
  };
  const guessNames = (what) => lookup((code) => M._quarvel_guess_name(what, code));
  const advice = (nameFn, textFn) => {
    const name = lookup(nameFn);
    const text = lookup(textFn);
    return (code) => ({ name: name(code) || String(code), text: text(code) });
  };
  const attack = guessNames(NAME_ATTACK);
  const attacks = [];
  for (let a = 0; a < M.quarvelLayout.attacks; ++a) attacks.push(attack(a) || String(a));
  M.quarvelCatalogue = {
    piece: guessNames(NAME_PIECE),
    // By bit number: the code is 1 << bit.
    transform: lookup((bit) => M._quarvel_guess_name(NAME_TRANSFORM, 1 << bit)),
    attacks,
    warning: advice(M._quarvel_warning_name, M._quarvel_warning_text),
    suggestion: advice(M._quarvel_suggestion_name, M._quarvel_suggestion_text),
  };
  return M.quarvelCatalogue;
}

const countAt = (i32, at, max) => Math.max(0, Math.min(i32[at >> 2], max));

function readSteps(u8, i32, r, L) {
  const steps = [];
  const n = countAt(i32, r + L.step_count, L.max_steps);
  for (let i = 0, s = r + L.match_steps; i < n; ++i, s += L.step_size) {
    const piece = i32[(s + L.step_piece) >> 2];
    steps.push({
      code: nameOf(STEP_NAMES, i32[(s + L.step_code) >> 2]),
      piece: piece === 0 ? '' : nameOf(PIECE_NAMES, piece),
      count: i32[(s + L.step_count_member) >> 2],
      count2: i32[(s + L.step_count2) >> 2],
      arg: text(u8, s + L.step_arg, L.step_arg_size),
    });
  }
  return steps;
}

function readExplanation(views, r, L) {
  const { u8, i32, u32 } = views;
  const m = r + L.match;
  const kind = i32[(m + L.match_kind) >> 2];
  if (kind === 0) return null;
  const variants = u32[(m + L.match_variants) >> 2];
  const breach = (r + L.breach_count) >> 2;
  return {
    kind: MATCH_KINDS[kind] ?? String(kind),
    slot: i32[(m + L.match_slot) >> 2],
    prefix: text(u8, m + L.match_prefix, L.match_prefix_size),
    word: text(u8, m + L.match_word, L.match_word_size),
    rule: text(u8, m + L.match_rule, L.match_rule_size),
    affix: text(u8, m + L.match_affix, L.match_affix_size),
    variant: text(u8, m + L.match_variant, L.match_variant_size),
    variants: variants === 0 ? [] : VARIANT_NAMES.filter((_, bit) => variants & (1 << bit)),
    breach_count: kind === 6 ? u32[breach] + u32[breach + 1] * 2 ** 32 : 0,
    steps: readSteps(u8, i32, r, L),
  };
}

function readPieces(views, r, L, names) {
  const { u8, i32, u32, f64 } = views;
  const pieces = [];
  const n = countAt(i32, r + L.piece_count, L.max_pieces);
  for (let i = 0, p = r + L.pieces; i < n; ++i, p += L.piece_size) {
    const bits = u32[(p + L.piece_transforms) >> 2];
    const transforms = [];
    for (let bit = 0; bit < 32 && bits >>> bit !== 0; ++bit) {
      if ((bits >>> bit) & 1) transforms.push(names.transform(bit) || String(1 << bit));
    }
    const kind = i32[(p + L.piece_kind) >> 2];
    pieces.push({
      kind: names.piece(kind) || String(kind),
      start: i32[(p + L.piece_start) >> 2],
      length: i32[(p + L.piece_length) >> 2],
      word: text(u8, p + L.piece_word, L.piece_word_size),
      rank: u32[(p + L.piece_rank) >> 2],
      slot: i32[(p + L.piece_slot) >> 2],
      transforms,
      guesses_log10: f64[(p + L.piece_guesses_log10) >> 3],
    });
  }
  return pieces;
}

// The result record at r, as the fields of a Strength: read straight from
// the module's memory through views made once, every field at once.
function readResult(M, r) {
  const L = M.quarvelLayout;
  const views = viewsOf(M);
  const { u8, i32, u32, f64 } = views;
  const names = catalogue(M);
  const int = (offset) => i32[(r + offset) >> 2];

  const explanation = readExplanation(views, r, L);
  const reasons = [];
  const reasonCount = countAt(i32, r + L.reason_count, L.max_reasons);
  for (let i = 0, at = r + L.reasons; i < reasonCount; ++i, at += L.reason_size) {
    const reason = {
      stage: i32[(at + L.reason_stage) >> 2],
      code: nameOf(REASON_NAMES, i32[(at + L.reason_code) >> 2]),
      points: i32[(at + L.reason_points) >> 2],
      value: i32[(at + L.reason_value) >> 2],
      limit: i32[(at + L.reason_limit) >> 2],
    };
    reason.text = reasonText(reason, explanation);
    reasons.push(reason);
  }
  const crack_seconds = {};
  const seconds = (r + L.crack_seconds) >> 3;
  names.attacks.forEach((name, a) => { crack_seconds[name] = f64[seconds + a]; });
  const suggestions = [];
  const suggestionCount = countAt(i32, r + L.suggestion_count, L.max_suggestions);
  for (let i = 0, at = (r + L.suggestions) >> 2; i < suggestionCount; ++i) {
    suggestions.push(names.suggestion(i32[at + i]));
  }
  const warning = int(L.warning);
  const failures = u32[(r + L.nist_failures) >> 2];
  const score = (r + L.stage_score) >> 2;
  return {
    level: int(L.level),
    code: int(L.code),
    fields: {
      pw_len: int(L.pw_len),
      pw_ncr: int(L.pw_ncr),
      rept_ncr: int(L.rept_ncr),
      cts_ncr: int(L.cts_ncr),
      dict_fd_cnt: int(L.dict_fd_cnt),
      pdict_fd: int(L.pdict_fd),
      distinct: int(L.distinct),
    },
    stage_scores: [i32[score], i32[score + 1], i32[score + 2], i32[score + 3], i32[score + 4],
      i32[score + 5]],
    explanation,
    answer: text(u8, r + L.answer, L.answer_size),
    nist: {
      ok: int(L.nist_ok) !== 0,
      failures: failures === 0 ? [] : NIST_NAMES.filter((_, bit) => failures & (1 << bit)),
      length: int(L.nist_length),
      min_length: int(L.nist_min_length),
    },
    reasons,
    guesses_log10: f64[(r + L.guesses_log10) >> 3],
    crack_seconds,
    pieces: readPieces(views, r, L, names),
    warning: warning ? names.warning(warning) : null,
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
    entries.forEach(([name, source], i) => {
      const path = `${root}/dicts/${name}`;
      // Bytes fetched or read here become the file; the caller's are copied.
      const fetched = typeof source === 'string' || source instanceof URL;
      M.FS.writeFile(path, files[i], { canOwn: fetched });
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
    // Any list of words will do (an array, a Set); none (null or undefined)
    // is no context. A string would be taken a character at a time.
    const list =
      context == null
        ? []
        : typeof context !== 'string' && typeof context[Symbol.iterator] === 'function'
          ? Array.from(context)
          : null;
    if (list === null) throw new TypeError('context is a list of words');
    const M = this.#M;
    const L = M.quarvelLayout;
    const isText = typeof password === 'string';
    if (!isText && !(password instanceof Uint8Array)) {
      throw new TypeError('a password is a string or a Uint8Array');
    }
    const words = list.map((w) => encoder.encode(String(w)));
    // The module's scratch record and password buffer serve every check (a
    // check runs to its end before another starts), and are wiped after it.
    // A string is encoded straight into the buffer; one that does not fit,
    // and bytes too long for it, get an allocation of their own.
    const { result, passwordRoom } = M.quarvelScratch;
    let views = viewsOf(M);
    let bytes = password;
    let length;
    let pw = passwordRoom;
    if (isText) {
      const { read, written } = encoder.encodeInto(password, views.password);
      length = written;
      if (read !== password.length) {
        views.u8.fill(0, passwordRoom, passwordRoom + written);
        bytes = encoder.encode(password);
      }
    }
    if (bytes instanceof Uint8Array) {
      length = bytes.length;
      if (length < PASSWORD_ROOM) views.u8.set(bytes, passwordRoom);
      else pw = copyIn(M, bytes);
    }
    if (pw === passwordRoom) views.u8[pw + length] = 0;
    const owned = [];
    try {
      let list = 0;
      if (words.length) {
        for (const word of words) owned.push([copyIn(M, word), word.length + 1]);
        list = M._malloc(4 * words.length);
        owned.push([list, 4 * words.length]);
        words.forEach((_, i) => { M.HEAPU32[(list >> 2) + i] = owned[i][0]; });
      }
      // An allocation above may have grown the memory.
      views = viewsOf(M);
      views.u32[result >> 2] = L.result_size;
      views.u32[(result + L.match) >> 2] = L.match_size;
      const code = words.length
        ? M._quarvel_check_context(this.#env, pw, length, list, words.length, result)
        : M._quarvel_check(this.#env, pw, length, result);
      if (code !== 0) throw new QuarvelError(code, REASONS[code] ?? 'the check failed');
      return readResult(M, result);
    } finally {
      const heap = M.HEAPU8;
      heap.fill(0, result, result + L.result_size);
      if (pw === passwordRoom) heap.fill(0, pw, pw + length + 1);
      else wipeAndFree(M, pw, length + 1);
      for (const [at, size] of owned) wipeAndFree(M, at, size);
      for (const word of words) word.fill(0);
      if (isText && bytes !== password) bytes.fill(0);
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
