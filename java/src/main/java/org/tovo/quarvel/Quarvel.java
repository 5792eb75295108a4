package org.tovo.quarvel;

import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Objects;

/**
 * One environment of the Quarvel engine: the settings of a configuration and the dictionaries it
 * names, opened once and shared by any number of threads.
 *
 * <pre>{@code
 * try (Quarvel quarvel = Quarvel.open(Paths.get("/srv/quarvel"))) {
 *   Strength strength = quarvel.check(passwordChars);
 *   if (strength.level() < 3) { ... strength.match() ... }
 * }
 * }</pre>
 *
 * <h2>The root folder</h2>
 *
 * The environment is read from a root folder laid out like the console's working folder: the
 * configuration {@code <root>/conf/quarvel.ini}, the default dictionary {@code
 * <root>/dicts/default_dict}, and the personal dictionary {@code <root>/dicts/profile}, searched
 * when it is there. Relative dictionary prefixes in the configuration resolve against the root.
 * Unlike {@code QuarvelJNI}, nothing depends on the JVM's working folder.
 *
 * <h2>Passwords</h2>
 *
 * Passwords reach the engine as UTF-8 bytes ({@code "é"} is 2 bytes, a character outside the
 * Basic Multilingual Plane 4, a surrogate without its partner the single byte {@code '?'}), so
 * lengths and the limit of 257 count those bytes. {@link #check(char[])} is the form to use for a
 * password held in a {@code char[]}: it encodes the characters into a byte array of its own,
 * the engine copies those bytes into memory it wipes before the call returns, and the byte array
 * is wiped too. The caller's array is neither changed nor kept; wiping it is the caller's
 * business. {@link #check(String)} does the same with a string's characters, but a string cannot
 * be wiped.
 *
 * <h2>Threads</h2>
 *
 * Every method may be called from any number of threads. Checks run in parallel without a lock
 * in the engine; each runs on the snapshot of settings and dictionaries that was current when it
 * started, so a check that overlaps {@link #reload()} gives the answer of either the old or the
 * new environment, never a mixture. {@link #close()} waits for the checks and reloads in flight to
 * finish; methods called after it throw {@link IllegalStateException}.
 *
 * <h2>Failures</h2>
 *
 * An environment that cannot be opened or reloaded throws {@link QuarvelException} with the
 * engine's code and reason. A password that the engine does not score is not a failure: its
 * {@link Strength} has the answer's code (2000 for an empty or too long password).
 *
 * <h2>Native library</h2>
 *
 * The engine lives in {@code libquarvel.so}, loaded as {@code org.tovo.quarvel.lib.QuarvelJNI}
 * loads it: from {@code java.library.path}, or else the copy that quarvel.jar carries.
 */
public final class Quarvel implements AutoCloseable {
  static {
    // QuarvelJNI's initialiser loads the library, once, in this class loader: its natives and
    // these are then bound from the same copy of the library.
    try {
      Class.forName("org.tovo.quarvel.lib.QuarvelJNI", true, Quarvel.class.getClassLoader());
    } catch (ClassNotFoundException e) {
      throw new NoClassDefFoundError(e.getMessage());
    }
  }

  // The members that nativeCheck writes into its int[]; engine_jni.cc uses the same order.
  private static final int CODE = 0;
  private static final int LEVEL = 1;
  private static final int PW_LEN = 2;
  private static final int PW_NCR = 3;
  private static final int REPT_NCR = 4;
  private static final int CTS_NCR = 5;
  private static final int DICT_FD_CNT = 6;
  private static final int PDICT_FD = 7;
  private static final int DISTINCT = 8;
  private static final int STAGE_SCORE = 9;
  static final int MATCH_KIND = STAGE_SCORE + Strength.STAGES;
  private static final int MATCH_SLOT = MATCH_KIND + 1;
  private static final int MATCH_CHANGES = MATCH_KIND + 2;
  // The reasons (stage, code, points, value, limit each) and the match steps (code, piece, count,
  // count2 each; their texts are in texts[STEP_ARG + i]), each after its count.
  static final int MAX_REASONS = 8;
  static final int REASON_MEMBERS = 5;
  static final int MAX_STEPS = 24;
  static final int STEP_MEMBERS = 4;
  static final int REASON_COUNT = MATCH_KIND + 3;
  static final int REASONS = REASON_COUNT + 1;
  static final int STEP_COUNT = REASONS + MAX_REASONS * REASON_MEMBERS;
  static final int STEPS = STEP_COUNT + 1;
  static final int NUMBERS = STEPS + MAX_STEPS * STEP_MEMBERS;
  // nativeCheckWithEstimate goes on with the estimate: the warning, the suggestions after their
  // count, the pieces (kind, start, length, transforms, rank, slot each) after theirs.
  static final int MAX_SUGGESTIONS = 3;
  static final int MAX_PIECES = 16;
  static final int PIECE_MEMBERS = 6;
  static final int WARNING = NUMBERS;
  static final int SUGGESTION_COUNT = WARNING + 1;
  static final int SUGGESTIONS = SUGGESTION_COUNT + 1;
  static final int PIECE_COUNT = SUGGESTIONS + MAX_SUGGESTIONS;
  static final int PIECES = PIECE_COUNT + 1;
  static final int ESTIMATE_NUMBERS = PIECES + MAX_PIECES * PIECE_MEMBERS;

