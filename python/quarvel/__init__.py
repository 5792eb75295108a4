"""Quarvel: password-strength verification, bound from libquarvel with ctypes.

>>> import quarvel
>>> with quarvel.Environment("build/service") as env:
...     print(env.check("Tr0ub4dor&3").level)

An :class:`Environment` is opened from a root folder holding
``conf/quarvel.ini`` and ``dicts/default_dict``. Any number of threads may
check with one environment at once: the foreign call runs without the GIL.

Failures raise :class:`QuarvelError` with the library's code: opening or
reloading (1001, 1002, 1003), and a password the library will not grade
(2000: empty, starting with a NUL byte, or longer than 257 bytes). A
successful check returns a :class:`Strength`, whose answer always starts with
``RET_CD=0000``.
"""

from __future__ import annotations

import ctypes
import enum
import functools
import os
import re
import threading
from dataclasses import dataclass, field
from types import TracebackType
from typing import Dict, Iterable, Iterator, List, Optional, Sequence, Tuple, Type, Union
from contextlib import contextmanager

from quarvel import _native

__all__ = [
    "ATTACKS",
    "Advice",
    "Environment",
    "Fields",
    "GuessPiece",
    "Match",
    "MatchKind",
    "NistFailure",
    "NistVerdict",
    "Password",
    "QuarvelError",
    "Reason",
    "Settings",
    "Step",
    "Strength",
    "Variant",
    "check",
    "check_context",
    "describe_steps",
    "library_version",
]

#: What a password may be: text (encoded as UTF-8) or bytes. A bytearray is
#: passed to the library without a copy, so the caller can wipe it afterwards.
Password = Union[str, bytes, bytearray]

_REASONS = {
    1001: "the configuration cannot be read",
    1002: "the default dictionary cannot be opened",
    1003: "a configured dictionary cannot be opened",
    _native.QUARVEL_BAD_PASSWORD: "the password is empty, starts with a NUL byte, "
    "or is longer than 257 bytes",
    _native.QUARVEL_NO_ENV: "the environment is closed",
    _native.QUARVEL_BAD_ARGUMENT: "the library refused the result record",
    _native.QUARVEL_TOO_LONG: "the answer would exceed 1023 characters",
}


class QuarvelError(Exception):
    """A failure reported by the library: ``code`` is its number (for example
    1001 or 2000), ``reason`` a one-line explanation."""

    def __init__(self, code: int, reason: str) -> None:
        super().__init__(f"quarvel error {code}: {reason}")
        #: The library's code, as in the answer text "RET_CD=NNNN".
        self.code = code
        #: What went wrong, in words.
        self.reason = reason


class MatchKind(enum.IntEnum):
    """Where the dictionary stage found the password (QUARVEL_MATCH_*)."""

    NONE = 0
    DICTIONARY = 1
    PERSONAL = 2
    CONTEXT = 3
    UNREADABLE = 4
    PATTERN = 5
    BREACH = 6  #: a hashed leaked-password list ([QUARVEL_BREACH])


class Variant(enum.IntFlag):
    """How the password was turned into the stored word (QUARVEL_VARIANT_*)."""

    LOWERCASED = 0x01
    REVERSED = 0x02
    RULE = 0x04
    SUFFIX = 0x08
    PREFIX = 0x10


#: The stable names of the explanation codes (engine.h, "Explanations as
#: data"), by code number: reasons, steps, and the pieces of steps.
REASON_NAMES = ("", "few_distinct", "repeats", "sequences", "dictionary", "breach", "context",
                "pattern", "unreadable", "personal", "level_capped", "few_guesses")
STEP_NAMES = ("", "lowercased", "capitalised", "uppercased", "reversed", "rule", "cut_first",
              "cut_last", "punctuation_removed", "symbols_removed", "non_alnum_removed",
              "read_as", "dropped", "suffix", "prefix", "doubled", "inside", "cut_start",
              "cut_end", "pattern", "typed_latin", "accents_folded")
PIECE_NAMES = ("", "digits", "year", "date", "symbols", "keyboard_walk", "sequence", "run")


def _name(names: Tuple[str, ...], code: int) -> str:
    """The name of a code; its number as text for one this version does not know."""
    return names[code] if 0 < code < len(names) else str(code)


