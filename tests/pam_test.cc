// pam_quarvel.so in a real PAM stack: pam_start_confdir with a service file
// in a private folder (never /etc/pam.d), a scripted conversation, and a
// root folder holding the shipped configuration and a small dictionary.

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <security/pam_appl.h>

#include "pam/context_words.h"
#include "pam/rejection.h"
#include "quarvel/pwanalysis.h"
#include "testing/test_util.h"

namespace {

using quarvel::testing::ReadFile;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

// What the application saw of one pam_chauthtok.
struct Conversation {
  std::deque<std::string> answers;  // one per password prompt
  int prompts = 0;
  std::vector<std::string> errors;  // PAM_ERROR_MSG texts
  std::vector<std::string> infos;   // PAM_TEXT_INFO texts
};

int Converse(int count, const pam_message **messages, pam_response **responses, void *data) {
  auto *conversation = static_cast<Conversation *>(data);
  auto *out = static_cast<pam_response *>(std::calloc(count, sizeof(pam_response)));
  if (out == nullptr) return PAM_BUF_ERR;
  for (int i = 0; i < count; ++i) {
    const pam_message &m = *messages[i];
    if (m.msg_style == PAM_PROMPT_ECHO_OFF || m.msg_style == PAM_PROMPT_ECHO_ON) {
      ++conversation->prompts;
      if (conversation->answers.empty()) {
        for (int j = 0; j < i; ++j) std::free(out[j].resp);
        std::free(out);
        return PAM_CONV_ERR;
      }
      out[i].resp = strdup(conversation->answers.front().c_str());
      conversation->answers.pop_front();
    } else if (m.msg_style == PAM_ERROR_MSG) {
      conversation->errors.emplace_back(m.msg);
    } else if (m.msg_style == PAM_TEXT_INFO) {
      conversation->infos.emplace_back(m.msg);
    }
  }
  *responses = out;
  return PAM_SUCCESS;
}

std::string CurrentUser() {
  const passwd *entry = getpwuid(getuid());
  return entry != nullptr ? entry->pw_name : "";
}

struct Case {
  const char *name;
  std::string options;               // after root=...
  std::string earlier_token;         // set by a module before pam_quarvel; "" for none
  std::vector<std::string> entries;  // what the user types, prompt after prompt
  int code;
  int prompts;
  std::vector<std::string> errors;  // the error messages, in order
};

class PamStack : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.File("root");
    std::filesystem::create_directories(root_ + "/conf");
    std::filesystem::create_directories(root_ + "/dicts");
    std::filesystem::create_directories(dir_.File("pam.d"));
    // The shipped configuration, with the reversed search on.
    std::string config = ReadFile(QUARVEL_SHIPPED_CONFIG);
    const std::string reverse = "quarvel_search.pw_reverse=";
    ASSERT_NE(config.find(reverse + "0"), std::string::npos);
    config.replace(config.find(reverse + "0"), reverse.size() + 1, reverse + "1");
    WriteFile(root_ + "/conf/quarvel.ini", config);
    // CreateDict sorts through a temporary file in the current folder.
    WriteFile(dir_.File("words.txt"), "dragon\npassword\nsunshine\n");
    EXPECT_STREQ(CreateDict("words.txt", "root/dicts/default_dict"), "RET_CD=0000");
  }

  // Runs pam_chauthtok for the current user through the stack
  // [pam_settok token=earlier] pam_quarvel root=ROOT options; pam_permit.
  int Change(const std::string &options, const std::string &earlier,
             const std::vector<std::string> &entries, Conversation &conversation) {
    std::string service;
    if (!earlier.empty()) {
      service += "password requisite " QUARVEL_PAM_SETTOK " token=" + earlier + "\n";
    }
    service += "password requisite " QUARVEL_PAM_MODULE " root=" + root_ + " " + options + "\n";
    service += "password required " QUARVEL_PAM_PERMIT "\n";
    WriteFile(dir_.File("pam.d/quarvel-test"), service);
    conversation.answers.assign(entries.begin(), entries.end());
    const pam_conv conv{Converse, &conversation};
    pam_handle_t *pamh = nullptr;
    int rc = pam_start_confdir("quarvel-test", CurrentUser().c_str(), &conv,
                               dir_.File("pam.d").c_str(), &pamh);
    if (rc != PAM_SUCCESS) return -1;
    rc = pam_chauthtok(pamh, 0);
    pam_end(pamh, rc);
    return rc;
  }

  TempDir dir_{/*chdir_into=*/true};
  std::string root_;
};

