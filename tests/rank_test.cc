// Ranked dictionaries: quarvel_build with ranked against a model of first
// positions (in memory and through spilled runs), read back decoded, mapped
// and with pread; rank files that are hostile, truncated or stale; unranked
// dictionaries; and which builds leave, replace or remove the rank file.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "format/coding.h"
#include "quarvel/engine.h"
#include "quarvel/pwanalysis.h"
#include "store/dictionary.h"
#include "testing/test_util.h"

namespace {

using quarvel::engine::Dictionary;
using quarvel::testing::FileExists;
using quarvel::testing::ReadFile;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;
using Model = std::map<std::string, uint32_t>;

// The model: each word as the build normalises it, at the position (from 1,
// over the lists in order, counting lines that give a word) where it first
// appears.
Model FirstPositions(const std::vector<std::string> &lists) {
  Model first;
  uint32_t position = 0;
  for (const std::string &list : lists) {
    std::string word;
    auto end_word = [&] {
      if (!word.empty()) first.emplace(word.substr(0, 31), ++position);
      word.clear();
    };
    for (const char c : list) {
      if (c == '\n' || c == '\r') {
        end_word();
      } else if (c >= 'A' && c <= 'Z') {
        word += static_cast<char>(c - 'A' + 'a');
      } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        word += c;
      }
    }
    end_word();
  }
  return first;
}

class RankTest : public ::testing::Test {
 protected:
  // quarvel_build of prefix_ from lists written to files; answers the code.
  int Build(const std::vector<std::string> &lists, bool ranked, uint64_t budget = 0,
            uint32_t options_size = sizeof(quarvel_build_options)) {
    std::vector<std::string> names;
    for (size_t i = 0; i < lists.size(); ++i) {
      names.push_back(dir_.File("list" + std::to_string(i) + ".txt"));
      WriteFile(names.back(), lists[i]);
    }
    std::vector<const char *> sources;
    for (const std::string &name : names) sources.push_back(name.c_str());
    quarvel_build_options options = {};
    options.size = options_size;
    options.memory_budget = budget;
    options.ranked = ranked ? 1 : 0;
    return quarvel_build(nullptr, prefix_.c_str(), sources.data(), sources.size(), &options,
                         nullptr, error_, sizeof(error_));
  }

  // The dictionary at prefix_ served as asked: "decoded", "mapped", or
  // "pread" (its mark file made a folder, so that it cannot be mapped).
  std::shared_ptr<const Dictionary> Open(const std::string &how) {
    quarvel::engine::SetDecodedDataBytes(how == "decoded" ? quarvel::engine::kDecodedDataBytes : 0);
    const std::string marks = prefix_ + ".hwm";
    if (how == "pread") {
      EXPECT_EQ(rename(marks.c_str(), (marks + ".kept").c_str()), 0);
      EXPECT_EQ(mkdir(marks.c_str(), 0700), 0);
    }
    auto dict = Dictionary::Open(prefix_, /*trusted=*/true);
    if (how == "pread") {
      EXPECT_EQ(rmdir(marks.c_str()), 0);
      EXPECT_EQ(rename((marks + ".kept").c_str(), marks.c_str()), 0);
    }
    quarvel::engine::SetDecodedDataBytes(quarvel::engine::kDecodedDataBytes);
    EXPECT_TRUE(dict->ok()) << dict->failure();
    EXPECT_EQ(dict->decoded(), how == "decoded");
    EXPECT_EQ(dict->mapped(), how == "mapped");
    return dict;
  }

  // Every word with its index and rank, as the dictionary hands them on.
  static Model Ranks(const Dictionary &dict) {
    Model ranks;
    uint32_t next = 0;
    dict.ForEachWord([&](uint32_t index, std::string_view word) {
      EXPECT_EQ(index, next++);
      EXPECT_EQ(dict.Find(std::string(word).c_str()), index) << word;
      ranks.emplace(word, dict.Rank(index));
    });
    EXPECT_EQ(next, dict.word_count());
    return ranks;
  }

  static void ExpectUnranked(const Dictionary &dict) {
    EXPECT_FALSE(dict.ranked());
    for (uint32_t i = 0; i <= dict.word_count(); ++i) EXPECT_EQ(dict.Rank(i), dict.word_count());
    EXPECT_EQ(dict.Rank(UINT32_MAX), dict.word_count());
  }

  TempDir dir_;
  std::string prefix_ = dir_.File("dict");
  std::string ranks_ = prefix_ + ".pwr";
  char error_[256] = {};
};

