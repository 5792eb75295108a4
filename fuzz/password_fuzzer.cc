// Fuzz target: password verification.
//
// A fixed environment is built once: a configuration that switches on the
// reversed search, a hundred numeric suffixes and prefixes and the repeat
// test; the default dictionary, one more configured dictionary, and the
// personal dictionary, each built with CreateDict from a small word list.
// The configuration switches the extended search profile on, with Korean
// (and its romanised words) and German language dictionaries built with
// quarvel_build_language from lists in their Debian formats; each input is
// also verified with it off, by the process-wide switch that
// LoadConfigFile sets. With it on, the length counts the characters of
// valid UTF-8 (measured with iconv), and the language dictionaries
// count among those searched. Each input, cut at its first NUL, is verified. The
// answer must be
// "RET_CD=2000" exactly when the password is empty or longer than 257 bytes,
// and otherwise a complete, well-formed "RET_CD=0000" answer whose fields
// agree with measurements made here: length, character classes, repeated
// pieces, neighbours in sequence, a hit for a password that a dictionary
// holds as it is, and the level that these give (with the profile on, at
// most 2 after a hit). The profile only finds more: the same measurements,
// a dictionary that answers no later, and a common word (with letters) with
// up to four digits after it always found. No dictionary may be open afterwards.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "quarvel/engine.h"
#include "quarvel/pwanalysis.h"
#include "search/rule_table.h"

