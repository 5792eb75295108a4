"""pip builds and installs the package offline, and a wheel built with
QUARVEL_BUNDLE_LIBRARY carries the library and finds it without help."""

from __future__ import annotations

import os
import pathlib
import shutil
import subprocess
import sys
import zipfile
from typing import List

from conftest import LIBRARY, PACKAGE_DIR

PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable

PROBE = """
import sys, quarvel, quarvel._native as native
env = quarvel.Environment(sys.argv[1])
print(native.library_path())
print(env.check("dragon").level, env.check("Zq8#vLr!2mWx").level)
"""


def pip(*args: str, cwd: pathlib.Path, **env: str) -> None:
    clean = {k: v for k, v in os.environ.items()
             if k not in ("QUARVEL_LIBRARY", "QUARVEL_BUNDLE_LIBRARY", "PYTHONPATH")}
    clean.update(env, PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1")
    subprocess.run([PYTHON, "-m", "pip", *args], cwd=cwd, env=clean, check=True,
                   stdout=subprocess.DEVNULL)


def probe(target: pathlib.Path, root: pathlib.Path, **env: str) -> List[str]:
    clean = {k: v for k, v in os.environ.items() if k not in ("QUARVEL_LIBRARY",)}
    clean.update(env, PYTHONPATH=str(target))
    run = subprocess.run([PYTHON, "-c", PROBE, str(root)], cwd=target.parent, env=clean,
                         check=True, capture_output=True, text=True)
    return run.stdout.splitlines()


def copy_sources(tmp_path: pathlib.Path) -> pathlib.Path:
    # setuptools writes build/ and *.egg-info beside the sources: build a copy.
    sources = tmp_path / "python"
    shutil.copytree(PACKAGE_DIR, sources,
                    ignore=shutil.ignore_patterns("tests", "build", "*.egg-info", "__pycache__"))
    return sources


def test_wheel_bundles_the_library(tmp_path: pathlib.Path, root: pathlib.Path) -> None:
    sources = copy_sources(tmp_path)
    pip("wheel", "--no-build-isolation", "--no-deps", "-w", "dist", str(sources),
        cwd=tmp_path, QUARVEL_BUNDLE_LIBRARY=LIBRARY)
    (wheel,) = (tmp_path / "dist").glob("quarvel-*.whl")
    assert wheel.name.startswith("quarvel-0.1.0-py3-none-linux_")
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
        assert {"quarvel/libquarvel.so.0", "quarvel/py.typed", "quarvel/django.py"} <= names
        assert archive.read("quarvel/libquarvel.so.0") == pathlib.Path(LIBRARY).read_bytes()
    target = tmp_path / "site-packages"
    pip("install", "--no-deps", "--target", str(target), str(wheel), cwd=tmp_path)
    path, levels = probe(target, root)
    assert path == str(target / "quarvel" / "libquarvel.so.0")
    weak, strong = map(int, levels.split())
    assert weak < strong


def test_pip_installs_the_sources_offline(tmp_path: pathlib.Path, root: pathlib.Path) -> None:
    sources = copy_sources(tmp_path)
    target = tmp_path / "site-packages"
    pip("install", "--no-build-isolation", "--no-deps", "--target", str(target), str(sources),
        cwd=tmp_path)
    assert (target / "quarvel" / "py.typed").is_file()
    assert not (target / "quarvel" / "libquarvel.so.0").exists()
    path, _levels = probe(target, root, QUARVEL_LIBRARY=LIBRARY)
    assert path == LIBRARY
