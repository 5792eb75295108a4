"""The explanation as data: result records built by hand become reasons and
steps with their stable names, and the Django validator words its message
from those codes; then the same through the real engine."""

from __future__ import annotations

import ctypes
import math
import pathlib
import random
import re
import unicodedata
from typing import Dict, List, Sequence, Tuple

import pytest

import quarvel
from quarvel import _native
from conftest import LIBRARY, SOURCE_DIR, MakeRoot

# (stage, code, points, value, limit) and (code, piece, count, count2, arg)
# as the C record holds them.
RawReason = Tuple[int, int, int, int, int]
RawStep = Tuple[int, int, int, int, bytes]


def record(kind: int, reasons: Sequence[RawReason], steps: Sequence[RawStep],
           scores: Tuple[int, ...] = (3, 3, 3, 3, 2, 2), variants: int = 0) -> _native.Result:
    r = _native.new_result()
    r.level = 2
    r.match.kind = kind
    r.match.word = b"dragon"
    r.match.variants = variants
    for i, score in enumerate(scores):
        r.stage_score[i] = score
    r.reason_count = len(reasons)
    for i, (stage, code, points, value, limit) in enumerate(reasons):
        r.reasons[i] = _native.Reason(stage, code, points, value, limit)
    r.step_count = len(steps)
    for i, (code, piece, count, count2, arg) in enumerate(steps):
        r.match_steps[i] = _native.Step(code, piece, count, count2, arg)
    return r


def validator_class() -> type:
    """QuarvelValidator, with Django's settings configured when no site did."""
    pytest.importorskip("django", reason="python3-django is not installed")
    from django.conf import settings

    if not settings.configured:
        settings.configure(USE_I18N=False)
    from quarvel.django import QuarvelValidator

    return QuarvelValidator


DICTIONARY = (5, 4, 1, 0, 0)
CASES = [
    # reasons, steps, expected reasons (code, text), expected steps, Django changes
    ([(2, 1, 1, 3, 5), (3, 2, 1, 4, 1), (4, 3, 1, 6, 3), (0, 10, 0, 3, 2)], [],
     [("few_distinct", "only 3 distinct characters (fewer than 5)"),
      ("repeats", "4 repeated two-character pieces (more than 1)"),
      ("sequences", "6 neighbours in sequence (more than 3)"),
      ("level_capped", "a found password is rated at most level 2 (the score gave level 3)")],
     [], []),
    ([DICTIONARY], [(2, 0, 0, 0, b""), (5, 0, 17, 0, b"]]"), (7, 0, 2, 0, b"")],
     [("dictionary", "in a dictionary, or a variant of a word in one")],
     [("capitalised", "", 0, 0, ""), ("rule", "", 17, 0, "]]"), ("cut_last", "", 2, 0, "")],
     ["capital letters", "characters substituted, added or removed"]),
    ([(5, 5, 1, 0, 0)], [(4, 0, 0, 0, b""), (14, 0, 0, 0, b"7")],
     [("breach", "in a list of leaked passwords, or a variant of one")],
     [("reversed", "", 0, 0, ""), ("prefix", "", 0, 0, "7")],
     ["reversed", "a number added at the start"]),
    ([DICTIONARY], [(3, 0, 0, 0, b""), (11, 0, 0, 0, b"0o"), (15, 0, 0, 0, b""),
                    (18, 2, 0, 0, b"2024"), (18, 4, 0, 0, b"!!")],
     [("dictionary", "in a dictionary, or a variant of a word in one")],
     [("uppercased", "", 0, 0, ""), ("read_as", "", 0, 0, "0o"), ("doubled", "", 0, 0, ""),
      ("cut_end", "year", 0, 0, "2024"), ("cut_end", "symbols", 0, 0, "!!")],
     ["capital letters", "written twice", "characters substituted, added or removed",
      "a number added at the end"]),
    ([(5, 7, 1, 0, 0)],
     [(19, 5, 0, 0, b"qwerty"), (19, 3, 0, 0, b"1987-06-14"), (42, 9, 0, 0, b"")],
     [("pattern", "a keyboard walk, sequence, run or date")],
     [("pattern", "keyboard_walk", 0, 0, "qwerty"), ("pattern", "date", 0, 0, "1987-06-14"),
      ("42", "9", 0, 0, "")], None),
    ([(6, 9, 1, 0, 0)], [(16, 0, 1, 2, b""), (17, 1, 0, 0, b"12")],
     [("personal", "in the personal dictionary")],
     [("inside", "", 1, 2, ""), ("cut_start", "digits", 0, 0, "12")],
     ["characters substituted, added or removed", "a number added at the start"]),
    # A library that leaves the codes empty: the reasons come from the stage
    # scores and the match, the changes from the variant flags.
    ([], [],
     [("few_distinct", "only 4 distinct characters"),
      ("unreadable", "a dictionary could not be read, which counts as found")],
     [], None),
]


