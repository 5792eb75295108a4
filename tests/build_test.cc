// Dictionary building for services: the reentrant writer against PWOpen's,
// the wide layout, and quarvel_build against a std::set model.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "build/build.h"
#include "quarvel/dictmanger.h"
#include "quarvel/engine.h"
#include "store/dict_writer.h"
#include "store/dictionary.h"
#include "store/dictmanger_internal.h"
#include "testing/test_util.h"

namespace {

using quarvel::testing::FileExists;
using quarvel::testing::ReadFile;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

// Random words of 1 to 40 characters over a small alphabet, so that words
// share beginnings and some are cut to 31.
std::set<std::string> RandomWords(size_t n, unsigned seed) {
  return quarvel::testing::RandomWords(n, seed, 40, "abc019z");
}

// Every word of the dictionary at prefix, by index; each must also be found.
std::vector<std::string> ReadBack(const std::string &prefix) {
  std::vector<std::string> words;
  PackedDict *pwp = PWOpen(prefix.c_str(), "rb");
  if (pwp == nullptr) return words;
  for (uint32_t i = 0; i < pwp->header.word_count; ++i) {
    const char *word = GetPW(pwp, i);
    if (word == nullptr) break;
    words.emplace_back(word);
  }
  for (size_t i = 0; i < words.size(); ++i) {
    EXPECT_EQ(FindPW(pwp, words[i].c_str()), static_cast<int32_t>(i)) << words[i];
  }
  PWClose(pwp);
  return words;
}

std::string Files(const std::string &prefix) {
  return ReadFile(prefix + ".pwd") + "|" + ReadFile(prefix + ".pwi") + "|" +
         ReadFile(prefix + ".hwm");
}

quarvel::DictWriter OpenWriter(const std::string &prefix, uint64_t threshold) {
  return quarvel::DictWriter(quarvel::UniqueFile(fopen((prefix + ".pwd").c_str(), "wb")),
                             quarvel::UniqueFile(fopen((prefix + ".pwi").c_str(), "w+b")),
                             quarvel::UniqueFile(fopen((prefix + ".hwm").c_str(), "wb")),
                             threshold);
}

TEST(DictWriterTest, WritesWhatPWOpenWritesWhileItIsOpen) {
  TempDir dir;
  for (size_t n : {0, 1, 15, 16, 17, 1000}) {
    SCOPED_TRACE(n);
    const std::set<std::string> words = RandomWords(n, static_cast<unsigned>(n));
    const std::string old_prefix = dir.File("old"), new_prefix = dir.File("new");
    // Both writers at once: the new one shares nothing with the descriptor.
    PackedDict *pwp = PWOpen(old_prefix.c_str(), "wb");
    ASSERT_NE(pwp, nullptr);
    quarvel::DictWriter writer = OpenWriter(new_prefix, quarvel::kWideOffsetThreshold);
    for (const std::string &word : words) {
      ASSERT_EQ(PutPW(pwp, word.c_str()), 0);
      ASSERT_TRUE(writer.Add(word));
    }
    ASSERT_EQ(PWClose(pwp), 0);
    ASSERT_TRUE(writer.Finish());
    EXPECT_FALSE(writer.wide());
    EXPECT_EQ(Files(new_prefix), Files(old_prefix));
  }
}

TEST(DictWriterTest, WideLayoutIsFoundByTheReaders) {
  TempDir dir;
  const std::set<std::string> words = RandomWords(1000, 7);
  const std::vector<std::string> model(words.begin(), words.end());
  // Blocks from the 100th byte on no longer "fit": most of the index is
  // widened in place, later entries are written wide.
  quarvel::DictWriter writer = OpenWriter(dir.File("wide"), 100);
  for (const std::string &word : words) ASSERT_TRUE(writer.Add(word));
  ASSERT_TRUE(writer.Finish());
  EXPECT_TRUE(writer.wide());
  FILE *index = fopen(dir.File("wide.pwi").c_str(), "rb");
  ASSERT_NE(index, nullptr);
  EXPECT_TRUE(quarvel::IsWideIndex(index));
  fclose(index);
  EXPECT_EQ(ReadFile(dir.File("wide.hwm")).size(), 2048u);
  for (bool cached : {false, true}) {
    SCOPED_TRACE(cached);
    quarvel::SetDictionaryCache(cached, 0);
    EXPECT_EQ(ReadBack(dir.File("wide")), model);
  }
  quarvel::SetDictionaryCache(true);
}

class BuildTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(mkdir(temp_.c_str(), 0700), 0); }

  // quarvel_build of prefix from sources; answers the code.
  int Build(const std::vector<std::string> &sources, uint64_t budget = 0,
            int (*progress)(void *, const quarvel_build_progress *) = nullptr,
            void *context = nullptr) {
    std::vector<const char *> names;
    for (const std::string &source : sources) names.push_back(source.c_str());
    quarvel_build_options options = {};
    options.size = sizeof(options);
    options.memory_budget = budget;
    options.temp_dir = temp_.c_str();
    options.progress = progress;
    options.progress_context = context;
    stats_ = {};
    stats_.size = sizeof(stats_);
    return quarvel_build(nullptr, prefix_.c_str(), names.data(), names.size(), &options, &stats_,
                         error_, sizeof(error_));
  }

  // No file is left in the temporary folder or beside the dictionary but
  // the dictionary's own.
  void ExpectNoTemporaryFiles() {
    EXPECT_TRUE(std::filesystem::is_empty(temp_));
    for (const auto &entry : std::filesystem::directory_iterator(dir_.path())) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name.find(".new-") == std::string::npos && name.find("run") == std::string::npos)
          << name;
    }
  }

  TempDir dir_;
  std::string prefix_ = dir_.File("dict");
  std::string temp_ = dir_.File("tmp");
  quarvel_build_stats stats_ = {};
  char error_[256] = {};
};

