"""A Django password validator backed by Quarvel.

In ``settings.py``::

    AUTH_PASSWORD_VALIDATORS = [
        {
            "NAME": "quarvel.django.QuarvelValidator",
            "OPTIONS": {"root": "/var/lib/quarvel", "min_level": 3,
                        "min_guesses_log10": 10},
        },
    ]

The environment of a root is opened once per process, on first use, and
shared by every validator and request of that process.
"""

# This module is named like the package it uses: with absolute imports (the
# only kind Python 3 has) "django" below is the framework, not this file.
from __future__ import annotations

import os
import re
import string
import threading
from typing import Any, Dict, Iterable, List, Optional, Sequence, Set, Tuple

from django.core.exceptions import FieldDoesNotExist, ImproperlyConfigured, ValidationError
from django.utils.translation import gettext as _

from quarvel import Environment, Match, QuarvelError, Strength, Variant
from quarvel import _native

__all__ = ["QuarvelValidator", "shared_environment"]

_environments: Dict[Tuple[int, str], Environment] = {}
_environments_lock = threading.Lock()


def shared_environment(root: str) -> Environment:
    """The environment of ``root`` for this process, opened on first use.

    Keyed by the absolute root and the process id: a child forked from a
    process that had opened it opens its own.
    """
    key = (os.getpid(), os.path.abspath(root))
    with _environments_lock:
        env = _environments.get(key)
        if env is None:
            env = Environment(key[1])
            _environments[key] = env
        return env


_WORD_CHARACTERS = frozenset(string.ascii_lowercase + string.digits)


def _normalised(value: str) -> str:
    """A word as the library stores it: lower-case letters and digits, cut to 31."""
    return "".join(c for c in value.lower() if c in _WORD_CHARACTERS)[:31]


# The kind of change each step code makes, for the message; a rule step is
# told by the steps after it.
_STEP_CHANGES = {
    "lowercased": "case", "capitalised": "case", "uppercased": "case", "reversed": "reversed",
    "doubled": "twice", "suffix": "number_end", "prefix": "number_start", "rule": "",
    "typed_latin": "korean_keyboard",
}
_FLAG_CHANGES = [
    (Variant.LOWERCASED, "case"), (Variant.REVERSED, "reversed"), (Variant.RULE, "altered"),
    (Variant.SUFFIX, "number_end"), (Variant.PREFIX, "number_start"),
]


