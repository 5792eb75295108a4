// pam_sm_chauthtok: the password change flow.
//
// The preliminary pass does nothing. The update pass obtains the new
// password, checks it with the engine against the dictionaries and the
// user's own context words, and lets it through or refuses it with a reason,
// up to retry=N times. Return codes:
//
//   PAM_SUCCESS      the password passed (or root was only warned)
//   PAM_AUTHTOK_ERR  the password was refused on every attempt, or no new
//                    password could be obtained (with use_authtok: none set)
//   PAM_SERVICE_ERR  the module is misconfigured: an unknown option or value,
//                    a root that cannot be opened (missing folder,
//                    unreadable configuration, a dictionary that cannot be
//                    opened), or a dictionary that could not be read during
//                    the check
//   PAM_BUF_ERR      memory ran out
//   other            what pam_get_user or pam_get_authtok answered
//
// The module makes no copy of the password: it passes libpam's own token to
// the engine. The engine's result record holds the matched word, which is
// derived from the password; it is wiped before the module returns.

#include <string.h>
#include <syslog.h>
#include <unistd.h>

#include <new>
#include <span>
#include <string>

#include <security/pam_ext.h>
#include <security/pam_modules.h>

#include "pam/context_words.h"
#include "pam/environment_cache.h"
#include "pam/options.h"
#include "pam/rejection.h"

namespace quarvel::pam {

namespace {

constexpr char kBadPassword[] = "BAD PASSWORD: ";

// The engine's result on the stack, wiped when the scope ends.
class WipedResult {
 public:
  WipedResult() { QUARVEL_RESULT_INIT(&result_); }
  ~WipedResult() { explicit_bzero(&result_, sizeof(result_)); }
  WipedResult(const WipedResult &) = delete;
  WipedResult &operator=(const WipedResult &) = delete;
  quarvel_result *get() { return &result_; }