@dataclass(frozen=True)
class Step:
    """One step of how the password became the matched word, in the order the
    search applied it. ``code`` is the step's stable name ("lowercased",
    "rule", "cut_end", ...), ``piece`` the name of what a cut or a pattern is
    ("digits", "year", "keyboard_walk", ... or "" when the code has none);
    ``count``, ``count2`` and ``arg`` are used as the code says (engine.h),
    else 0 or "". ``arg`` may quote part of the password: do not log it."""

    code: str
    piece: str
    count: int
    count2: int
    arg: str

    @property
    def text(self) -> str:
        """The step in English, as the quarvel command words it ("" for
        "rule", whose steps after it say what it did, and for a code this
        version does not know)."""
        plain = {"lowercased": "lower-cased", "capitalised": "capitalised",
                 "uppercased": "upper-cased", "reversed": "reversed",
                 "punctuation_removed": "punctuation removed",
                 "symbols_removed": "symbols removed",
                 "non_alnum_removed": "non-alphanumeric characters removed",
                 "doubled": "written twice", "accents_folded": "accents removed"}
        if self.code in plain:
            return plain[self.code]
        if self.code in ("cut_first", "cut_last"):
            which = "first" if self.code == "cut_first" else "last"
            return f"{which} {self.count} character{'s' if self.count > 1 else ''} removed"
        if self.code == "read_as":
            return f"'{self.arg[:1]}' read as '{self.arg[1:2]}'"
        if self.code == "dropped":
            return f"'{self.arg[:1]}' dropped"
        if self.code in ("suffix", "prefix"):
            return f"{self.code} {self.arg}"
        if self.code == "inside":
            return f"inside the password ({self.count} before, {self.count2} after)"
        if self.code == "typed_latin":
            return f"the Korean word {self.arg} typed on a Latin keyboard"
        if self.code in ("cut_start", "cut_end", "pattern"):
            named = {"digits": "digits ", "year": "year ", "date": "date "}
            if self.piece in named:
                piece = named[self.piece] + self.arg
            elif self.piece == "symbols" and self.code != "pattern":
                piece = f"'{self.arg}'"
            else:
                piece = f"{self.piece.replace('_', ' ')} '{self.arg}'"
            if self.code == "pattern":
                return piece
            return piece + (" cut from the start" if self.code == "cut_start" else " cut from the end")
        return ""


@dataclass(frozen=True)
class Reason:
    """Why a stage lost points (or, with ``stage`` 0 and code
    "level_capped", why the level was capped). ``code`` is the stable name
    ("few_distinct", "dictionary", ...); ``value`` and ``limit`` are what was
    measured and the setting it went past, for the codes that have them
    (else 0). ``text`` says it in English without quoting the password."""

    stage: int
    code: str
    points: int
    value: int
    limit: int
    text: str


_FIXED_TEXTS = {
    "dictionary": "in a dictionary, or a variant of a word in one",
    "breach": "in a list of leaked passwords, or a variant of one",
    "context": "close to a context word",
    "pattern": "a keyboard walk, sequence, run or date",
    "unreadable": "a dictionary could not be read, which counts as found",
    "personal": "in the personal dictionary",
}


def _reason_text(code: str, value: int, limit: int) -> str:
    if code == "few_distinct":
        return f"only {value} distinct characters" + (f" (fewer than {limit})" if limit else "")
    if code == "repeats":
        return f"{value} repeated two-character pieces" + (f" (more than {limit})" if limit else "")
    if code == "sequences":
        return f"{value} neighbours in sequence" + (f" (more than {limit})" if limit else "")
    if code == "level_capped":
        return f"a found password is rated at most level {limit} (the score gave level {value})"
    if code == "few_guesses":
        return (f"a password estimated below the least number of guesses is rated at most level "
                f"{limit} (the score gave level {value})")
    return _FIXED_TEXTS.get(code, "a lost point")


# The stage-5 reason code of a match kind, for a library that gives no reasons.
_STAGE5_CODES = {MatchKind.BREACH: 5, MatchKind.CONTEXT: 6, MatchKind.PATTERN: 7,
                 MatchKind.UNREADABLE: 8}


