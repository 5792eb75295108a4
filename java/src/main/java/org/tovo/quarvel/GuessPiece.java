package org.tovo.quarvel;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Locale;
import java.util.Objects;

/**
 * One piece of the guess estimate's covering of the password ({@link Strength#pieces()}), left to
 * right: what it is, the bytes of the password's UTF-8 it covers, and the guesses it costs. The
 * word may be a stored word, a context word, a date read or repeated text of the password: treat
 * it as a secret.
 *
 * <p>Instances are immutable.
 */
public final class GuessPiece {
  private final int kind;
  private final int start;
  private final int length;
  private final int transforms;
  private final long rank;
  private final int slot;
  private final double guessesLog10;
  private final String word;

  GuessPiece(
      int kind,
      int start,
      int length,
      int transforms,
      long rank,
      int slot,
      double guessesLog10,
      String word) {
    this.kind = kind;
    this.start = start;
    this.length = length;
    this.transforms = transforms;
    this.rank = rank;
    this.slot = slot;
    this.guessesLog10 = guessesLog10;
    this.word = word;
  }

  /**
   * The kind's stable name: {@code "dictionary"}, {@code "context"}, {@code "repeat"}, {@code
   * "keyboard_walk"}, {@code "sequence"}, {@code "date"}, {@code "year"} or {@code
   * "brute_force"}; the number as text for a kind the library does not name.
   */
  public String kind() {
    return Catalogue.name(Catalogue.PIECE_NAME, kind);
  }

  /** The kind's number, QUARVEL_GUESS_* in engine.h. */
  public int kindNumber() {
    return kind;
  }

  /** The first byte of the password it covers, from 0. */
  public int start() {
    return start;
  }

  /** The bytes it covers. */
  public int length() {
    return length;
  }

  /**
   * The transformations by their stable names, in the order of their bits: {@code "capitalised"},
   * {@code "uppercased"}, {@code "mixed_case"}, {@code "leet"}, {@code "reversed"}, {@code
   * "shifted"}.
   */
  public List<String> transforms() {
    List<String> names = new ArrayList<>();
    for (int shift = 0; shift < Integer.SIZE; shift++) {
      int bit = 1 << shift;
      if ((transforms & bit) != 0) {
        names.add(Catalogue.name(Catalogue.TRANSFORM_NAME, bit));
      }
    }
    return Collections.unmodifiableList(names);
  }

  /** The transformations as QUARVEL_GUESS_CAPITALISED ... bits. */
  public int transformBits() {
    return transforms;
  }

  /** A word's rank (1: tried first), a repeat's count; 0 otherwise. */
  public long rank() {
    return rank;
  }

  /** A word's dictionary slot, 0 to 7, or 8 for the personal dictionary; -1 otherwise. */
  public int slot() {
    return slot;
  }

  /** The decimal logarithm of the guesses this piece costs. */
  public double guessesLog10() {
    return guessesLog10;
  }

  /** The stored word, context word, date or repeated text; empty for the other kinds. */
  public String word() {
    return word;
  }

  /** For example {@code "dictionary 0+8 rank 2 [capitalised] 10^0.6"}, without the word. */
  @Override
  public String toString() {
    return kind() + " " + start + "+" + length + (rank != 0 ? " rank " + rank : "")
        + (transforms != 0 ? " " + transforms() : "") + String.format(Locale.ROOT, " 10^%.1f", guessesLog10);
  }

  /** Whether other is a piece with the same members. */
  @Override
  public boolean equals(Object other) {
    if (!(other instanceof GuessPiece)) {
      return false;
    }
    GuessPiece that = (GuessPiece) other;
    return kind == that.kind
        && start == that.start
        && length == that.length
        && transforms == that.transforms
        && rank == that.rank
        && slot == that.slot
        && Double.compare(guessesLog10, that.guessesLog10) == 0
        && word.equals(that.word);
  }

  /** A hash of all members. */
  @Override
  public int hashCode() {
    return Objects.hash(kind, start, length, transforms, rank, slot, guessesLog10, word);
  }
}
