package org.tovo.quarvel;

import java.util.Objects;

/**
 * Why a stage lost points, as a code: {@link Strength#reasons()} holds one for each stage of 2 to
 * 6 that lost points, in stage order, and one of stage 0 ({@link Code#LEVEL_CAPPED}) when the
 * extended search capped the level. A front end words it in its own language; the codes and their
 * {@link Code#stableName() names} do not change.
 *
 * <p>Instances are immutable.
 */
public final class Reason {
  /** What the reason is, with the stable name the JSON output and the Python binding use. */
  public enum Code {
    /** Stage 2: {@link Reason#value()} distinct characters, fewer than {@link Reason#limit()}. */
    FEW_DISTINCT(1, "few_distinct"),
    /** Stage 3: {@link Reason#value()} repeated pieces, more than {@link Reason#limit()}. */
    REPEATS(2, "repeats"),
    /** Stage 4: {@link Reason#value()} neighbours in sequence, more than {@link Reason#limit()}. */
    SEQUENCES(3, "sequences"),
    /** Stage 5: a configured dictionary holds it ({@link Strength#match()}). */
    DICTIONARY(4, "dictionary"),
    /** Stage 5: a leaked-password list holds it. */
    BREACH(5, "breach"),
    /** Stage 5: close to a context word. */
    CONTEXT(6, "context"),
    /** Stage 5: a keyboard walk, sequence, run or date. */
    PATTERN(7, "pattern"),
    /** Stage 5 or 6: a dictionary that cannot be read counts as having found it. */
    UNREADABLE(8, "unreadable"),
    /** Stage 6: the personal dictionary holds it. */
    PERSONAL(9, "personal"),
    /**
     * Stage 0: the extended search rated a password it found at most level {@link Reason#limit()};
     * {@link Reason#value()} is the level the score gave.
     */
    LEVEL_CAPPED(10, "level_capped"),
    /**
     * Stage 0: estimated below the configuration's least number of guesses
     * (quarvel_search.min_guesses_log10), so rated at most level {@link Reason#limit()}; {@link
     * Reason#value()} is the level the score gave.
     */
    FEW_GUESSES(11, "few_guesses"),
    /** A code this version of the Java classes does not know yet ({@link Reason#number()}). */
    OTHER(0, "other");

    private final int number;
    private final String stableName;

    Code(int number, String stableName) {
      this.number = number;
      this.stableName = stableName;
    }

    /** The code's number, QUARVEL_REASON_* in engine.h; 0 for {@link #OTHER}. */
    public int number() {
      return number;
    }

    /** The code's stable name, such as {@code "few_distinct"}. */
    public String stableName() {
      return stableName;
    }

    /** The code of a number, {@link #OTHER} for one not known. */
    public static Code of(int number) {
      for (Code code : values()) {
        if (code.number == number && code != OTHER) {
          return code;
        }
      }
      return OTHER;
    }
  }

  private final int stage;
  private final int number;
  private final int points;
  private final int value;
  private final int limit;

  Reason(int stage, int number, int points, int value, int limit) {
    this.stage = stage;
    this.number = number;
    this.points = points;
    this.value = value;
    this.limit = limit;
  }

  /** The stage, 2 to 6; 0 for {@link Code#LEVEL_CAPPED} and {@link Code#FEW_GUESSES}. */
  public int stage() {
    return stage;
  }

  /** What the reason is. */
  public Code code() {
    return Code.of(number);
  }

  /** The code's number as the engine gave it, also for {@link Code#OTHER}. */
  public int number() {
    return number;
  }

  /** The points lost (0 for the codes of stage 0). */
  public int points() {
    return points;
  }

  /** What was measured, for the codes that say so; else 0. */
  public int value() {
    return value;
  }

  /** The setting it went past, for the codes that say so; else 0. */
  public int limit() {
    return limit;
  }

  /** For example {@code "stage 2 few_distinct -1 (3, limit 5)"}. */
  @Override
  public String toString() {
    return "stage " + stage + " " + code().stableName() + " -" + points + " (" + value + ", limit "
        + limit + ")";
  }

  /** Whether other is a reason with the same members. */
  @Override
  public boolean equals(Object other) {
    if (!(other instanceof Reason)) {
      return false;
    }
    Reason that = (Reason) other;
    return stage == that.stage
        && number == that.number
        && points == that.points
        && value == that.value
        && limit == that.limit;
  }

  /** A hash of all members. */
  @Override
  public int hashCode() {
    return Objects.hash(stage, number, points, value, limit);
  }
}
