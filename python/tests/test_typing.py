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