def _reasons(result: _native.Result, scores: Tuple[int, ...]) -> Tuple[Reason, ...]:
    """The record's reasons; from a library that leaves them empty, the ones
    its stage scores and match say (without the limits, which it lacks)."""
    count = result.reason_count
    raw: List[Tuple[int, int, int, int, int]]
    if count > 0:
        raw = [(r.stage, r.code, r.points, r.value, r.limit)
               for r in result.reasons[:min(count, _native.MAX_REASONS)]]
    else:
        raw = []
        for stage in range(2, 7):
            points = scores[stage - 2] - scores[stage - 1]
            if points <= 0:
                continue
            if stage == 2:
                raw.append((2, 1, points, result.distinct, 0))
            elif stage == 3:
                raw.append((3, 2, points, result.rept_ncr, 0))
            elif stage == 4:
                raw.append((4, 3, points, result.cts_ncr, 0))
            elif stage == 5:
                raw.append((5, _STAGE5_CODES.get(result.match.kind, 4), points, 0, 0))
            else:
                raw.append((6, 8 if result.match.kind == MatchKind.UNREADABLE else 9, points, 0, 0))
    reasons: List[Reason] = []
    for stage, number, points, value, limit in raw:
        code = _name(REASON_NAMES, number)
        reasons.append(Reason(stage, code, points, value, limit,
                              _reason_text(code, value, limit)))
    return tuple(reasons)


def describe_steps(steps: Sequence[Step]) -> str:
    """The steps in English, as the library words ``Match.variant``: the
    phrases joined by ", ", the groups of one affix cut from one end in one
    phrase ("year 2024 and '!' cut from the end"), "as given" for none."""
    phrases: List[str] = []
    i = 0
    while i < len(steps):
        step = steps[i]
        if step.code in ("cut_start", "cut_end"):
            group = [step]
            while i + 1 < len(steps) and steps[i + 1].code == step.code:
                i += 1
                group.append(steps[i])
            suffix = " cut from the start" if step.code == "cut_start" else " cut from the end"
            phrases.append(" and ".join(s.text[:-len(suffix)] for s in group) + suffix)
        elif step.text:
            phrases.append(step.text)
        i += 1
    return ", ".join(phrases) or "as given"


def _steps(result: _native.Result) -> Tuple[Step, ...]:
    count = result.step_count
    if count <= 0:
        return ()
    return tuple(Step(_name(STEP_NAMES, s.code),
                      PIECE_NAMES[s.piece] if 0 <= s.piece < len(PIECE_NAMES) else str(s.piece),
                      s.count, s.count2, _text(s.arg))
                 for s in result.match_steps[:min(count, _native.MAX_STEPS)])


@dataclass(frozen=True)
class Match:
    """What the dictionary stage matched: the explanation of a weak password.

    ``word`` and ``variant`` describe the password closely (``variant`` may
    quote the digits cut off it): treat them as secrets, do not log them.
    """

    kind: MatchKind
    slot: int  #: dictionary slot 0 to 7; -1 for other kinds
    prefix: str  #: the dictionary's prefix as configured ("" for context words)
    word: str  #: the stored word or context word that matched
    rule: str  #: the mangling rule's text, ":" when none changed it
    affix: str  #: the number cut off, or ""
    variant: str  #: the transformation, for a person ("as given" when unchanged)
    variants: Variant  #: the transformation, as flags
    breach_count: int = 0  #: occurrences in the leaked-password list (kind BREACH)
    #: How the password became ``word``, step by step (empty: as given, or a
    #: library that does not say). Treat the steps' ``arg`` as secret too.
    steps: Tuple[Step, ...] = ()


@dataclass(frozen=True)
class Fields:
    """The measured fields, named as in the answer text."""

    pw_len: int  #: length in bytes (up to a NUL byte)
    pw_ncr: int  #: character classes present, 0 to 4
    rept_ncr: int  #: repeated two-character pieces (0 when that stage is off)
    cts_ncr: int  #: neighbours in sequence
    dict_fd_cnt: int  #: dictionaries searched, plus one when none found it
    pdict_fd: int  #: personal dictionary: 1 found, 0 not found, -1 not used
    distinct: int  #: distinct characters (not in the answer text)


class NistFailure(enum.IntFlag):
    """Requirements of NIST SP 800-63B a password fails (QUARVEL_NIST_*)."""

    TOO_SHORT = 0x01
    BLOCKLIST = 0x02
    REPETITIVE = 0x04
    CONTEXT = 0x08


@dataclass(frozen=True)
class NistVerdict:
    """The NIST SP 800-63B verdict, independent of the level."""

    ok: bool
    failures: NistFailure
    length: int  #: characters counted (NFKC; bytes when not UTF-8)
    min_length: int


