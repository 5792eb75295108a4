"""The package's type hints hold under mypy --strict (Debian's python3-mypy)."""

from __future__ import annotations

import pathlib
import subprocess
import sys

import pytest

from conftest import PACKAGE_DIR


def test_mypy_strict(tmp_path: pathlib.Path) -> None:
    pytest.importorskip("mypy", reason="python3-mypy is not installed")
    run = subprocess.run(
        [sys.executable, "-m", "mypy", "--config-file", str(PACKAGE_DIR / "pyproject.toml"),
         "--cache-dir", str(tmp_path / "cache"), str(PACKAGE_DIR / "quarvel")],
        cwd=tmp_path, capture_output=True, text=True)
    assert run.returncode == 0, run.stdout + run.stderr


def test_public_names_have_docstrings() -> None:
    import quarvel
    import quarvel.django

    missing = []
    for module in (quarvel, quarvel.django):
        for name in module.__all__:
            value = getattr(module, name)
            if name == "Password":  # a type alias, documented by its comment
                continue
            if not (getattr(value, "__doc__", None) or "").strip():
                missing.append(f"{module.__name__}.{name}")
            for member, attribute in vars(value).items() if isinstance(value, type) else ():
                if not member.startswith("_") and callable(attribute) and not attribute.__doc__:
                    missing.append(f"{module.__name__}.{name}.{member}")
    assert missing == []