  // The texts that nativeCheck writes into its String[]; the match's only when there is one.
  private static final int ANSWER = 0;
  private static final int PREFIX = 1;
  private static final int WORD = 2;
  private static final int RULE = 3;
  private static final int AFFIX = 4;
  private static final int VARIANT = 5;
  static final int STEP_ARG = 6;
  static final int TEXTS = STEP_ARG + MAX_STEPS;
  // The pieces' words follow.
  static final int PIECE_WORD = TEXTS;
  static final int ESTIMATE_TEXTS = PIECE_WORD + MAX_PIECES;

  // The double[] of nativeCheckWithEstimate: the guesses, each attack's seconds (by
  // Attack.number()), the pieces' guesses.
  static final int GUESSES = 0;
  static final int CRACK_SECONDS = 1;
  static final int PIECE_GUESSES = CRACK_SECONDS + 4;
  static final int REALS = PIECE_GUESSES + MAX_PIECES;

  private static final int MATCH_NONE = 0;

  private final Path root;

  // The native quarvel_env, freed by close() once the gate is shut and drained: checks and
  // reloads pass the gate for as long as they use it, so it is never freed under a running call.
  private final long env;
  private final CallGate gate = new CallGate();

  // Held by close() while it shuts the gate and frees the environment, so that a second close
  // waits for the first and frees nothing.
  private final Object closing = new Object();
  private boolean released;

  // The engine does not promise that two reloads of one environment may overlap.
  private final Object reloading = new Object();

  private Quarvel(Path root, long env) {
    this.root = root;
    this.env = env;
  }

  /**
   * Opens the environment rooted at a folder.
   *
   * @param root the folder that holds {@code conf/quarvel.ini} and {@code dicts/}
   * @return the open environment; close it when done
   * @throws NullPointerException when root is null
   * @throws QuarvelException when the configuration or a dictionary cannot be opened: the code
   *     is 1001, 1002 or 1003 and the message the engine's reason, which names the file
   */
  public static Quarvel open(Path root) {
    Objects.requireNonNull(root, "root");
    String[] reason = new String[1];
    long env = nativeOpen(root.toString().getBytes(fileNameCharset()), reason);
    if (env == 0) {
      throw QuarvelException.openFailure(reason[0]);
    }
    return new Quarvel(root, env);
  }

  /** The root folder this environment was opened from, as given to {@link #open(Path)}. */
  public Path root() {
    return root;
  }

  /**
   * Checks a password held in a character array. The characters are encoded to UTF-8 in an array
   * that is wiped before this method returns; the caller's array is not changed.
   *
   * @param password the password's characters
   * @return the result; {@link Strength#code()} is 2000 for an empty password or one longer than
   *     257 bytes
   * @throws NullPointerException when password is null
   * @throws IllegalStateException when the environment was closed
   */
  public Strength check(char[] password) {
    Objects.requireNonNull(password, "password");
    byte[] bytes = Utf8.encode(password);
    try {
      return run(bytes, null);
    } finally {
      Arrays.fill(bytes, (byte) 0);
    }
  }

  /**
   * Checks a password held in a string. The string's UTF-8 bytes are wiped after the call; the
   * string itself cannot be, so prefer {@link #check(char[])} for passwords.
   *
   * @param password the password
   * @return the result, as {@link #check(char[])} gives it
   * @throws NullPointerException when password is null
   * @throws IllegalStateException when the environment was closed
   */
  public Strength check(String password) {
    Objects.requireNonNull(password, "password");
    byte[] bytes = password.getBytes(StandardCharsets.UTF_8);
    try {
      return run(bytes, null);
    } finally {
      Arrays.fill(bytes, (byte) 0);
    }
  }

