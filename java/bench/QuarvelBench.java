import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.Callable;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import org.tovo.quarvel.Quarvel;

/**
 * Throughput of Quarvel.check(char[]) from Java on one and on two threads.
 *
 * <pre>
 *   QuarvelBench ROOT PASSWORDS [ROUNDS]
 * </pre>
 *
 * Opens the environment at ROOT, then checks every line of PASSWORDS ROUNDS times over (default
 * 10) on one thread, and the same on each of two threads at once. Each measurement is taken
 * three times after a warm-up round, and the best is reported: passwords per second, and the
 * ratio of two threads to one. The rate of checking an empty password, which the engine refuses
 * at once, gives the cost of the Java and JNI layer alone.
 */
public class QuarvelBench {
  private static final int TRIALS = 3;

  public static void main(String[] args) throws Exception {
    if (args.length < 2) {
      System.err.println("usage: QuarvelBench ROOT PASSWORDS [ROUNDS]");
      System.exit(2);
    }
    List<char[]> passwords = readLines(args[1]);
    int rounds = args.length > 2 ? Math.max(1, Integer.parseInt(args[2])) : 10;
    if (passwords.isEmpty()) {
      System.err.println("no passwords in " + args[1]);
      System.exit(1);
    }
    try (Quarvel quarvel = Quarvel.open(Paths.get(args[0]))) {
      ExecutorService pool = Executors.newFixedThreadPool(2);
      try {
        run(pool, quarvel, passwords, 1, 1);
        run(pool, quarvel, passwords, 2, 1);
        double one = best(pool, quarvel, passwords, 1, rounds);
        double two = best(pool, quarvel, passwords, 2, rounds);
        List<char[]> empty = new ArrayList<>();
        for (int i = 0; i < passwords.size(); i++) {
          empty.add(new char[0]);
        }
        double layer = best(pool, quarvel, empty, 1, rounds);
        System.out.printf("passwords: %d x %d rounds%n", passwords.size(), rounds);
        System.out.printf("Quarvel.check, 1 thread:  %,.0f passwords/s%n", one);
        System.out.printf("Quarvel.check, 2 threads: %,.0f passwords/s%n", two);
        System.out.printf("2 threads / 1 thread: %.2f (target >= 1.70)%n", two / one);
        System.out.printf(
            "Java and JNI layer alone (empty password): %,.0f calls/s, %.2f us a call%n",
            layer, 1e6 / layer);
      } finally {
        pool.shutdown();
      }
    }
  }

  private static List<char[]> readLines(String path) throws IOException {
    List<char[]> lines = new ArrayList<>();
    for (String line : Files.readAllLines(Paths.get(path), StandardCharsets.UTF_8)) {
      if (!line.isEmpty()) {
        lines.add(line.toCharArray());
      }
    }
    return lines;
  }

  private static double best(
      ExecutorService pool, Quarvel quarvel, List<char[]> passwords, int threads, int rounds)
      throws Exception {
    double best = 0;
    for (int trial = 0; trial < TRIALS; trial++) {
      best = Math.max(best, run(pool, quarvel, passwords, threads, rounds));
    }
    return best;
  }

  // Every thread checks the whole list rounds times; answers passwords per second over all. The
  // native calls cannot be optimised away, so the levels are summed only to use the results.
  private static double run(
      ExecutorService pool, Quarvel quarvel, List<char[]> passwords, int threads, int rounds)
      throws Exception {
    List<Callable<Long>> tasks = new ArrayList<>();
    for (int t = 0; t < threads; t++) {
      tasks.add(
          () -> {
            long levels = 0;
            for (int round = 0; round < rounds; round++) {
              for (char[] password : passwords) {
                levels += quarvel.check(password).level();
              }
            }
            return levels;
          });
    }
    long start = System.nanoTime();
    long levels = 0;
    for (Future<Long> result : pool.invokeAll(tasks)) {
      levels += result.get();
    }
    double seconds = (System.nanoTime() - start) / 1e9;
    if (levels <= 0 && passwords.get(0).length > 0) {
      throw new IllegalStateException("no password was scored: is the environment complete?");
    }
    return (double) threads * rounds * passwords.size() / seconds;
  }
}
