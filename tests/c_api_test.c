/* The public headers from a C program: they compile as C99 (with -pedantic),
 * the records are usable from C, and the functions behave as documented. */
#define _DEFAULT_SOURCE /* mkdtemp */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "quarvel/quarvel.h"

static int passed = 0, failed = 0;

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (cond) {                                                                \
      ++passed;                                                                \
    } else {                                                                   \
      ++failed;                                                                \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
    }                                                                          \
  } while (0)

static void test_dictionary(const char *dir) {
  char prefix[4096];
  snprintf(prefix, sizeof prefix, "%s/words", dir);
  const char *words[] = {"alpha", "alphabet", "beta", "gamma"};
  PackedDict *pwp = PWOpen(prefix, "wb");
  CHECK(pwp != NULL);
  if (pwp == NULL) return;
  for (size_t i = 0; i < sizeof words / sizeof words[0]; ++i) CHECK(PutPW(pwp, words[i]) == 0);
  CHECK(PWClose(pwp) == 0);

  pwp = PWOpen(prefix, "rb");
  CHECK(pwp != NULL);
  if (pwp == NULL) return;
  CHECK(pwp->header.word_count == 4);
  CHECK((pwp->flags & PACKED_DICT_USE_MARKS) != 0);
  CHECK(FindPW(pwp, "beta") == 2);
  CHECK(FindPW(pwp, "delta") == (int32_t)pwp->header.word_count);
  CHECK(strcmp(GetPW(pwp, 1), "alphabet") == 0);
  CHECK(PWClose(pwp) == 0);

  static const char *exts[] = {".pwd", ".pwi", ".hwm"};
  for (int i = 0; i < 3; ++i) {
    char name[4200];
    snprintf(name, sizeof name, "%s%s", prefix, exts[i]);
    unlink(name);
  }
}

static void test_rules(void) {
  const char *r = Mangle("p4$$w0rd", "/$s$s/0s0o/4s4a");
  CHECK(r != NULL && strcmp(r, "password") == 0);
  CHECK(Mangle("abc", "[[[") == NULL);
  CHECK(strcmp(Reverse("abc"), "cba") == 0);
  CHECK(Char2Int('b') == 11);
  CHECK(MatchClass('d', '7') == 1);

  char line[] = "word \t\n";
  CHECK(*Trim(line) == '\0' && strcmp(line, "word") == 0);
  CHECK(Chop(line) == 'd' && strcmp(line, "wor") == 0);
  char *copy = Clone("copy");
  CHECK(copy != NULL && strcmp(copy, "copy") == 0);
  free(copy);
}

int main(void) {
  char dir[] = "/tmp/quarvel-c-api-XXXXXX";
  if (mkdtemp(dir) == NULL) {
    perror("mkdtemp");
    return 1;
  }
  test_dictionary(dir);
  test_rules();
  rmdir(dir);
  printf("c_api_test: %d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
