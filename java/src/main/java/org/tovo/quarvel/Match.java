package org.tovo.quarvel;

import java.util.Collections;
import java.util.EnumSet;
import java.util.List;
import java.util.Objects;
import java.util.Set;

/**
 * Why a password was found: which dictionary held it, the stored word that matched, and how the
 * password was turned into that word. {@link Strength#match()} gives one when the dictionary
 * stage or the personal stage found the password.
 *
 * <p>For example, {@code "Dragon05"} found in the default dictionary gives the kind {@link
 * Kind#DICTIONARY}, slot 0, the word {@code "dragon"}, the rule {@code "]]"}, the changes {@link
 * Change#LOWERCASED} and {@link Change#RULE}, and the variant text {@code "lower-cased, last 2
 * characters removed"}. {@code "falcon"} found as the stored word {@code "falcon42"} gives the
 * affix {@code "42"} and the change {@link Change#SUFFIX}.
 *
 * <p>Instances are immutable.
 */
public final class Match {
  /** Where the matching word was stored. */
  public enum Kind {
    /** A configured dictionary, the default one (slot 0) included. */
    DICTIONARY,
    /** The personal dictionary. */
    PERSONAL,
    /** A context word given to {@link Quarvel#checkContext(char[], String...)}. */
    CONTEXT,
    /** A dictionary that could not be read, which counts as having found the password. */
    UNREADABLE,
    /** A kind this version of the Java classes does not know yet. */
    OTHER;

    static Kind of(int code) {
      switch (code) {
        case 1:
          return DICTIONARY;
        case 2:
          return PERSONAL;
        case 3:
          return CONTEXT;
        case 4:
          return UNREADABLE;
        default:
          return OTHER;
      }
    }
  }

  /** One way in which the password was turned into the stored word. */
  public enum Change {
    /** Upper-case letters were lowered. */
    LOWERCASED(0x01),
    /** The password was reversed. */
    REVERSED(0x02),
    /** A mangling rule other than {@code ":"} applied; {@link Match#rule()} gives it. */
    RULE(0x04),
    /** The stored word is the password followed by a number; {@link Match#affix()} gives it. */
    SUFFIX(0x08),
    /** The stored word is a number followed by the password; {@link Match#affix()} gives it. */
    PREFIX(0x10);

    private final int bit;

    Change(int bit) {
      this.bit = bit;
    }

    static Set<Change> of(int bits) {
      EnumSet<Change> changes = EnumSet.noneOf(Change.class);
      for (Change change : values()) {
        if ((bits & change.bit) != 0) {
          changes.add(change);
        }
      }
      return Collections.unmodifiableSet(changes);
    }
  }

  private final Kind kind;
  private final int slot;
  private final String prefix;
  private final String word;
  private final String rule;
  private final String affix;
  private final Set<Change> changes;
  private final String variant;
  private final List<Step> steps;

  Match(
      Kind kind,
      int slot,
      String prefix,
      String word,
      String rule,
      String affix,
      Set<Change> changes,
      String variant,
      List<Step> steps) {
    this.kind = kind;
    this.slot = slot;
    this.prefix = prefix;
    this.word = word;
    this.rule = rule;
    this.affix = affix;
    this.changes = changes;
    this.variant = variant;
    this.steps = List.copyOf(steps);
  }

  /** Where the word was stored. */
  public Kind kind() {
    return kind;
  }

  /** The dictionary's slot, 0 (the default dictionary) to 7; -1 for the other kinds. */
  public int slot() {
    return slot;
  }

  /**
   * The dictionary's prefix as configured, e.g. {@code "./dicts/default_dict"}; empty for a
   * context word.
   */
  public String prefix() {
    return prefix;
  }

  /** The stored word, or the context word, that matched. */
  public String word() {
    return word;
  }

  /** The mangling rule's text; {@code ":"} when no rule changed the password. */
  public String rule() {
    return rule;
  }

  /**
   * The number that the number searches put after ({@link Change#SUFFIX}) or before ({@link
   * Change#PREFIX}) the password to reach the stored word, such as {@code "05"} or {@code "7"};
   * empty otherwise.
   */
  public String affix() {
    return affix;
  }

  /** The ways the password was turned into the word; empty when it matched as given. Read-only. */
  public Set<Change> changes() {
    return changes;
  }

  /**
   * How the password was turned into the word, for a person: for example {@code "reversed, '3'
   * read as 'e'"}, or {@code "as given"}.
   */
  public String variant() {
    return variant;
  }

  /**
   * How the password was turned into the word, step by step as codes, in the order the search
   * applied them; empty when it matched as given (or the library does not give steps). A front end
   * words these in its own language instead of reading {@link #variant()}. Read-only.
   */
  public List<Step> steps() {
    return steps;
  }

  /** The kind, the word and the variant, e.g. {@code "DICTIONARY slot 0 'dragon' (as given)"}. */
  @Override
  public String toString() {
    return kind + (slot >= 0 ? " slot " + slot : "") + " '" + word + "' (" + variant + ")";
  }

  /** Whether other is a match with the same members. */
  @Override
  public boolean equals(Object other) {
    if (!(other instanceof Match)) {
      return false;
    }
    Match that = (Match) other;
    return kind == that.kind
        && slot == that.slot
        && prefix.equals(that.prefix)
        && word.equals(that.word)
        && rule.equals(that.rule)
        && affix.equals(that.affix)
        && changes.equals(that.changes)
        && variant.equals(that.variant)
        && steps.equals(that.steps);
  }

  /** A hash of all members. */
  @Override
  public int hashCode() {
    return Objects.hash(kind, slot, prefix, word, rule, affix, changes, variant, steps);
  }
}
