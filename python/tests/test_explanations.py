"""The explanation as data: result records built by hand become reasons and
steps with their stable names, and the Django validator words its message
from those codes; then the same through the real engine."""

from __future__ import annotations

import pathlib
from typing import List, Sequence, Tuple

import pytest

import quarvel
from quarvel import _native

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