TEST_F(BuildTest, TinyBudgetMatchesASetModel) {
  // Lines in every form the normalisation meets, over two sources; many
  // duplicates, across runs and within them.
  std::mt19937 rng(3);
  std::set<std::string> model;
  std::string lists[2];
  for (int i = 0; i < 40000; ++i) {
    std::string line, word;
    for (int n = static_cast<int>(rng() % 45); n > 0; --n) {
      const char c = "aBz09 -!\xc3\xa9Q"[rng() % 11];
      line += c;
      if (c >= 'A' && c <= 'Z') word += static_cast<char>(c - 'A' + 'a');
      if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) word += c;
    }
    if (!word.empty()) model.insert(word.substr(0, 31));
    lists[i % 2] += line + (i % 3 == 0 ? "\r\n" : "\n");
  }
  WriteFile(dir_.File("a.txt"), lists[0]);
  WriteFile(dir_.File("b.txt"), lists[1]);
  const std::vector<std::string> sources = {dir_.File("a.txt"), dir_.File("b.txt")};

  // 4 KiB: a few hundred words per run, so more runs than one merge takes.
  ASSERT_EQ(Build(sources, 4096), 0) << error_;
  EXPECT_EQ(ReadBack(prefix_), std::vector<std::string>(model.begin(), model.end()));
  EXPECT_EQ(stats_.words, model.size());
  EXPECT_EQ(stats_.lines, 40000u);
  EXPECT_EQ(stats_.bytes_read, lists[0].size() + lists[1].size());
  EXPECT_EQ(stats_.wide, 0);
  ExpectNoTemporaryFiles();
  // The filter made from the keys the writer kept is current, holds one key
  // per word, and lets every word through.
  quarvel::engine::SetDecodedDataBytes(0);
  auto dict = quarvel::engine::Dictionary::Open(prefix_, /*trusted=*/true);
  quarvel::engine::SetDecodedDataBytes(quarvel::engine::kDecodedDataBytes);
  ASSERT_NE(dict->filter(), nullptr);
  EXPECT_TRUE(dict->filter()->mapped());
  EXPECT_TRUE(dict->filter()->in_order());
  EXPECT_EQ(dict->filter()->filter().key_count(), model.size());
  for (const std::string &w : model) ASSERT_TRUE(dict->Contains(w.c_str())) << w;

  // In memory, the same bytes.
  const std::string merged = Files(prefix_);
  ASSERT_EQ(Build(sources), 0) << error_;
  EXPECT_EQ(Files(prefix_), merged);
}

