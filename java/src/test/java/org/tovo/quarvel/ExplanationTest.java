package org.tovo.quarvel;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
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
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.Test;

/**
 * The explanation as codes: what the native side writes, decoded into reasons and steps with the
 * names engine.h gives their codes; then the real engine's codes for one password.
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
