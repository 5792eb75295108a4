package org.tovo.quarvel;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.Random;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.Test;

/**
 * The explanation as codes: what the native side writes, decoded into reasons and steps with the
 * names engine.h gives their codes; then the real engine's codes for one password. The same for
 * the guess estimate and its advice.
 */
class ExplanationTest {
  // A nativeCheck output built by hand: the reasons and steps of a record, the rest zero.
  private static Strength decode(int[][] reasons, Object[][] steps) {
    int[] numbers = new int[Quarvel.NUMBERS];
    String[] texts = new String[Quarvel.TEXTS];
    Arrays.fill(texts, 0, Quarvel.STEP_ARG, "");
    texts[0] = "RET_CD=0000";
    numbers[Quarvel.MATCH_KIND] = 1;
    numbers[Quarvel.REASON_COUNT] = reasons.length;
    for (int i = 0; i < reasons.length; i++) {
      System.arraycopy(
          reasons[i], 0, numbers, Quarvel.REASONS + i * Quarvel.REASON_MEMBERS,
          Quarvel.REASON_MEMBERS);
    }
    numbers[Quarvel.STEP_COUNT] = steps.length;
    for (int i = 0; i < steps.length; i++) {
      for (int k = 0; k < Quarvel.STEP_MEMBERS; k++) {
        numbers[Quarvel.STEPS + i * Quarvel.STEP_MEMBERS + k] = (Integer) steps[i][k];
      }
      texts[Quarvel.STEP_ARG + i] = (String) steps[i][Quarvel.STEP_MEMBERS];
    }
    return Quarvel.decode(numbers, texts);
  }

  @Test
  void recordsBecomeReasonsAndSteps() {
    Strength strength =
        decode(
            new int[][] {{2, 1, 1, 3, 5}, {5, 4, 1, 0, 0}, {0, 10, 0, 3, 2}, {6, 77, 1, 0, 0}},
            new Object[][] {
              {2, 0, 0, 0, ""},
              {5, 0, 17, 0, "]]"},
              {7, 0, 2, 0, ""},
              {11, 0, 0, 0, "0o"},
              {16, 0, 1, 2, ""},
              {18, 2, 0, 0, "2024"},
              {19, 5, 0, 0, "qwerty"},
              {99, 12, 0, 0, "?"}
            });
    List<Reason> reasons = strength.reasons();
    assertEquals(4, reasons.size());
    assertEquals(Reason.Code.FEW_DISTINCT, reasons.get(0).code());
    assertEquals(List.of(2, 1, 3, 5), List.of(reasons.get(0).stage(), reasons.get(0).points(),
        reasons.get(0).value(), reasons.get(0).limit()));
    assertEquals(Reason.Code.DICTIONARY, reasons.get(1).code());
    assertEquals(Reason.Code.LEVEL_CAPPED, reasons.get(2).code());
    assertEquals(Reason.Code.OTHER, reasons.get(3).code());
    assertEquals(77, reasons.get(3).number());

    assertNotNull(strength.match());
    List<Step> steps = strength.match().steps();
    String[] expected = {
      "capitalised", "rule 17 ']]'", "cut_last 2", "read_as '0o'", "inside 1,2",
      "cut_end year '2024'", "pattern keyboard_walk 'qwerty'", "other other '?'"
    };
    assertEquals(expected.length, steps.size());
    for (int i = 0; i < expected.length; i++) {
      assertEquals(expected[i], steps.get(i).toString());
    }
    assertEquals(Step.Piece.YEAR, steps.get(5).piece());
    assertEquals(Step.Piece.NONE, steps.get(1).piece());
    assertEquals(99, steps.get(7).number());
    // Worded as the engine words them; "" for what this version does not know.
    String[] worded = {
      "capitalised", "", "last 2 characters removed", "'0' read as 'o'",
      "inside the password (1 before, 2 after)", "year 2024 cut from the end",
      "keyboard walk 'qwerty'", ""
    };
    for (int i = 0; i < worded.length; i++) {
      assertEquals(worded[i], steps.get(i).text());
    }
    assertEquals("the Korean word 사랑해 typed on a Latin keyboard",
        new Step(20, 0, 0, 0, "사랑해").text());
    // Immutable, and a record without them has none.
    assertThrows(UnsupportedOperationException.class, () -> reasons.add(reasons.get(0)));
    assertThrows(UnsupportedOperationException.class, () -> steps.remove(0));
    Strength bare = decode(new int[0][], new Object[0][]);
    assertTrue(bare.reasons().isEmpty() && bare.match().steps().isEmpty());
    assertEquals(bare, decode(new int[0][], new Object[0][]));
    assertTrue(!bare.equals(strength));
  }

