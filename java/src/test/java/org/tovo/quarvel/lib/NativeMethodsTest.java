package org.tovo.quarvel.lib;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.stream.Stream;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

/** The three native methods against the answers of the library operations they call. */
class NativeMethodsTest {
  // Twelve characters of three classes, no sequence, in no default dictionary: level 3.
  static final String PROFILE_WORD = "quiltzebra77";
  static final String PROFILE_PASSWORD = "Quiltzebra77";
  static final String PROFILE_ANSWER_HEAD =
      "RET_CD=0000:RT_LEVEL=%d:PW_LEN=12:PW_NCR=3:REPT_NCR=0:CTS_NCR=0:DICT_FD_CNT=2:PDICT_FD=";

  @BeforeEach
  void plainWorkspace() throws IOException {
    Workspace.reset();
  }

  @AfterEach
  void dropPersonalDictionary() {
    QuarvelJNI.createProfileDictionary("D", null);
  }

  static String profileAnswer(int level, String found) {
    return String.format(PROFILE_ANSWER_HEAD, level) + found;
  }

  static String createProfile(String mode) throws IOException {
    String list =
        Workspace.writeWordList("profile-words.txt", Arrays.asList("apple", PROFILE_WORD));
    return QuarvelJNI.createProfileDictionary(mode, list);
  }

  @Nested
  class Init {
    @Test
    void reportsThePersonalDictionaryOnceItExists() throws IOException {
      assertEquals("RET_CD=0000", createProfile("C"));
      assertEquals(
          "RET_CD=0000:PW_LEN=6:CTS_NCR=3:REPT_NCR=0:NCHAR=4:USE_DICT_CNT=1:USE_PDICT=01",
          QuarvelJNI.init());
    }

    @Test
    void reportsTheConfiguredSettings() throws IOException {
      Workspace.writeConfig(
          "[QUARVEL_RULE]\nquarvel_rule.min_len=9\nquarvel_rule.min_step=2\n"
              + "quarvel_rule.min_rept=5\n[QUARVEL_SEARCH]\nquarvel_search.pw_min_rept=1\n");
      assertEquals(
          "RET_CD=0000:PW_LEN=9:CTS_NCR=2:REPT_NCR=5:NCHAR=4:USE_DICT_CNT=1:USE_PDICT=00",
          QuarvelJNI.init());
    }

    @Test
    void passesFailureCodesOnUnchanged() throws IOException {
      Path moved = Workspace.CONFIG.resolveSibling("moved.ini");
      Files.move(Workspace.CONFIG, moved);
      try {
        assertEquals("RET_CD=1001", QuarvelJNI.init());
      } finally {
        Files.move(moved, Workspace.CONFIG);
      }
      Files.delete(Workspace.DICTS.resolve("default_dict.pwd"));
      assertEquals("RET_CD=1002", QuarvelJNI.init());
      Workspace.reset();
      Workspace.writeConfig("[QUARVEL_DICT]\ndict.file.prefix.1=./dicts/missing\n");
      assertEquals("RET_CD=1003", QuarvelJNI.init());
    }
  }

  @Nested
  class Verify {
    @Test
    void answersLikeTheLibrary() {
      assertEquals(
          "RET_CD=0000:RT_LEVEL=1:PW_LEN=8:PW_NCR=1:REPT_NCR=0:CTS_NCR=2:DICT_FD_CNT=2:PDICT_FD=XX",
          QuarvelJNI.verify("qwertabc"));
      assertEquals(
          "RET_CD=0000:RT_LEVEL=1:PW_LEN=8:PW_NCR=1:REPT_NCR=0:CTS_NCR=1:DICT_FD_CNT=1:PDICT_FD=XX",
          QuarvelJNI.verify("sunshine"));
      assertEquals(profileAnswer(3, "XX"), QuarvelJNI.verify(PROFILE_PASSWORD));
    }

    @Test
    void refusesNullEmptyAndOverlongPasswords() {
      assertEquals("RET_CD=2000", QuarvelJNI.verify(null));
      assertEquals("RET_CD=2000", QuarvelJNI.verify(""));
      assertEquals("RET_CD=2000", QuarvelJNI.verify("a".repeat(258)));
      assertEquals(256, lengthOf("a".repeat(257)));
    }

