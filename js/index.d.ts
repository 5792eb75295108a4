/** Bytes, or a URL to fetch them from (a file: URL is read from disk in Node). */
export type Source = Uint8Array | ArrayBuffer | ArrayBufferView | URL | string;

/** A failure reported by the engine. */
export class QuarvelError extends Error {
  /** 1001 configuration, 1002 default dictionary, 1003 another dictionary,
   *  2000 empty or too long password, 2001 closed environment, ... */
  readonly code: number;
  readonly reason: string;
}

export interface Fields {
  pw_len: number;
  pw_ncr: number;
  rept_ncr: number;
  cts_ncr: number;
  dict_fd_cnt: number;
  /** 1 found, 0 not found, -1 not used */
  pdict_fd: number;
  distinct: number;
}

export interface Step {
  /** "lowercased", "rule", "read_as", "cut_end", "pattern", ... */
  code: string;
  /** "digits", "year", "date", "symbols", "keyboard_walk", "sequence", "run", or "" */
  piece: string;
  count: number;
  count2: number;
  /** May quote part of the password. */
  arg: string;
}

export interface Match {
  kind: 'dictionary' | 'personal' | 'context' | 'unreadable' | 'pattern' | 'breach' | string;
  slot: number;
  prefix: string;
  /** The stored word: treat it as a secret. */
  word: string;
  rule: string;
  affix: string;
  /** The engine's English for the steps. */
  variant: string;
  variants: string[];
  breach_count: number;
  steps: Step[];
}

export interface Reason {
  stage: number;
  /** "few_distinct", "repeats", "sequences", "dictionary", "pattern", "level_capped", ... */
  code: string;
  points: number;
  value: number;
  limit: number;
  /** In English, worded from the codes. */
  text: string;
}

export interface NistVerdict {
  ok: boolean;
  failures: Array<'too_short' | 'blocklist' | 'repetitive' | 'context'>;
  length: number;
  min_length: number;
}

export interface GuessPiece {
  kind: string;
  start: number;
  length: number;
  word: string;
  rank: number;
  slot: number;
  transforms: string[];
  guesses_log10: number;
}

export interface Advice {
  name: string;
  text: string;
}

/** The outcome of a check: the fields of the Python package's Strength, and code. */
export interface Strength {
  /** 1 (weak) to 4 (strong) */
  level: number;
  /** 0 */
  code: number;
  fields: Fields;
  stage_scores: number[];
  explanation: Match | null;
  answer: string;
  nist: NistVerdict;
  reasons: Reason[];
  guesses_log10: number;
  crack_seconds: Record<string, number>;
  pieces: GuessPiece[];
  warning: Advice | null;
  suggestions: Advice[];
}

export interface OpenOptions {
  /** The configuration: its text, its bytes, or a URL object. */
  config: string | Uint8Array | ArrayBuffer | URL;
  /** Dictionary files by name ("default_dict.pwd", "default_dict.pwi", ...). */
  dictionaries?: Record<string, Source>;
}

export interface CheckOptions {
  /**
   * Words about the person (login name, names) searched like a dictionary:
   * any iterable of words; null or left out is none.
   */
  context?: Iterable<string> | null;
}

export class Quarvel {
  static open(options: OpenOptions): Promise<Quarvel>;
  /** The shipped service configuration (extended search on) and default dictionary. */
  static openDefault(): Promise<Quarvel>;
  readonly closed: boolean;
  check(password: string | Uint8Array, options?: CheckOptions): Strength;
  close(): void;
}

export function version(): Promise<string>;
export function memoryBytes(): Promise<number>;
export function stepsText(steps: Step[]): string;
export function describeMatch(match: Match | null): string;
export function reasonText(reason: Omit<Reason, 'text'>, match: Match | null): string;
