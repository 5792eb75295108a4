"""The validator inside a minimal Django site whose settings are the README's
entry, called through Django's validate_password with a real User."""

from __future__ import annotations

import os
import pathlib
import subprocess
import sys
from typing import Iterator, List, Tuple

import pytest

import quarvel
from conftest import LIBRARY, PACKAGE_DIR, readme_blocks

django = pytest.importorskip("django", reason="python3-django is not installed")

MINIMAL_SETTINGS = """
SECRET_KEY = "quarvel-tests"
INSTALLED_APPS = ["django.contrib.contenttypes", "django.contrib.auth"]
DATABASES = {}
USE_I18N = True
USE_TZ = True
DEFAULT_AUTO_FIELD = "django.db.models.AutoField"
"""


@pytest.fixture(scope="module")
def validators(site: pathlib.Path) -> Iterator[List[object]]:
    from django.contrib.auth import password_validation

    entry = next(block for block in readme_blocks() if "AUTH_PASSWORD_VALIDATORS" in block)
    (site / "quarvel_site_settings.py").write_text(entry + MINIMAL_SETTINGS)
    sys.path.insert(0, str(site))
    os.environ["DJANGO_SETTINGS_MODULE"] = "quarvel_site_settings"
    django.setup()
    # The root "build/service" of the entry is relative: the validator is made
    # where the site runs.
    here = os.getcwd()
    os.chdir(site)
    try:
        made = password_validation.get_default_password_validators()
    finally:
        os.chdir(here)
    yield made
    sys.path.remove(str(site))


def user() -> object:
    from django.contrib.auth.models import User

    return User(username="tobenna_o", first_name="Tobenna", last_name="Okonkwo",
                email="t.okonkwo@example.org")


ADVICE_CODES = ("password_warning", "password_suggestion")


def refusal(password: str, who: object) -> List[Tuple[str, str]]:
    """(code, message) of each error validate_password raises, [] when it
    accepts."""
    from django.contrib.auth import password_validation
    from django.core.exceptions import ValidationError

    try:
        password_validation.validate_password(password, who)
    except ValidationError as error:
        messages = " ".join(error.messages).lower()
        assert password.lower() not in messages
        return [(e.code, e.message % e.params if e.params else e.message)
                for e in error.error_list]
    return []


def rejection(password: str, who: object) -> List[str]:
    """The codes of the errors validate_password raises, [] when it accepts,
    without the advice that ends a refusal (see test_refusal_ends_with_advice)."""
    return [code for code, _message in refusal(password, who) if code not in ADVICE_CODES]


def test_weak_user_based_and_strong_passwords(validators: List[object]) -> None:
    assert [type(v).__name__ for v in validators] == ["QuarvelValidator"]
    who = user()
    assert rejection("sunshine", who) == ["password_too_weak", "password_too_common"]
    assert rejection("Sunshine7", who)[1:] == ["password_too_common"]
    # Strong enough on its own, weak for this user: the last name with a digit.
    assert rejection("Okonkwo7", None) == []
    assert rejection("Okonkwo7", who) == ["password_too_weak", "password_too_similar"]
    assert rejection("Tobenna#9", who) == ["password_too_weak", "password_too_similar"]
    assert rejection("Zq8#vLr!2mWx", who) == []
    assert rejection("x" * 300, who) == ["password_unchecked"]


def test_similar_message_names_the_attribute(validators: List[object]) -> None:
    from django.contrib.auth import password_validation
    from django.core.exceptions import ValidationError

    with pytest.raises(ValidationError) as caught:
        password_validation.validate_password("Okonkwo7", user())
    assert "last name" in " ".join(caught.value.messages)
    help_texts = " ".join(password_validation.password_validators_help_texts())
    assert "strength 3 of 4" in help_texts


def test_environment_is_shared(validators: List[object], site: pathlib.Path) -> None:
    from quarvel.django import QuarvelValidator, shared_environment

    here = os.getcwd()
    os.chdir(site)
    try:
        other = QuarvelValidator(root="build/run", min_level=4)
    finally:
        os.chdir(here)
    assert shared_environment(other.root) is shared_environment(str(site / "build" / "run"))
    with pytest.raises(django.core.exceptions.ImproperlyConfigured):
        QuarvelValidator(root="build/run", min_level=5)


def test_python_example_runs_as_written(site: pathlib.Path, service_root: pathlib.Path) -> None:
    example = readme_blocks()[0]
    assert len(example.splitlines()) == 3
    script = site / "example.py"
    script.write_text(example)
    env = dict(os.environ, PYTHONPATH=str(PACKAGE_DIR), QUARVEL_LIBRARY=LIBRARY)
    run = subprocess.run([sys.executable, str(script)], cwd=site, env=env, check=True,
                         capture_output=True, text=True)
    with quarvel.Environment(service_root) as env_:
        assert run.stdout == f"{env_.check('Tr0ub4dor&3').level}\n"


def test_refusal_ends_with_advice(validators: List[object], service_root: pathlib.Path) -> None:
    """After the reasons, the library's warning and suggestions, in its
    catalogue's English: the same as the binding gives for the password."""
    with quarvel.Environment(service_root) as env:
        for password in ("sunshine", "qwertyuiop", "Dragon1987"):
            strength = env.check(password)
            expected = [("password_warning", strength.warning.text)] if strength.warning else []
            expected += [("password_suggestion", s.text) for s in strength.suggestions]
            assert expected, password
            given = refusal(password, None)
            assert given[0][0] == "password_too_weak", password
            assert [e for e in given if e[0] in ADVICE_CODES] == expected, password
            assert given[-len(expected):] == expected, password


def test_min_guesses_option(service_root: pathlib.Path) -> None:
    from django.core.exceptions import ImproperlyConfigured, ValidationError
    from quarvel.django import QuarvelValidator

    for bad in (-1, 100.5, "8", True):
        with pytest.raises(ImproperlyConfigured):
            QuarvelValidator(root=str(service_root), min_guesses_log10=bad)  # type: ignore
    password = "Tq7%vLm2xPw9"
    with quarvel.Environment(service_root) as env:
        strength = env.check(password)
    assert strength.level >= 3 and strength.guesses_log10 is not None
    lenient = QuarvelValidator(root=str(service_root), min_guesses_log10=strength.guesses_log10)
    lenient.validate(password)
    strict = QuarvelValidator(root=str(service_root), min_level=1,
                              min_guesses_log10=strength.guesses_log10 + 0.5)
    with pytest.raises(ValidationError) as caught:
        strict.validate(password)
    codes = [e.code for e in caught.value.error_list]
    assert codes[0] == "password_too_guessable"
    assert set(codes[1:]) <= set(ADVICE_CODES)
    assert "10^%.1f" % strength.guesses_log10 in caught.value.messages[0]
    assert "10^" in strict.get_help_text()
    assert "10^" not in QuarvelValidator(root=str(service_root)).get_help_text()