  /**
   * Checks a password and also searches words that belong to its owner (a login name, the words
   * of a full name, ...) as a dictionary, with the same variants as the configured ones. Each
   * word is cut to its ASCII letters and digits, lowered, and to 31 characters; words shorter
   * than 3 characters after that are ignored. A password found through a word counts as a
   * dictionary hit, and its {@link Match} has the kind {@link Match.Kind#CONTEXT}.
   *
   * @param password the password's characters; the caller's array is not changed
   * @param words the owner's words; none is the same as {@link #check(char[])}
   * @return the result
   * @throws NullPointerException when password, words or one of the words is null
   * @throws IllegalStateException when the environment was closed
   */
  public Strength checkContext(char[] password, String... words) {
    Objects.requireNonNull(password, "password");
    byte[][] context = encodeWords(words);
    byte[] bytes = Utf8.encode(password);
    try {
      return run(bytes, context);
    } finally {
      Arrays.fill(bytes, (byte) 0);
      for (byte[] word : context) {
        Arrays.fill(word, (byte) 0);
      }
    }
  }

  /**
   * As {@link #checkContext(char[], String...)}, for a password held in a string.
   *
   * @param password the password
   * @param words the owner's words
   * @return the result
   * @throws NullPointerException when password, words or one of the words is null
   * @throws IllegalStateException when the environment was closed
   */
  public Strength checkContext(String password, String... words) {
    Objects.requireNonNull(password, "password");
    byte[][] context = encodeWords(words);
    byte[] bytes = password.getBytes(StandardCharsets.UTF_8);
    try {
      return run(bytes, context);
    } finally {
      Arrays.fill(bytes, (byte) 0);
      for (byte[] word : context) {
        Arrays.fill(word, (byte) 0);
      }
    }
  }

  /**
   * Reads the configuration and the dictionaries again. Checks already running finish on the
   * environment they started with; later ones use the new one. On failure the environment keeps
   * what it had.
   *
   * @throws QuarvelException with the code 1001, 1002 or 1003 when the new environment cannot be
   *     opened
   * @throws IllegalStateException when the environment was closed
   */
  public void reload() {
    synchronized (reloading) {
      int slot = enter();
      try {
        int code = nativeReload(env);
        if (code != 0) {
          throw new QuarvelException(
              code,
              "reloading the Quarvel environment at "
                  + root
                  + " failed with RET_CD="
                  + code
                  + ": "
                  + QuarvelException.meaning(code));
        }
      } finally {
        gate.leave(slot);
      }
    }
  }

  /**
   * Releases the environment, after the checks and reloads in flight have finished. Calling it
   * again does nothing.
   */
  @Override
  public void close() {
    synchronized (closing) {
      if (!released) {
        gate.shutAndDrain();
        nativeClose(env);
        released = true;
      }
    }
  }

  /** Whether {@link #close()} was called. */
  public boolean isClosed() {
    return gate.isShut();
  }

  /** The root folder, and whether the environment is closed. */
  @Override
  public String toString() {
    return "Quarvel[" + root + (isClosed() ? ", closed]" : "]");
  }

  private Strength run(byte[] password, byte[][] context) {
    int[] numbers = new int[ESTIMATE_NUMBERS];
    String[] texts = new String[ESTIMATE_TEXTS];
    double[] reals = new double[REALS];
    int slot = enter();
    try {
      nativeCheckWithEstimate(env, password, context, numbers, texts, reals);
    } finally {
      gate.leave(slot);
    }
    int code = numbers[CODE];
    if (texts[ANSWER] == null || code == 2001 || code == 2002) {
      throw new QuarvelException(code, "the engine refused the check: " + texts[ANSWER]);
    }
    return decode(numbers, texts, reals);
  }

  // The Strength of what nativeCheck wrote: numbers[NUMBERS] and texts[TEXTS] in the order above.
  static Strength decode(int[] numbers, String[] texts) {
    return decode(numbers, texts, null);
  }

  // The estimate of what nativeCheckWithEstimate wrote after NUMBERS and TEXTS, and in reals.
  static GuessEstimate decodeEstimate(int[] numbers, String[] texts, double[] reals) {
    if (reals == null || numbers[CODE] != 0) {
      return GuessEstimate.NONE;
    }
    int pieceCount = Math.max(0, Math.min(numbers[PIECE_COUNT], MAX_PIECES));
    List<GuessPiece> pieces = new ArrayList<>(pieceCount);
    for (int i = 0; i < pieceCount; i++) {
      int at = PIECES + i * PIECE_MEMBERS;
      String word = texts[PIECE_WORD + i];
      pieces.add(
          new GuessPiece(
              numbers[at],
              numbers[at + 1],
              numbers[at + 2],
              numbers[at + 3],
              Integer.toUnsignedLong(numbers[at + 4]),
              numbers[at + 5],
              reals[PIECE_GUESSES + i],
              word == null ? "" : word));
    }
    int suggestionCount = Math.max(0, Math.min(numbers[SUGGESTION_COUNT], MAX_SUGGESTIONS));
    List<Advice> suggestions = new ArrayList<>(suggestionCount);
    for (int i = 0; i < suggestionCount; i++) {
      suggestions.add(Advice.suggestion(numbers[SUGGESTIONS + i]));
    }
    return new GuessEstimate(
        reals[GUESSES],
        Arrays.copyOfRange(reals, CRACK_SECONDS, CRACK_SECONDS + Attack.values().length),
        pieces,
        numbers[WARNING] != 0 ? Advice.warning(numbers[WARNING]) : null,
        suggestions);
  }

