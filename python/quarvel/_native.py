"""The C records and functions of libquarvel, through ctypes.

The structures below mirror ``include/quarvel/engine.h`` field by field; the
tests compare their sizes and offsets with the C compiler's. The library is
loaded through ``ctypes.CDLL``, which releases the GIL for the length of every
foreign call, so checks in several threads run in parallel.

The library is looked for, in this order:

1. the path in the ``QUARVEL_LIBRARY`` environment variable;
2. ``libquarvel.so.0`` in this package's folder (where a wheel bundles it);
3. the system's library path (``ctypes.util.find_library("quarvel")``, then
   ``libquarvel.so.0`` as the dynamic loader finds it).
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import threading
from typing import Optional

#: The file name a wheel bundles the library under, beside this module.
BUNDLED_NAME = "libquarvel.so.0"

# Result codes and match kinds, as in engine.h.
QUARVEL_OK = 0
QUARVEL_BAD_PASSWORD = 2000
QUARVEL_NO_ENV = 2001
QUARVEL_BAD_ARGUMENT = 2002
QUARVEL_TOO_LONG = 2009

ERROR_SIZE = 512


class Match(ctypes.Structure):
    """struct quarvel_match."""

    _fields_ = [
        ("size", ctypes.c_uint32),
        ("kind", ctypes.c_int),
        ("slot", ctypes.c_int),
        ("variants", ctypes.c_uint),
        ("prefix", ctypes.c_char * 256),
        ("word", ctypes.c_char * 64),
        ("rule", ctypes.c_char * 64),
        ("affix", ctypes.c_char * 4),
        ("variant", ctypes.c_char * 192),
    ]


class Reason(ctypes.Structure):
    """struct quarvel_reason."""

    _fields_ = [
        ("stage", ctypes.c_int),
        ("code", ctypes.c_int),
        ("points", ctypes.c_int),
        ("value", ctypes.c_int),
        ("limit", ctypes.c_int),
    ]


class Step(ctypes.Structure):
    """struct quarvel_step."""

    _fields_ = [
        ("code", ctypes.c_int),
        ("piece", ctypes.c_int),
        ("count", ctypes.c_int),
        ("count2", ctypes.c_int),
        ("arg", ctypes.c_char * 64),
    ]


MAX_REASONS = 8
MAX_STEPS = 24
ATTACKS = 4
MAX_SUGGESTIONS = 3
MAX_PIECES = 16

# What quarvel_guess_name names.
NAME_PIECE = 1
NAME_TRANSFORM = 2
NAME_ATTACK = 3


class GuessPiece(ctypes.Structure):
    """struct quarvel_guess_piece."""

    _fields_ = [
        ("kind", ctypes.c_int),
        ("start", ctypes.c_int),
        ("length", ctypes.c_int),
        ("transforms", ctypes.c_uint),
        ("rank", ctypes.c_uint32),
        ("slot", ctypes.c_int),
        ("guesses_log10", ctypes.c_double),
        ("word", ctypes.c_char * 32),
    ]


class Result(ctypes.Structure):
    """struct quarvel_result."""

    _fields_ = [
        ("size", ctypes.c_uint32),
        ("code", ctypes.c_int),
        ("level", ctypes.c_int),
        ("pw_len", ctypes.c_int),
        ("pw_ncr", ctypes.c_int),
        ("rept_ncr", ctypes.c_int),
        ("cts_ncr", ctypes.c_int),
        ("dict_fd_cnt", ctypes.c_int),
        ("pdict_fd", ctypes.c_int),
        ("distinct", ctypes.c_int),
        ("stage_score", ctypes.c_int * 6),
        ("match", Match),
        ("answer", ctypes.c_char * 512),
        # Added after the first layout.
        ("breach_count", ctypes.c_uint64),
        ("nist_ok", ctypes.c_int),
        ("nist_failures", ctypes.c_uint),
        ("nist_length", ctypes.c_int),
        ("nist_min_length", ctypes.c_int),
        # The explanation as data.
        ("reason_count", ctypes.c_int),
        ("reasons", Reason * MAX_REASONS),
        ("step_count", ctypes.c_int),
        ("match_steps", Step * MAX_STEPS),
        # The guess estimate and advice.
        ("guesses_log10", ctypes.c_double),
        ("crack_seconds", ctypes.c_double * ATTACKS),
        ("warning", ctypes.c_int),
        ("suggestion_count", ctypes.c_int),
        ("suggestions", ctypes.c_int * MAX_SUGGESTIONS),
        ("piece_count", ctypes.c_int),
        ("pieces", GuessPiece * MAX_PIECES),
    ]


class Settings(ctypes.Structure):
    """struct quarvel_settings."""

    _fields_ = [
        ("size", ctypes.c_uint32),
        ("min_len", ctypes.c_int),
        ("min_diff", ctypes.c_int),
        ("min_step", ctypes.c_int),
        ("min_rept", ctypes.c_int),
        ("use_min_rept", ctypes.c_int),
        ("suffix_numbers", ctypes.c_int),
        ("prefix_numbers", ctypes.c_int),
        ("reverse", ctypes.c_int),
        ("use_profile", ctypes.c_int),
        ("dict_count", ctypes.c_int),
        ("dict_prefix", (ctypes.c_char * 256) * 8),
    ]


def new_result() -> Result:
    """A zeroed result with its own and its match's size set (QUARVEL_RESULT_INIT)."""
    result = Result()
    result.size = ctypes.sizeof(Result)
    result.match.size = ctypes.sizeof(Match)
    return result


