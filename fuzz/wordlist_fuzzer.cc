// Fuzz target: word lists.
//
// The input is a word list. A dictionary is built from it with CreateDict
// and dumped with Dict2Data. The dump must hold exactly the list's words as
// normalised here, independently of the library: each carriage return and
// each line feed ends a line, the last line counts without a line end,
// upper-case ASCII letters are lowered, every byte other than a-z and 0-9 is
// dropped, words are cut to 31 characters, empty words are left out, and
// every duplicate stays. The dump must be in ascending byte order. The build
// must leave nothing behind but the dictionary's three files, remove its
// temporary list, keep the word list, and close its dictionary.
//
// Inputs of odd length build the personal dictionary instead, which must
// switch USEPROFILE on exactly when the dictionary holds a word, and off
// again when it is deleted.
//
// The list is also built as a UTF-8 list (quarvel_build with utf8): every
// word dumped must be valid UTF-8 (as iconv decodes it) of 1 to 31 bytes
// without ASCII capitals or ASCII other than letters and digits, each once,
// in ascending byte order; for a list of ASCII only they must be the
// distinct words of the model above, each line read up to its 255th byte.
//
// The input is also the body of a hunspell affix file beside a small ko.dic,
// and the Korean dictionary is built from them: the build must succeed,
// keep the ko.dic words, and hold only words of Hangul syllables, each once
// and in order; the romanised words beside it only lower-case ASCII letters,
// four or more.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "quarvel/engine.h"
#include "quarvel/pwanalysis.h"

namespace {

using quarvel::fuzz::Printable;

// line_bytes: bytes of a line read, the rest ignored.
std::vector<std::string> Normalised(std::string_view list, size_t line_bytes = SIZE_MAX) {
  std::vector<std::string> words;
  std::string word;
  size_t in_line = 0;
  auto end_word = [&] {
    if (!word.empty()) words.push_back(word.substr(0, 31));
    word.clear();
    in_line = 0;
  };
  for (char c : list) {
    if (c == '\r' || c == '\n') {
      end_word();
    } else if (++in_line > line_bytes) {
      continue;
    } else if (c >= 'A' && c <= 'Z') {
      word.push_back(static_cast<char>(c - 'A' + 'a'));
    } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      word.push_back(c);
    }
  }
  end_word();
  std::sort(words.begin(), words.end());
  return words;
}

std::set<std::string> FilesIn(const char *folder) {
  std::set<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// The lines of a dump.
std::vector<std::string> DumpedWords(const char *prefix) {
  std::vector<std::string> words;
  if (Dict2Data("dump.txt", prefix) != 0) return words;
  std::string dump;
  FUZZ_CHECK(quarvel::fuzz::ReadFile("dump.txt", dump));
  size_t start = 0;
  for (size_t end; (end = dump.find('\n', start)) != std::string::npos; start = end + 1) {
    words.push_back(dump.substr(start, end - start));
  }
  return words;
}

void CheckUtf8Build(std::string_view list) {
  quarvel_build_options options = {};
  options.size = sizeof(options);
  options.utf8 = 1;
  const char *source = "list.txt";
  char error[256] = "";
  FUZZ_CHECK(
      quarvel_build(nullptr, "./dicts/u", &source, 1, &options, nullptr, error, sizeof(error)) == 0,
      std::string(error));
  const std::vector<std::string> words = DumpedWords("./dicts/u");
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string &w = words[i];
    FUZZ_CHECK(!w.empty() && w.size() <= 31, "utf8 word " + Printable(w));
    const bool ascii = std::none_of(w.begin(), w.end(), [](char c) { return (c & 0x80) != 0; });
    FUZZ_CHECK(ascii || quarvel::fuzz::MeasuredLength(w) < w.size(),
               "utf8 word not valid UTF-8: " + Printable(w));
    for (char c : w) {
      const bool ascii = static_cast<unsigned char>(c) < 0x80;
      FUZZ_CHECK(!ascii || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'),
                 "utf8 word " + Printable(w));
    }
    FUZZ_CHECK(i == 0 || words[i - 1] < w, "utf8 words out of order at " + Printable(w));
  }
  if (std::all_of(list.begin(), list.end(), [](char c) { return (c & 0x80) == 0; })) {
    std::vector<std::string> expected = Normalised(list, 255);
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    FUZZ_CHECK(words == expected, std::to_string(words.size()) + " utf8 words, " +
                                      std::to_string(expected.size()) + " expected");
  }
}

bool AllSyllables(std::string_view w) {
  if (w.empty() || w.size() % 3 != 0) return false;
  for (size_t i = 0; i < w.size(); i += 3) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(w[i + k]); };
    if ((b(0) & 0xF0) != 0xE0 || (b(1) & 0xC0) != 0x80 || (b(2) & 0xC0) != 0x80) return false;
    const unsigned c = ((b(0) & 0x0Fu) << 12) | ((b(1) & 0x3Fu) << 6) | (b(2) & 0x3Fu);
    if (c < 0xAC00 || c > 0xD7A3) return false;
  }
  return true;
}

