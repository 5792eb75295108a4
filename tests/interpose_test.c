/* A host program that defines functions under the library's own names. The
 * library's internal calls must still reach the library's definitions. */
#include <stdio.h>
#include <string.h>

#include "quarvel/quarvel.h"

static char hijacked[] = "HIJACKED";

char *Reverse(const char *string) {
  (void)string;
  return hijacked;
}
char *Lowercase(const char *string) {
  (void)string;
  return hijacked;
}
char *Substitute(const char *string, char old_char, char new_char) {
  (void)string, (void)old_char, (void)new_char;
  return hijacked;
}
char *Purge(const char *string, char target) {
  (void)string, (void)target;
  return hijacked;
}

static int failures = 0;

static void expect(const char *rule, const char *word, const char *want) {
  const char *got = Mangle(word, rule);
  if (got == NULL || strcmp(got, want) != 0) {
    fprintf(stderr, "Mangle(\"%s\", \"%s\") = \"%s\", want \"%s\"\n", word, rule,
            got ? got : "(null)", want);
    ++failures;
  }
}

int main(void) {
  /* The host's own definitions are what the host itself calls. */
  if (strcmp(Reverse("abc"), "HIJACKED") != 0) ++failures;
  expect("r", "abc", "cba");
  expect("l", "ABC", "abc");
  expect("s$s", "a$b", "asb");
  expect("@x", "axbx", "ab");
  printf("interpose_test: %d passed, %d failed\n", 5 - failures, failures);
  return failures == 0 ? 0 : 1;
}
