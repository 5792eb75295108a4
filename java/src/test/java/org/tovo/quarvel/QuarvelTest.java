package org.tovo.quarvel;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.EnumSet;
import java.util.List;
import java.util.Random;
import java.util.Set;
import java.util.stream.Stream;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.tovo.quarvel.lib.QuarvelJNI;
import org.tovo.quarvel.lib.QuarvelResult;
import org.tovo.quarvel.lib.Workspace;

/**
 * Quarvel against QuarvelJNI on the same folder (the JVM's working folder, which QuarvelJNI
 * reads), with every search switched on and a personal dictionary: the same answer text, and
 * fields and explanations that agree with it.
 */
class QuarvelTest {
  static final String PERSONAL_WORD = "kestrelmoor";
  // The default dictionary: the usual words, and two that the number searches reach from "falcon"
  // and "tiger".
  static final List<String> DICTIONARY_WORDS =
      List.of("password", "sunshine", "dragon", "falcon42", "7tiger");
  static final String EVERY_SEARCH =
      "[QUARVEL_RULE]\nquarvel_rule.postfix_num=2\nquarvel_rule.prefix_num=1\n"
          + "quarvel_rule.min_rept=1\n[QUARVEL_SEARCH]\nquarvel_search.pw_prefix_num=1\n"
          + "quarvel_search.pw_reverse=1\nquarvel_search.pw_min_rept=1\n";

  static Path root() {
    return Paths.get("").toAbsolutePath();
  }

  static void everySearchWithPersonalDictionary() throws IOException {
    Workspace.reset();
    Workspace.buildDefaultDictionary(DICTIONARY_WORDS);
    Workspace.writeConfig(EVERY_SEARCH);
    String list = Workspace.writeWordList("personal.txt", List.of(PERSONAL_WORD));
    assertEquals("RET_CD=0000", QuarvelJNI.createProfileDictionary("C", list));
    assertTrue(QuarvelJNI.init().endsWith(":USE_PDICT=01"));
  }

  private Quarvel quarvel;

  @BeforeEach
  void setUp() throws IOException {
    everySearchWithPersonalDictionary();
    quarvel = Quarvel.open(root());
  }

  @AfterEach
  void tearDown() {
    quarvel.close();
    QuarvelJNI.createProfileDictionary("D", null);
  }

  /** Passwords that QuarvelJNI hands to the library as the same bytes as Quarvel does. */
  static List<String> passwords() {
    List<String> passwords =
        new ArrayList<>(
            List.of(
                "",
                "a",
                "sunshine",
                "Sunshine",
                "enihsnus",
                "sunshine42",
                "7dragon",
                "dr4gon",
                "p@$$w0rd",
                "Kestrelmoor",
                "kestrelmoor5",
                "falcon",
                "Falcon",
                "noclaf",
                "tiger",
                "aaaaaaaa",
                "abcabcabc",
                "qwertabc",
                "Tr0ub4dor&3",
                "correct horse battery staple",
                "\u00e9t\u00e9\u00e9t\u00e9",
                "\u0416\u0416\u0416123",
                "x".repeat(257),
                "x".repeat(258),
                "\u00e9".repeat(129)));
    Random random = new Random(20261207);
    String printable =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
            + "!@#$%^&*()-_=+[]{};:'\",.<>/? ";
    List<String> words = new ArrayList<>(DICTIONARY_WORDS);
    words.add(PERSONAL_WORD);
    for (int i = 0; i < 300; i++) {
      StringBuilder password = new StringBuilder();
      if (i % 2 == 0) {
        String word = words.get(random.nextInt(words.size()));
        password.append(random.nextBoolean() ? word : new StringBuilder(word).reverse());
        if (random.nextBoolean()) {
          password.setCharAt(0, Character.toUpperCase(password.charAt(0)));
        }
        if (random.nextBoolean()) {
          password.insert(0, random.nextInt(10));
        }
        if (random.nextBoolean()) {
          password.append(random.nextInt(100));
        }
        String leet = password.toString().replace('a', '4').replace('o', '0');
        password = new StringBuilder(random.nextInt(4) == 0 ? leet : password.toString());
      } else {
        int length = 1 + random.nextInt(24);
        for (int k = 0; k < length; k++) {
          password.append(printable.charAt(random.nextInt(printable.length())));
        }
      }
      passwords.add(password.toString());
    }
    return passwords;
  }

