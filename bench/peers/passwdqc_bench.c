/* Throughput of passwdqc's password check, reported in the same lines as
 * quarvel-bench so that bench/compare.sh can set the two side by side.
 *
 *   passwdqc-bench PASSWORDS [REPEAT]
 *
 * Checks every non-empty line of PASSWORDS (REPEAT times over) with
 * passwdqc_check and its built-in defaults, no old password and no account
 * record. Prints passwords per second over the whole loop, the p50, p99 and
 * maximum latency of one check, the peak resident set, and how many checks
 * were accepted and rejected.
 *
 * Build: cc -O2 -o passwdqc-bench passwdqc_bench.c -lpasswdqc
 */
#define _POSIX_C_SOURCE 200809L

#include <passwdqc.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>

static double NowMicros(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec * 1e6 + (double)ts.tv_nsec / 1e3;
}

static int CompareDoubles(const void *a, const void *b) {
  const double x = *(const double *)a, y = *(const double *)b;
  return (x > y) - (x < y);
}

/* Reads the non-empty lines of path, without their line ends, into a
 * NULL-terminated array; *count gets their number. Exits on failure. */
static char **ReadLines(const char *path, size_t *count) {
  FILE *in = fopen(path, "rb");
  if (in == NULL) {
    perror(path);
    exit(1);
  }
  size_t used = 0, room = 1024;
  char **lines = malloc(room * sizeof *lines);
  char *line = NULL;
  size_t capacity = 0;
  ssize_t length;
  while (lines != NULL && (length = getline(&line, &capacity, in)) >= 0) {
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r'))
      line[--length] = '\0';
    if (length == 0) continue;
    if (used + 1 >= room) {
      room *= 2;
      char **bigger = realloc(lines, room * sizeof *lines);
      if (bigger == NULL) {
        free(lines);
        lines = NULL;
        break;
      }
      lines = bigger;
    }
    lines[used] = strdup(line);
    if (lines[used] == NULL) {
      free(lines);
      lines = NULL;
      break;
    }
    ++used;
  }
  free(line);
  fclose(in);
  if (lines == NULL) {
    fprintf(stderr, "out of memory reading %s\n", path);
    exit(1);
  }
  lines[used] = NULL;
  *count = used;
  return lines;
}

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s PASSWORDS [REPEAT]\n", argv[0]);
    return 2;
  }
  size_t count = 0;
  char **passwords = ReadLines(argv[1], &count);
  int repeat = argc > 2 ? atoi(argv[2]) : 1;
  if (repeat < 1) repeat = 1;
  if (count == 0) {
    fprintf(stderr, "no passwords in %s\n", argv[1]);
    return 1;
  }

  passwdqc_params_t params;
  passwdqc_params_reset(&params);

  const size_t total = count * (size_t)repeat;
  double *latencies = malloc(total * sizeof *latencies);
  if (latencies == NULL) {
    fprintf(stderr, "out of memory for %zu latencies\n", total);
    return 1;
  }
  size_t rejected = 0, n = 0;
  const double start = NowMicros();
  for (int r = 0; r < repeat; ++r) {
    for (size_t i = 0; i < count; ++i) {
      const double t0 = NowMicros();
      const char *reason = passwdqc_check(&params.qc, passwords[i], NULL, NULL);
      const double t1 = NowMicros();
      latencies[n++] = t1 - t0;
      if (reason != NULL) ++rejected;
    }
  }
  const double seconds = (NowMicros() - start) / 1e6;
  qsort(latencies, total, sizeof *latencies, CompareDoubles);
  size_t p50 = (size_t)(0.50 * (double)total), p99 = (size_t)(0.99 * (double)total);
  if (p50 >= total) p50 = total - 1;
  if (p99 >= total) p99 = total - 1;
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);

  printf("tool             passwdqc %s\n", PASSWDQC_VERSION);
  printf("verifications    %zu\n", total);
  printf("passwords/s      %.0f\n", (double)total / seconds);
  printf("latency p50      %.1f us\n", latencies[p50]);
  printf("latency p99      %.1f us\n", latencies[p99]);
  printf("latency max      %.1f us\n", latencies[total - 1]);
  printf("peak RSS         %ld KiB\n", usage.ru_maxrss);
  printf("accepted         %zu\n", total - rejected);
  printf("rejected         %zu\n", rejected);

  passwdqc_params_free(&params);
  free(latencies);
  for (size_t i = 0; i < count; ++i) free(passwords[i]);
  free(passwords);
  return 0;
}
