package org.tovo.quarvel;

import java.util.Objects;

/**
 * One step of how the password became {@link Match#word()}, in the order the search applied
 * them: {@link Match#steps()}. The members {@link #piece()}, {@link #count()}, {@link #count2()}
 * and {@link #arg()} are used as each {@link Code} says, and are {@link Piece#NONE}, 0 or empty
 * otherwise. The argument may quote part of the password: treat it as a secret.
 *
 * <p>Instances are immutable.
 */
public final class Step {
  /** What the step did, with the stable name the JSON output and the Python binding use. */
  public enum Code {
    /** Upper-case letters were lowered. */
    LOWERCASED(1, "lowercased"),
    /** The capital first letter was lowered. */
    CAPITALISED(2, "capitalised"),
    /** The all-capitals password was lowered. */
    UPPERCASED(3, "uppercased"),
    /** Read backwards. */
    REVERSED(4, "reversed"),
    /**
     * Mangling rule number {@link Step#count()}, text {@link Step#arg()}; the next steps say what
     * it did.
     */
    RULE(5, "rule"),
    /** The first {@link Step#count()} characters removed. */
    CUT_FIRST(6, "cut_first"),
    /** The last {@link Step#count()} characters removed. */
    CUT_LAST(7, "cut_last"),
    /** Punctuation removed. */
    PUNCTUATION_REMOVED(8, "punctuation_removed"),
    /** Symbols removed. */
    SYMBOLS_REMOVED(9, "symbols_removed"),
    /** Every character but letters and digits removed. */
    NON_ALNUM_REMOVED(10, "non_alnum_removed"),
    /** The first character of {@link Step#arg()} read as the letter after it ("0o"). */
    READ_AS(11, "read_as"),
    /** The character {@link Step#arg()} dropped. */
    DROPPED(12, "dropped"),
    /** The stored word is the password and the number {@link Step#arg()}. */
    SUFFIX(13, "suffix"),
    /** The stored word is the number {@link Step#arg()} and the password. */
    PREFIX(14, "prefix"),
    /** The password was the word written twice. */
    DOUBLED(15, "doubled"),
    /**
     * The word is inside the password, {@link Step#count()} characters before it and {@link
     * Step#count2()} after.
     */
    INSIDE(16, "inside"),
    /** The {@link Step#piece()} {@link Step#arg()} cut from the start. */
    CUT_START(17, "cut_start"),
    /** The {@link Step#piece()} {@link Step#arg()} cut from the end. */
    CUT_END(18, "cut_end"),
    /** A pattern match is made of the {@link Step#piece()} {@link Step#arg()}. */
    PATTERN(19, "pattern"),
    /** The letters were the Korean word {@link Step#arg()} typed with the keyboard in Latin mode. */
    TYPED_LATIN(20, "typed_latin"),
    /** Letters with accents were read without them, and 'ß' as "ss". */
    ACCENTS_FOLDED(21, "accents_folded"),
    /** A code this version of the Java classes does not know yet ({@link Step#number()}). */
    OTHER(0, "other");

    private final int number;
    private final String stableName;

    Code(int number, String stableName) {
      this.number = number;
      this.stableName = stableName;
    }

    /** The code's number, QUARVEL_STEP_* in engine.h; 0 for {@link #OTHER}. */
    public int number() {
      return number;
    }

    /** The code's stable name, such as {@code "read_as"}. */
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

  /** What a cut or a pattern piece is. */
  public enum Piece {
    /** The step has no piece. */
    NONE(0, ""),
    /** Digits. */
    DIGITS(1, "digits"),
    /** A year, 1900 to 2099. */
    YEAR(2, "year"),
    /** A date, as YYYY-MM-DD. */
    DATE(3, "date"),
    /** Symbols. */
    SYMBOLS(4, "symbols"),
    /** Neighbouring keys. */
    KEYBOARD_WALK(5, "keyboard_walk"),
    /** Characters in sequence, such as "abcd" or "97531". */
    SEQUENCE(6, "sequence"),
    /** One character repeated. */
    RUN(7, "run"),
    /** A piece this version of the Java classes does not know yet. */
    OTHER(-1, "other");

    private final int number;
    private final String stableName;

    Piece(int number, String stableName) {
      this.number = number;
      this.stableName = stableName;
    }

    /** The piece's number, QUARVEL_PIECE_* in engine.h; -1 for {@link #OTHER}. */
    public int number() {
      return number;
    }