std::vector<std::string> Twice(std::vector<std::string> passwords) {
  std::vector<std::string> entries;
  for (const std::string &p : passwords) entries.insert(entries.end(), {p, p});
  return entries;
}

constexpr char kStrong[] = "Tq7%vLm2xPw9";

TEST_F(PamStack, ChangesAsTheOptionsSay) {
  const std::string dictionary = "BAD PASSWORD: it is based on a dictionary word";
  const std::string user_name = "BAD PASSWORD: it is based on your user name";
  const std::vector<Case> cases = {
      {"strong", "enforce_for_root", "", Twice({kStrong}), PAM_SUCCESS, 2, {}},
      // Length and classes earn level 3; the dictionary word costs it.
      {"dictionary word",
       "enforce_for_root",
       "",
       Twice({"Sunshine7"}),
       PAM_AUTHTOK_ERR,
       2,
       {dictionary + " (with characters added)"}},
      {"reversed",
       "enforce_for_root",
       "",
       Twice({"Nogard"}),
       PAM_AUTHTOK_ERR,
       2,
       {dictionary + " (reversed)"}},
      {"look-alike",
       "enforce_for_root",
       "",
       Twice({"Sun5h1ne"}),
       PAM_AUTHTOK_ERR,
       2,
       {dictionary + " (with look-alike characters)"}},
      {"not a dictionary word", "enforce_for_root", "", Twice({"Moonrise7"}), PAM_SUCCESS, 2, {}},
      {"plain dictionary word",
       "enforce_for_root",
       "",
       Twice({"dragon"}),
       PAM_AUTHTOK_ERR,
       2,
       {dictionary}},
      // Both are too short; the user's name is the reason given for one.
      {"user name",
       "enforce_for_root",
       "",
       Twice({CurrentUser() + "7"}),
       PAM_AUTHTOK_ERR,
       2,
       {user_name + " (with characters added)"}},
      {"short",
       "enforce_for_root",
       "",
       Twice({"Qzxv7"}),
       PAM_AUTHTOK_ERR,
       2,
       {"BAD PASSWORD: it is too short"}},
      {"minlevel 2", "enforce_for_root minlevel=2", "", Twice({"Sunshine7"}), PAM_SUCCESS, 2, {}},
      {"retry: third try",
       "enforce_for_root retry=3",
       "",
       Twice({"dragon", "password", kStrong}),
       PAM_SUCCESS,
       6,
       {dictionary, dictionary}},
      {"retry: exhausted",
       "enforce_for_root retry=2",
       "",
       Twice({"dragon", "password", kStrong}),
       PAM_AUTHTOK_ERR,
       4,
       {dictionary, dictionary}},
      // Two entries that differ use up an attempt.
      {"retry: mismatch",
       "enforce_for_root retry=2",
       "",
       {"Sunshine7", "Sunshine8", kStrong, kStrong},
       PAM_SUCCESS,
       4,
       {"Sorry, passwords do not match."}},
      {"use_authtok: strong",
       "enforce_for_root use_authtok retry=3",
       kStrong,
       {},
       PAM_SUCCESS,
       0,
       {}},
      {"use_authtok: weak, never asks",
       "enforce_for_root use_authtok retry=3",
       "Sunshine7",
       {},
       PAM_AUTHTOK_ERR,
       0,
       {dictionary + " (with characters added)"}},
      {"use_authtok: none set", "use_authtok", "", {}, PAM_AUTHTOK_ERR, 0, {}},
      // Without enforce_for_root a caller running as root is only warned.
      {"not enforced",
       "",
       "",
       Twice({"dragon"}),
       getuid() == 0 ? PAM_SUCCESS : PAM_AUTHTOK_ERR,
       2,
       {dictionary}},
      {"unknown option", "enforce_for_rot", "", Twice({"dragon"}), PAM_SERVICE_ERR, 0, {}},
      {"minlevel out of range", "minlevel=5", "", Twice({kStrong}), PAM_SERVICE_ERR, 0, {}},
      {"retry not a number", "retry=2x", "", Twice({kStrong}), PAM_SERVICE_ERR, 0, {}},
      // The least number of guesses: no 12 characters reach 10^100.
      {"minguesses: too few",
       "enforce_for_root minguesses=100",
       "",
       Twice({kStrong}),
       PAM_AUTHTOK_ERR,
       2,
       {"BAD PASSWORD: it is too easy to guess"}},
      {"minguesses: enough",
       "enforce_for_root minguesses=2.5",
       "",
       Twice({kStrong}),
       PAM_SUCCESS,
       2,
       {}},
      {"minguesses: a dictionary word is told as before",
       "enforce_for_root minguesses=100",
       "",
       Twice({"dragon"}),
       PAM_AUTHTOK_ERR,
       2,
       {dictionary}},
  };
  for (const char *bad : {"minguesses=", "minguesses=ten", "minguesses=-1", "minguesses=+5",
                          "minguesses=100.5", "minguesses=1e1", "minguesses= 5", "minguesses=5x",
                          "minguesses=.5", "minguesses=nan", "minguesses=inf"}) {
    SCOPED_TRACE(bad);
    Conversation conversation;
    EXPECT_EQ(Change(bad, "", Twice({kStrong}), conversation), PAM_SERVICE_ERR);
    EXPECT_EQ(conversation.prompts, 0);
  }
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Conversation conversation;
    EXPECT_EQ(Change(c.options, c.earlier_token, c.entries, conversation), c.code);
    EXPECT_EQ(conversation.prompts, c.prompts);
    EXPECT_EQ(conversation.errors, c.errors);
    for (const std::string &message : conversation.errors) {
      for (const std::string &password : c.entries) {
        EXPECT_EQ(message.find(password), std::string::npos) << message;
      }
    }
  }
}