 private:
  quarvel_result result_{};
};

// Everything one update pass works with.
struct Transaction {
  pam_handle_t *pamh;
  bool silent;
  Options options;
  std::string login;
};

void Tell(const Transaction &t, int style, const std::string &text) {
  if (t.silent) return;
  pam_prompt(t.pamh, style, nullptr, "%s", text.c_str());
}

// Forgets the refused token, so that the next pam_get_authtok prompts anew.
void ClearToken(const Transaction &t) { pam_set_item(t.pamh, PAM_AUTHTOK, nullptr); }

// The new password: libpam's copy, valid until the item changes.
int ObtainToken(const Transaction &t, const char *&token) {
  if (!t.options.use_authtok) return pam_get_authtok(t.pamh, PAM_AUTHTOK, &token, nullptr);
  const void *item = nullptr;
  const int rc = pam_get_item(t.pamh, PAM_AUTHTOK, &item);
  if (rc != PAM_SUCCESS || item == nullptr) return PAM_AUTHTOK_ERR;
  token = static_cast<const char *>(item);
  return PAM_SUCCESS;
}

Verdict Check(const Transaction &t, const quarvel_env *env, const ContextWords &words,
              const char *token) {
  WipedResult result;
  const size_t length = strlen(token);
  quarvel_check_context(env, token, length, words.pointers().data(), words.size(), result.get());
  Verdict verdict =
      Judge(*result.get(), length, t.options.min_level, t.login, t.options.min_guesses_log10);
  if (t.options.debug) {
    // The level, the kind of match and how the password was varied: never
    // the word that matched, which is the password but for its variation.
    const quarvel_result &r = *result.get();
    pam_syslog(t.pamh, LOG_DEBUG,
               "user %s: code %d, level %d (minimum %d), 10^%.1f guesses, match kind %d, "
               "variants 0x%x: %s",
               t.login.c_str(), r.code, r.level, t.options.min_level, r.guesses_log10, r.match.kind,
               r.match.variants,
               verdict.outcome == Outcome::kAccepted ? "accepted" : verdict.reason.c_str());
  }
  return verdict;
}

int Update(Transaction &t, int argc, const char **argv) {
  std::string error;
  if (!ParseOptions(std::span<const char *const>(argv, argc > 0 ? argc : 0), t.options, error)) {
    pam_syslog(t.pamh, LOG_ERR, "%s", error.c_str());
    return PAM_SERVICE_ERR;
  }
  const char *user = nullptr;
  int rc = pam_get_user(t.pamh, &user, nullptr);
  if (rc != PAM_SUCCESS || user == nullptr || user[0] == '\0') {
    pam_syslog(t.pamh, LOG_ERR, "no user name: %s", pam_strerror(t.pamh, rc));
    return rc != PAM_SUCCESS ? rc : PAM_USER_UNKNOWN;
  }
  t.login = user;
  const ContextWords words(t.login);
  if (t.options.debug) {
    pam_syslog(t.pamh, LOG_DEBUG, "user %s: %zu context words%s", user, words.size(),
               words.found() ? "" : " (no passwd entry: the login name only)");
  }
  const std::shared_ptr<const quarvel_env> env = AcquireEnvironment(t.options.root, error);
  if (env == nullptr) {
    pam_syslog(t.pamh, LOG_ERR, "cannot open %s: %s", t.options.root.c_str(), error.c_str());
    return PAM_SERVICE_ERR;
  }
  // Without enforce_for_root, a program run by root (passwd for another
  // user, chpasswd) is told what is wrong but not stopped.
  const bool warn_only = !t.options.enforce_for_root && getuid() == 0;

  for (int attempt = 1; attempt <= t.options.retry; ++attempt) {
    const char *token = nullptr;
    rc = ObtainToken(t, token);
    if (rc == PAM_TRY_AGAIN) {
      // The two entries differed; pam_get_authtok has said so.
      ClearToken(t);
      continue;
    }
    if (rc != PAM_SUCCESS) {
      pam_syslog(t.pamh, LOG_ERR, "no new password%s: %s",
                 t.options.use_authtok ? " (use_authtok: no earlier module set one)" : "",
                 pam_strerror(t.pamh, rc));
      return rc;
    }
    const Verdict verdict = Check(t, env.get(), words, token);
    token = nullptr;
    if (verdict.outcome == Outcome::kAccepted) return PAM_SUCCESS;
    if (verdict.outcome == Outcome::kUnchecked) {
      pam_syslog(t.pamh, LOG_ERR, "cannot check the password with %s: %s", t.options.root.c_str(),
                 verdict.reason.c_str());
      ClearToken(t);
      return PAM_SERVICE_ERR;
    }
    Tell(t, PAM_ERROR_MSG, kBadPassword + verdict.reason);
    if (!verdict.advice.empty()) Tell(t, PAM_TEXT_INFO, verdict.advice);
    if (warn_only) {
      if (t.options.debug) pam_syslog(t.pamh, LOG_DEBUG, "root: warned, not refused");
      return PAM_SUCCESS;
    }
    ClearToken(t);
    // An earlier module's password stays what it is: asking again is pointless.
    if (t.options.use_authtok) break;
  }
  return PAM_AUTHTOK_ERR;
}

}  // namespace

}  // namespace quarvel::pam

extern "C" __attribute__((visibility("default"))) int pam_sm_chauthtok(pam_handle_t *pamh,
                                                                       int flags, int argc,
                                                                       const char **argv) {
  if ((flags & PAM_PRELIM_CHECK) != 0) return PAM_SUCCESS;
  if ((flags & PAM_UPDATE_AUTHTOK) == 0) {
    pam_syslog(pamh, LOG_ERR, "called without PAM_PRELIM_CHECK or PAM_UPDATE_AUTHTOK");
    return PAM_SERVICE_ERR;
  }
  try {
    quarvel::pam::Transaction t{pamh, (flags & PAM_SILENT) != 0, {}, {}};
    return quarvel::pam::Update(t, argc, argv);
  } catch (const std::bad_alloc &) {
    pam_syslog(pamh, LOG_ERR, "out of memory");
    return PAM_BUF_ERR;
  } catch (...) {
    pam_syslog(pamh, LOG_ERR, "unexpected failure");
    return PAM_SERVICE_ERR;
  }
}