namespace {

using quarvel::fuzz::Printable;

constexpr char kConfig[] =
    "[QUARVEL_DICT]\n"
    "dict.file.prefix.1=./dicts/names\n"
    "[QUARVEL_RULE]\n"
    "quarvel_rule.min_len=8\n"
    "quarvel_rule.min_diff=5\n"
    "quarvel_rule.min_step=3\n"
    "quarvel_rule.postfix_num=2\n"
    "quarvel_rule.prefix_num=2\n"
    "quarvel_rule.min_rept=1\n"
    "[QUARVEL_SEARCH]\n"
    "quarvel_search.pw_postfix_num=1\n"
    "quarvel_search.pw_prefix_num=1\n"
    "quarvel_search.pw_reverse=1\n"
    "quarvel_search.pw_min_rept=1\n"
    "quarvel_search.extended=1\n";
// Dictionaries searched with the profile off, and on.
constexpr int kSearchedOff = 2, kSearchedOn = 5;
constexpr unsigned kMinDiff = 5;
constexpr int kMinRept = 1;
constexpr unsigned kMinStep = 3;

constexpr char kCommon[] =
    "password\nqwerty\nletmein\ndragon\nmonkey\nsunshine\nfootball\nprincess\nwelcome\n"
    "shadow\nmaster\nabc123\niloveyou\ntrustno1\nsecret\nsummer\nwinter\nbaseball\n"
    "superman\nbatman\nhello\nfreedom\nwhatever\nstarwars\nzaq12wsx\n123456\n111111\n";
constexpr char kNames[] = "alice\nbob\ncharlie\ndiana\nedward\nfiona\ngeorge\nhelena\nivan\n";
constexpr char kPersonal[] = "fluffy\njohnsmith\n19850412\nmaplestreet\nrexdog\n";

std::set<std::string> g_common, g_names, g_personal;

std::set<std::string> Lines(std::string_view text) {
  std::set<std::string> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    lines.emplace(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  return lines;
}

int BaseScore(size_t length, int classes) {
  // Rows by length: 0-6, 7, 8, 9-13, 14 and more; columns by classes.
  static const int kRows[5][4] = {
      {1, 1, 1, 1}, {1, 1, 3, 3}, {1, 2, 3, 3}, {2, 3, 3, 3}, {4, 4, 4, 4}};
  auto row_of = [](size_t n) { return n <= 6 ? 0 : n == 7 ? 1 : n == 8 ? 2 : n <= 13 ? 3 : 4; };
  const size_t row = std::min<size_t>(length, 49);
  // Without any class, the last entry of the row before.
  return classes > 0 ? kRows[row_of(row)][classes - 1] : kRows[row_of(row - 1)][3];
}

int Classes(std::string_view text) {
  static const std::string_view kSets[] = {"0123456789", "abcdefghijklmnopqrstuvwxyz",
                                           "ABCDEFGHIJKLMNOPQRSTUVWXYZ",
                                           "`~!@#$%^&*()-_=+\\|]}[{'\";:/?.>,<"};
  int classes = 0;
  for (std::string_view set : kSets) {
    if (text.find_first_of(set) != std::string_view::npos) ++classes;
  }
  return classes;
}

int Repeats(std::string_view text) {
  if (text.empty()) return 0;
  const size_t half = std::min<size_t>(text.size() - 1, 255) / 2;
  int count = 0;
  for (size_t s = 0; s + 2 <= half; ++s) {
    const std::string_view piece = text.substr(s, 2);
    int seen = 0;
    for (size_t p = 0; p + 2 <= text.size(); ++p) seen += text.substr(p, 2) == piece;
    if (seen >= 2) ++count;
  }
  return count;
}

int Sequences(std::string_view text) {
  int count = 0;
  for (size_t i = 1; i < text.size(); ++i) {
    const int step = static_cast<signed char>(text[i]) - static_cast<signed char>(text[i - 1]);
    count += step == 1 || step == -1;
  }
  return count;
}

// Reads "name" followed by a decimal number from the front of text.
std::optional<int> Field(std::string_view &text, std::string_view name) {
  if (text.substr(0, name.size()) != name) return std::nullopt;
  text.remove_prefix(name.size());
  size_t digits = 0;
  int value = 0;
  while (digits < text.size() && digits < 6 && text[digits] >= '0' && text[digits] <= '9') {
    value = value * 10 + (text[digits++] - '0');
  }
  if (digits == 0) return std::nullopt;
  text.remove_prefix(digits);
  return value;
}

struct Answer {
  int level, length, classes, repeats, sequences, dict_count;
  std::string personal;
};

std::optional<Answer> Parse(std::string_view text) {
  std::optional<int> f[6];
  const char *names[] = {
      "RET_CD=0000:RT_LEVEL=", ":PW_LEN=", ":PW_NCR=", ":REPT_NCR=", ":CTS_NCR=", ":DICT_FD_CNT="};
  for (int i = 0; i < 6; ++i) {
    f[i] = Field(text, names[i]);
    if (!f[i]) return std::nullopt;
  }
  if (text != ":PDICT_FD=01" && text != ":PDICT_FD=00" && text != ":PDICT_FD=XX") {
    return std::nullopt;
  }
  const Answer a = {*f[0], *f[1], *f[2], *f[3], *f[4], *f[5], std::string(text.substr(10))};
  if (a.level < 1 || a.level > 4 || a.classes > 4) return std::nullopt;
  return a;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  quarvel::fuzz::Setup(argc, argv, quarvel::fuzz::kQuietStdout | quarvel::fuzz::kQuietStderr);
  std::filesystem::create_directory("conf");
  std::filesystem::create_directory("dicts");
  quarvel::fuzz::WriteFile("conf/quarvel.ini",
                           kConfig + quarvel::fuzz::BuildLanguageDictionaries());
  const struct {
    const char *list;
    const char *prefix;
    const char *words;
    std::set<std::string> *set;
  } kBuilds[] = {{"common.txt", "./dicts/default_dict", kCommon, &g_common},
                 {"names.txt", "./dicts/names", kNames, &g_names},
                 {"personal.txt", "./dicts/profile", kPersonal, &g_personal}};
  for (const auto &build : kBuilds) {
    quarvel::fuzz::WriteFile(build.list, build.words);
    FUZZ_CHECK(std::string_view(CreateDict(build.list, build.prefix)) == "RET_CD=0000");
    *build.set = Lines(build.words);
  }
  const std::string_view loaded = LoadConfigFile();
  FUZZ_CHECK(loaded.starts_with("RET_CD=0000:") && loaded.ends_with(":USE_DICT_CNT=2:USE_PDICT=01"),
             std::string(loaded));
  return 0;
}

namespace {

// Verifies password with the extended profile on or off; checks the answer
// against the measurements made here and returns it parsed (nullopt for a
// refused password).
std::optional<Answer> Verify(const std::string &password, bool extended) {
  quarvel::search::EXTENDED = extended ? 1 : 0;
  const std::string answer = VerifyPW(password.c_str());
  quarvel::search::EXTENDED = 1;
  FUZZ_CHECK(quarvel::fuzz::NoDictionaryOpen("./dicts/names"));
  if (password.empty() || password.size() > 257) {
    FUZZ_CHECK(answer == "RET_CD=2000", answer);
    return std::nullopt;
  }
  const std::optional<Answer> a = Parse(answer);
  FUZZ_CHECK(a.has_value(),
             "malformed answer " + Printable(answer) + " for " + Printable(password));

  // Stages 1 and 2 measure the first 256 bytes as given; the later ones
  // their lower-cased form without trailing white space.
  const std::string_view measured = std::string_view(password).substr(0, 256);
  std::string search(measured);
  for (char &c : search) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  while (!search.empty() && std::strchr(" \t\n\v\f\r", search.back()) != nullptr) search.pop_back();
  const std::string context =
      " for " + Printable(password) + ": " + Printable(answer) + (extended ? " (extended)" : "");

  const size_t length = extended ? quarvel::fuzz::MeasuredLength(measured) : measured.size();
  FUZZ_CHECK(a->length == static_cast<int>(length), context);
  FUZZ_CHECK(a->classes == Classes(measured), context);
  FUZZ_CHECK(a->repeats == Repeats(search), context);
  FUZZ_CHECK(a->sequences == Sequences(search), context);
  // Two configured dictionaries (and with the profile three language ones):
  // the count of those searched up to the one that held a variant, or one
  // more than all of them for none. The personal dictionary is in use.
  const int none = (extended ? kSearchedOn : kSearchedOff) + 1;
  FUZZ_CHECK(a->dict_count >= 1 && a->dict_count <= none, context);
  FUZZ_CHECK(a->personal == "01" || a->personal == "00", context);
  if (g_common.count(search) != 0) FUZZ_CHECK(a->dict_count == 1, context);
  if (g_names.count(search) != 0) FUZZ_CHECK(a->dict_count <= 2, context);
  if (g_personal.count(search) != 0) FUZZ_CHECK(a->personal == "01", context);

  std::set<char> distinct(measured.begin(), measured.end());
  int score = BaseScore(length, a->classes);
  score -= distinct.size() < kMinDiff;
  score -= a->repeats > kMinRept;
  score -= static_cast<unsigned>(a->sequences) > kMinStep;
  score -= a->dict_count != none;
  score -= a->personal == "01";
  int level = score >= 2 && score <= 4 ? score : 1;
  if (extended && (a->dict_count != none || a->personal == "01")) level = std::min(level, 2);
  FUZZ_CHECK(a->level == level, context);
  if (extended) {
    // A common word with letters, with up to four digits after it.
    size_t end = search.size();
    while (end > 0 && search.size() - end < 4 && search[end - 1] >= '0' && search[end - 1] <= '9') {
      --end;
    }
    const std::string word = search.substr(0, end);
    if (end < search.size() && g_common.count(word) != 0 &&
        word.find_first_of("abcdefghijklmnopqrstuvwxyz") != std::string::npos) {
      FUZZ_CHECK(a->dict_count == 1, context);
    }
  }
  return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string password(reinterpret_cast<const char *>(data),
                             strnlen(reinterpret_cast<const char *>(data), size));
  const std::optional<Answer> off = Verify(password, false);
  const std::optional<Answer> on = Verify(password, true);
  if (!off) return 0;
  const std::string context = " for " + Printable(password);
  FUZZ_CHECK(on.has_value(), context);
  FUZZ_CHECK(on->length <= off->length && on->classes == off->classes, context);
  FUZZ_CHECK(on->repeats == off->repeats && on->sequences == off->sequences, context);
  if (off->dict_count <= kSearchedOff) FUZZ_CHECK(on->dict_count <= off->dict_count, context);
  FUZZ_CHECK(off->personal != "01" || on->personal == "01", context);
  FUZZ_CHECK(on->level <= off->level, context);
  return 0;
}
