package org.tovo.quarvel;

import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * A failure of the Quarvel engine: an environment that cannot be opened or reloaded, or a check
 * the engine refused. It carries the engine's four-digit code and a one-line reason.
 *
 * <p>Codes: 1001 (the configuration cannot be read), 1002 (the default dictionary cannot be
 * opened), 1003 (a configured dictionary cannot be opened), 2001 and 2002 (the engine refused
 * the call's arguments; {@link Quarvel} never makes such a call). A code of 0 means that the
 * engine's reason named none.
 */
public class QuarvelException extends RuntimeException {
  private static final long serialVersionUID = 1L;

  // The engine's reasons for an open failure name the code as a number of their own.
  private static final Pattern OPEN_CODE = Pattern.compile("(?<![0-9])(100[1-3])(?![0-9])");

  /** The engine's code, e.g. 1001; 0 when unknown. */
  private final int code;

  /**
   * Makes an exception with the engine's code and a reason.
   *
   * @param code the engine's code, e.g. 1002, or 0 when unknown
   * @param reason the one-line reason
   */
  public QuarvelException(int code, String reason) {
    super(reason);
    this.code = code;
  }

  /** The exception for an open failure, with the code the reason names. */
  static QuarvelException openFailure(String reason) {
    String text = reason == null || reason.isEmpty() ? "the engine gave no reason" : reason;
    Matcher code = OPEN_CODE.matcher(text);
    return new QuarvelException(code.find() ? Integer.parseInt(code.group(1)) : 0, text);
  }

  /** What a code of the engine means, for messages built on the Java side. */
  static String meaning(int code) {
    switch (code) {
      case 1001:
        return "the configuration cannot be read";
      case 1002:
        return "the default dictionary cannot be opened";
      case 1003:
        return "a configured dictionary cannot be opened";
      case 2001:
        return "no environment";
      case 2002:
        return "the result record was refused";
      default:
        return "code " + code;
    }
  }

  /** The engine's four-digit code, e.g. 1001; 0 when the engine's reason named none. */
  public int code() {
    return code;
  }
}
