package org.tovo.quarvel;

import java.util.Objects;

/**
 * A warning or a suggestion of the guess estimate ({@link Strength#warning()}, {@link
 * Strength#suggestions()}): its code, its stable name (such as {@code "common_password"} or
 * {@code "add_words"}), and its English from the library's catalogue. A front end may translate by
 * name; the names do not change.
 *
 * <p>Instances are immutable.
 */
public final class Advice {
  private final int number;
  private final String name;
  private final String text;

  Advice(int number, String name, String text) {
    this.number = number;
    this.name = name;
    this.text = text;
  }

  static Advice warning(int code) {
    return new Advice(
        code,
        Catalogue.name(Catalogue.WARNING_NAME, code),
        Catalogue.entry(Catalogue.WARNING_TEXT, code));
  }

  static Advice suggestion(int code) {
    return new Advice(
        code,
        Catalogue.name(Catalogue.SUGGESTION_NAME, code),
        Catalogue.entry(Catalogue.SUGGESTION_TEXT, code));
  }

  /** The code's number, QUARVEL_WARNING_* or QUARVEL_SUGGESTION_* in engine.h. */
  public int number() {
    return number;
  }

  /** The stable name; the number as text for a code the library does not name. */
  public String name() {
    return name;
  }

  /** The English text; empty for a code the library does not know. */
  public String text() {
    return text;
  }

  /** The name and the text. */
  @Override
  public String toString() {
    return name + ": " + text;
  }

  /** Whether other is advice with the same code, name and text. */
  @Override
  public boolean equals(Object other) {
    if (!(other instanceof Advice)) {
      return false;
    }
    Advice that = (Advice) other;
    return number == that.number && name.equals(that.name) && text.equals(that.text);
  }

  /** A hash of all members. */
  @Override
  public int hashCode() {
    return Objects.hash(number, name, text);
  }
}