#: The attacks of the estimate, by the stable names that key
#: :attr:`Strength.crack_seconds`, in the order of their codes
#: (QUARVEL_ATTACK_*): 100 guesses an hour, 10 a second, 10^4 and 10^10 a
#: second.
ATTACKS = ("online_throttled", "online", "offline_slow_hash", "offline_fast_hash")

@functools.lru_cache(maxsize=None)
def _catalogue_entry(function: str, *codes: int) -> str:
    """What the library's catalogue function answers for ``codes`` (a name or
    an English text; "" for a code it does not know), kept once asked for."""
    raw: bytes = getattr(_native.library(), function)(*codes)
    return raw.decode("utf-8", errors="replace")


def _guess_name(what: int, code: int) -> str:
    """The stable name of a piece kind, transform bit or attack; the code as
    text for one the library does not name."""
    return _catalogue_entry("quarvel_guess_name", what, code) or str(code)


@functools.lru_cache(maxsize=1)
def _attack_names() -> Tuple[str, ...]:
    return tuple(_guess_name(_native.NAME_ATTACK, code) for code in range(_native.ATTACKS))


@dataclass(frozen=True)
class Advice:
    """A warning or a suggestion about a password: ``name`` is its stable name
    ("common_password", "add_words", ...; the code's number as text for one
    the library does not name), ``text`` its English from the library's
    catalogue, which a site may translate by name."""

    name: str
    text: str


@functools.lru_cache(maxsize=None)
def _advice(kind: str, code: int) -> Advice:
    name = _catalogue_entry(f"quarvel_{kind}_name", code) or str(code)
    return Advice(name, _catalogue_entry(f"quarvel_{kind}_text", code))


@dataclass(frozen=True)
class GuessPiece:
    """One piece of the guess estimate's covering of the password, left to
    right: ``kind`` by its stable name ("dictionary", "context", "repeat",
    "keyboard_walk", "sequence", "date", "year", "brute_force"), the bytes it
    covers, and what it costs. ``word`` may be a stored word, a context word,
    a date read or the repeated text: treat it as a secret, do not log it."""

    kind: str
    start: int  #: first byte of the password it covers (from 0)
    length: int  #: bytes it covers
    word: str
    rank: int  #: a word's rank (1: tried first); a repeat's count; else 0
    slot: int  #: a word's dictionary slot (0 to 7; 8 the personal dictionary); else -1
    #: "capitalised", "uppercased", "mixed_case", "leet", "reversed", "shifted"
    transforms: Tuple[str, ...]
    guesses_log10: float  #: log10 of the guesses this piece costs


@functools.lru_cache(maxsize=None)
def _transforms(bits: int) -> Tuple[str, ...]:
    names: List[str] = []
    while bits:
        bit = bits & -bits
        names.append(_guess_name(_native.NAME_TRANSFORM, ctypes.c_int(bit).value))
        bits ^= bit
    return tuple(names)


def _pieces(result: _native.Result) -> Tuple[GuessPiece, ...]:
    count = max(0, min(result.piece_count, _native.MAX_PIECES))
    return tuple(GuessPiece(_guess_name(_native.NAME_PIECE, p.kind), p.start, p.length,
                            _text(p.word), p.rank, p.slot, _transforms(p.transforms),
                            p.guesses_log10)
                 for p in result.pieces[:count])


@dataclass(frozen=True)
class Strength:
    """The outcome of a check."""

    level: int  #: 1 (weak) to 4 (strong)
    fields: Fields
    stage_scores: Tuple[int, int, int, int, int, int]  #: the score after each stage
    explanation: Optional[Match]  #: what matched, or None when nothing did
    answer: str  #: the answer text exactly as VerifyPW gives it
    nist: Optional[NistVerdict] = None  #: the NIST SP 800-63B verdict
    #: One per stage that lost points, in stage order, and the level's cap.
    reasons: Tuple[Reason, ...] = ()
    #: log10 of the guesses an attacker needs (None: no estimate).
    guesses_log10: Optional[float] = None
    #: The seconds each attack of :data:`ATTACKS` takes, by its name.
    crack_seconds: Dict[str, float] = field(default_factory=dict, hash=False)
    #: The covering of the password that the estimate found, left to right.
    pieces: Tuple[GuessPiece, ...] = ()
    #: Why the password is weak, when the estimate says (None otherwise).
    warning: Optional[Advice] = None
    #: How to make it stronger, most useful first (up to three).
    suggestions: Tuple[Advice, ...] = ()