  @Test
  void answersAndFieldsAgreeWithQuarvelJni() {
    for (String password : passwords()) {
      Strength strength = quarvel.check(password);
      String expected = QuarvelJNI.verify(password);
      assertEquals(expected, strength.answer(), password);
      assertEquals(strength, quarvel.check(password.toCharArray()), password);

      QuarvelResult answer = QuarvelResult.parse(expected);
      assertEquals(Integer.parseInt(answer.code()), strength.code(), password);
      if (!answer.isSuccess()) {
        assertEquals(0, strength.level(), password);
        assertNull(strength.match(), password);
        continue;
      }
      assertEquals(answer.level().getAsInt(), strength.level(), password);
      assertEquals(answer.intField("PW_LEN").getAsInt(), strength.pwLen(), password);
      assertEquals(answer.intField("PW_NCR").getAsInt(), strength.pwNcr(), password);
      assertEquals(answer.intField("REPT_NCR").getAsInt(), strength.reptNcr(), password);
      assertEquals(answer.intField("CTS_NCR").getAsInt(), strength.ctsNcr(), password);
      assertEquals(answer.intField("DICT_FD_CNT").getAsInt(), strength.dictFdCnt(), password);
      String personal = answer.field("PDICT_FD").get();
      assertEquals(personal.equals("XX") ? -1 : Integer.parseInt(personal), strength.pdictFd());

      // One dictionary: DICT_FD_CNT is 1 when it held the password, 2 when not.
      Match match = strength.match();
      if (strength.dictFdCnt() == 1) {
        assertEquals(Match.Kind.DICTIONARY, match.kind(), password);
        assertEquals(0, match.slot(), password);
      } else if (strength.pdictFd() == 1) {
        assertEquals(Match.Kind.PERSONAL, match.kind(), password);
        assertEquals(PERSONAL_WORD, match.word(), password);
      } else {
        assertNull(match, password);
      }
    }
  }

  // A password, and what its explanation must say: kind, word, rule, affix and changes.
  static final class Explained {
    final String password;
    final Match.Kind kind;
    final String word;
    final String rule;
    final String affix;
    final Set<Match.Change> changes;

    Explained(
        String password,
        Match.Kind kind,
        String word,
        String rule,
        String affix,
        Set<Match.Change> changes) {
      this.password = password;
      this.kind = kind;
      this.word = word;
      this.rule = rule;
      this.affix = affix;
      this.changes = changes;
    }
  }

  @Test
  void explanationNamesTheWordAndTheVariant() {
    Match.Kind dictionary = Match.Kind.DICTIONARY;
    List<Explained> cases =
        List.of(
            new Explained("sunshine", dictionary, "sunshine", ":", "", Set.of()),
            new Explained(
                "Sunshine", dictionary, "sunshine", ":", "", EnumSet.of(Match.Change.LOWERCASED)),
            new Explained(
                "enihsnus", dictionary, "sunshine", ":", "", EnumSet.of(Match.Change.REVERSED)),
            // The trimming rules come before the number searches.
            new Explained(
                "sunshine05", dictionary, "sunshine", "]]", "", EnumSet.of(Match.Change.RULE)),
            new Explained(
                "dr4gon", dictionary, "dragon", "/4s4a", "", EnumSet.of(Match.Change.RULE)),
            new Explained(
                "3nihsnus",
                dictionary,
                "sunshine",
                "/3s3e",
                "",
                EnumSet.of(Match.Change.REVERSED, Match.Change.RULE)),
            // The number searches add a number to the password to reach a stored word.
            new Explained(
                "Falcon",
                dictionary,
                "falcon42",
                ":",
                "42",
                EnumSet.of(Match.Change.LOWERCASED, Match.Change.SUFFIX)),
            new Explained(
                "tiger", dictionary, "7tiger", ":", "7", EnumSet.of(Match.Change.PREFIX)),
            new Explained(
                "Kestrelmoor",
                Match.Kind.PERSONAL,
                PERSONAL_WORD,
                ":",
                "",
                EnumSet.of(Match.Change.LOWERCASED)));
    for (Explained c : cases) {
      Match match = quarvel.check(c.password.toCharArray()).match();
      String what = c.password + " -> " + match;
      assertEquals(c.kind, match.kind(), what);
      assertEquals(c.kind == dictionary ? 0 : -1, match.slot(), what);
      String prefix = c.kind == dictionary ? "./dicts/default_dict" : "./dicts/profile";
      assertEquals(prefix, match.prefix(), what);
      assertEquals(c.word, match.word(), what);
      assertEquals(c.rule, match.rule(), what);
      assertEquals(c.affix, match.affix(), what);
      assertEquals(c.changes, match.changes(), what);
      assertEquals(c.changes.isEmpty(), match.variant().equals("as given"), what);
    }
    assertNull(quarvel.check("qwertabc").match());

    // Context words are searched like a dictionary after the configured ones.
    Strength context = quarvel.checkContext("Wonderland7".toCharArray(), "Alice", "Wonderland");
    assertEquals(Match.Kind.CONTEXT, context.match().kind(), context.toString());
    assertEquals("wonderland", context.match().word());
    assertEquals("]", context.match().rule());
    assertEquals(-1, context.match().slot());
    assertEquals(
        EnumSet.of(Match.Change.LOWERCASED, Match.Change.RULE), context.match().changes());
    Strength without = quarvel.check("Wonderland7");
    assertNull(without.match());
    assertTrue(context.level() <= without.level(), context + " / " + without);
    assertEquals(without, quarvel.checkContext("Wonderland7"));
  }

