/* A program built against an installed Quarvel: through pkg-config, or
 * through CMake's find_package(Quarvel). */
#include <stdio.h>
#include <string.h>

#include <quarvel/quarvel.h>

int main(void) {
  const char *before_load = VerifyPW("secret");
  const char *mangled = Mangle("p4$$w0rd", "/$s$s/0s0o/4s4a");
  if (strcmp(before_load, "RET_CD=2001") != 0 || mangled == NULL ||
      strcmp(mangled, "password") != 0) {
    fprintf(stderr, "unexpected: %s, %s\n", before_load, mangled ? mangled : "(null)");
    return 1;
  }
  printf("consumer: ok\n");
  return 0;
}