// A refusal is followed by the engine's advice: its warning and first
// suggestion, texts of its catalogue, never the password.
TEST_F(PamStack, RefusalIsFollowedByTheAdvice) {
  std::vector<std::string> catalogue_advice;
  for (int w = 0; w < QUARVEL_WARNING_COUNT; ++w) {
    for (int s = 1; s < QUARVEL_SUGGESTION_COUNT; ++s) {
      const std::string warning = quarvel_warning_text(w);
      catalogue_advice.push_back(warning + (warning.empty() ? "" : " ") +
                                 quarvel_suggestion_text(s));
    }
  }
  for (const char *password : {"dragon", "Sunshine7", "qwertyuiop"}) {
    SCOPED_TRACE(password);
    Conversation conversation;
    EXPECT_EQ(Change("enforce_for_root", "", Twice({password}), conversation), PAM_AUTHTOK_ERR);
    ASSERT_EQ(conversation.errors.size(), 1u);
    ASSERT_EQ(conversation.infos.size(), 1u);
    EXPECT_NE(std::find(catalogue_advice.begin(), catalogue_advice.end(), conversation.infos[0]),
              catalogue_advice.end())
        << conversation.infos[0];
  }
  Conversation accepted;
  EXPECT_EQ(Change("enforce_for_root", "", Twice({kStrong}), accepted), PAM_SUCCESS);
  EXPECT_TRUE(accepted.infos.empty());
}

TEST_F(PamStack, BrokenRootIsAServiceError) {
  Conversation conversation;
  const std::string good_root = root_;
  root_ = dir_.File("missing");
  EXPECT_EQ(Change("", "", Twice({kStrong}), conversation), PAM_SERVICE_ERR);
  root_ = "relative/root";
  EXPECT_EQ(Change("", "", Twice({kStrong}), conversation), PAM_SERVICE_ERR);
  // A configuration without its default dictionary.
  root_ = good_root;
  std::filesystem::remove_all(root_ + "/dicts");
  EXPECT_EQ(Change("", "", Twice({kStrong}), conversation), PAM_SERVICE_ERR);
  // None of them asks for a password that could not be checked.
  EXPECT_EQ(conversation.prompts, 0);
}

