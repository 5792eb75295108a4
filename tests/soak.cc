// Soak: one process verifies many varied passwords while the environment is
// reloaded and the personal dictionary is built and deleted again and again.
// Every answer must be well-formed and agree with the state of the folder at
// that moment; no file descriptor may leak; resident memory must stay flat
// once warmed up.
//
//   soak [--scale S]   S = 1 runs 1,000,000 verifications, 10,000 reloads
//                      and 1,000 builds and deletions; S = 0.01 runs 1 % of
//                      each. Exit status 0 when every check held.
//
// The library's trace lines go to /dev/null; the report goes to the original
// standard output.

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "quarvel/pwanalysis.h"
#include "testing/descriptors.h"
#include "testing/run_report.h"

#if defined(__SANITIZE_ADDRESS__)
#define QUARVEL_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUARVEL_SOAK_ASAN 1
#endif
#endif

namespace {

using quarvel::testing::Fail;
using quarvel::testing::OpenDescriptors;
using quarvel::testing::Report;
using quarvel::testing::ResidentKiB;
using quarvel::testing::WriteText;

namespace fs = std::filesystem;

constexpr double kVerificationsAtScale1 = 1'000'000;
constexpr double kReloadsAtScale1 = 10'000;
constexpr double kProfileCyclesAtScale1 = 1'000;
constexpr long kRssLimitKiB = 1024;
constexpr char kProfilePrefix[] = "./dicts/profile";
constexpr char kProfileList[] = "profile-words.txt";

// The expected content of a verification answer.
struct Expected {
  int length;       // PW_LEN
  int dict_count;   // DICT_FD_CNT
  const char *pdf;  // PDICT_FD
};

// Reads "NAME=<decimal>" at the front of text, followed by ':'.
bool TakeField(std::string_view &text, std::string_view name, long *value) {
  if (text.substr(0, name.size()) != name || text.size() <= name.size() + 1 ||
      text[name.size()] != '=') {
    return false;
  }
  text.remove_prefix(name.size() + 1);
  size_t digits = 0;
  long v = 0;
  while (digits < text.size() && digits < 9 && text[digits] >= '0' && text[digits] <= '9') {
    v = v * 10 + (text[digits] - '0');
    ++digits;
  }
  if (digits == 0 || digits == text.size() || text[digits] != ':') return false;
  text.remove_prefix(digits + 1);
  *value = v;
  return true;
}

// Checks a verification answer field by field.
bool WellFormedVerification(std::string_view answer, const Expected &want) {
  std::string_view rest = answer;
  if (rest.substr(0, 12) != "RET_CD=0000:") return false;
  rest.remove_prefix(12);
  long level, length, classes, repeats, sequences, dict_count;
  if (!TakeField(rest, "RT_LEVEL", &level) || !TakeField(rest, "PW_LEN", &length) ||
      !TakeField(rest, "PW_NCR", &classes) || !TakeField(rest, "REPT_NCR", &repeats) ||
      !TakeField(rest, "CTS_NCR", &sequences) || !TakeField(rest, "DICT_FD_CNT", &dict_count)) {
    return false;
  }
  if (level < 1 || level > 4 || classes > 4 || length != want.length ||
      dict_count != want.dict_count || sequences >= length || repeats > length) {
    return false;
  }
  return rest == std::string("PDICT_FD=") + want.pdf;
}

class Soak {
 public:
  explicit Soak(double scale)
      : verifications_(std::max<long>(1, static_cast<long>(kVerificationsAtScale1 * scale))),
        reloads_(std::max<long>(1, static_cast<long>(kReloadsAtScale1 * scale))),
        cycles_(std::max<long>(1, static_cast<long>(kProfileCyclesAtScale1 * scale))),
        scale_(scale) {}

  bool Prepare();
  void Run();
  void Finish();

 private:
  std::string RandomWord(size_t min_length, size_t max_length);
  std::vector<std::string> WordList(size_t count, bool keep);
  bool BuildDictionary(const std::vector<std::string> &words, const char *prefix);
  void Reload();
  void BuildProfile();
  void DeleteProfile();
  void VerifyOne(long round);