@dataclass(frozen=True)
class Settings:
    """The settings of an environment, as its configuration gave them."""

    min_len: int
    min_diff: int
    min_step: int
    min_rept: int
    use_min_rept: bool
    suffix_numbers: int  #: numbers tried as a suffix: 0, 10 or 100
    prefix_numbers: int  #: numbers tried as a prefix: 0, 10 or 100
    reverse: bool
    use_profile: bool
    dict_count: int  #: configured dictionaries, the default one included
    dict_prefixes: Tuple[str, ...]  #: the eight slots' prefixes, "" for an empty slot


def _text(raw: bytes) -> str:
    return raw.decode("utf-8", errors="replace")


def _as_argument(password: Password) -> Tuple[Union[bytes, ctypes.Array[ctypes.c_char]], int]:
    if isinstance(password, str):
        data = password.encode("utf-8")
        return data, len(data)
    if isinstance(password, bytes):
        return password, len(password)
    if isinstance(password, bytearray):
        if not password:
            return b"", 0
        return (ctypes.c_char * len(password)).from_buffer(password), len(password)
    raise TypeError(f"a password is str, bytes or bytearray, not {type(password).__name__}")


def _strength(result: _native.Result) -> Strength:
    m = result.match
    explanation: Optional[Match] = None
    if m.kind != MatchKind.NONE:
        explanation = Match(
            kind=MatchKind(m.kind), slot=m.slot, prefix=os.fsdecode(m.prefix),
            word=_text(m.word), rule=_text(m.rule), affix=_text(m.affix),
            variant=_text(m.variant), variants=Variant(m.variants),
            breach_count=result.breach_count if m.kind == MatchKind.BREACH else 0,
            steps=_steps(result))
    scores = tuple(result.stage_score)
    return Strength(
        level=result.level,
        fields=Fields(pw_len=result.pw_len, pw_ncr=result.pw_ncr, rept_ncr=result.rept_ncr,
                      cts_ncr=result.cts_ncr, dict_fd_cnt=result.dict_fd_cnt,
                      pdict_fd=result.pdict_fd, distinct=result.distinct),
        stage_scores=(scores[0], scores[1], scores[2], scores[3], scores[4], scores[5]),
        explanation=explanation,
        answer=result.answer.decode("ascii", errors="replace"),
        nist=NistVerdict(ok=bool(result.nist_ok), failures=NistFailure(result.nist_failures),
                         length=result.nist_length, min_length=result.nist_min_length),
        reasons=_reasons(result, scores),
        guesses_log10=result.guesses_log10,
        crack_seconds=dict(zip(_attack_names(), result.crack_seconds)),
        pieces=_pieces(result),
        warning=_advice("warning", result.warning) if result.warning else None,
        suggestions=tuple(
            _advice("suggestion", code) for code in
            result.suggestions[:max(0, min(result.suggestion_count, _native.MAX_SUGGESTIONS))]))