  // As above, with the estimate when reals is not null (numbers[ESTIMATE_NUMBERS],
  // texts[ESTIMATE_TEXTS], reals[REALS]).
  static Strength decode(int[] numbers, String[] texts, double[] reals) {
    Match match = null;
    if (numbers[MATCH_KIND] != MATCH_NONE) {
      int stepCount = Math.max(0, Math.min(numbers[STEP_COUNT], MAX_STEPS));
      List<Step> steps = new ArrayList<>(stepCount);
      for (int i = 0; i < stepCount; i++) {
        int at = STEPS + i * STEP_MEMBERS;
        String arg = texts[STEP_ARG + i];
        steps.add(
            new Step(
                numbers[at], numbers[at + 1], numbers[at + 2], numbers[at + 3],
                arg == null ? "" : arg));
      }
      match =
          new Match(
              Match.Kind.of(numbers[MATCH_KIND]),
              numbers[MATCH_SLOT],
              texts[PREFIX],
              texts[WORD],
              texts[RULE],
              texts[AFFIX],
              Match.Change.of(numbers[MATCH_CHANGES]),
              texts[VARIANT],
              steps);
    }
    int reasonCount = Math.max(0, Math.min(numbers[REASON_COUNT], MAX_REASONS));
    List<Reason> reasons = new ArrayList<>(reasonCount);
    for (int i = 0; i < reasonCount; i++) {
      int at = REASONS + i * REASON_MEMBERS;
      reasons.add(
          new Reason(
              numbers[at], numbers[at + 1], numbers[at + 2], numbers[at + 3], numbers[at + 4]));
    }
    return new Strength(
        numbers[CODE],
        numbers[LEVEL],
        numbers[PW_LEN],
        numbers[PW_NCR],
        numbers[REPT_NCR],
        numbers[CTS_NCR],
        numbers[DICT_FD_CNT],
        numbers[PDICT_FD],
        numbers[DISTINCT],
        Arrays.copyOfRange(numbers, STAGE_SCORE, STAGE_SCORE + Strength.STAGES),
        match,
        texts[ANSWER],
        reasons,
        decodeEstimate(numbers, texts, reals));
  }

  // Passes the gate, or throws when the environment is closed; answers the slot to leave by.
  private int enter() {
    int slot = gate.enter();
    if (slot < 0) {
      throw new IllegalStateException("the Quarvel environment at " + root + " is closed");
    }
    return slot;
  }

  private static byte[][] encodeWords(String[] words) {
    Objects.requireNonNull(words, "words");
    byte[][] context = new byte[words.length][];
    for (int i = 0; i < words.length; i++) {
      String word = Objects.requireNonNull(words[i], "words[" + i + "]");
      context[i] = word.getBytes(StandardCharsets.UTF_8);
    }
    return context;
  }

  // File names reach the kernel in the JVM's encoding of file names.
  private static Charset fileNameCharset() {
    String name = System.getProperty("sun.jnu.encoding");
    try {
      return name == null ? StandardCharsets.UTF_8 : Charset.forName(name);
    } catch (IllegalArgumentException e) {
      return StandardCharsets.UTF_8;
    }
  }

  // Opens the environment at root (bytes without terminator); returns the quarvel_env, or 0 with
  // the engine's reason in reason[0].
  private static native long nativeOpen(byte[] root, String[] reason);

  // quarvel_reload: 0 or the failure code.
  private static native int nativeReload(long env);

  private static native void nativeClose(long env);

  // quarvel_check (context null) or quarvel_check_context: fills numbers[ESTIMATE_NUMBERS],
  // texts[ESTIMATE_TEXTS] and reals[REALS] in the order above: the answer always, the match's
  // texts when there is a match, the estimate when the password was scored. (The library still
  // has nativeCheck, without the estimate, for the jars that came before it.)
  private static native void nativeCheckWithEstimate(
      long env, byte[] password, byte[][] context, int[] numbers, String[] texts, double[] reals);

  // An entry of the library's catalogue (Catalogue's tables): "" for a code it does not know.
  static native String nativeCatalogue(int table, int code);
}
