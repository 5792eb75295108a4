"""Shared fixtures: the library under test and root folders built for it.

CTest passes QUARVEL_LIBRARY (the built libquarvel.so) and QUARVEL_SOURCE_DIR
(the repository); the package itself is imported from the source tree.
"""

from __future__ import annotations

import os
import pathlib
import subprocess
import sys
from typing import Callable, Dict, Iterable, List, Optional

import pytest

HERE = pathlib.Path(__file__).resolve().parent
PACKAGE_DIR = HERE.parent
sys.path.insert(0, str(PACKAGE_DIR))

LIBRARY = os.environ.get("QUARVEL_LIBRARY", "")
SOURCE_DIR = pathlib.Path(os.environ.get("QUARVEL_SOURCE_DIR", PACKAGE_DIR.parent))

# The dictionary of the test roots: common words and passwords.
WORDS = """password letmein dragon monkey sunshine princess football baseball
welcome shadow master superman trustno1 iloveyou starwars whatever freedom
qwerty abc123 passw0rd secret summer winter autumn butterfly chocolate
elephant kangaroo mountain computer keyboard internet""".split()


def _run_driver(root: pathlib.Path, *args: str) -> None:
    subprocess.run([sys.executable, str(HERE / "legacy_driver.py"), LIBRARY, str(root), *args],
                   check=True, stdout=subprocess.DEVNULL)


def write_config(root: pathlib.Path, settings: Optional[Dict[str, str]] = None) -> None:
    """conf/quarvel.ini: the shipped configuration with some keys changed."""
    lines = (SOURCE_DIR / "conf" / "quarvel.ini").read_text().splitlines()
    for key, value in (settings or {}).items():
        at = [i for i, line in enumerate(lines) if line.startswith(key + "=")]
        assert at, f"{key} is not in the shipped configuration"
        lines[at[0]] = f"{key}={value}"
    (root / "conf").mkdir(parents=True, exist_ok=True)
    (root / "conf" / "quarvel.ini").write_text("\n".join(lines) + "\n")


def build_dict(root: pathlib.Path, prefix: str, words: Iterable[str]) -> None:
    """Builds root/<prefix> from words with CreateDict, run inside root."""
    (root / "dicts").mkdir(parents=True, exist_ok=True)
    source = root / (prefix.replace("/", "_") + ".txt")
    source.write_text("\n".join(words) + "\n")
    _run_driver(root, "build", source.name, "./" + prefix)


MakeRoot = Callable[..., pathlib.Path]


@pytest.fixture(scope="session")
def make_root(tmp_path_factory: pytest.TempPathFactory) -> MakeRoot:
    """make_root(settings={...}, extra={prefix: words}, profile=words): a root
    with the default dictionary built from WORDS."""
    if not LIBRARY:
        pytest.fail("QUARVEL_LIBRARY must name the libquarvel.so under test")

    def make(settings: Optional[Dict[str, str]] = None,
             extra: Optional[Dict[str, Iterable[str]]] = None,
             profile: Optional[Iterable[str]] = None) -> pathlib.Path:
        root = tmp_path_factory.mktemp("root")
        config = dict(settings or {})
        for slot, prefix in enumerate(extra or {}, start=1):
            config[f"dict.file.prefix.{slot}"] = "./" + prefix
        write_config(root, config)
        build_dict(root, "dicts/default_dict", WORDS)
        for prefix, words in (extra or {}).items():
            build_dict(root, prefix, words)
        if profile is not None:
            build_dict(root, "dicts/profile", profile)
        return root

    return make


@pytest.fixture(scope="session")
def root(make_root: MakeRoot) -> pathlib.Path:
    """A root with the shipped configuration."""
    return make_root()


def readme_blocks() -> List[str]:
    """The ```python blocks of the project's README.md, in order."""
    blocks: List[str] = []
    current: Optional[List[str]] = None
    for line in (PACKAGE_DIR.parent / "README.md").read_text().splitlines():
        if current is None and line == "```python":
            current = []
        elif current is not None and line == "```":
            blocks.append("\n".join(current) + "\n")
            current = None
        elif current is not None:
            current.append(line)
    return blocks


@pytest.fixture(scope="session")
def service_root(make_root: MakeRoot) -> pathlib.Path:
    """A root like the build's service root: the shipped configuration with
    the extended search on."""
    return make_root({"quarvel_search.extended": "1"})


@pytest.fixture(scope="session")
def site(root: pathlib.Path, service_root: pathlib.Path,
         tmp_path_factory: pytest.TempPathFactory) -> pathlib.Path:
    """A folder laid out like a source tree after `make run`: build/run and
    build/service are roots. The README's examples run from here."""
    folder = tmp_path_factory.mktemp("site")
    (folder / "build").mkdir()
    (folder / "build" / "run").symlink_to(root, target_is_directory=True)
    (folder / "build" / "service").symlink_to(service_root, target_is_directory=True)
    return folder