void CheckAffixBuild(std::string_view body) {
  // 사랑하다 with alias 1, 먹다 with flags 1 and 2, 비밀 with none.
  quarvel::fuzz::WriteFile("ko.dic",
                           "3\n\u1109\u1161\u1105\u1161\u11BC\u1112\u1161\u1103\u1161/1\n"
                           "\u1106\u1165\u11A8\u1103\u1161/2\n\u1107\u1175\u1106\u1175\u11AF\n");
  quarvel::fuzz::WriteFile("ko.aff", "FLAG num\nAF 2\nAF 1\nAF 1,2\n" + std::string(body));
  char error[256] = "";
  FUZZ_CHECK(quarvel_build_language(nullptr, "ko", "./korean/k", "ko.dic", nullptr, nullptr, error,
                                    sizeof(error)) == 0,
             std::string(error));
  const std::vector<std::string> words = DumpedWords("./korean/k");
  for (size_t i = 0; i < words.size(); ++i) {
    FUZZ_CHECK(AllSyllables(words[i]), "Korean word " + Printable(words[i]));
    FUZZ_CHECK(i == 0 || words[i - 1] < words[i], "Korean words out of order");
  }
  for (const char *stem : {"사랑하다", "먹다", "비밀"}) {
    FUZZ_CHECK(std::binary_search(words.begin(), words.end(), std::string(stem)),
               std::string("Korean word missing: ") + stem);
  }
  for (const std::string &w : DumpedWords("./korean/k_roman")) {
    FUZZ_CHECK(w.size() >= 4 && w.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == w.npos,
               "romanised word " + Printable(w));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  quarvel::fuzz::Setup(argc, argv, quarvel::fuzz::kQuietStdout | quarvel::fuzz::kQuietStderr);
  std::filesystem::create_directory("dicts");
  std::filesystem::create_directory("probe");
  std::filesystem::create_directory("korean");
  quarvel::fuzz::WriteFile("probe/list.txt", "one\ntwo\n");
  FUZZ_CHECK(std::string_view(CreateDict("probe/list.txt", "./probe/dict")) == "RET_CD=0000");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view list(reinterpret_cast<const char *>(data), size);
  const bool personal = size % 2 == 1;
  const char *prefix = personal ? "./dicts/profile" : "./dicts/f";
  const std::string name = personal ? "profile" : "f";
  quarvel::fuzz::WriteFile("list.txt", list);
  const std::vector<std::string> expected = Normalised(list);

  const std::string_view answer = CreateDict("list.txt", prefix);
  FUZZ_CHECK(answer == "RET_CD=0000", std::string(answer));
  FUZZ_CHECK(!quarvel::fuzz::Exists("make.txt"));
  FUZZ_CHECK(quarvel::fuzz::Exists("list.txt"));
  // The three files, and no staging file: "f" stays from one input to the
  // next, so that builds also replace an existing dictionary.
  for (const std::string &file : FilesIn("dicts")) {
    FUZZ_CHECK(file == "f.hwm" || file == "f.pwd" || file == "f.pwi" || file == "u.hwm" ||
                   file == "u.pwd" || file == "u.pwi" || file == "u.pwf" || file == "profile.hwm" ||
                   file == "profile.pwd" || file == "profile.pwi",
               "left in dicts: " + Printable(file));
  }
  for (const char *extension : {".hwm", ".pwd", ".pwi"}) {
    FUZZ_CHECK(quarvel::fuzz::Exists("dicts/" + name + extension));
  }
  FUZZ_CHECK(quarvel::fuzz::NoDictionaryOpen("./probe/dict"));
  if (personal) FUZZ_CHECK(USEPROFILE == (expected.empty() ? 0 : 1));

  const int dumped = Dict2Data("dump.txt", prefix);
  std::string dump;
  FUZZ_CHECK(quarvel::fuzz::ReadFile("dump.txt", dump));
  FUZZ_CHECK(quarvel::fuzz::NoDictionaryOpen("./probe/dict"));
  if (expected.empty()) {
    // A dictionary without words does not open.
    FUZZ_CHECK(dumped == -1 && dump.empty());
  } else {
    FUZZ_CHECK(dumped == 0);
    std::vector<std::string> words;
    size_t start = 0;
    for (size_t end; (end = dump.find('\n', start)) != std::string::npos; start = end + 1) {
      words.push_back(dump.substr(start, end - start));
    }
    FUZZ_CHECK(start == dump.size(), "dump does not end with a line feed");
    for (size_t i = 0; i < words.size(); ++i) {
      const std::string &w = words[i];
      FUZZ_CHECK(!w.empty() && w.size() <= 31, "dumped word " + Printable(w));
      FUZZ_CHECK(w.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") == std::string::npos,
                 "dumped word " + Printable(w));
      FUZZ_CHECK(i == 0 || words[i - 1] <= w,
                 "out of order: " + Printable(words[i - 1]) + " before " + Printable(w));
    }
    size_t first_difference = 0;
    while (first_difference < words.size() && first_difference < expected.size() &&
           words[first_difference] == expected[first_difference]) {
      ++first_difference;
    }
    auto word_at = [](const std::vector<std::string> &list, size_t i) {
      return i < list.size() ? Printable(list[i]) : std::string("(end)");
    };
    FUZZ_CHECK(words == expected, std::to_string(words.size()) + " words dumped, " +
                                      std::to_string(expected.size()) + " expected; word " +
                                      std::to_string(first_difference) + " is " +
                                      word_at(words, first_difference) + ", expected " +
                                      word_at(expected, first_difference));
  }

  CheckUtf8Build(list);
  CheckAffixBuild(list);

  if (personal) {
    DeleteDict(prefix);
    FUZZ_CHECK(USEPROFILE == 0);
    FUZZ_CHECK(!quarvel::fuzz::Exists("dicts/profile.pwd") &&
               !quarvel::fuzz::Exists("dicts/profile.pwi") &&
               !quarvel::fuzz::Exists("dicts/profile.hwm"));
  }
  return 0;
}
