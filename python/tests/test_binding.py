"""The binding against the library's own answers, its records against the C
compiler's layout, its errors and its threads."""

from __future__ import annotations

import ctypes
import json
import os
import pathlib
import random
import subprocess
import sys
from typing import List

import pytest

import quarvel
from quarvel import _native
from conftest import LIBRARY, WORDS, MakeRoot, build_dict, write_config

HERE = pathlib.Path(__file__).resolve().parent

# A configuration that switches every search on: numbers before and after,
# reversed passwords, the repeat stage, a second dictionary and a profile.
TUNED = {
    "quarvel_rule.postfix_num": "2",
    "quarvel_rule.prefix_num": "1",
    "quarvel_search.pw_prefix_num": "1",
    "quarvel_search.pw_reverse": "1",
    "quarvel_search.pw_min_rept": "1",
    "quarvel_rule.min_rept": "1",
}


def corpus() -> List[bytes]:
    texts = []
    for w in WORDS:
        leet = w.replace("o", "0").replace("a", "@").replace("e", "3").replace("s", "$")
        texts += [w, w.capitalize(), w.upper(), w[::-1], w + "7", w + "42", "3" + w,
                  "12" + w + "5", leet, w.capitalize() + "!9", w + w[::-1], w[:-1]]
    texts += ["abcdef", "123456", "987654321", "abababab", "aaaaaaaa", "Tr0ub4dor&3",
              "correct horse battery staple", "pässwörd", "密码123abc", "a", "ab1",
              "x" * 257, "x" * 258, "", "\0abc", "abc\0def", "monkey\0zz", "Zq8#vLr!2mWx"]
    rng = random.Random(18)
    alphabet = [chr(c) for c in range(33, 127)]
    texts += ["".join(rng.choice(alphabet) for _ in range(rng.randint(1, 40)))
              for _ in range(80)]
    raw = [t.encode("utf-8") for t in texts]
    raw += [bytes(rng.randrange(1, 256) for _ in range(rng.randint(1, 24))) for _ in range(20)]
    return raw


@pytest.fixture(scope="module", params=["shipped", "tuned"])
def any_root(request: pytest.FixtureRequest, make_root: MakeRoot) -> pathlib.Path:
    if request.param == "shipped":
        return make_root()
    return make_root(settings=TUNED, extra={"dicts/extra": ["zebra", "quokka", "narwhal"]},
                     profile=["okonkwo", "lagos"])


def legacy_answers(root: pathlib.Path, passwords: List[bytes],
                   tmp_path: pathlib.Path) -> List[str]:
    source, out = tmp_path / "passwords.hex", tmp_path / "answers.json"
    source.write_text("".join(p.hex() + "\n" for p in passwords))
    subprocess.run([sys.executable, str(HERE / "legacy_driver.py"), LIBRARY, str(root),
                    "verify", str(source), str(out)], check=True, stdout=subprocess.DEVNULL)
    answers: List[str] = json.loads(out.read_text())
    assert answers[0].startswith("RET_CD=0000"), answers[0]
    return answers[1:]


def test_answers_and_fields_equal_the_c_engine(any_root: pathlib.Path,
                                               tmp_path: pathlib.Path) -> None:
    passwords = corpus()
    expected = legacy_answers(any_root, passwords, tmp_path)
    explained = 0
    with quarvel.Environment(any_root) as env:
        for password, answer in zip(passwords, expected):
            try:
                strength = env.check(password)
            except quarvel.QuarvelError as error:
                assert answer == f"RET_CD={error.code:04d}", password
                continue
            assert strength.answer == answer, password
            # The record's fields, read through the ctypes layout, say what
            # the answer text says.
            parts = dict(item.split("=", 1) for item in answer.split(":"))
            f = strength.fields
            assert (int(parts["RT_LEVEL"]), int(parts["PW_LEN"]), int(parts["PW_NCR"]),
                    int(parts["REPT_NCR"]), int(parts["CTS_NCR"]), int(parts["DICT_FD_CNT"]),
                    -1 if parts["PDICT_FD"] == "XX" else int(parts["PDICT_FD"])) == (
                strength.level, f.pw_len, f.pw_ncr, f.rept_ncr, f.cts_ncr, f.dict_fd_cnt,
                f.pdict_fd), password
            assert 1 <= strength.level <= 4
            if strength.explanation is not None:
                explained += 1
                assert strength.explanation.word, password
    assert explained >= len(WORDS), "the dictionary words were not explained"


def test_str_bytes_and_bytearray_agree(root: pathlib.Path) -> None:
    with quarvel.Environment(root) as env:
        for text in ["Sunshine42", "pässwörd!", "x7#Kq"]:
            as_str = env.check(text)
            assert env.check(text.encode("utf-8")) == as_str
            assert quarvel.check(env, bytearray(text.encode("utf-8"))) == as_str
        with pytest.raises(TypeError):
            env.check(12345)  # type: ignore[arg-type]