def wipe(record: ctypes.Structure) -> None:
    """Overwrites a record with zero bytes (it may hold a matched word)."""
    ctypes.memset(ctypes.addressof(record), 0, ctypes.sizeof(record))


def _declare(lib: ctypes.CDLL) -> ctypes.CDLL:
    env_p = ctypes.c_void_p
    lib.quarvel_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t]
    lib.quarvel_open.restype = env_p
    lib.quarvel_reload.argtypes = [env_p]
    lib.quarvel_reload.restype = ctypes.c_int
    lib.quarvel_close.argtypes = [env_p]
    lib.quarvel_close.restype = None
    lib.quarvel_check.argtypes = [
        env_p, ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(Result)]
    lib.quarvel_check.restype = ctypes.c_int
    lib.quarvel_check_context.argtypes = [
        env_p, ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_char_p),
        ctypes.c_size_t, ctypes.POINTER(Result)]
    lib.quarvel_check_context.restype = ctypes.c_int
    lib.quarvel_get_settings.argtypes = [env_p, ctypes.POINTER(Settings)]
    lib.quarvel_get_settings.restype = ctypes.c_int
    lib.quarvel_version.argtypes = []
    lib.quarvel_version.restype = ctypes.c_char_p
    for name in ("quarvel_warning_text", "quarvel_warning_name", "quarvel_suggestion_text",
                 "quarvel_suggestion_name"):
        function = getattr(lib, name)
        function.argtypes = [ctypes.c_int]
        function.restype = ctypes.c_char_p
    lib.quarvel_guess_name.argtypes = [ctypes.c_int, ctypes.c_int]
    lib.quarvel_guess_name.restype = ctypes.c_char_p
    return lib


def candidates() -> list[str]:
    """The library paths or names tried, in order."""
    found: list[str] = []
    explicit = os.environ.get("QUARVEL_LIBRARY")
    if explicit:
        found.append(explicit)
    found.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), BUNDLED_NAME))
    system = ctypes.util.find_library("quarvel")
    if system:
        found.append(system)
    found.append(BUNDLED_NAME)
    return found


_lock = threading.Lock()
_library: Optional[ctypes.CDLL] = None
_library_path: Optional[str] = None


def library() -> ctypes.CDLL:
    """The loaded library, loaded on first use.

    The ``QUARVEL_LIBRARY`` variable, when set, must name a library that
    loads: it is not passed over for another one. Raises ``OSError`` when no
    candidate loads.
    """
    global _library, _library_path
    with _lock:
        if _library is not None:
            return _library
        explicit = os.environ.get("QUARVEL_LIBRARY")
        failures: list[str] = []
        for candidate in candidates():
            is_path = os.sep in candidate
            if is_path and candidate != explicit and not os.path.exists(candidate):
                continue
            try:
                lib = ctypes.CDLL(candidate)
            except OSError as error:
                if candidate == explicit:
                    raise OSError(f"QUARVEL_LIBRARY={explicit} cannot be loaded: {error}") from error
                failures.append(f"{candidate}: {error}")
                continue
            _library = _declare(lib)
            _library_path = candidate
            return _library
        raise OSError("libquarvel cannot be loaded; tried " + "; ".join(failures))


def library_path() -> str:
    """The path or name the library was loaded from (loading it if need be)."""
    library()
    assert _library_path is not None
    return _library_path
