package org.tovo.quarvel;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.Callable;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.TimeoutException;
import java.util.concurrent.atomic.AtomicBoolean;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.tovo.quarvel.lib.QuarvelJNI;
import org.tovo.quarvel.lib.Workspace;

/**
 * Checks on several threads while another reloads between two configurations, and while the
 * environment is closed under them. Every result must be the one a lone caller gets from one of
 * the two configurations, member for member: a result torn between snapshots, or one read from a
 * freed environment, differs from both.
 */
class QuarvelConcurrencyTest {
  static final int CHECKERS = 3;
  static final int RELOADS = 150;
  static final long TIMEOUT_SECONDS = 120;

  // The second configuration adds a dictionary (a copy of the default one) and asks for more
  // distinct characters: a miss counts one more dictionary, and stage 2 may cost a point.
  static final String ONE_DICTIONARY = QuarvelTest.EVERY_SEARCH;
  static final String TWO_DICTIONARIES =
      QuarvelTest.EVERY_SEARCH
          + "[QUARVEL_DICT]\ndict.file.prefix.1=./dicts/second\n"
          + "[QUARVEL_RULE]\nquarvel_rule.min_diff=9\n";
  static final List<String> PASSWORDS = List.of("qwertabc", "enihsnus", "Sunshine42", "xY7#kp");

  private ExecutorService pool;
  private Quarvel quarvel;
  private List<List<Strength>> allowed;

  @BeforeEach
  void setUp() throws IOException {
    Workspace.reset();
    pool =
        Executors.newFixedThreadPool(
            CHECKERS + 1,
            task -> {
              Thread thread = new Thread(task);
              thread.setDaemon(true);
              return thread;
            });
    for (String extension : List.of(".pwd", ".pwi", ".hwm")) {
      Files.copy(
          Paths.get("dicts", "default_dict" + extension),
          Paths.get("dicts", "second" + extension),
          StandardCopyOption.REPLACE_EXISTING);
    }
    quarvel = Quarvel.open(QuarvelTest.root());
    List<Strength> one = new ArrayList<>();
    List<Strength> two = new ArrayList<>();
    configure(ONE_DICTIONARY);
    PASSWORDS.forEach(p -> one.add(quarvel.check(p)));
    configure(TWO_DICTIONARIES);
    PASSWORDS.forEach(p -> two.add(quarvel.check(p)));
    assertNotEquals(one.get(0), two.get(0), "the two configurations must differ");
    allowed = new ArrayList<>();
    for (int i = 0; i < PASSWORDS.size(); i++) {
      allowed.add(List.of(one.get(i), two.get(i)));
    }
  }

  @AfterEach
  void tearDown() {
    pool.shutdownNow();
    quarvel.close();
  }

  // Replaces the configuration in one rename, so that a reload never reads half of it.
  private void configure(String content) throws IOException {
    Path next = Paths.get("conf", "quarvel.ini.next");
    Files.write(next, content.getBytes(StandardCharsets.UTF_8));
    Files.move(
        next, Paths.get("conf", "quarvel.ini"), StandardCopyOption.ATOMIC_MOVE,
        StandardCopyOption.REPLACE_EXISTING);
    quarvel.reload();
  }

  // Checks until stop is set (or the environment is closed, when closing is expected) and
  // answers the results no lone caller could get.
  private Callable<List<String>> checker(
      int offset, CountDownLatch start, AtomicBoolean stop, boolean mayClose) {
    return () -> {
      start.await();
      List<String> problems = new ArrayList<>();
      for (int i = offset; !stop.get(); i++) {
        int which = i % PASSWORDS.size();
        Strength strength;
        try {
          strength =
              i % 2 == 0
                  ? quarvel.check(PASSWORDS.get(which))
                  : quarvel.check(PASSWORDS.get(which).toCharArray());
        } catch (IllegalStateException closed) {
          if (!mayClose) {
            problems.add("refused: " + closed.getMessage());
          }
          break;
        }
        if (!allowed.get(which).contains(strength)) {
          problems.add(PASSWORDS.get(which) + " -> " + strength);
        }
      }
      return problems;
    };
  }

  private static List<String> collect(List<Future<List<String>>> futures) throws Exception {
    List<String> problems = new ArrayList<>();
    long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(TIMEOUT_SECONDS);
    for (Future<List<String>> future : futures) {
      try {
        problems.addAll(future.get(deadline - System.nanoTime(), TimeUnit.NANOSECONDS));
      } catch (TimeoutException e) {
        fail("calls did not finish within " + TIMEOUT_SECONDS + " s: deadlock?");
      } catch (ExecutionException e) {
        throw new AssertionError("a calling thread failed", e.getCause());
      }
    }
    return problems;
  }

  @Test
  void checksRacingReloadsSeeOneWholeEnvironment() throws Exception {
    CountDownLatch start = new CountDownLatch(1);
    AtomicBoolean stop = new AtomicBoolean();
    List<Future<List<String>>> futures = new ArrayList<>();
    for (int t = 0; t < CHECKERS; t++) {
      futures.add(pool.submit(checker(t, start, stop, false)));
    }
    Future<?> reloader =
        pool.submit(
            () -> {
              start.await();
              try {
                for (int round = 0; round < RELOADS; round++) {
                  configure(round % 2 == 0 ? ONE_DICTIONARY : TWO_DICTIONARIES);
                }
              } finally {
                stop.set(true);
              }
              return null;
            });
    start.countDown();
    reloader.get(TIMEOUT_SECONDS, TimeUnit.SECONDS);
    assertEquals(List.of(), collect(futures), "results no lone caller could get");
  }

  @Test
  void closeWaitsForChecksInFlight() throws Exception {
    CountDownLatch start = new CountDownLatch(1);
    AtomicBoolean stop = new AtomicBoolean();
    List<Future<List<String>>> futures = new ArrayList<>();
    for (int t = 0; t < CHECKERS; t++) {
      futures.add(pool.submit(checker(t, start, stop, true)));
    }
    start.countDown();
    Thread.sleep(200);
    quarvel.close();
    assertTrue(quarvel.isClosed());
    List<String> problems = collect(futures);
    assertEquals(List.of(), problems, "results no lone caller could get");
    assertThrows(IllegalStateException.class, () -> quarvel.check("sunshine"));
    // The JVM and the library are still sound.
    assertTrue(QuarvelJNI.verify("sunshine").startsWith("RET_CD=0000:RT_LEVEL="));
  }
}