  @Test
  void callersCharactersAreLeftAlone() {
    char[] password = "Dr4gon!\u00e9\ud83d\ude00".toCharArray();
    char[] before = password.clone();
    quarvel.check(password);
    quarvel.checkContext(password, "dragon");
    assertArrayEquals(before, password);
  }

  @Test
  void charactersAreEncodedAsStringsAre() {
    // Model: the JDK's own encoder, on random text with lone surrogates among the characters.
    Random random = new Random(7);
    char[] pool = {'a', 'Z', '0', '\u007f', '\u0080', '\u07ff', '\u0800', '\uffff', '\ud800',
      '\udbff', '\udc00', '\udfff', '\u00e9', '\u20ac'};
    for (int i = 0; i < 2000; i++) {
      char[] chars = new char[random.nextInt(8)];
      for (int k = 0; k < chars.length; k++) {
        chars[k] =
            random.nextBoolean() ? pool[random.nextInt(pool.length)] : (char) random.nextInt();
      }
      byte[] expected = new String(chars).getBytes(StandardCharsets.UTF_8);
      assertArrayEquals(expected, Utf8.encode(chars), () -> Arrays.toString(chars));
    }
  }

  @Test
  void closedInstanceRefuses() {
    assertEquals(1, quarvel.check("sunshine").level());
    quarvel.close();
    quarvel.close();
    assertTrue(quarvel.isClosed());
    assertThrows(IllegalStateException.class, () -> quarvel.check("sunshine"));
    assertThrows(IllegalStateException.class, () -> quarvel.check("sunshine".toCharArray()));
    assertThrows(
        IllegalStateException.class, () -> quarvel.checkContext("x".toCharArray(), "word"));
    assertThrows(IllegalStateException.class, quarvel::reload);
  }

  @Test
  void openAndReloadFailuresGiveTheCodeAndTheFile() throws IOException {
    Path other = Files.createTempDirectory("quarvel-root-");
    try {
      QuarvelException noConfig =
          assertThrows(QuarvelException.class, () -> Quarvel.open(other));
      assertEquals(1001, noConfig.code());
      assertTrue(noConfig.getMessage().contains("quarvel.ini"), noConfig.getMessage());

      Files.createDirectories(other.resolve("conf"));
      Files.writeString(other.resolve("conf/quarvel.ini"), "[QUARVEL_RULE]\n");
      QuarvelException noDictionary =
          assertThrows(QuarvelException.class, () -> Quarvel.open(other));
      assertEquals(1002, noDictionary.code());
      assertTrue(noDictionary.getMessage().contains("default_dict"), noDictionary.getMessage());

      Files.createDirectories(other.resolve("dicts"));
      for (String extension : List.of(".pwd", ".pwi", ".hwm")) {
        Path file = Paths.get("dicts", "default_dict" + extension);
        Files.copy(file, other.resolve(file));
      }
      Files.writeString(
          other.resolve("conf/quarvel.ini"), "[QUARVEL_DICT]\ndict.file.prefix.1=./dicts/absent\n");
      QuarvelException noSecond = assertThrows(QuarvelException.class, () -> Quarvel.open(other));
      assertEquals(1003, noSecond.code());
      assertTrue(noSecond.getMessage().contains("absent"), noSecond.getMessage());

      // A root other than the working folder; a failed reload keeps what it had.
      Files.writeString(other.resolve("conf/quarvel.ini"), EVERY_SEARCH);
      try (Quarvel elsewhere = Quarvel.open(other)) {
        Strength before = elsewhere.check("enihsnus");
        assertEquals(Match.Kind.DICTIONARY, before.match().kind());
        Files.delete(other.resolve("conf/quarvel.ini"));
        QuarvelException reload = assertThrows(QuarvelException.class, elsewhere::reload);
        assertEquals(1001, reload.code());
        assertEquals(before, elsewhere.check("enihsnus"));
      }
    } finally {
      try (Stream<Path> files = Files.walk(other)) {
        files.sorted(Comparator.reverseOrder()).forEach(path -> path.toFile().delete());
      }
    }
  }
}