@pytest.mark.parametrize("reasons,steps,want_reasons,want_steps,changes", CASES)
def test_records_become_reasons_and_steps(
        reasons: List[RawReason], steps: List[RawStep], want_reasons: List[Tuple[str, str]],
        want_steps: List[Tuple[str, str, int, int, str]], changes: List[str]) -> None:
    legacy = not reasons
    kind = quarvel.MatchKind.UNREADABLE if legacy else quarvel.MatchKind.DICTIONARY
    r = record(kind, reasons, steps, scores=(4, 3, 3, 3, 2, 2) if legacy else (3,) * 6)
    r.distinct = 4
    strength = quarvel._strength(r)
    assert [(x.code, x.text) for x in strength.reasons] == want_reasons
    assert strength.explanation is not None
    assert [(s.code, s.piece, s.count, s.count2, s.arg)
            for s in strength.explanation.steps] == want_steps
    for reason in strength.reasons:
        assert "dragon" not in reason.text
    if changes is not None:
        assert validator_class()._changes(strength.explanation) == changes


def test_changes_from_variant_flags_without_steps() -> None:
    r = record(quarvel.MatchKind.DICTIONARY, [DICTIONARY], [],
               variants=quarvel.Variant.LOWERCASED | quarvel.Variant.SUFFIX)
    assert validator_class()._changes(quarvel._strength(r).explanation) == [
        "capital letters", "a number added at the end"]


def test_codes_with_the_real_engine(root: pathlib.Path) -> None:
    """Dragon12 in the shipped configuration: the dictionary stage's reason,
    and, from an engine that fills them, the steps lowering the case and a
    rule cutting the last two characters. The steps need the engine that
    fills them (skipped with one that does not)."""
    with quarvel.Environment(root) as env:
        strength = env.check("Dragon12")
        plain = env.check("dragon")
    assert [(r.stage, r.code, r.points) for r in strength.reasons] == [(5, "dictionary", 1)]
    match = strength.explanation
    assert match is not None and match.word == "dragon"
    assert plain.explanation is not None and plain.explanation.steps == ()
    codes = [s.code for s in match.steps]
    assert codes[0] in ("lowercased", "capitalised"), codes
    rule = codes.index("rule")
    assert match.steps[rule].arg == "]]" and match.steps[rule].count > 0
    assert (match.steps[rule + 1].code, match.steps[rule + 1].count) == ("cut_last", 2)


def header_names(family: str, value: str = r"\d+") -> Dict[int, str]:
    """The stable names engine.h gives the codes QUARVEL_<family>_* whose
    values match ``value``."""
    text = (SOURCE_DIR / "include" / "quarvel" / "engine.h").read_text()
    found = re.findall(r"#define QUARVEL_%s_\w+ (%s) +/\* \(\"(\w+)\"\)" % (family, value), text)
    return {int(code, 0): name for code, name in found}


def test_estimate_names_and_texts_come_from_the_catalogue() -> None:
    """A record built by hand: every warning, suggestion, piece kind,
    transform and attack code is named as engine.h names it, with the
    catalogue's English; codes the library does not know by number."""
    warnings, suggestions = header_names("WARNING"), header_names("SUGGESTION")
    kinds, transforms = header_names("GUESS"), header_names("GUESS", "0x[0-9A-Fa-f]+")
    attacks = header_names("ATTACK")
    assert (len(warnings), len(suggestions), len(kinds), len(transforms), len(attacks)) == (
        13, 14, 8, 6, 4)
    assert tuple(attacks[a] for a in range(4)) == quarvel.ATTACKS

    r = record(quarvel.MatchKind.NONE, [], [])
    r.guesses_log10 = 7.25
    for attack in range(_native.ATTACKS):
        r.crack_seconds[attack] = float(attack + 1)
    r.piece_count = 2
    r.pieces[0] = _native.GuessPiece(1, 0, 6, 0x01 | 0x10, 300, 0, 3.5, b"dragon")
    r.pieces[1] = _native.GuessPiece(42, 6, 2, 0x4000, 0, -1, 3.75, b"")
    for code, name in warnings.items():
        r.warning = code
        r.suggestion_count = 3
        r.suggestions[0], r.suggestions[1], r.suggestions[2] = code, code + 1, 999
        s = quarvel._strength(r)
        assert s.warning is not None and s.warning.name == name
        assert s.warning.text.endswith(".") and s.warning.text != name
        assert [a.name for a in s.suggestions] == [suggestions[code], suggestions[code + 1], "999"]
        assert s.suggestions[2].text == ""
    assert s.guesses_log10 == 7.25
    assert s.crack_seconds == {quarvel.ATTACKS[a]: a + 1.0 for a in range(4)}
    assert s.pieces == (
        quarvel.GuessPiece(kinds[1], 0, 6, "dragon", 300, 0, (transforms[0x01], transforms[0x10]),
                           3.5),
        quarvel.GuessPiece("42", 6, 2, "", 0, -1, ("16384",), 3.75))
    for code, name in kinds.items():
        r.pieces[0].kind = code
        assert quarvel._strength(r).pieces[0].kind == name
    for bit, name in transforms.items():
        r.pieces[0].transforms = bit
        assert quarvel._strength(r).pieces[0].transforms == (name,)
    r.warning = 0
    r.suggestion_count = 0
    assert quarvel._strength(r).warning is None and quarvel._strength(r).suggestions == ()
    hash(quarvel._strength(r))  # still hashable, the dictionary of times aside