  const long verifications_, reloads_, cycles_;
  const double scale_;
  std::mt19937_64 rng_{20240611};
  std::string folder_, old_cwd_;
  std::unordered_set<std::string> used_;  // the words of the fixed dictionaries
  std::vector<std::string> default_words_, extra_words_, profile_words_;
  bool profile_exists_ = false;
  int config_variant_ = 0;
  long builds_ = 0, deletions_ = 0, reloads_done_ = 0;
  std::string password_;
  std::chrono::steady_clock::duration verify_time_{};
};

std::string Soak::RandomWord(size_t min_length, size_t max_length) {
  std::string word(min_length + rng_() % (max_length - min_length + 1), 'a');
  for (char &c : word) c = static_cast<char>('a' + rng_() % 26);
  return word;
}

// Distinct words, none of them in a fixed dictionary: random letters are
// never one another's variant (trimmed, reversed, digits added), so the
// dictionary each word comes from is the only one where a verification finds
// it. With keep, the words join the fixed dictionaries' set.
std::vector<std::string> Soak::WordList(size_t count, bool keep) {
  std::vector<std::string> words;
  std::unordered_set<std::string> fresh;
  while (words.size() < count) {
    std::string word = RandomWord(9, 14);
    std::string reversed(word.rbegin(), word.rend());
    if (used_.count(word) != 0 || used_.count(reversed) != 0 || fresh.count(word) != 0 ||
        fresh.count(reversed) != 0) {
      continue;
    }
    fresh.insert(word);
    words.push_back(std::move(word));
  }
  if (keep) used_.insert(fresh.begin(), fresh.end());
  return words;
}

// Builds prefix from words, each written with some capitals and a hyphen
// that normalisation removes again.
bool Soak::BuildDictionary(const std::vector<std::string> &words, const char *prefix) {
  std::string list;
  for (const std::string &word : words) {
    const size_t half = word.size() / 2;
    list += static_cast<char>(word[0] - 'a' + 'A');
    list.append(word, 1, half - 1);
    list += '-';
    list.append(word, half, std::string::npos);
    list += rng_() % 2 == 0 ? "\n" : "\r\n";
  }
  if (!WriteText(kProfileList, list)) {
    Fail("cannot write the word list for %s", prefix);
    return false;
  }
  const char *answer = CreateDict(kProfileList, prefix);
  if (std::strcmp(answer, "RET_CD=0000") != 0) {
    Fail("CreateDict(%s) answered \"%s\"", prefix, answer);
    return false;
  }
  return true;
}

bool Soak::Prepare() {
  std::error_code ec;
  old_cwd_ = fs::current_path(ec).string();
  const char *tmp = getenv("TMPDIR");
  std::string templ =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quarvel-soak-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) {
    Fail("cannot create a working folder under %s", templ.c_str());
    return false;
  }
  folder_ = templ;
  if (chdir(folder_.c_str()) != 0 || mkdir("conf", 0700) != 0 || mkdir("dicts", 0700) != 0) {
    Fail("cannot prepare %s", folder_.c_str());
    return false;
  }
  default_words_ = WordList(3000, /*keep=*/true);
  extra_words_ = WordList(1000, /*keep=*/true);
  if (!BuildDictionary(default_words_, "./dicts/default_dict") ||
      !BuildDictionary(extra_words_, "./dicts/extra")) {
    return false;
  }
  password_.reserve(512);
  Reload();
  return quarvel::testing::Failures() == 0;
}