  // The enums' numbers and stable names are the ones engine.h gives in parentheses.
  @Test
  void namesAreTheHeaders() throws IOException {
    String header =
        new String(
            Files.readAllBytes(Paths.get(System.getProperty("quarvel.test.engineHeader"))),
            StandardCharsets.UTF_8);
    Matcher m =
        Pattern.compile("#define QUARVEL_(REASON|STEP|PIECE)_\\w+ (\\d+) +/\\* \\(\"(\\w+)\"\\)")
            .matcher(header);
    Map<String, Integer> seen = new HashMap<>();
    while (m.find()) {
      int number = Integer.parseInt(m.group(2));
      String name;
      switch (m.group(1)) {
        case "REASON":
          name = Reason.Code.of(number).stableName();
          break;
        case "STEP":
          name = Step.Code.of(number).stableName();
          break;
        default:
          name = Step.Piece.of(number).stableName();
      }
      assertEquals(m.group(3), name, m.group());
      seen.merge(m.group(1), 1, Integer::sum);
    }
    assertEquals(Reason.Code.values().length - 1, seen.get("REASON"));
    assertEquals(Step.Code.values().length - 1, seen.get("STEP"));
    assertEquals(Step.Piece.values().length - 2, seen.get("PIECE"));
  }

  // The stable names engine.h gives the codes QUARVEL_<family>_* whose values match value.
  private static Map<Integer, String> headerNames(String family, String value) throws IOException {
    String header =
        new String(
            Files.readAllBytes(Paths.get(System.getProperty("quarvel.test.engineHeader"))),
            StandardCharsets.UTF_8);
    Matcher m =
        Pattern.compile(
                "#define QUARVEL_" + family + "_\\w+ (" + value + ") +/\\* \\(\"(\\w+)\"\\)")
            .matcher(header);
    Map<Integer, String> names = new HashMap<>();
    while (m.find()) {
      names.put(Integer.decode(m.group(1)), m.group(2));
    }
    return names;
  }

  // A nativeCheckWithEstimate output built by hand: every warning, suggestion, piece kind and
  // transform is named as engine.h names it, with the catalogue's English; the attacks too.
  @Test
  void estimateNamesComeFromTheCatalogue() throws IOException {
    Map<Integer, String> warnings = headerNames("WARNING", "\\d+");
    Map<Integer, String> suggestions = headerNames("SUGGESTION", "\\d+");
    Map<Integer, String> kinds = headerNames("GUESS", "\\d+");
    Map<Integer, String> transforms = headerNames("GUESS", "0x[0-9A-Fa-f]+");
    Map<Integer, String> attacks = headerNames("ATTACK", "\\d+");
    assertEquals(List.of(13, 14, 8, 6, 4), List.of(warnings.size(), suggestions.size(),
        kinds.size(), transforms.size(), attacks.size()));
    for (Attack attack : Attack.values()) {
      assertEquals(attacks.get(attack.number()), attack.stableName());
    }

    int[] numbers = new int[Quarvel.ESTIMATE_NUMBERS];
    String[] texts = new String[Quarvel.ESTIMATE_TEXTS];
    double[] reals = new double[Quarvel.REALS];
    texts[0] = "RET_CD=0000";
    reals[Quarvel.GUESSES] = 9.5;
    for (Attack attack : Attack.values()) {
      reals[Quarvel.CRACK_SECONDS + attack.number()] = attack.number() + 0.5;
    }
    numbers[Quarvel.PIECE_COUNT] = 2;
    int[] dragon = {1, 0, 6, 0x01 | 0x08, -2, 3};
    System.arraycopy(dragon, 0, numbers, Quarvel.PIECES, dragon.length);
    numbers[Quarvel.PIECES + Quarvel.PIECE_MEMBERS] = 77;
    texts[Quarvel.PIECE_WORD] = "dragon";
    reals[Quarvel.PIECE_GUESSES + 1] = 2.25;
    for (Map.Entry<Integer, String> warning : warnings.entrySet()) {
      int code = warning.getKey();
      numbers[Quarvel.WARNING] = code;
      numbers[Quarvel.SUGGESTION_COUNT] = 2;
      numbers[Quarvel.SUGGESTIONS] = code;
      numbers[Quarvel.SUGGESTIONS + 1] = 500;
      Strength strength = Quarvel.decode(numbers, texts, reals);
      assertEquals(warning.getValue(), strength.warning().name());
      assertTrue(strength.warning().text().endsWith("."), strength.warning().toString());
      assertEquals(suggestions.get(code), strength.suggestions().get(0).name());
      assertEquals(List.of("500", ""), List.of(strength.suggestions().get(1).name(),
          strength.suggestions().get(1).text()));
    }
    for (Map.Entry<Integer, String> kind : kinds.entrySet()) {
      numbers[Quarvel.PIECES] = kind.getKey();
      assertEquals(kind.getValue(), Quarvel.decode(numbers, texts, reals).pieces().get(0).kind());
    }
    for (Map.Entry<Integer, String> transform : transforms.entrySet()) {
      numbers[Quarvel.PIECES + 3] = transform.getKey();
      assertEquals(List.of(transform.getValue()),
          Quarvel.decode(numbers, texts, reals).pieces().get(0).transforms());
    }
    Strength strength = Quarvel.decode(numbers, texts, reals);
    assertEquals(9.5, strength.guessesLog10());
    assertEquals(3.5, strength.crackSeconds(Attack.OFFLINE_FAST_HASH));
    assertEquals(4, strength.crackSeconds().size());
    GuessPiece first = strength.pieces().get(0);
    assertEquals(List.of(0, 6, 3), List.of(first.start(), first.length(), first.slot()));
    assertEquals(4294967294L, first.rank());
    assertEquals("dragon", first.word());
    GuessPiece unknown = strength.pieces().get(1);
    assertEquals(List.of("77", ""), List.of(unknown.kind(), unknown.word()));
    assertEquals(2.25, unknown.guessesLog10());
    assertThrows(UnsupportedOperationException.class, () -> strength.pieces().clear());
    // Without the estimate (an older native, or no score): none of it.
    numbers[0] = 2000;
    Strength refused = Quarvel.decode(numbers, texts, reals);
    assertTrue(Double.isNaN(refused.guessesLog10()) && refused.crackSeconds().isEmpty());
    assertTrue(refused.pieces().isEmpty() && refused.suggestions().isEmpty());
    assertNull(refused.warning());
  }