def test_records_match_the_c_layout() -> None:
    helper = os.environ.get("QUARVEL_LAYOUT_HELPER")
    if not helper:
        pytest.skip("QUARVEL_LAYOUT_HELPER is not set (CTest sets it)")
    records = {"quarvel_match": _native.Match, "quarvel_result": _native.Result,
               "quarvel_settings": _native.Settings, "quarvel_reason": _native.Reason,
               "quarvel_step": _native.Step, "quarvel_guess_piece": _native.GuessPiece}
    # Records start with their size; the elements of the result's arrays do not.
    seen = {name: {"size"} if cls._fields_[0][0] == "size" else set()
            for name, cls in records.items()}
    lines = subprocess.run([helper], check=True, capture_output=True, text=True).stdout
    for line in lines.splitlines():
        name, value = line.split()
        record, _, field = name.partition(".")
        if field:
            assert getattr(records[record], field).offset == int(value), name
            seen[record].add(field)
        else:
            assert ctypes.sizeof(records[record]) == int(value), name
    for record, cls in records.items():
        assert {f[0] for f in cls._fields_} == seen[record], record


def test_settings_reflect_the_configuration(make_root: MakeRoot) -> None:
    root = make_root(settings=TUNED, extra={"dicts/extra": ["zebra"]})
    with quarvel.Environment(root) as env:
        s = env.settings()
    assert (s.suffix_numbers, s.prefix_numbers, s.reverse, s.use_min_rept, s.min_rept) == (
        100, 10, True, True, 1)
    assert s.dict_count == 2 and s.dict_prefixes[1] == "./dicts/extra"


def test_context_words_are_searched_like_a_dictionary(make_root: MakeRoot) -> None:
    # The same words in a second dictionary grade every password alike.
    # Words shorter than 3 characters are not searched.
    names = ["Okonkwo", "Ada-Lovelace"]
    plain = make_root()
    with_dict = make_root(extra={"dicts/names": names})
    passwords = ["okonkwo", "Okonkwo7", "adalovelace3", "ab", "abcab1", "Sunshine42", "zz"]
    with quarvel.Environment(plain) as a, quarvel.Environment(with_dict) as b:
        for password in passwords:
            got = quarvel.check_context(a, password, names + ["ab"])
            want = b.check(password)
            assert (got.level, got.stage_scores) == (want.level, want.stage_scores), password
        hit = a.check_context("Okonkwo7", names)
        assert hit.explanation is not None
        assert (hit.explanation.kind, hit.explanation.word) == (
            quarvel.MatchKind.CONTEXT, "okonkwo")
        assert a.check("Okonkwo7").explanation is None
        assert a.check_context("Okonkwo7", [b"Okonkwo"]).explanation == hit.explanation
        for bad in ("Okonkwo", [7], [None]):
            with pytest.raises(TypeError):
                a.check_context("Okonkwo7", bad)  # type: ignore[arg-type]


@pytest.mark.parametrize("password", ["", b"", b"\0abc", "x" * 258, bytearray()])
def test_passwords_not_graded_raise_2000(root: pathlib.Path, password: quarvel.Password) -> None:
    with quarvel.Environment(root) as env:
        with pytest.raises(quarvel.QuarvelError) as caught:
            env.check(password)
        assert caught.value.code == 2000
        assert env.check("x" * 257).level >= 1


def test_roots_that_do_not_open(tmp_path: pathlib.Path) -> None:
    no_config = tmp_path / "no_config"
    no_config.mkdir()
    no_dict = tmp_path / "no_dict"
    write_config(no_dict)
    missing_slot = tmp_path / "missing_slot"
    write_config(missing_slot, {"dict.file.prefix.1": "./dicts/absent"})
    build_dict(missing_slot, "dicts/default_dict", ["word"])
    for root, code in [(no_config, 1001), (no_dict, 1002), (missing_slot, 1003)]:
        with pytest.raises(quarvel.QuarvelError) as caught:
            quarvel.Environment(root)
        assert caught.value.code == code, root
        assert caught.value.reason and str(code) in str(caught.value)


def test_reload_failure_keeps_the_snapshot_and_close_ends_use(make_root: MakeRoot) -> None:
    root = make_root()
    env = quarvel.Environment(root)
    before = env.check("dragon")
    for suffix in (".pwd", ".pwi", ".hwm"):
        (root / "dicts" / ("default_dict" + suffix)).unlink(missing_ok=True)
    with pytest.raises(quarvel.QuarvelError) as caught:
        env.reload()
    assert caught.value.code == 1002
    assert env.check("dragon") == before
    env.close()
    env.close()
    assert env.closed
    with pytest.raises(quarvel.QuarvelError) as closed:
        env.check("dragon")
    assert closed.value.code == 2001


def test_a_library_path_that_does_not_load_is_an_error(tmp_path: pathlib.Path) -> None:
    code = "import quarvel; quarvel.library_version()"
    env = dict(os.environ, QUARVEL_LIBRARY=str(tmp_path / "libquarvel.so.0"),
               PYTHONPATH=str(HERE.parent))
    run = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True)
    assert run.returncode != 0 and "QUARVEL_LIBRARY=" in run.stderr