TEST_F(RankTest, RankedBuildMatchesFirstPositions) {
  std::mt19937 rng(7);
  std::string lines[2];
  for (int i = 0; i < 40000; ++i) {
    std::string line;
    for (int n = static_cast<int>(rng() % 9); n > 0; --n) line += "aBz09 -!Q"[rng() % 9];
    lines[i % 2] += line + (i % 3 == 0 ? "\r\n" : "\n");
  }
  std::string structured;  // first copies early, then again backwards
  for (int i = 0; i < 3000; ++i) structured += "w" + std::to_string(i * 7919 % 3000) + "\n";
  for (int i = 2999; i >= 0; --i) structured += "W" + std::to_string(i) + "!\n";
  const std::string l40(40, 'q');
  const struct {
    const char *name;
    std::vector<std::string> lists;
    uint64_t budget;
  } cases[] = {
      {"first position wins", {"Password\n123456\n\nqwerty\npassword\nabc\n"}, 0},
      {"lists one after the other", {"b\nA", "a\nc\n", "C\nd"}, 0},
      {"line ends; lines without a word", {"x\r\n!!\r\ny\rz\n\n-\n", "\r\nx\ny"}, 0},
      {"cut to 31", {l40 + "\n" + l40.substr(0, 31) + "x\nq\n"}, 0},
      {"in memory", {lines[0], lines[1]}, 0},
      {"spilled runs, duplicates across them", {lines[0], lines[1]}, 4096},
      {"spilled runs, every word twice", {structured}, 2048},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Build(c.lists, true, c.budget), 0) << error_;
    const Model model = FirstPositions(c.lists);
    for (const char *how : {"decoded", "mapped", "pread"}) {
      SCOPED_TRACE(how);
      auto dict = Open(how);
      EXPECT_TRUE(dict->ranked()) << dict->note();
      EXPECT_EQ(Ranks(*dict), model);
    }
  }
}

TEST_F(RankTest, HostileTruncatedAndStaleRankFiles) {
  std::string list;
  for (int i = 0; i < 100; ++i) list += "word" + std::to_string(i * 37 % 100) + "\n";
  ASSERT_EQ(Build({list}, true), 0) << error_;
  const std::string good = ReadFile(ranks_);
  ASSERT_EQ(good.size(), 64u + 4 * 100);
  auto set32 = [](size_t at, uint32_t v) {
    return [=](std::string &b) { quarvel::EncodeFixed32(reinterpret_cast<unsigned char *>(&b[at]), v); };
  };
  auto add64 = [](size_t at) {
    return [=](std::string &b) {
      auto *p = reinterpret_cast<unsigned char *>(&b[at]);
      quarvel::EncodeFixed64(p, quarvel::DecodeFixed64(p) + 1);
    };
  };
  const struct {
    const char *name;
    std::function<void(std::string &)> change;
    const char *reason;  // nullptr: still ranked
  } cases[] = {
      {"empty", [](std::string &b) { b.clear(); }, "shorter than its header"},
      {"cut in the header", [](std::string &b) { b.resize(40); }, "shorter than its header"},
      {"cut in the ranks", [](std::string &b) { b.pop_back(); }, "truncated: 463 bytes"},
      {"a byte more", [](std::string &b) { b += '\1'; }, "too long"},
      {"bad magic", set32(0, 0x66777051), "not a rank file (bad magic)"},
      {"version 2", set32(4, 2), "unknown rank file version"},
      {"unknown flags", set32(60, 1), "unknown rank file flags"},
      {"fewer ranks", set32(56, 99), "holds 99 ranks for a dictionary of 100 words"},
      {"count beyond the file", set32(56, UINT32_MAX), "holds 4294967295 ranks"},
      {"other data size", add64(8), "stale: written for other dictionary files"},
      {"other index checksum", add64(40), "stale: written for other dictionary files"},
      {"other times, other content", [&](std::string &b) { add64(24)(b); add64(48)(b); },
       "stale: the dictionary changed"},
      {"other times, same content (a copy)", add64(32), nullptr},
      {"a rank of 0", set32(64, 0), nullptr},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = good;
    c.change(bytes);
    WriteFile(ranks_, bytes);
    for (const char *how : {"decoded", "mapped"}) {
      auto dict = Open(how);
      EXPECT_NE(dict->Find("word42"), dict->word_count());  // the words are unaffected
      quarvel_dict_info info = {};
      info.size = sizeof(info);
      ASSERT_EQ(quarvel_dict_info_get(prefix_.c_str(), &info, nullptr, 0), 0);
      EXPECT_TRUE(info.intact);
      if (c.reason == nullptr) {
        EXPECT_TRUE(dict->ranked()) << dict->note();
        EXPECT_EQ(info.ranked, 1);
        const uint32_t stored =
            quarvel::DecodeFixed32(reinterpret_cast<const unsigned char *>(&bytes[64]));
        EXPECT_EQ(dict->Rank(0), stored == 0 ? 100u : stored);
        continue;
      }
      ExpectUnranked(*dict);
      EXPECT_NE(dict->note().find("rank file ignored: "), std::string::npos) << dict->note();
      EXPECT_NE(dict->note().find(c.reason), std::string::npos) << dict->note();
      EXPECT_EQ(info.ranked, 0);
      EXPECT_NE(std::string(info.rank_problem).find(c.reason), std::string::npos)
          << info.rank_problem;
    }
  }
  // Not a file at all.
  ASSERT_EQ(unlink(ranks_.c_str()), 0);
  ASSERT_EQ(mkdir(ranks_.c_str(), 0700), 0);
  auto dict = Open("decoded");
  ExpectUnranked(*dict);
  EXPECT_NE(dict->note().find("not a regular file"), std::string::npos) << dict->note();
  // Nor one that opens; an ignored rank file that stays is no change.
  ASSERT_EQ(rmdir(ranks_.c_str()), 0);
  ASSERT_EQ(symlink("dict.pwr", ranks_.c_str()), 0);
  dict = Open("decoded");
  ExpectUnranked(*dict);
  EXPECT_NE(dict->note().find("cannot be opened"), std::string::npos) << dict->note();
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  EXPECT_FALSE(dict->Stale(now));
}