TEST_F(BuildTest, Normalisation) {
  const std::string l40(40, 'Q');
  const struct {
    const char *name;
    std::string list;
    std::vector<std::string> words;
  } cases[] = {
      {"duplicates once, case folded", "Apple\nbanana\nAPPLE\napple\n", {"apple", "banana"}},
      {"letters and digits kept", "Pass word-123!", {"password123"}},
      {"line ends", "b\r\na\rc", {"a", "b", "c"}},
      {"cut to 31", l40 + "\n" + l40.substr(0, 31) + "x\n", {std::string(31, 'q')}},
      {"non-ASCII and empty lines", "\xc3\xa9\xc3\xa8\n\n!!\ncaf\xc3\xa9\n", {"caf"}},
      {"NUL bytes dropped", std::string("ab\0c\n", 5), {"abc"}},
      {"nothing", "\n\r\n", {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir_.File("list.txt"), c.list);
    ASSERT_EQ(Build({dir_.File("list.txt")}), 0) << error_;
    if (c.words.empty()) {
      EXPECT_EQ(ReadFile(prefix_ + ".pwd"), std::string(16, '\0'));
    } else {
      EXPECT_EQ(ReadBack(prefix_), c.words);
    }
  }

  // Standard input, named "-", after a file.
  WriteFile(dir_.File("in.txt"), "Stdin\n");
  const int saved = dup(0);
  const int in = open(dir_.File("in.txt").c_str(), O_RDONLY);
  ASSERT_GE(in, 0);
  dup2(in, 0);
  close(in);
  const int code = Build({dir_.File("list.txt"), "-"});
  dup2(saved, 0);
  close(saved);
  ASSERT_EQ(code, 0) << error_;
  EXPECT_EQ(ReadBack(prefix_), std::vector<std::string>{"stdin"});
}

TEST_F(BuildTest, WideLayoutBuild) {
  const std::set<std::string> words = RandomWords(500, 11);
  std::string list;
  for (const std::string &word : words) list += word + "\n";
  WriteFile(dir_.File("list.txt"), list);
  quarvel::engine::BuildRequest request;
  request.prefix = prefix_;
  request.sources = {dir_.File("list.txt")};
  request.memory_budget = 2048;
  request.wide_threshold = 1000;
  const quarvel::engine::BuildOutcome outcome = quarvel::engine::Build(request);
  ASSERT_EQ(outcome.code, 0) << outcome.error;
  EXPECT_EQ(outcome.stats.wide, 1);
  EXPECT_EQ(ReadBack(prefix_), std::vector<std::string>(words.begin(), words.end()));
}

// Cancels at the given call (counting from 1) and records the phases seen.
struct Canceller {
  int cancel_at = 0;
  int calls = 0;
  std::vector<int> phases;
  static int Call(void *context, const quarvel_build_progress *progress) {
    auto *self = static_cast<Canceller *>(context);
    self->phases.push_back(progress->phase);
    return ++self->calls == self->cancel_at ? 1 : 0;
  }
};

TEST_F(BuildTest, CancelledOrFailedBuildLeavesTheOldDictionary) {
  WriteFile(dir_.File("old.txt"), "secret\nwords\n");
  ASSERT_EQ(Build({dir_.File("old.txt")}), 0) << error_;
  const std::string old_files = Files(prefix_);
  const std::set<std::string> words = RandomWords(3000, 5);
  std::string list;
  for (const std::string &word : words) list += word + "\n";
  WriteFile(dir_.File("new.txt"), list);

  // Every report, with runs spilled: cancelled at each one in turn.
  Canceller all;
  ASSERT_EQ(Build({dir_.File("new.txt")}, 4096, Canceller::Call, &all), 0) << error_;
  EXPECT_EQ(all.phases.front(), QUARVEL_BUILD_READING);
  EXPECT_EQ(all.phases.back(), QUARVEL_BUILD_DONE);
  for (int phase : {QUARVEL_BUILD_SORTING, QUARVEL_BUILD_WRITING}) {
    EXPECT_NE(std::find(all.phases.begin(), all.phases.end(), phase), all.phases.end()) << phase;
  }
  const std::string new_files = Files(prefix_);
  ASSERT_EQ(Build({dir_.File("old.txt")}), 0) << error_;
  // Cancelled at each report in turn, up to the one that says done, where
  // answering non-zero cancels nothing. (A slow build reports more often:
  // the reports every 100 ms make the count vary from build to build.)
  std::set<int> cancelled_in;
  for (int at = 1;; ++at) {
    SCOPED_TRACE(at);
    ASSERT_LE(at, 4 * all.calls + 100);
    Canceller one;
    one.cancel_at = at;
    const int code = Build({dir_.File("new.txt")}, 4096, Canceller::Call, &one);
    if (code == 0) {
      EXPECT_EQ(one.phases.back(), QUARVEL_BUILD_DONE);
      EXPECT_EQ(Files(prefix_), new_files);
      break;
    }
    EXPECT_EQ(code, 3005);
    EXPECT_EQ(std::string(error_), "build cancelled (3005)");
    EXPECT_EQ(Files(prefix_), old_files);
    ExpectNoTemporaryFiles();
    cancelled_in.insert(one.phases.back());
  }
  EXPECT_EQ(cancelled_in,
            (std::set<int>{QUARVEL_BUILD_READING, QUARVEL_BUILD_SORTING, QUARVEL_BUILD_WRITING}));

  // A source that cannot be opened, after one that can.
  ASSERT_EQ(Build({dir_.File("old.txt")}), 0) << error_;
  EXPECT_EQ(Build({dir_.File("new.txt"), dir_.File("missing.txt")}), 3001);
  EXPECT_NE(std::string(error_).find("missing.txt: No such file or directory (3001)"),
            std::string::npos)
      << error_;
  EXPECT_EQ(stats_.words, 0u);
  EXPECT_EQ(Files(prefix_), old_files);
  ExpectNoTemporaryFiles();

  // A folder for a source opens but cannot be read; bad arguments.
  EXPECT_EQ(Build({temp_}), 3002);
  const char *none[] = {nullptr};
  EXPECT_EQ(quarvel_build(nullptr, nullptr, none, 0, nullptr, nullptr, nullptr, 0), 3006);
  EXPECT_EQ(quarvel_build(nullptr, prefix_.c_str(), none, 1, nullptr, nullptr, error_, 8), 3006);
  EXPECT_EQ(std::string(error_).size(), 7u);
  EXPECT_EQ(Files(prefix_), old_files);
}

}  // namespace
