import java.io.IOException;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
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
 *
 * <p>The machine's other work takes cores from the threads and lowers the ratio; the rate per
 * second of CPU time that the checking threads themselves used is printed beside it. When two
 * threads check as many passwords per CPU second as one, nothing in the library or in the Java
 * layer makes them wait for each other, and on two idle cores they reach twice the rate.
 */
public class QuarvelBench {
  private static final int TRIALS = 3;
  private static final ThreadMXBean THREADS = ManagementFactory.getThreadMXBean();

  // Passwords per second of wall-clock time and per second of the checking threads' CPU time.
  private static final class Rate {
    final double wall;
    final double cpu;

    Rate(double wall, double cpu) {
      this.wall = wall;
      this.cpu = cpu;
    }
  }

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
        Rate one = best(pool, quarvel, passwords, 1, rounds);
        Rate two = best(pool, quarvel, passwords, 2, rounds);
        List<char[]> empty = new ArrayList<>();
        for (int i = 0; i < passwords.size(); i++) {
          empty.add(new char[0]);
        }
        Rate layer = best(pool, quarvel, empty, 1, rounds);
        System.out.printf("passwords: %d x %d rounds%n", passwords.size(), rounds);
        System.out.printf(
            "Quarvel.check, 1 thread:  %,.0f passwords/s (%,.0f per CPU second)%n",
            one.wall, one.cpu);
        System.out.printf(
            "Quarvel.check, 2 threads: %,.0f passwords/s (%,.0f per CPU second)%n",
            two.wall, two.cpu);
        System.out.printf(
            "2 threads / 1 thread: %.2f (target >= 1.70); per CPU second: %.2f%n",
            two.wall / one.wall, two.cpu / one.cpu);
        System.out.printf(
            "Java and JNI layer alone (empty password): %,.0f calls/s, %.2f us a call%n",
            layer.wall, 1e6 / layer.wall);
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

  private static Rate best(
      ExecutorService pool, Quarvel quarvel, List<char[]> passwords, int threads, int rounds)
      throws Exception {
    Rate best = new Rate(0, 0);
    for (int trial = 0; trial < TRIALS; trial++) {
      Rate rate = run(pool, quarvel, passwords, threads, rounds);
      best = new Rate(Math.max(best.wall, rate.wall), Math.max(best.cpu, rate.cpu));
    }
    return best;
  }

  // Every thread checks the whole list rounds times; answers passwords per second over all. The
  // native calls cannot be optimised away, so the levels are summed only to use the results.
  private static Rate run(
      ExecutorService pool, Quarvel quarvel, List<char[]> passwords, int threads, int rounds)
      throws Exception {
    // Each task answers the sum of the levels and the CPU time it used, in nanoseconds.
    List<Callable<long[]>> tasks = new ArrayList<>();
    for (int t = 0; t < threads; t++) {
      tasks.add(
          () -> {
            long cpu = THREADS.getCurrentThreadCpuTime();
            long levels = 0;
            for (int round = 0; round < rounds; round++) {
              for (char[] password : passwords) {
                levels += quarvel.check(password).level();
              }
            }
            return new long[] {levels, THREADS.getCurrentThreadCpuTime() - cpu};
          });
    }
    long start = System.nanoTime();
    long levels = 0;
    long cpu = 0;
    for (Future<long[]> result : pool.invokeAll(tasks)) {
      levels += result.get()[0];
      cpu += result.get()[1];
    }
    double seconds = (System.nanoTime() - start) / 1e9;
    if (levels <= 0 && passwords.get(0).length > 0) {
      throw new IllegalStateException("no password was scored: is the environment complete?");
    }
    double checked = (double) threads * rounds * passwords.size();
    return new Rate(checked / seconds, checked / (cpu / 1e9));
  }
}