  // The real engine's estimate, with what holds whatever its tuning: a common word below 10^6
  // guesses, 20 random characters above 10^10, times that are the guesses over each attack's
  // rate, and pieces that cover the password from left to right.
  @Test
  void estimateWithTheRealEngine() throws IOException {
    QuarvelTest.everySearchWithPersonalDictionary();
    Random random = new Random(3);
    StringBuilder noise = new StringBuilder();
    for (int i = 0; i < 20; i++) {
      noise.append((char) ('!' + random.nextInt(94)));
    }
    try (Quarvel quarvel = Quarvel.open(QuarvelTest.root())) {
      assertTrue(quarvel.check("password").guessesLog10() < 6);
      assertNotNull(quarvel.check("password").warning());
      assertTrue(quarvel.check(noise.toString()).guessesLog10() > 10);
      for (String password : List.of("password", noise.toString(), "Dragon1987", "abcabcabc")) {
        Strength strength = quarvel.check(password);
        for (Attack attack : Attack.values()) {
          assertEquals(strength.guessesLog10() - Math.log10(attack.guessesPerSecond()),
              Math.log10(strength.crackSeconds(attack)), 1e-9, password + " " + attack);
        }
        int end = 0;
        for (GuessPiece piece : strength.pieces()) {
          assertEquals(end, piece.start(), password + " " + strength.pieces());
          end += piece.length();
        }
        assertEquals(password.length(), end, password);
      }
    }
  }

  // The real engine: "Dragon05" is the stored word "dragon" lowered, by the rule "]]". It needs a
  // library that fills the codes (skipped with one that does not).
  @Test
  void codesWithTheRealEngine() throws IOException {
    QuarvelTest.everySearchWithPersonalDictionary();
    try (Quarvel quarvel = Quarvel.open(QuarvelTest.root())) {
      Strength strength = quarvel.check("Dragon05".toCharArray());
      assertEquals(1, strength.reasons().size(), strength.reasons().toString());
      Reason reason = strength.reasons().get(0);
      assertEquals(List.of(5, 1), List.of(reason.stage(), reason.points()));
      assertEquals(Reason.Code.DICTIONARY, reason.code());
      List<Step> steps = strength.match().steps();
      assertTrue(
          List.of(Step.Code.LOWERCASED, Step.Code.CAPITALISED).contains(steps.get(0).code()),
          steps.toString());
      int rule = 1;
      while (rule < steps.size() && steps.get(rule).code() != Step.Code.RULE) {
        rule++;
      }
      assertTrue(rule + 1 < steps.size(), steps.toString());
      assertEquals("]]", steps.get(rule).arg());
      assertEquals("cut_last 2", steps.get(rule + 1).toString());
      assertTrue(quarvel.check("dragon".toCharArray()).match().steps().isEmpty());
    }
  }
}
