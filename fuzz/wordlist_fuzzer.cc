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

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "quarvel/pwanalysis.h"

namespace {

using quarvel::fuzz::Printable;

std::vector<std::string> Normalised(std::string_view list) {
  std::vector<std::string> words;
  std::string word;
  auto end_word = [&] {
    if (!word.empty()) words.push_back(word.substr(0, 31));
    word.clear();
  };
  for (char c : list) {
    if (c == '\r' || c == '\n') {
      end_word();
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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  quarvel::fuzz::Setup(argc, argv, quarvel::fuzz::kQuietStdout | quarvel::fuzz::kQuietStderr);
  std::filesystem::create_directory("dicts");
  std::filesystem::create_directory("probe");
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
    FUZZ_CHECK(file == "f.hwm" || file == "f.pwd" || file == "f.pwi" || file == "profile.hwm" ||
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

  if (personal) {
    DeleteDict(prefix);
    FUZZ_CHECK(USEPROFILE == 0);
    FUZZ_CHECK(!quarvel::fuzz::Exists("dicts/profile.pwd") &&
               !quarvel::fuzz::Exists("dicts/profile.pwi") &&
               !quarvel::fuzz::Exists("dicts/profile.hwm"));
  }
  return 0;
}
