package org.tovo.quarvel.lib;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.util.Arrays;
import java.util.List;

/**
 * The JVM's working directory as the library sees it: {@code conf/quarvel.ini}, {@code dicts/}
 * and word lists. The tests run in a fresh folder of their own; every path here is relative to it.
 * The tests of {@code org.tovo.quarvel.Quarvel} use it too, with this folder as the root.
 */
public final class Workspace {
  static final Path CONFIG = Paths.get("conf", "quarvel.ini");
  static final Path DICTS = Paths.get("dicts");
  static final List<String> EXTENSIONS = Arrays.asList(".pwd", ".pwi", ".hwm");

  /** Words of the default dictionary used by the tests. */
  public static final List<String> DEFAULT_WORDS = Arrays.asList("password", "sunshine", "dragon");

  /** The answer of init for a configuration without keys and no personal dictionary. */
  static final String PLAIN_ENVIRONMENT =
      "RET_CD=0000:PW_LEN=6:CTS_NCR=3:REPT_NCR=0:NCHAR=4:USE_DICT_CNT=1:USE_PDICT=00";

  private Workspace() {}

  /**
   * Puts the folder into its plain state: a configuration file without keys, a default
   * dictionary of {@link #DEFAULT_WORDS}, no personal dictionary, the environment loaded.
   */
  public static void reset() throws IOException {
    writeConfig("[QUARVEL_RULE]\n");
    buildDefaultDictionary(DEFAULT_WORDS);
    assertEquals(PLAIN_ENVIRONMENT, QuarvelJNI.init());
  }

  public static void writeConfig(String content) throws IOException {
    Files.createDirectories(CONFIG.getParent());
    Files.write(CONFIG, content.getBytes(StandardCharsets.UTF_8));
  }

  /** Writes a word list, one word per line, and answers its path as a string. */
  public static String writeWordList(String name, List<String> words) throws IOException {
    Path path = Paths.get(name);
    Files.write(path, words, StandardCharsets.UTF_8);
    return path.toString();
  }

  /**
   * Builds dicts/default_dict with the library itself: the Java interface builds only the
   * personal dictionary, so the list is built as that and its files renamed. Deleting the
   * (then absent) personal dictionary afterwards switches its search off again.
   */
  public static void buildDefaultDictionary(List<String> words) throws IOException {
    Files.createDirectories(DICTS);
    String list = writeWordList("default-words.txt", words);
    assertEquals("RET_CD=0000", QuarvelJNI.createProfileDictionary("C", list));
    for (String extension : EXTENSIONS) {
      Files.move(
          profileFile(extension),
          DICTS.resolve("default_dict" + extension),
          StandardCopyOption.REPLACE_EXISTING);
    }
    assertEquals("RET_CD=0000", QuarvelJNI.createProfileDictionary("D", null));
  }

  static Path profileFile(String extension) {
    return DICTS.resolve("profile" + extension);
  }

  /** Whether all three files of the personal dictionary exist. */
  static boolean profileExists() {
    return EXTENSIONS.stream().allMatch(e -> Files.exists(profileFile(e)));
  }

  /** Whether none of the files of the personal dictionary exists. */
  static boolean profileAbsent() {
    return EXTENSIONS.stream().noneMatch(e -> Files.exists(profileFile(e)));
  }
}