// Two configurations in turn; both name the extra dictionary. The second
// switches every search on.
void Soak::Reload() {
  config_variant_ ^= 1;
  const bool all_on = config_variant_ == 1;
  const std::string config = std::string(
                                 "[QUARVEL_DICT]\n"
                                 "dict.file.prefix.2=./dicts/extra\n"
                                 "[QUARVEL_RULE]\n") +
                             (all_on ? "quarvel_rule.min_len=9\n"
                                       "quarvel_rule.min_step=4\n"
                                       "quarvel_rule.min_rept=2\n"
                                       "quarvel_rule.prefix_num=1\n"
                                       "[QUARVEL_SEARCH]\n"
                                       "quarvel_search.pw_prefix_num=1\n"
                                       "quarvel_search.pw_reverse=1\n"
                                       "quarvel_search.pw_min_rept=1\n"
                                     : "quarvel_rule.min_rept=2\n");
  if (!WriteText("conf/quarvel.ini", config)) {
    Fail("cannot write the configuration file");
    return;
  }
  char want[160];
  snprintf(want, sizeof(want),
           "RET_CD=0000:PW_LEN=%d:CTS_NCR=%d:REPT_NCR=%d:NCHAR=4:USE_DICT_CNT=2:USE_PDICT=%s",
           all_on ? 9 : 6, all_on ? 4 : 3, all_on ? 2 : 0, profile_exists_ ? "01" : "00");
  const char *answer = LoadConfigFile();
  if (std::strcmp(answer, want) != 0) {
    Fail("reload %ld answered \"%s\", expected \"%s\"", reloads_done_, answer, want);
  }
  ++reloads_done_;
}

void Soak::BuildProfile() {
  profile_words_ = WordList(10 + rng_() % 50, /*keep=*/false);
  if (BuildDictionary(profile_words_, kProfilePrefix)) {
    profile_exists_ = true;
    if (USEPROFILE != 1) Fail("USEPROFILE is %d after build %ld", USEPROFILE, builds_);
  }
  ++builds_;
}

void Soak::DeleteProfile() {
  const char *answer = DeleteDict(kProfilePrefix);
  if (std::strcmp(answer, "RET_CD=0000") != 0) {
    Fail("DeleteDict answered \"%s\"", answer);
  }
  profile_exists_ = false;
  if (USEPROFILE != 0) Fail("USEPROFILE is %d after deletion %ld", USEPROFILE, deletions_);
  ++deletions_;
}

// One password of a kind drawn at random, and its check.
void Soak::VerifyOne(long round) {
  const char *pdf = profile_exists_ ? "00" : "XX";
  int dict_count = 3;  // searched both configured dictionaries, found in neither
  bool refused = false;
  const unsigned kind = static_cast<unsigned>(rng_() % 20);
  const bool dictionary_word = kind < 6 || (kind < 9 && !profile_words_.empty());
  password_.clear();
  if (kind < 3) {  // a word of the default dictionary
    password_ = default_words_[rng_() % default_words_.size()];
    dict_count = 1;
  } else if (kind < 6) {  // a word of the configured dictionary
    password_ = extra_words_[rng_() % extra_words_.size()];
    dict_count = 2;
  } else if (dictionary_word) {  // a word of the (last) personal dictionary
    password_ = profile_words_[rng_() % profile_words_.size()];
    if (profile_exists_) pdf = "01";
  } else if (kind == 19) {  // refused: empty or too long
    if (rng_() % 2 == 0) password_.assign(258 + rng_() % 100, 'k');
    refused = true;
  } else {  // any bytes but NUL, of any accepted length
    const size_t length = 1 + rng_() % (rng_() % 4 == 0 ? 257 : 24);
    for (size_t i = 0; i < length; ++i) password_ += static_cast<char>(1 + rng_() % 255);
  }
  if (dictionary_word) {  // in mixed case: stage 3 lower-cases them
    for (char &c : password_) {
      if (rng_() % 3 == 0) c = static_cast<char>(c - 'a' + 'A');
    }
  }

  const auto start = std::chrono::steady_clock::now();
  const char *answer = VerifyPW(password_.c_str());
  verify_time_ += std::chrono::steady_clock::now() - start;

  if (refused) {
    if (std::strcmp(answer, "RET_CD=2000") != 0) {
      Fail("round %ld: a password of %zu bytes got \"%s\"", round, password_.size(), answer);
    }
    return;
  }
  const Expected want{static_cast<int>(std::min<size_t>(password_.size(), 256)), dict_count, pdf};
  if (!WellFormedVerification(answer, want)) {
    Fail(
        "round %ld (kind %u, %zu bytes, profile %s): \"%s\", expected PW_LEN=%d, "
        "DICT_FD_CNT=%d, PDICT_FD=%s",
        round, kind, password_.size(), profile_exists_ ? "present" : "absent", answer, want.length,
        want.dict_count, want.pdf);
  }
}