// The words of a GECOS field, as the context words of a login without a
// passwd entry.
TEST(ContextWords, SplitsTheGecosField) {
  quarvel::pam::ContextWords words("no-such-login-x9");
  EXPECT_FALSE(words.found());
  words.AddGecos("Jean-Pierre  Dupont,Room 12,+33 1-23,,Jean");
  std::vector<std::string> got(words.pointers().begin(), words.pointers().end());
  const std::vector<std::string> want = {"no-such-login-x9",
                                         "Jean-Pierre",
                                         "Jean",
                                         "Pierre",
                                         "Dupont",
                                         "Room",
                                         "12",
                                         "+33",
                                         "33",
                                         "1-23",
                                         "1",
                                         "23",
                                         "Jean-PierreDupont"};
  EXPECT_EQ(got, want);
  EXPECT_EQ(words.size(), want.size());
}

// The refusal told from the codes of hand-built results: each reason code
// of the dictionary and personal stages, the difference each step makes,
// and an older record whose codes are derived from its variant bits.
TEST(Rejection, ToldFromTheCodes) {
  using quarvel::pam::Judge;
  struct Case {
    int reason;  // of stage 5 (6 for personal); 0: none
    int kind;
    std::vector<quarvel_step> steps;
    std::string expected;
  };
  auto step = [](int code, int piece = 0) {
    quarvel_step s = {};
    s.code = code;
    s.piece = piece;
    return s;
  };
  const Case cases[] = {
      {QUARVEL_REASON_DICTIONARY, QUARVEL_MATCH_DICTIONARY, {}, "it is based on a dictionary word"},
      // Case alone is no difference; the order of the phrases is fixed.
      {QUARVEL_REASON_DICTIONARY,
       QUARVEL_MATCH_DICTIONARY,
       {step(QUARVEL_STEP_CAPITALISED), step(QUARVEL_STEP_SUFFIX), step(QUARVEL_STEP_REVERSED)},
       "it is based on a dictionary word (reversed, with a number added)"},
      {QUARVEL_REASON_DICTIONARY,
       QUARVEL_MATCH_DICTIONARY,
       {step(QUARVEL_STEP_RULE), step(QUARVEL_STEP_READ_AS), step(QUARVEL_STEP_READ_AS),
        step(QUARVEL_STEP_DROPPED)},
       "it is based on a dictionary word (with characters added, with look-alike characters)"},
      {QUARVEL_REASON_PERSONAL,
       QUARVEL_MATCH_PERSONAL,
       {step(QUARVEL_STEP_DOUBLED), step(QUARVEL_STEP_CUT_END, QUARVEL_PIECE_SYMBOLS),
        step(QUARVEL_STEP_CUT_START, QUARVEL_PIECE_YEAR)},
       "it is based on a word of the personal dictionary (written twice, with symbols added, "
       "with a number added)"},
      {QUARVEL_REASON_BREACH,
       QUARVEL_MATCH_BREACH,
       {step(QUARVEL_STEP_RULE), step(QUARVEL_STEP_NON_ALNUM_REMOVED)},
       "it is based on a leaked password (with symbols added)"},
      {QUARVEL_REASON_CONTEXT,
       QUARVEL_MATCH_CONTEXT,
       {step(QUARVEL_STEP_INSIDE)},
       "it is based on your personal information (with characters added)"},
      {QUARVEL_REASON_PATTERN,
       QUARVEL_MATCH_PATTERN,
       {step(QUARVEL_STEP_PATTERN, QUARVEL_PIECE_KEYBOARD_WALK)},
       "it is a keyboard pattern, a sequence or a date"},
      // No reason of those stages: the first stage below the minimum.
      {0, QUARVEL_MATCH_NONE, {}, "it is too short"},
  };
  for (const Case &c : cases) {
    quarvel_result r = {};
    QUARVEL_RESULT_INIT(&r);
    r.level = 2;
    const int scores[6] = {2, 2, 2, 2, 2, 2};
    std::copy(std::begin(scores), std::end(scores), r.stage_score);
    r.match.kind = c.kind;
    snprintf(r.match.word, sizeof(r.match.word), "rover");
    if (c.reason != 0) {
      r.reasons[r.reason_count++] = {c.reason == QUARVEL_REASON_PERSONAL ? 6 : 5, c.reason, 1, 0,
                                     0};
    }
    for (const quarvel_step &s : c.steps) r.match_steps[r.step_count++] = s;
    const quarvel::pam::Verdict verdict = Judge(r, 5, 3, "someone");
    EXPECT_EQ(verdict.outcome, quarvel::pam::Outcome::kRefused) << c.expected;
    EXPECT_EQ(verdict.reason, c.expected);
    EXPECT_EQ(Judge(r, 5, 2, "someone").outcome, quarvel::pam::Outcome::kAccepted);
  }

  // The login among the context words; an unreadable dictionary is no verdict.
  quarvel_result r = {};
  QUARVEL_RESULT_INIT(&r);
  r.level = 1;
  r.match.kind = QUARVEL_MATCH_CONTEXT;
  snprintf(r.match.word, sizeof(r.match.word), "jdoe");
  r.reasons[r.reason_count++] = {5, QUARVEL_REASON_CONTEXT, 1, 0, 0};
  EXPECT_EQ(Judge(r, 5, 3, "JDoe").reason, "it is based on your user name");
  r.reasons[0].code = QUARVEL_REASON_UNREADABLE;
  EXPECT_EQ(Judge(r, 5, 1, "JDoe").outcome, quarvel::pam::Outcome::kUnchecked);
}

