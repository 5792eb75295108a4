"""The validator inside a minimal Django site whose settings are the README's
entry, called through Django's validate_password with a real User."""

from __future__ import annotations

import os
import pathlib
import subprocess
import sys
from typing import Iterator, List

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


def rejection(password: str, who: object) -> List[str]:
    """The codes of the errors validate_password raises, [] when it accepts."""
    from django.contrib.auth import password_validation
    from django.core.exceptions import ValidationError

    try:
        password_validation.validate_password(password, who)
    except ValidationError as error:
        messages = " ".join(error.messages).lower()
        assert password.lower() not in messages
        return [e.code for e in error.error_list]
    return []


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