    /** The piece's stable name, such as {@code "year"}; empty for {@link #NONE}. */
    public String stableName() {
      return stableName;
    }

    /** The piece of a number, {@link #OTHER} for one not known. */
    public static Piece of(int number) {
      for (Piece piece : values()) {
        if (piece.number == number) {
          return piece;
        }
      }
      return OTHER;
    }
  }

  private final int number;
  private final int piece;
  private final int count;
  private final int count2;
  private final String arg;

  Step(int number, int piece, int count, int count2, String arg) {
    this.number = number;
    this.piece = piece;
    this.count = count;
    this.count2 = count2;
    this.arg = arg;
  }

  /** What the step did. */
  public Code code() {
    return Code.of(number);
  }

  /** The code's number as the engine gave it, also for {@link Code#OTHER}. */
  public int number() {
    return number;
  }

  /** What a cut or a pattern piece is; {@link Piece#NONE} for the other codes. */
  public Piece piece() {
    return Piece.of(piece);
  }

  /** A number, as the code says; else 0. */
  public int count() {
    return count;
  }

  /** A second number, as the code says; else 0. */
  public int count2() {
    return count2;
  }

  /** A text, as the code says; else empty. */
  public String arg() {
    return arg;
  }

  /**
   * The step in English, as the quarvel command words it: for example {@code "the Korean word 사랑해
   * typed on a Latin keyboard"}; empty for {@link Code#RULE} (the steps after it say what it did)
   * and for a code this version does not know.
   */
  public String text() {
    switch (code()) {
      case LOWERCASED:
        return "lower-cased";
      case CAPITALISED:
        return "capitalised";
      case UPPERCASED:
        return "upper-cased";
      case REVERSED:
        return "reversed";
      case CUT_FIRST:
      case CUT_LAST:
        return (code() == Code.CUT_FIRST ? "first " : "last ") + count
            + (count > 1 ? " characters removed" : " character removed");
      case PUNCTUATION_REMOVED:
        return "punctuation removed";
      case SYMBOLS_REMOVED:
        return "symbols removed";
      case NON_ALNUM_REMOVED:
        return "non-alphanumeric characters removed";
      case READ_AS:
        return "'" + firstOf(arg, 0) + "' read as '" + firstOf(arg, 1) + "'";
      case DROPPED:
        return "'" + firstOf(arg, 0) + "' dropped";
      case SUFFIX:
        return "suffix " + arg;
      case PREFIX:
        return "prefix " + arg;
      case DOUBLED:
        return "written twice";
      case INSIDE:
        return "inside the password (" + count + " before, " + count2 + " after)";
      case CUT_START:
        return pieceText() + " cut from the start";
      case CUT_END:
        return pieceText() + " cut from the end";
      case PATTERN:
        return pieceText();
      case TYPED_LATIN:
        return "the Korean word " + arg + " typed on a Latin keyboard";
      case ACCENTS_FOLDED:
        return "accents removed";
      default:
        return "";
    }
  }

  private static String firstOf(String text, int index) {
    return text.length() > index ? text.substring(index, index + 1) : "";
  }

  private String pieceText() {
    switch (piece()) {
      case DIGITS:
      case YEAR:
      case DATE:
        return piece().stableName() + " " + arg;
      case SYMBOLS:
        return code() == Code.PATTERN ? "symbols '" + arg + "'" : "'" + arg + "'";
      default:
        return piece().stableName().replace('_', ' ') + " '" + arg + "'";
    }
  }

  /** For example {@code "cut_end year '2024'"}. */
  @Override
  public String toString() {
    String text = code().stableName();
    if (piece != 0) {
      text += " " + piece().stableName();
    }
    if (count != 0 || count2 != 0) {
      text += " " + count + (count2 != 0 ? "," + count2 : "");
    }
    return arg.isEmpty() ? text : text + " '" + arg + "'";
  }

  /** Whether other is a step with the same members. */
  @Override
  public boolean equals(Object other) {
    if (!(other instanceof Step)) {
      return false;
    }
    Step that = (Step) other;
    return number == that.number
        && piece == that.piece
        && count == that.count
        && count2 == that.count2
        && arg.equals(that.arg);
  }

  /** A hash of all members. */
  @Override
  public int hashCode() {
    return Objects.hash(number, piece, count, count2, arg);
  }
}