// The least number of guesses, from minguesses= or from the configuration
// (whose cap leaves the stage scores above the level), and the advice.
TEST(Rejection, TooFewGuessesAndTheAdvice) {
  using quarvel::pam::Judge;
  using quarvel::pam::Outcome;
  quarvel_result r = {};
  QUARVEL_RESULT_INIT(&r);
  r.level = 3;
  const int scores[6] = {3, 3, 3, 3, 3, 3};
  std::copy(std::begin(scores), std::end(scores), r.stage_score);
  r.guesses_log10 = 7.5;
  r.warning = QUARVEL_WARNING_DATE;
  r.suggestion_count = 2;
  r.suggestions[0] = QUARVEL_SUGGESTION_AVOID_DATES;
  r.suggestions[1] = QUARVEL_SUGGESTION_LONGER;
  const std::string advice = std::string(quarvel_warning_text(QUARVEL_WARNING_DATE)) + " " +
                             quarvel_suggestion_text(QUARVEL_SUGGESTION_AVOID_DATES);

  EXPECT_EQ(Judge(r, 8, 3, "x").outcome, Outcome::kAccepted);
  EXPECT_EQ(Judge(r, 8, 3, "x", 7.5).outcome, Outcome::kAccepted);  // not below
  quarvel::pam::Verdict verdict = Judge(r, 8, 3, "x", 7.6);
  EXPECT_EQ(verdict.outcome, Outcome::kRefused);
  EXPECT_EQ(verdict.reason, "it is too easy to guess");
  EXPECT_EQ(verdict.advice, advice);
  // Below the level too: the level's reason, the same advice.
  verdict = Judge(r, 8, 4, "x", 7.6);
  EXPECT_EQ(verdict.reason, "it is too short");
  EXPECT_EQ(verdict.advice, advice);

  // The configuration's cap: level 2 with the scores at 3.
  r.level = 2;
  r.reasons[r.reason_count++] = {0, QUARVEL_REASON_FEW_GUESSES, 0, 3, 2};
  verdict = Judge(r, 8, 3, "x");
  EXPECT_EQ(verdict.outcome, Outcome::kRefused);
  EXPECT_EQ(verdict.reason, "it is too easy to guess");

  // The advice has what the engine gives: a suggestion alone, or nothing.
  r.warning = QUARVEL_WARNING_NONE;
  EXPECT_EQ(Judge(r, 8, 3, "x").advice, quarvel_suggestion_text(QUARVEL_SUGGESTION_AVOID_DATES));
  r.suggestion_count = 0;
  EXPECT_EQ(Judge(r, 8, 3, "x").advice, "");
}

}  // namespace
