/* A stand-in for an earlier module in a password stack: in the update pass
 * it sets PAM_AUTHTOK to the text of its option token=TEXT, as a module that
 * obtained the new password would. Built for pam_test only. */
#include <string.h>

#include <security/pam_modules.h>

int pam_sm_chauthtok(pam_handle_t *pamh, int flags, int argc, const char **argv) {
  if ((flags & PAM_UPDATE_AUTHTOK) == 0) return PAM_SUCCESS;
  for (int i = 0; i < argc; ++i) {
    if (strncmp(argv[i], "token=", 6) == 0) return pam_set_item(pamh, PAM_AUTHTOK, argv[i] + 6);
  }
  return PAM_SERVICE_ERR;
}