TEST_F(RankTest, UnrankedDictionariesRankEveryWordAtTheWordCount) {
  quarvel::testing::MakeDictionary(prefix_, {"apple", "pear", "plum"});
  for (const char *how : {"decoded", "mapped", "pread"}) {
    auto dict = Open(how);
    ExpectUnranked(*dict);
    EXPECT_EQ(dict->note().find("rank"), std::string::npos) << dict->note();
    EXPECT_EQ(Ranks(*dict), (Model{{"apple", 3}, {"pear", 3}, {"plum", 3}}));
  }
  ASSERT_EQ(Build({"apple\n"}, false), 0) << error_;
  ExpectUnranked(*Open("decoded"));
}

TEST_F(RankTest, WhichBuildsWriteKeepOrRemoveTheRankFile) {
  ASSERT_EQ(Build({"b\na\n"}, true), 0) << error_;
  const std::string ranked = ReadFile(ranks_);
  const std::string files = ReadFile(prefix_ + ".pwd") + ReadFile(prefix_ + ".pwi");
  auto dict = Open("decoded");
  ASSERT_TRUE(dict->ranked());
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  EXPECT_FALSE(dict->Stale(now));

  // A failed build leaves the old set whole, ranks included.
  EXPECT_EQ(Build({"c\n"}, false, 0, QUARVEL_BUILD_OPTIONS_V1_SIZE - 1), 3006);
  const char *missing[] = {"/nonexistent/list"};
  EXPECT_EQ(quarvel_build(nullptr, prefix_.c_str(), missing, 1, nullptr, nullptr, nullptr, 0),
            3001);
  EXPECT_EQ(ReadFile(ranks_), ranked);
  EXPECT_EQ(ReadFile(prefix_ + ".pwd") + ReadFile(prefix_ + ".pwi"), files);

  // A build without ranks removes the stale file; a record of the first
  // layout asks for none, whatever follows it.
  ASSERT_EQ(Build({"c\n"}, true, 0, QUARVEL_BUILD_OPTIONS_V1_SIZE), 0) << error_;
  EXPECT_FALSE(FileExists(ranks_));
  EXPECT_TRUE(dict->Stale(now));

  // CreateDict (and the writer behind PWOpen) keep a rank file byte for
  // byte, but its stamp no longer matches their files.
  TempDir work(/*chdir_into=*/true);
  ASSERT_EQ(Build({"b\na\n"}, true), 0) << error_;
  const std::string kept = ReadFile(ranks_);
  WriteFile("words.txt", "c\nb\n");  // files of the same sizes, other words
  EXPECT_STREQ(CreateDict("words.txt", prefix_.c_str()), "RET_CD=0000");
  EXPECT_EQ(ReadFile(ranks_), kept);
  dict = Open("decoded");
  ExpectUnranked(*dict);
  EXPECT_NE(dict->note().find("stale: the dictionary changed"), std::string::npos)
      << dict->note();

  // A rank file put in place makes the dictionary stale; DeleteDict takes
  // it with the dictionary.
  ASSERT_EQ(Build({"b\na\n"}, false), 0) << error_;
  dict = Open("decoded");
  clock_gettime(CLOCK_REALTIME, &now);
  EXPECT_FALSE(dict->Stale(now));
  WriteFile(ranks_, ranked);
  EXPECT_TRUE(dict->Stale(now));
  EXPECT_TRUE(Open("decoded")->ranked());
  EXPECT_STREQ(DeleteDict(prefix_.c_str()), "RET_CD=0000");
  EXPECT_FALSE(FileExists(ranks_));
}

TEST_F(RankTest, InfoRecordOfTheFirstLayout) {
  ASSERT_EQ(Build({"a\n"}, true), 0) << error_;
  quarvel_dict_info info;
  std::memset(&info, 0x5a, sizeof(info));
  info.size = QUARVEL_DICT_INFO_V1_SIZE;
  ASSERT_EQ(quarvel_dict_info_get(prefix_.c_str(), &info, nullptr, 0), 0);
  EXPECT_EQ(info.intact, 1);
  EXPECT_EQ(info.ranked, 0x5a5a5a5a);  // beyond its size: untouched
  info.size = QUARVEL_DICT_INFO_V1_SIZE - 1;
  EXPECT_EQ(quarvel_dict_info_get(prefix_.c_str(), &info, nullptr, 0), QUARVEL_BAD_ARGUMENT);
}

}  // namespace