def test_estimate_with_the_real_engine(root: pathlib.Path) -> None:
    """What holds whatever the estimate's tuning, read through the record."""
    rng = random.Random(5)
    noise = "".join(rng.choice("abcdefghjkmnpqrstuvwxyzACDEFGHJKLMNPQRTUVWXY3469!#%&")
                    for _ in range(20))
    rates = dict(zip(quarvel.ATTACKS, (100 / 3600, 10, 1e4, 1e10)))
    with quarvel.Environment(root) as env:
        checked = {p: env.check(p) for p in ("password", noise, "Dragon1987", "abcabcabc")}
    assert (checked["password"].guesses_log10 or 99) < 6 < 10 < (checked[noise].guesses_log10 or 0)
    assert checked["password"].warning is not None and checked["password"].warning.text
    for password, s in checked.items():
        assert s.guesses_log10 is not None and s.crack_seconds.keys() == rates.keys()
        for name, rate in rates.items():
            assert math.isclose(math.log10(s.crack_seconds[name]),
                                s.guesses_log10 - math.log10(rate), abs_tol=1e-9)
        ends = [0] + [p.start + p.length for p in s.pieces]
        assert [p.start for p in s.pieces] == ends[:-1] and ends[-1] == len(password)


def test_language_hits_word_their_steps_as_the_engine(make_root: MakeRoot) -> None:
    """Korean and German dictionaries built from lists in their Debian
    formats (ko.dic's words as conjoining jamo with flags): each hit's steps,
    worded by Step.text, read as the engine's own English."""
    root = make_root({"quarvel_search.extended": "1", "lang.ko": "dicts/ko", "lang.de": "dicts/de"})
    library = ctypes.CDLL(LIBRARY)
    build = library.quarvel_build_language
    build.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p,
                      ctypes.c_void_p, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t]
    sources = {"ko.dic": "3\n" + "".join(unicodedata.normalize("NFD", w) + "/1\n"
                                         for w in ("사랑", "비밀번호", "사랑하다")),
               "de.txt": "Straße\nCafé\nÄrger\n"}
    # Its affix file: 하다 becomes 해 and 해요.
    hada, hae = unicodedata.normalize("NFD", "하다"), unicodedata.normalize("NFD", "해")
    (root / "ko.aff").write_text(
        f"FLAG num\nSFX 1 Y 2\nSFX 1 {hada} {hae} {hada}\nSFX 1 {hada} {hae}요 {hada}\n",
        encoding="utf-8")
    for name, text in sources.items():
        (root / name).write_text(text, encoding="utf-8")
        language = name[:2]
        assert build(None, language.encode(), str(root / "dicts" / language).encode(),
                     str(root / name).encode(), None, None, None, 0) == 0
    cases = {
        "Tkfkdgo2024": ("사랑해", "ko", "typed_latin"),
        "qlalfqjsghqlalfqjsgh": ("비밀번호", "ko", "typed_latin"),
        "사랑해요!!": ("사랑해요", "ko", None),
        "Strasse99": ("strasse", "de", None),
        "Ärger#1": ("arger", "de", "accents_folded"),
        "CAFÉ": ("cafe", "de", "accents_folded"),
        "Café2024!": ("cafe", "de", "accents_folded"),
    }
    with quarvel.Environment(root) as env:
        for password, (word, language, code) in cases.items():
            match = env.check(password).explanation
            assert match is not None and match.word == word, password
            assert match.prefix == "dicts/" + language, password
            if code is not None:
                assert code in [s.code for s in match.steps], password
            assert quarvel.describe_steps(match.steps) == match.variant, password
