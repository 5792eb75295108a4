package org.tovo.quarvel.lib;

import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.Map;
import java.util.Objects;
import java.util.Optional;
import java.util.OptionalInt;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * A parsed answer of {@link QuarvelJNI}: the four-digit code and the colon-separated fields that
 * follow it.
 *
 * <p>A verification answer such as {@code
 * "RET_CD=0000:RT_LEVEL=1:PW_LEN=8:PW_NCR=1:REPT_NCR=0:CTS_NCR=2:DICT_FD_CNT=2:PDICT_FD=XX"} gives
 * the code {@code "0000"}, the level 1 and the fields {@code PW_LEN} (password length in bytes),
 * {@code PW_NCR} (character classes present), {@code REPT_NCR} (repeated two-character pieces),
 * {@code CTS_NCR} (neighbour pairs in sequence), {@code DICT_FD_CNT} (position of the dictionary
 * that held the password, or the number searched plus one) and {@code PDICT_FD} ({@code 01} found
 * in the personal dictionary, {@code 00} not found, {@code XX} not searched).
 *
 * <p>An environment answer such as {@code
 * "RET_CD=0000:PW_LEN=6:CTS_NCR=3:REPT_NCR=0:NCHAR=4:USE_DICT_CNT=1:USE_PDICT=00"} has no level;
 * its fields are the configured minimum length, sequence and repeat limits, the number of
 * character classes, the number of usable dictionaries and whether the personal dictionary is in
 * use. Failure answers ({@code "RET_CD=2000"} and the like) have a code and no fields.
 *
 * <p>Instances are immutable.
 */
public final class QuarvelResult {
  /** The code of a successful operation. */
  public static final String SUCCESS = "0000";

  private static final Pattern HEAD = Pattern.compile("RET_CD=([0-9]{4})");
  private static final Pattern FIELD = Pattern.compile("([A-Z][A-Z0-9_]*)=([^:=]+)");
  private static final String LEVEL = "RT_LEVEL";

  private final String answer;
  private final String code;
  private final Map<String, String> fields;
  private final OptionalInt level;

  private QuarvelResult(String answer, String code, Map<String, String> fields) {
    this.answer = answer;
    this.code = code;
    this.fields = Collections.unmodifiableMap(fields);
    this.level = fields.containsKey(LEVEL) ? OptionalInt.of(toInt(LEVEL)) : OptionalInt.empty();
  }

  /**
   * Parses an answer of {@link QuarvelJNI}.
   *
   * @throws NullPointerException when answer is null
   * @throws IllegalArgumentException when answer does not begin with {@code "RET_CD="} and four
   *     digits, when a field is not {@code NAME=value} (upper-case name, non-empty value without
   *     colon), when a name occurs twice, or when {@code RT_LEVEL} is not a number
   */
  public static QuarvelResult parse(String answer) {
    Objects.requireNonNull(answer, "answer");
    String[] pieces = answer.split(":", -1);
    Matcher head = HEAD.matcher(pieces[0]);
    if (!head.matches()) {
      throw new IllegalArgumentException("not a Quarvel answer: " + answer);
    }
    Map<String, String> fields = new LinkedHashMap<>();
    for (int i = 1; i < pieces.length; i++) {
      Matcher field = FIELD.matcher(pieces[i]);
      if (!field.matches()) {
        throw new IllegalArgumentException(
            "malformed field '" + pieces[i] + "' in Quarvel answer: " + answer);
      }
      if (fields.put(field.group(1), field.group(2)) != null) {
        throw new IllegalArgumentException(
            "field " + field.group(1) + " repeated in Quarvel answer: " + answer);
      }
    }
    try {
      return new QuarvelResult(answer, head.group(1), fields);
    } catch (NumberFormatException e) {
      throw new IllegalArgumentException("level is not a number in Quarvel answer: " + answer, e);
    }
  }

  /** The four digits after {@code RET_CD=}, e.g. {@code "0000"} or {@code "2000"}. */
  public String code() {
    return code;
  }

  /** Whether the code is {@code "0000"}. */
  public boolean isSuccess() {
    return SUCCESS.equals(code);
  }

  /** The level from 1 (weak) to 4 (strong) of a verification answer; empty for other answers. */
  public OptionalInt level() {
    return level;
  }

  /** Every field after the code, {@code RT_LEVEL} included, by name in answer order; read-only. */
  public Map<String, String> fields() {
    return fields;
  }

  /** The text of the field called name, e.g. {@code field("PDICT_FD")}; empty when absent. */
  public Optional<String> field(String name) {
    return Optional.ofNullable(fields.get(name));
  }

  /**
   * The value of the field called name as a number, e.g. {@code intField("PW_LEN")}; empty when
   * absent.
   *
   * @throws NumberFormatException when the field is present but not a decimal number (as {@code
   *     PDICT_FD=XX})
   */
  public OptionalInt intField(String name) {
    return fields.containsKey(name) ? OptionalInt.of(toInt(name)) : OptionalInt.empty();
  }

  /** The answer text as returned by the library. */
  @Override
  public String toString() {
    return answer;
  }

  @Override
  public boolean equals(Object other) {
    return other instanceof QuarvelResult && answer.equals(((QuarvelResult) other).answer);
  }

  @Override
  public int hashCode() {
    return answer.hashCode();
  }

  private int toInt(String name) {
    String value = fields.get(name);
    try {
      return Integer.parseInt(value);
    } catch (NumberFormatException e) {
      NumberFormatException error =
          new NumberFormatException("field " + name + " is not a number: " + value);
      error.initCause(e);
      throw error;
    }
  }
}