class Environment:
    """An environment opened from a root folder (``conf/quarvel.ini``,
    ``dicts/default_dict``, optionally ``dicts/profile``).

    Use it as a context manager, or call :meth:`close`. Checks may run in any
    number of threads at once; :meth:`close` waits for the checks in flight.
    Raises :class:`QuarvelError` (1001, 1002 or 1003) when the root does not
    open, and ``OSError`` when the library cannot be loaded.
    """

    def __init__(self, root: Union[str, os.PathLike[str]]) -> None:
        self._lib = _native.library()
        #: The root folder, as given.
        self.root = os.fspath(root)
        error = ctypes.create_string_buffer(_native.ERROR_SIZE)
        handle = self._lib.quarvel_open(os.fsencode(self.root), error, len(error))
        if not handle:
            reason = _text(error.value) or "the environment cannot be opened"
            raise QuarvelError(_code_in(reason, default=1001), reason)
        self._handle: Optional[int] = handle
        self._guard = threading.Condition()
        self._in_flight = 0

    def __enter__(self) -> Environment:
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], value: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None:
        self.close()

    def __del__(self) -> None:
        handle = getattr(self, "_handle", None)
        if handle:
            self._handle = None
            self._lib.quarvel_close(handle)

    @contextmanager
    def _using(self) -> Iterator[int]:
        with self._guard:
            if self._handle is None:
                raise QuarvelError(_native.QUARVEL_NO_ENV, _REASONS[_native.QUARVEL_NO_ENV])
            self._in_flight += 1
            handle = self._handle
        try:
            yield handle
        finally:
            with self._guard:
                self._in_flight -= 1
                if self._in_flight == 0:
                    self._guard.notify_all()

    @property
    def closed(self) -> bool:
        """True once :meth:`close` was called."""
        return self._handle is None

    def close(self) -> None:
        """Releases the environment, after the checks in flight. Idempotent."""
        with self._guard:
            while self._in_flight:
                self._guard.wait()
            handle, self._handle = self._handle, None
        if handle:
            self._lib.quarvel_close(handle)

    def reload(self) -> None:
        """Reads the configuration and the dictionaries again. On failure
        (1001, 1002, 1003) raises :class:`QuarvelError` and keeps what it had."""
        with self._using() as handle:
            code = self._lib.quarvel_reload(handle)
        if code:
            raise QuarvelError(code, _REASONS.get(code, "reload failed") +
                               f" (root {self.root})")

    def check(self, password: Password) -> Strength:
        """Grades ``password``. Raises :class:`QuarvelError` 2000 for a
        password the library does not grade (empty, starting with a NUL byte,
        longer than 257 bytes)."""
        return self.check_context(password, ())

    def check_context(self, password: Password, words: Iterable[Union[str, bytes]]) -> Strength:
        """Grades ``password`` and also searches the context ``words`` (a
        user's login name, the words of their name, ...) as a dictionary.
        Words are normalised as word-list lines are; those shorter than 3
        characters after that are ignored."""
        if isinstance(words, (str, bytes, bytearray)):
            raise TypeError("words is a list of words, not a single word")
        data, length = _as_argument(password)
        encoded = [_context_word(w) for w in words]
        result = _native.new_result()
        try:
            with self._using() as handle:
                if encoded:
                    array = (ctypes.c_char_p * len(encoded))(*encoded)
                    code = self._lib.quarvel_check_context(handle, data, length, array,
                                                           len(encoded), ctypes.byref(result))
                else:
                    code = self._lib.quarvel_check(handle, data, length, ctypes.byref(result))
            if code != _native.QUARVEL_OK:
                raise QuarvelError(code, _REASONS.get(code, "the check failed"))
            return _strength(result)
        finally:
            _native.wipe(result)

    def settings(self) -> Settings:
        """The settings of the environment's current configuration."""
        raw = _native.Settings()
        raw.size = ctypes.sizeof(raw)
        with self._using() as handle:
            code = self._lib.quarvel_get_settings(handle, ctypes.byref(raw))
        if code:
            raise QuarvelError(code, _REASONS.get(code, "settings unavailable"))
        return Settings(
            min_len=raw.min_len, min_diff=raw.min_diff, min_step=raw.min_step,
            min_rept=raw.min_rept, use_min_rept=bool(raw.use_min_rept),
            suffix_numbers=raw.suffix_numbers, prefix_numbers=raw.prefix_numbers,
            reverse=bool(raw.reverse), use_profile=bool(raw.use_profile),
            dict_count=raw.dict_count,
            dict_prefixes=tuple(os.fsdecode(slot.value) for slot in raw.dict_prefix))


def _code_in(reason: str, default: int) -> int:
    found = re.search(r"\b(100[123])\b", reason)
    return int(found.group(1)) if found else default


def _context_word(word: Union[str, bytes]) -> bytes:
    # bytes() of a number would be that many NUL bytes, not a word.
    if isinstance(word, str):
        return word.encode("utf-8")
    if isinstance(word, (bytes, bytearray, memoryview)):
        return bytes(word)
    raise TypeError(f"a context word is a str or bytes, not {type(word).__name__}")


def check(env: Environment, password: Password) -> Strength:
    """Grades ``password`` in ``env``; the same as ``env.check(password)``."""
    return env.check(password)


def check_context(env: Environment, password: Password,
                  words: Iterable[Union[str, bytes]]) -> Strength:
    """Grades ``password`` in ``env`` with context words; the same as
    ``env.check_context(password, words)``."""
    return env.check_context(password, words)


def library_version() -> str:
    """The loaded library's version, "MAJOR.MINOR.PATCH"."""
    version: bytes = _native.library().quarvel_version()
    return version.decode("ascii")
