/* Tries a PAM password stack on the terminal without touching /etc/pam.d:
 * runs pam_chauthtok for USER through the service file CONFDIR/SERVICE and
 * prints what it answered. With a stack that ends in pam_permit.so (and no
 * pam_unix.so), no password is changed anywhere.
 *
 * usage: quarvel-pam-try CONFDIR SERVICE [USER]   (USER: the caller) */
#include <pwd.h>
#include <stdio.h>
#include <unistd.h>

#include <security/pam_appl.h>
#include <security/pam_misc.h>

int main(int argc, char **argv) {
  if (argc < 3 || argc > 4) {
    fprintf(stderr, "usage: %s CONFDIR SERVICE [USER]\n", argv[0]);
    return 2;
  }
  const char *user = argc == 4 ? argv[3] : NULL;
  if (user == NULL) {
    const struct passwd *entry = getpwuid(getuid());
    if (entry == NULL) {
      fprintf(stderr, "%s: who are you?\n", argv[0]);
      return 2;
    }
    user = entry->pw_name;
  }
  const struct pam_conv conversation = {misc_conv, NULL};
  pam_handle_t *pamh = NULL;
  int rc = pam_start_confdir(argv[2], user, &conversation, argv[1], &pamh);
  if (rc != PAM_SUCCESS) {
    fprintf(stderr, "%s: pam_start_confdir: %d\n", argv[0], rc);
    return 1;
  }
  rc = pam_chauthtok(pamh, 0);
  printf("pam_chauthtok: %s (%d)\n", pam_strerror(pamh, rc), rc);
  pam_end(pamh, rc);
  return rc == PAM_SUCCESS ? 0 : 1;
}