void Soak::Run() {
  const long reload_every = std::max<long>(1, verifications_ / reloads_);
  const long profile_every = std::max<long>(1, verifications_ / (2 * cycles_));
  // Warmed up once a tenth of the rounds, two build-and-delete cycles and
  // ten reloads are behind: every cache and buffer has then been used.
  const long warm_up = std::min(
      verifications_ - 1, std::max({verifications_ / 10, 4 * profile_every, 10 * reload_every}));

  const long fds_before = OpenDescriptors();
  long rss_warm = -1;
  const auto start = std::chrono::steady_clock::now();
  for (long round = 0; round < verifications_; ++round) {
    if (round % reload_every == 0 && reloads_done_ <= reloads_) Reload();
    if (round % profile_every == 0 && deletions_ < cycles_) {
      if (profile_exists_) {
        DeleteProfile();
      } else {
        BuildProfile();
      }
    }
    VerifyOne(round);
    if (round == warm_up) rss_warm = ResidentKiB();
  }
  if (profile_exists_) DeleteProfile();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double verify_seconds = std::chrono::duration<double>(verify_time_).count();
  const long rss_end = ResidentKiB();
  const long fds_after = OpenDescriptors();

  Report("scale %g: %ld verifications, %ld reloads, %ld builds, %ld deletions in %.2f s", scale_,
         verifications_, reloads_done_, builds_, deletions_, seconds);
  Report("%.0f verifications/s overall, %.0f/s counting verification time only",
         verifications_ / seconds, verifications_ / verify_seconds);
  Report("open descriptors: %ld before, %ld after", fds_before, fds_after);
  if (fds_before < 0 || fds_after != fds_before) {
    Fail("descriptors leaked: %ld before, %ld after", fds_before, fds_after);
  }
  Report("resident memory: %ld KiB after warm-up (round %ld), %ld KiB at the end: %+ld KiB",
         rss_warm, warm_up, rss_end, rss_end - rss_warm);
#ifdef QUARVEL_SOAK_ASAN
  Report(
      "note: memory growth not checked in this AddressSanitizer build (its allocator "
      "quarantine keeps freed memory resident)");
#else
  if (rss_warm <= 0 || rss_end <= 0) {
    Fail("resident memory cannot be read");
  } else if (rss_end - rss_warm >= kRssLimitKiB) {
    Fail("resident memory grew by %ld KiB after warm-up (limit %ld KiB)", rss_end - rss_warm,
         kRssLimitKiB);
  }
#endif
  if (builds_ != cycles_ || deletions_ != cycles_ || reloads_done_ < reloads_) {
    Fail("schedule incomplete: %ld builds, %ld deletions, %ld reloads", builds_, deletions_,
         reloads_done_);
  }
}

void Soak::Finish() {
  std::error_code ec;
  if (!old_cwd_.empty()) fs::current_path(old_cwd_, ec);
  if (!folder_.empty()) fs::remove_all(folder_, ec);
}

}  // namespace

int main(int argc, char **argv) {
  double scale = 1.0;
  for (int i = 1; i < argc; ++i) {
    char *end = nullptr;
    if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc) {
      scale = std::strtod(argv[++i], &end);
      if (end == argv[i] || *end != '\0' || !(scale > 0) || scale > 1000) {
        fprintf(stderr, "soak: --scale needs a number above 0\n");
        return 2;
      }
    } else {
      fprintf(stderr, "usage: soak [--scale S]\n");
      return 2;
    }
  }

  // Trace lines to /dev/null, the report to the original standard output.
  if (!quarvel::testing::StartReport("soak")) return 2;

  Soak soak(scale);
  if (soak.Prepare()) soak.Run();
  soak.Finish();
  return quarvel::testing::FinishReport();
}