class QuarvelValidator:
    """Rejects a password whose Quarvel strength is below ``min_level``.

    Options: ``root`` (the folder holding ``conf/quarvel.ini`` and
    ``dicts/default_dict``), ``min_level`` (1 to 4, default 3),
    ``min_guesses_log10`` (a number from 0 to 100, default None: a password
    the library estimates to fall in fewer than 10**N guesses is refused
    too), and ``user_attributes``: the user's attributes searched as context
    words (the e-mail address without its domain), as in Django's own
    ``UserAttributeSimilarityValidator``.

    A refusal ends with the library's warning (code ``password_warning``)
    and suggestions (code ``password_suggestion``), in its English.
    """

    #: The attributes searched by default.
    DEFAULT_USER_ATTRIBUTES: Tuple[str, ...] = ("username", "first_name", "last_name", "email")

    def __init__(self, root: str, min_level: int = 3,
                 user_attributes: Sequence[str] = DEFAULT_USER_ATTRIBUTES,
                 min_guesses_log10: Optional[float] = None) -> None:
        if not isinstance(min_level, int) or not 1 <= min_level <= 4:
            raise ImproperlyConfigured(
                f"QuarvelValidator: min_level must be 1 to 4, not {min_level!r}")
        if min_guesses_log10 is not None and (
                isinstance(min_guesses_log10, bool)
                or not isinstance(min_guesses_log10, (int, float))
                or not 0 <= min_guesses_log10 <= 100):
            raise ImproperlyConfigured(
                "QuarvelValidator: min_guesses_log10 must be a number from 0 to 100, not "
                f"{min_guesses_log10!r}")
        #: The environment's root folder, made absolute when configured.
        self.root = os.path.abspath(root)
        #: The lowest accepted level.
        self.min_level = min_level
        #: The user's attributes searched as context words.
        self.user_attributes = tuple(user_attributes)
        #: The least log10 of guesses accepted, or None.
        self.min_guesses_log10 = min_guesses_log10

    def _context(self, user: Any) -> List[Tuple[str, str]]:
        """(word, attribute) pairs: each attribute's value and its parts."""
        pairs: List[Tuple[str, str]] = []
        if user is None:
            return pairs
        email_field = "email"
        if hasattr(user, "get_email_field_name"):
            email_field = user.get_email_field_name()
        for attribute in self.user_attributes:
            value = getattr(user, attribute, None)
            if not isinstance(value, str) or not value:
                continue
            if attribute in ("email", email_field):
                value = value.rsplit("@", 1)[0]
            for word in [value, *re.split(r"[\W_]+", value)]:
                if word:
                    pairs.append((word, attribute))
        return pairs

    def validate(self, password: str, user: Any = None) -> None:
        """Raises ``ValidationError`` when ``password`` is below ``min_level``.

        The messages say why, from the library's explanation; they never
        quote the password or a part of it.
        """
        env = shared_environment(self.root)
        context = self._context(user)
        try:
            strength = env.check_context(password, [word for word, _attr in context])
        except QuarvelError as error:
            if error.code != _native.QUARVEL_BAD_PASSWORD:
                raise
            raise ValidationError(
                _("This password cannot be checked: it must hold 1 to %(max_bytes)d bytes."),
                code="password_unchecked", params={"max_bytes": 257}) from None
        guessable = (self.min_guesses_log10 is not None and strength.guesses_log10 is not None
                     and strength.guesses_log10 < self.min_guesses_log10)
        if strength.level >= self.min_level and not guessable:
            return
        if strength.level < self.min_level:
            errors = [ValidationError(
                _("This password is too weak: its strength is %(level)d of 4, and at least "
                  "%(min_level)d is required."),
                code="password_too_weak",
                params={"level": strength.level, "min_level": self.min_level})]
            errors.extend(self._reasons(strength, user, context))
        else:
            errors = [ValidationError(
                _("This password is too easy to guess: about 10^%(guesses).1f guesses would "
                  "find it, and at least 10^%(min_guesses)g are required."),
                code="password_too_guessable",
                params={"guesses": strength.guesses_log10,
                        "min_guesses": self.min_guesses_log10})]
        errors.extend(self._advice(strength))
        raise ValidationError(errors)

    @staticmethod
    def _advice(strength: Strength) -> List[ValidationError]:
        """The library's warning and suggestions, in its catalogue's English;
        ``params["name"]`` is the stable name, for a site that words them
        itself."""
        items = [(strength.warning, "password_warning")] if strength.warning else []
        items += [(s, "password_suggestion") for s in strength.suggestions]
        # The text is the message as it is: a '%' in it is no placeholder.
        return [ValidationError(advice.text.replace("%", "%%"), code=code,
                                params={"name": advice.name})
                for advice, code in items if advice.text]

    def _reasons(self, strength: Strength, user: Any,
                 context: Iterable[Tuple[str, str]]) -> List[ValidationError]:
        codes = [reason.code for reason in strength.reasons]
        match = strength.explanation
        if "context" in codes and match is not None:
            attribute = next((attr for word, attr in context
                              if _normalised(word) == match.word), None)
            return [ValidationError(
                _("It is too similar to the %(verbose_name)s."),
                code="password_too_similar",
                params={"verbose_name": self._verbose_name(user, attribute)})]
        if "unreadable" in codes:
            return [ValidationError(
                _("It could not be checked against every dictionary."),
                code="password_dictionary_unreadable")]
        if "pattern" in codes:
            return [ValidationError(
                _("It is a keyboard pattern, a sequence, a repeated character or a date."),
                code="password_pattern")]
        if {"dictionary", "breach", "personal"} & set(codes):
            changes = self._changes(match)
            if not changes:
                return [ValidationError(_("It is a common word or password."),
                                        code="password_too_common")]
            return [ValidationError(
                _("It is a common word or password with small changes (%(changes)s)."),
                code="password_too_common", params={"changes": ", ".join(changes)})]
        reasons: List[ValidationError] = []
        if "few_distinct" in codes:
            reasons.append(ValidationError(
                _("It has too few different characters."), code="password_too_uniform"))
        if "sequences" in codes:
            reasons.append(ValidationError(
                _("It has too many characters in sequence, such as \"abc\" or \"321\"."),
                code="password_sequence"))
        if "repeats" in codes:
            reasons.append(ValidationError(
                _("It repeats pieces of itself."), code="password_repeats"))
        if "few_guesses" in codes:
            reasons.append(ValidationError(
                _("It would be found in too few guesses."), code="password_too_guessable"))
        if not reasons:
            reasons.append(ValidationError(
                _("Make it longer, or mix lower case, upper case, digits and symbols."),
                code="password_too_simple"))
        return reasons

    @staticmethod
    def _changes(match: Optional[Match]) -> List[str]:
        """The kinds of change the match's steps made, in a fixed order; from a
        library that gives no steps, the ones its variant flags say."""
        if match is None:
            return []
        kinds: Set[str] = set()
        for step in match.steps:
            if step.code in ("cut_start", "cut_end") and step.piece != "symbols":
                kinds.add("number_start" if step.code == "cut_start" else "number_end")
            else:
                kinds.add(_STEP_CHANGES.get(step.code, "altered"))
        if not match.steps:
            kinds = {kind for flag, kind in _FLAG_CHANGES if match.variants & flag}
        names = [
            ("korean_keyboard", _("a Korean word typed with the keyboard in Latin mode")),
            ("case", _("capital letters")),
            ("reversed", _("reversed")),
            ("twice", _("written twice")),
            ("altered", _("characters substituted, added or removed")),
            ("number_end", _("a number added at the end")),
            ("number_start", _("a number added at the start")),
        ]
        return [str(name) for kind, name in names if kind in kinds]

    @staticmethod
    def _verbose_name(user: Any, attribute: Optional[str]) -> str:
        if attribute is None:
            return str(_("your personal information"))
        try:
            return str(user._meta.get_field(attribute).verbose_name)
        except (AttributeError, FieldDoesNotExist):
            return attribute

    def get_help_text(self) -> str:
        """Describes the policy, for the password form."""
        text = str(_(
            "Your password must reach strength %(min_level)d of 4. It may not be a common "
            "word or password, nor a small change of one, nor be close to your personal "
            "information; a long password that mixes lower case, upper case, digits and "
            "symbols is strong.") % {"min_level": self.min_level})
        if self.min_guesses_log10 is not None:
            text += " " + str(_(
                "An attacker must need at least 10^%(min_guesses)g guesses to find it.")
                % {"min_guesses": self.min_guesses_log10})
        return text
