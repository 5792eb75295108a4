package org.tovo.quarvel.lib;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.io.IOException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.TimeoutException;
import java.util.regex.Pattern;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * Verifications on eight threads while a ninth reloads the environment and creates and deletes
 * the personal dictionary. The library serialises the calls, so every answer must be one that a
 * lone caller could get: the measurements never change, and the personal dictionary is either
 * fully there or switched off.
 */
class ConcurrencyTest {
  static final int VERIFIERS = 8;
  static final int VERIFICATIONS = 400;
  static final int MAINTENANCE_ROUNDS = 60;
  static final long TIMEOUT_SECONDS = 120;

  static final Pattern WELL_FORMED =
      Pattern.compile(
          "RET_CD=\\d{4}:RT_LEVEL=[1-4]:PW_LEN=\\d+:PW_NCR=[0-4]:REPT_NCR=\\d+:CTS_NCR=\\d+"
              + ":DICT_FD_CNT=[1-9]:PDICT_FD=(01|00|XX)");
  static final Pattern ENVIRONMENT =
      Pattern.compile(
          "RET_CD=0000:PW_LEN=6:CTS_NCR=3:REPT_NCR=0:NCHAR=4:USE_DICT_CNT=1:USE_PDICT=0[01]");

  // A password and the two answers a lone caller can get for it: with the personal dictionary
  // in use (found in it or not), and with it switched off.
  static final class Case {
    final String password;
    final List<String> allowed;

    Case(String password, String fields, int levelInUse, String foundInUse, int levelOff) {
      this.password = password;
      this.allowed =
          List.of(answer(levelInUse, fields, foundInUse), answer(levelOff, fields, "XX"));
    }

    private static String answer(int level, String fields, String found) {
      return "RET_CD=0000:RT_LEVEL=" + level + ":" + fields + ":PDICT_FD=" + found;
    }
  }

  static final List<Case> CASES =
      List.of(
          // In the personal dictionary: one point less while it is in use.
          new Case(
              NativeMethodsTest.PROFILE_PASSWORD,
              "PW_LEN=12:PW_NCR=3:REPT_NCR=0:CTS_NCR=0:DICT_FD_CNT=2",
              2,
              "01",
              3),
          // In no dictionary.
          new Case("qwertabc", "PW_LEN=8:PW_NCR=1:REPT_NCR=0:CTS_NCR=2:DICT_FD_CNT=2", 1, "00", 1),
          // In the default dictionary.
          new Case("sunshine", "PW_LEN=8:PW_NCR=1:REPT_NCR=0:CTS_NCR=1:DICT_FD_CNT=1", 1, "00", 1));

  private ExecutorService pool;

  @BeforeEach
  void setUp() throws IOException {
    Workspace.reset();
    // Daemon threads: a deadlocked native call must not keep the JVM alive after the failure.
    pool =
        Executors.newFixedThreadPool(
            VERIFIERS + 1,
            task -> {
              Thread thread = new Thread(task);
              thread.setDaemon(true);
              return thread;
            });
  }

  @AfterEach
  void tearDown() {
    pool.shutdownNow();
    QuarvelJNI.createProfileDictionary("D", null);
  }

  @Test
  void concurrentCallsGetConsistentAnswers() throws Exception {
    String list =
        Workspace.writeWordList(
            "stress-words.txt", Arrays.asList("apple", NativeMethodsTest.PROFILE_WORD));
    CountDownLatch start = new CountDownLatch(1);
    List<Future<List<String>>> results = new ArrayList<>();
    for (int t = 0; t < VERIFIERS; t++) {
      final int offset = t;
      results.add(
          pool.submit(
              () -> {
                start.await();
                List<String> problems = new ArrayList<>();
                for (int i = 0; i < VERIFICATIONS; i++) {
                  Case c = CASES.get((i + offset) % CASES.size());
                  String answer = QuarvelJNI.verify(c.password);
                  if (!WELL_FORMED.matcher(answer).matches() || !c.allowed.contains(answer)) {
                    problems.add(c.password + " -> " + answer);
                  }
                }
                return problems;
              }));
    }
    results.add(
        pool.submit(
            () -> {
              start.await();
              List<String> problems = new ArrayList<>();
              for (int round = 0; round < MAINTENANCE_ROUNDS; round++) {
                expect(problems, "init", ENVIRONMENT, QuarvelJNI.init());
                String created = QuarvelJNI.createProfileDictionary("C", list);
                expect(problems, "create", "RET_CD=0000", created);
                expect(problems, "init", ENVIRONMENT, QuarvelJNI.init());
                String deleted = QuarvelJNI.createProfileDictionary("c", list);
                expect(problems, "delete", "RET_CD=0000", deleted);
              }
              return problems;
            }));

    start.countDown();
    List<String> problems = new ArrayList<>();
    long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(TIMEOUT_SECONDS);
    for (Future<List<String>> result : results) {
      try {
        problems.addAll(result.get(deadline - System.nanoTime(), TimeUnit.NANOSECONDS));
      } catch (TimeoutException e) {
        fail("calls did not finish within " + TIMEOUT_SECONDS + " s: deadlock?");
      } catch (ExecutionException e) {
        throw new AssertionError("a calling thread failed", e.getCause());
      }
    }
    assertEquals(List.of(), problems, "answers no lone caller could get");
    assertTrue(Workspace.profileAbsent(), "the last round deletes the personal dictionary");
  }

  private static void expect(List<String> problems, String what, String expected, String answer) {
    if (!expected.equals(answer)) {
      problems.add(what + " -> " + answer);
    }
  }

  private static void expect(List<String> problems, String what, Pattern expected, String answer) {
    if (!expected.matcher(answer).matches()) {
      problems.add(what + " -> " + answer);
    }
  }
}
