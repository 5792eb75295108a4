package org.tovo.quarvel;

import java.util.Arrays;
import java.util.Collections;
import java.util.EnumMap;
import java.util.List;
import java.util.Map;
import java.util.Objects;

/**
 * The result of one check: the level, the measured fields, the score after each stage, an
 * explanation of a dictionary hit, and the answer text.
 *
 * <p>A scored password has the code 0, a level from 1 (weak) to 4 (strong), and an answer such
 * as {@code
 * "RET_CD=0000:RT_LEVEL=1:PW_LEN=8:PW_NCR=1:REPT_NCR=0:CTS_NCR=1:DICT_FD_CNT=1:PDICT_FD=XX"}, the
 * same text that {@code QuarvelJNI.verify} gives for the same environment. A password the engine
 * does not score has the code of its answer and the level 0: 2000 (empty, starting with U+0000,
 * or longer than 257 bytes of UTF-8) or 2009; its fields are then 0.
 *
 * <p>A scored password also has a guess estimate: how many guesses an attacker needs ({@link
 * #guessesLog10()}), how long each {@link Attack} takes, the pieces the password is made of, and
 * a warning and suggestions with the library's English.
 *
 * <p>Instances are immutable.
 */
public final class Strength {
  /** The stages, in the order {@link #stageScores()} gives their scores. */
  public static final int STAGES = 6;

  private final int code;
  private final int level;
  private final int pwLen;
  private final int pwNcr;
  private final int reptNcr;
  private final int ctsNcr;
  private final int dictFdCnt;
  private final int pdictFd;
  private final int distinct;
  private final int[] stageScores;
  private final Match match;
  private final String answer;
  private final List<Reason> reasons;
  private final GuessEstimate estimate;

  // Takes stageScores over: the caller hands in an array of its own.
  Strength(
      int code,
      int level,
      int pwLen,
      int pwNcr,
      int reptNcr,
      int ctsNcr,
      int dictFdCnt,
      int pdictFd,
      int distinct,
      int[] stageScores,
      Match match,
      String answer,
      List<Reason> reasons,
      GuessEstimate estimate) {
    this.code = code;
    this.level = level;
    this.pwLen = pwLen;
    this.pwNcr = pwNcr;
    this.reptNcr = reptNcr;
    this.ctsNcr = ctsNcr;
    this.dictFdCnt = dictFdCnt;
    this.pdictFd = pdictFd;
    this.distinct = distinct;
    this.stageScores = stageScores;
    this.match = match;
    this.answer = answer;
    this.reasons = List.copyOf(reasons);
    this.estimate = estimate;
  }

  /** 0 when the password was scored, else the code of the answer text (2000, 2009). */
  public int code() {
    return code;
  }

  /** Whether the password was scored (the code is 0). */
  public boolean isScored() {
    return code == 0;
  }

  /** The level from 1 (weak) to 4 (strong); 0 when the password was not scored. */
  public int level() {
    return level;
  }

  /** PW_LEN: the length in bytes of UTF-8, up to a U+0000 character when there is one. */
  public int pwLen() {
    return pwLen;
  }

  /** PW_NCR: the character classes present (lower case, upper case, digits, others), 0 to 4. */
  public int pwNcr() {
    return pwNcr;
  }

  /** REPT_NCR: repeated two-character pieces; 0 when the repeat stage is off. */
  public int reptNcr() {
    return reptNcr;
  }

  /** CTS_NCR: neighbours in sequence, such as {@code "ab"} or {@code "21"}. */
  public int ctsNcr() {
    return ctsNcr;
  }

  /**
   * DICT_FD_CNT: the position (from 1) of the dictionary that held the password, or the number of
   * dictionaries searched plus one when none did.
   */
  public int dictFdCnt() {
    return dictFdCnt;
  }

  /** PDICT_FD: 1 found in the personal dictionary, 0 not found, -1 not searched ({@code XX}). */
  public int pdictFd() {
    return pdictFd;
  }

  /** The number of distinct characters (measured in stage 2; not part of the answer text). */
  public int distinct() {
    return distinct;
  }

  /** The score after each of the {@link #STAGES} stages, in order; a fresh copy on each call. */
  public int[] stageScores() {
    return stageScores.clone();
  }

  /**
   * The score after one stage.
   *
   * @param stage 0 to {@link #STAGES} - 1
   * @throws IndexOutOfBoundsException for any other stage
   */
  public int stageScore(int stage) {
    Objects.checkIndex(stage, STAGES);
    return stageScores[stage];
  }

  /** Why the dictionary or personal stage found the password; null when neither did. */
  public Match match() {
    return match;
  }

  /**
   * Why points were lost, as codes: one for each stage of 2 to 6 that lost points, in stage order,
   * and one of stage 0 when the level was capped; empty when none was lost (or the library does not
   * give reasons). A front end words these in its own language. Read-only.
   */
  public List<Reason> reasons() {
    return reasons;
  }

  /**
   * The decimal logarithm of the guesses an attacker needs to find the password: the cheapest way
   * to make it from dictionary words at their rank, context words, repeats, keyboard walks,
   * sequences, dates and brute force. NaN when the password was not scored.
   */
  public double guessesLog10() {
    return estimate.guessesLog10;
  }

  /** The seconds the attack takes to make that many guesses; NaN when not scored. */
  public double crackSeconds(Attack attack) {
    Objects.requireNonNull(attack, "attack");
    return estimate.crackSeconds.length > attack.number()
        ? estimate.crackSeconds[attack.number()]
        : Double.NaN;
  }

  /** The seconds of every attack; empty when not scored. Read-only. */
  public Map<Attack, Double> crackSeconds() {
    Map<Attack, Double> times = new EnumMap<>(Attack.class);
    for (Attack attack : Attack.values()) {
      if (estimate.crackSeconds.length > attack.number()) {
        times.put(attack, estimate.crackSeconds[attack.number()]);
      }
    }
    return Collections.unmodifiableMap(times);
  }

  /** The pieces that make the password, left to right, as the estimate read it. Read-only. */
  public List<GuessPiece> pieces() {
    return estimate.pieces;
  }

  /** Why the password is easy to guess, when the estimate says; else null. */
  public Advice warning() {
    return estimate.warning;
  }

  /** How to make the password stronger, the most useful first (up to three). Read-only. */
  public List<Advice> suggestions() {
    return estimate.suggestions;
  }

  /** The answer text, e.g. {@code "RET_CD=0000:RT_LEVEL=3:..."} or {@code "RET_CD=2000"}. */
  public String answer() {
    return answer;
  }

  /** The answer text, followed by the explanation when there is one. */
  @Override
  public String toString() {
    return match == null ? answer : answer + " [" + match + "]";
  }

  /** Whether other is a result with the same members. */
  @Override
  public boolean equals(Object other) {
    if (!(other instanceof Strength)) {
      return false;
    }
    Strength that = (Strength) other;
    return code == that.code
        && level == that.level
        && pwLen == that.pwLen
        && pwNcr == that.pwNcr
        && reptNcr == that.reptNcr
        && ctsNcr == that.ctsNcr
        && dictFdCnt == that.dictFdCnt
        && pdictFd == that.pdictFd
        && distinct == that.distinct
        && Arrays.equals(stageScores, that.stageScores)
        && Objects.equals(match, that.match)
        && answer.equals(that.answer)
        && reasons.equals(that.reasons)
        && estimate.equals(that.estimate);
  }

  /** A hash of all members. */
  @Override
  public int hashCode() {
    return Objects.hash(answer, distinct, Arrays.hashCode(stageScores), match);
  }
}