    // The library receives the JVM's modified UTF-8 bytes and counts bytes.
    @ParameterizedTest(name = "{0}")
    @MethodSource("org.tovo.quarvel.lib.NativeMethodsTest#nonAsciiPasswords")
    void passesModifiedUtf8Bytes(String description, String password, int bytes) {
      assertEquals(bytes, lengthOf(password), description);
    }

    @Test
    void limitsTheLengthInBytesNotCharacters() {
      assertEquals("RET_CD=2000", QuarvelJNI.verify("\u00e9".repeat(129)));
      assertEquals(256, lengthOf("\u00e9".repeat(128) + "a"));
    }

    private int lengthOf(String password) {
      return QuarvelResult.parse(QuarvelJNI.verify(password)).intField("PW_LEN").getAsInt();
    }
  }

  static Stream<Arguments> nonAsciiPasswords() {
    return Stream.of(
        Arguments.of("e acute, two bytes", "\u00e9", 2),
        Arguments.of("euro sign, three bytes", "\u20ac", 3),
        Arguments.of("ASCII and e acute", "caf\u00e9", 5),
        Arguments.of("U+0000 as two bytes, not an end", "a\u0000b", 4),
        Arguments.of("supplementary character as two surrogates", "\ud83d\ude00", 6));
  }

  @Nested
  class CreateProfileDictionary {
    @ParameterizedTest
    @ValueSource(strings = {"C", "Create", "C-anything"})
    void capitalCCreates(String mode) throws IOException {
      assertEquals("RET_CD=0000", createProfile(mode));
      assertTrue(Workspace.profileExists());
      assertEquals(profileAnswer(2, "01"), QuarvelJNI.verify(PROFILE_PASSWORD));
      assertEquals(
          "RET_CD=0000:RT_LEVEL=1:PW_LEN=8:PW_NCR=1:REPT_NCR=0:CTS_NCR=2:DICT_FD_CNT=2:PDICT_FD=00",
          QuarvelJNI.verify("qwertabc"));
    }

    @ParameterizedTest
    @ValueSource(strings = {"c", "", "D", "delete", " C"})
    void everyOtherModeDeletes(String mode) throws IOException {
      assertEquals("RET_CD=0000", createProfile("C"));
      assertEquals("RET_CD=0000", QuarvelJNI.createProfileDictionary(mode, "no-such-list.txt"));
      assertTrue(Workspace.profileAbsent());
      assertEquals(profileAnswer(3, "XX"), QuarvelJNI.verify(PROFILE_PASSWORD));
    }

    @Test
    void deletionIgnoresANullPath() throws IOException {
      assertEquals("RET_CD=0000", createProfile("C"));
      assertEquals("RET_CD=0000", QuarvelJNI.createProfileDictionary("c", null));
      assertTrue(Workspace.profileAbsent());
    }

    @Test
    void missingWordListChangesNothing() throws IOException {
      assertEquals("RET_CD=0000", createProfile("C"));
      assertEquals("RET_CD=3001", QuarvelJNI.createProfileDictionary("C", "no-such-list.txt"));
      assertTrue(Workspace.profileExists());
      assertEquals(profileAnswer(2, "01"), QuarvelJNI.verify(PROFILE_PASSWORD));
    }

    @Test
    void nullModeOrNullPathToCreateChangesNothing() throws IOException {
      String list = Workspace.writeWordList("other-words.txt", Arrays.asList(PROFILE_WORD));
      assertEquals("RET_CD=3001", QuarvelJNI.createProfileDictionary("C", null));
      assertEquals("RET_CD=3001", QuarvelJNI.createProfileDictionary(null, list));
      assertTrue(Workspace.profileAbsent());
      assertEquals(profileAnswer(3, "XX"), QuarvelJNI.verify(PROFILE_PASSWORD));

      assertEquals("RET_CD=0000", createProfile("C"));
      assertEquals("RET_CD=3001", QuarvelJNI.createProfileDictionary(null, null));
      assertTrue(Workspace.profileExists());
      assertEquals(profileAnswer(2, "01"), QuarvelJNI.verify(PROFILE_PASSWORD));
    }
  }
}
