package org.tovo.quarvel.lib;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;
import java.util.Optional;
import java.util.OptionalInt;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

class QuarvelResultTest {
  static final String VERIFICATION =
      "RET_CD=0000:RT_LEVEL=3:PW_LEN=12:PW_NCR=3:REPT_NCR=1:CTS_NCR=0:DICT_FD_CNT=9:PDICT_FD=XX";

  @Test
  void parsesAVerificationAnswer() {
    QuarvelResult result = QuarvelResult.parse(VERIFICATION);
    assertEquals("0000", result.code());
    assertTrue(result.isSuccess());
    assertEquals(OptionalInt.of(3), result.level());
    assertEquals(
        List.of(
            "RT_LEVEL", "PW_LEN", "PW_NCR", "REPT_NCR", "CTS_NCR", "DICT_FD_CNT", "PDICT_FD"),
        List.copyOf(result.fields().keySet()));
    assertEquals(OptionalInt.of(12), result.intField("PW_LEN"));
    assertEquals(OptionalInt.of(1), result.intField("REPT_NCR"));
    assertEquals(OptionalInt.of(9), result.intField("DICT_FD_CNT"));
    assertEquals(Optional.of("XX"), result.field("PDICT_FD"));
    assertEquals(OptionalInt.empty(), result.intField("USE_PDICT"));
    assertEquals(Optional.empty(), result.field("NO_SUCH"));
    assertEquals(VERIFICATION, result.toString());
  }

  @Test
  void parsesAnEnvironmentAnswer() {
    QuarvelResult result =
        QuarvelResult.parse(
            "RET_CD=0000:PW_LEN=6:CTS_NCR=3:REPT_NCR=0:NCHAR=4:USE_DICT_CNT=2:USE_PDICT=01");
    assertTrue(result.isSuccess());
    assertEquals(OptionalInt.empty(), result.level());
    assertEquals(OptionalInt.of(4), result.intField("NCHAR"));
    assertEquals(OptionalInt.of(2), result.intField("USE_DICT_CNT"));
    assertEquals(Optional.of("01"), result.field("USE_PDICT"));
    assertEquals(6, result.fields().size());
  }

  @Test
  void parsesAFailureAnswer() {
    QuarvelResult result = QuarvelResult.parse("RET_CD=2001");
    assertEquals("2001", result.code());
    assertFalse(result.isSuccess());
    assertEquals(OptionalInt.empty(), result.level());
    assertTrue(result.fields().isEmpty());
  }

  @Test
  void nonNumericFieldIsNoNumber() {
    QuarvelResult result = QuarvelResult.parse(VERIFICATION);
    assertThrows(NumberFormatException.class, () -> result.intField("PDICT_FD"));
  }

  @ParameterizedTest
  @ValueSource(
      strings = {
        "",
        "RET_CD=000",
        "RET_CD=00a0",
        "ret_cd=0000",
        "RET_CD=0000:",
        "RET_CD=0000:PW_LEN",
        "RET_CD=0000:pw_len=8",
        "RET_CD=0000:PW_LEN=8::PW_NCR=1",
        "RET_CD=0000:PW_LEN=8:PW_LEN=9",
        "RET_CD=0000:RT_LEVEL=high",
        "RET_CD=0000:A=1=2",
        "0001"
      })
  void rejectsWhatIsNoAnswer(String text) {
    assertThrows(IllegalArgumentException.class, () -> QuarvelResult.parse(text));
  }

  @Test
  void rejectsNull() {
    assertThrows(NullPointerException.class, () -> QuarvelResult.parse(null));
  }
}
