package org.tovo.quarvel.lib;

/**
 * The Java entry points of the Quarvel password-strength library.
 *
 * <p>The three methods are static native methods implemented inside {@code libquarvel.so}. Each
 * one runs one library operation and returns its answer text, which always begins with {@code
 * "RET_CD="} and four digits; failures travel in that text too, never as exceptions. {@link
 * QuarvelResult#parse(String)} gives a typed view of an answer. The class has no instances.
 *
 * <h2>Working directory</h2>
 *
 * The library reads {@code ./conf/quarvel.ini} and the dictionaries under {@code ./dicts/}
 * relative to the current directory of the process, that is the directory the JVM was started in.
 * Building a dictionary also writes the temporary file {@code ./make.txt} there.
 *
 * <h2>Null arguments</h2>
 *
 * A null argument never reaches the library:
 *
 * <ul>
 *   <li>{@code verify(null)} answers {@code "RET_CD=2000"}, as for an empty password;
 *   <li>{@code createProfileDictionary(null, path)} answers {@code "RET_CD=3001"} and changes
 *       nothing;
 *   <li>{@code createProfileDictionary(mode, null)} with a mode that selects creation answers
 *       {@code "RET_CD=3001"} and changes nothing; in delete mode the path is not used, so null is
 *       fine there.
 * </ul>
 *
 * When the JVM cannot supply the bytes of a string argument (it is out of memory), the method
 * returns at once, without calling the library, and the JVM's pending {@link OutOfMemoryError}
 * propagates to the caller.
 *
 * <h2>Strings</h2>
 *
 * Strings reach the library as the JVM's modified UTF-8 bytes: an ASCII character is one byte, any
 * other character two or three bytes (a character outside the Basic Multilingual Plane is two
 * surrogates of three bytes each, and U+0000 is two bytes). Lengths reported by the library, and
 * its limit of 257 for a password, count these bytes.
 *
 * <h2>Thread safety</h2>
 *
 * The methods may be called from any number of threads. Verifications run in parallel, each with
 * an answer of its own. Loading the environment and creating or deleting the personal dictionary
 * run one at a time. A verification running while another thread reloads the environment or
 * creates or deletes the personal dictionary sees the settings either before or after that
 * change, never halfway; a dictionary build never holds verifications up.
 *
 * <h2>Loading the native library</h2>
 *
 * The library is loaded when this class is initialised. It is first looked up with {@code
 * System.loadLibrary("quarvel")}, that is as {@code libquarvel.so} in {@code java.library.path}.
 * When that fails, the copy carried inside {@code quarvel.jar} for the running platform (resource
 * {@code /native/linux-amd64/libquarvel.so} on x86_64, {@code /native/linux-x86/libquarvel.so} on
 * 32-bit x86) is extracted to a private temporary directory, loaded with {@code System.load}, and
 * the file removed again. If neither works, initialising the class throws {@link
 * UnsatisfiedLinkError}.
 */
public final class QuarvelJNI {
  static {
    NativeLibrary.load();
  }

  private QuarvelJNI() {}

  /**
   * Loads the environment: reads {@code ./conf/quarvel.ini}, checks the dictionaries it names and
   * probes the personal dictionary. May be called again at any time.
   *
   * @return {@code "RET_CD=0000:PW_LEN=..:CTS_NCR=..:REPT_NCR=..:NCHAR=4:USE_DICT_CNT=..:"} and
   *     {@code "USE_PDICT=00"} or {@code "USE_PDICT=01"}; or {@code "RET_CD=1001"} (configuration
   *     file cannot be read), {@code "RET_CD=1002"} (default dictionary cannot be opened), {@code
   *     "RET_CD=1003"} (a configured dictionary cannot be opened)
   */
  public static native String init();

  /**
   * Grades a password.
   *
   * @param password the password; null answers {@code "RET_CD=2000"}
   * @return {@code "RET_CD=0000:RT_LEVEL=..:PW_LEN=..:PW_NCR=..:REPT_NCR=..:CTS_NCR=..:"} followed
   *     by {@code "DICT_FD_CNT=..:PDICT_FD=.."}; or {@code "RET_CD=2001"} (environment never
   *     loaded), {@code "RET_CD=2000"} (empty, null or longer than 257 bytes), {@code
   *     "RET_CD=2009"}
   */
  public static native String verify(String password);

  /**
   * Creates or deletes the personal dictionary {@code ./dicts/profile}.
   *
   * <p>A mode whose first character is the capital letter {@code C} builds the dictionary from the
   * word list at {@code path} (one word per line) and switches its search on. Any other mode,
   * lower-case {@code c} and the empty string included, deletes it and switches its search off;
   * the path is then ignored.
   *
   * @param mode {@code "C"} (or any text beginning with it) to create, anything else to delete;
   *     null answers {@code "RET_CD=3001"} and changes nothing
   * @param path the word list to build from; null in create mode answers {@code "RET_CD=3001"}
   * @return {@code "RET_CD=0000"}, or {@code "RET_CD=3001"} (word list cannot be opened) to {@code
   *     "RET_CD=3004"} (dictionary cannot be created) when creating
   */
  public static native String createProfileDictionary(String mode, String path);
}
