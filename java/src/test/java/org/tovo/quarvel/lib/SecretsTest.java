package org.tovo.quarvel.lib;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.io.RandomAccessFile;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.security.SecureRandom;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * No password that {@code verify} graded, and no word of a word list that {@code
 * createProfileDictionary} built from, stays in the library's writable memory once the method has
 * returned. That memory is the writable mappings of libquarvel.so and the anonymous mapping right
 * after them (the tail of its .bss), read through /proc/self/mem. The passwords and words are
 * made at run time, so that no class file holds them.
 */
class SecretsTest {
  private final SecureRandom random = new SecureRandom();
  private String loadAnswer;

  @BeforeEach
  void everySearchOn() throws IOException {
    Workspace.reset();
    Workspace.writeConfig(
        "[QUARVEL_RULE]\nquarvel_rule.postfix_num=2\nquarvel_rule.prefix_num=2\n"
            + "quarvel_rule.min_rept=1\n[QUARVEL_SEARCH]\nquarvel_search.pw_prefix_num=1\n"
            + "quarvel_search.pw_reverse=1\nquarvel_search.pw_min_rept=1\n");
    loadAnswer = QuarvelJNI.init();
    assertTrue(loadAnswer.startsWith("RET_CD=0000:"));
  }

  @AfterEach
  void dropPersonalDictionary() {
    QuarvelJNI.createProfileDictionary("D", null);
  }

  private String letters(int length) {
    StringBuilder word = new StringBuilder();
    for (int i = 0; i < length; i++) {
      word.append((char) ('a' + random.nextInt(26)));
    }
    return word.toString();
  }

  /** The word with capitals and punctuation, as a person may write it in a word list. */
  private static String written(String word) {
    return Character.toUpperCase(word.charAt(0)) + word.substring(1, 5) + "-" + word.substring(5)
        + ".";
  }

  /** Lower case as the library makes it: ASCII letters only. */
  private static String asciiLower(String text) {
    StringBuilder lower = new StringBuilder();
    for (char c : text.toCharArray()) {
      lower.append(c >= 'A' && c <= 'Z' ? (char) (c - 'A' + 'a') : c);
    }
    return lower.toString();
  }

  private static String reversed(String text) {
    return new StringBuilder(text).reverse().toString();
  }

  @Test
  void verifiedPasswordsDoNotStay() throws IOException {
    String base = letters(12);
    String list = Workspace.writeWordList("personal.txt", Arrays.asList(base));
    assertEquals("RET_CD=0000", QuarvelJNI.createProfileDictionary("C", list));

    // A hit in the personal dictionary once the suffix is taken off, and a miss with a
    // character of two bytes.
    String hit = written(base).replace("-", "").replace(".", "") + "73";
    String miss = "\u0416" + letters(6).toUpperCase() + "#" + letters(8);
    String hitAnswer = QuarvelJNI.verify(hit);
    assertTrue(hitAnswer.endsWith(":PDICT_FD=01"), hitAnswer);
    String missAnswer = QuarvelJNI.verify(miss);
    assertTrue(missAnswer.endsWith(":PDICT_FD=00"), missAnswer);

    List<byte[]> memory = libraryWritableMemory();
    // The scan sees the library's memory: the environment's answer lives
    // there (a verification's answer lives with its thread).
    assertTrue(contains(memory, loadAnswer), "the load answer is not in the scanned memory");
    for (String password : Arrays.asList(hit, miss)) {
      String lower = asciiLower(password);
      for (String form : Arrays.asList(password, lower, reversed(lower))) {
        assertFalse(contains(memory, form), "left in the library's memory: " + form);
      }
    }
  }

  @Test
  void wordsOfAPersonalWordListDoNotStay() throws IOException {
    List<String> words = new ArrayList<>();
    List<String> lines = new ArrayList<>();
    for (int i = 0; i < 60; i++) {
      String word = letters(14);
      words.add(word);
      lines.add(written(word));
    }
    String list = Workspace.writeWordList("personal.txt", lines);
    assertEquals("RET_CD=0000", QuarvelJNI.createProfileDictionary("C", list));

    List<byte[]> memory = libraryWritableMemory();
    for (int i = 0; i < words.size(); i++) {
      assertFalse(contains(memory, words.get(i)), "left in the library's memory: " + words.get(i));
      assertFalse(contains(memory, lines.get(i)), "left in the library's memory: " + lines.get(i));
    }

    String answer = QuarvelJNI.verify(lines.get(11));
    assertTrue(answer.endsWith(":PDICT_FD=01"), answer);
    assertTrue(contains(libraryWritableMemory(), loadAnswer), "the load answer is not in the scan");
  }

  /**
   * The content of every writable mapping of the library. The file is libquarvel.so, or the
   * versioned file that it links to.
   */
  static List<byte[]> libraryWritableMemory() throws IOException {
    List<byte[]> areas = new ArrayList<>();
    List<String> maps = Files.readAllLines(Paths.get("/proc/self/maps"), StandardCharsets.UTF_8);
    try (RandomAccessFile mem = new RandomAccessFile("/proc/self/mem", "r")) {
      boolean afterLibrary = false;
      long libraryEnd = 0;
      for (String line : maps) {
        String[] fields = line.trim().split("\\s+", 6);
        String path = fields.length == 6 ? fields[5] : "";
        String[] range = fields[0].split("-");
        long lo = Long.parseUnsignedLong(range[0], 16);
        long hi = Long.parseUnsignedLong(range[1], 16);
        boolean library = path.substring(path.lastIndexOf('/') + 1).startsWith("libquarvel.so");
        boolean bssTail = afterLibrary && path.isEmpty() && lo == libraryEnd;
        afterLibrary = library;
        if (library) {
          libraryEnd = hi;
        }
        if (!(library || bssTail) || fields[1].charAt(1) != 'w') {
          continue;
        }
        byte[] area = new byte[Math.toIntExact(hi - lo)];
        mem.seek(lo);
        mem.readFully(area);
        areas.add(area);
      }
    }
    assertFalse(areas.isEmpty(), "no writable mapping of libquarvel.so in /proc/self/maps");
    return areas;
  }

  /** Whether any area holds the text's UTF-8 bytes (the JVM hands the library those). */
  static boolean contains(List<byte[]> areas, String text) {
    byte[] needle = text.getBytes(StandardCharsets.UTF_8);
    for (byte[] area : areas) {
      outer:
      for (int i = 0; i + needle.length <= area.length; i++) {
        for (int j = 0; j < needle.length; j++) {
          if (area[i + j] != needle[j]) {
            continue outer;
          }
        }
        return true;
      }
    }
    return false;
  }
}
