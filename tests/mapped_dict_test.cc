// Dictionaries served from read-only maps: the same answers as the file
// reader (FindPW) for sound, wide, truncated and corrupted files; a filter
// that never drops a word a search finds; and the engine's filter file,
// built at first open, reused, rebuilt when stale, kept in memory when it
// cannot be written; and checks that answer the same from mapped
// dictionaries, whose candidates are looked up in batches, as from decoded
// ones.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "store/dictionary.h"
#include "quarvel/dictmanger.h"
#include "quarvel/quarvel.h"
#include "testing/test_util.h"
#include "store/dict_filter.h"
#include "store/dict_writer.h"
#include "store/dictmanger_internal.h"
#include "store/mapped_dict.h"

namespace {

using quarvel::DictFilter;
using quarvel::DictLayout;
using quarvel::MappedDict;
using quarvel::testing::FileExists;
using quarvel::testing::ReadFile;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

std::set<std::string> RandomWords(size_t n, unsigned seed) {
  return quarvel::testing::RandomWords(n, seed, 20, "aeiknrst0189");
}

void Write(const std::string &prefix, const std::set<std::string> &words,
           uint64_t wide_threshold = quarvel::kWideOffsetThreshold) {
  quarvel::DictWriter writer(quarvel::UniqueFile(fopen((prefix + ".pwd").c_str(), "wb")),
                             quarvel::UniqueFile(fopen((prefix + ".pwi").c_str(), "w+b")),
                             quarvel::UniqueFile(fopen((prefix + ".hwm").c_str(), "wb")),
                             wide_threshold);
  for (const std::string &w : words) ASSERT_TRUE(writer.Add(w));
  ASSERT_TRUE(writer.Finish());
}

struct Mapped {
  std::unique_ptr<MappedDict> dict;
  std::string failure;  // ReadLayout's reason, when the files do not open
};

Mapped Map(const std::string &prefix) {
  Mapped m;
  const int index_fd = open((prefix + ".pwi").c_str(), O_RDONLY);
  const int data_fd = open((prefix + ".pwd").c_str(), O_RDONLY);
  const int mark_fd = open((prefix + ".hwm").c_str(), O_RDONLY);
  DictLayout layout;
  struct stat index, data;
  fstat(index_fd, &index);
  fstat(data_fd, &data);
  if (const char *failure = quarvel::ReadLayout(index_fd, mark_fd, layout)) {
    m.failure = failure;
  } else {
    m.dict = MappedDict::Map(index_fd, static_cast<uint64_t>(index.st_size), data_fd,
                             static_cast<uint64_t>(data.st_size), layout, nullptr);
  }
  for (int fd : {index_fd, data_fd, mark_fd}) close(fd);
  return m;
}

// Compares the map with FindPW reading the files, for every word queried.
void ExpectSameAnswers(const std::string &prefix, const std::vector<std::string> &queries) {
  quarvel::SetDictionaryCache(false);
  PackedDict *pwp = PWOpen(prefix.c_str(), "rb");
  const Mapped m = Map(prefix);
  ASSERT_EQ(pwp != nullptr, m.dict != nullptr) << m.failure;
  if (pwp == nullptr) return;
  const std::unique_ptr<DictFilter> filter = DictFilter::Build(*m.dict);
  ASSERT_NE(filter, nullptr);
  const bool in_order = m.dict->InOrder();
  for (const std::string &q : queries) {
    const int32_t expected = FindPW(pwp, q.c_str());
    const uint32_t found = m.dict->Find(q.c_str());
    ASSERT_EQ(static_cast<int32_t>(found), expected) << q;
    const bool stored = found != m.dict->word_count();
    ASSERT_TRUE(!stored || filter->MayContain(q)) << "filter drops " << q;
    if (in_order) {
      ASSERT_EQ(m.dict->Contains(q.c_str()), stored) << q;
    }
  }
  PWClose(pwp);
  quarvel::SetDictionaryCache(true);
}

class MappedDictTest : public ::testing::Test {
 protected:
  void SetUp() override {
    words_ = RandomWords(3000, 4);
    for (const std::string &w : words_) {
      queries_.push_back(w);
      queries_.push_back(w + "0");
      queries_.push_back(w.substr(0, w.size() - 1));
    }
    queries_.push_back("");
    queries_.push_back(std::string(40, 'z'));
  }
  std::set<std::string> words_;
  std::vector<std::string> queries_;
  TempDir dir_{/*chdir_into=*/true};
};

TEST_F(MappedDictTest, SoundAndWideDictionaries) {
  // Standard layout; wide from the second block on; wide from the start.
  for (uint64_t threshold : {quarvel::kWideOffsetThreshold, uint64_t{600}, uint64_t{0}}) {
    SCOPED_TRACE(threshold);
    Write("d", words_, threshold);
    const Mapped m = Map("d");
    ASSERT_NE(m.dict, nullptr);
    EXPECT_EQ(m.dict->layout().is_wide, threshold != quarvel::kWideOffsetThreshold);
    EXPECT_TRUE(m.dict->InOrder());
    ExpectSameAnswers("d", queries_);
    std::vector<std::string> streamed;
    m.dict->ForEachWord([&](std::string_view w) { streamed.emplace_back(w); });
    EXPECT_EQ(streamed, std::vector<std::string>(words_.begin(), words_.end()));
  }
}

TEST_F(MappedDictTest, TruncatedAndCorruptedFiles) {
  Write("sound", words_);
  const std::string data = ReadFile("sound.pwd"), index = ReadFile("sound.pwi"),
                    marks = ReadFile("sound.hwm");
  struct Variant {
    const char *name;
    std::string data, index, marks;
  };
  std::vector<Variant> variants = {
      {"data empty", "", index, marks},
      {"data cut in a block", data.substr(0, data.size() / 2 + 7), index, marks},
      {"data one byte short", data.substr(0, data.size() - 1), index, marks},
      {"index header only", data, index.substr(0, 12), marks},
      {"index cut in an entry", data, index.substr(0, index.size() / 2 + 2), marks},
      {"marks short", data, index, marks.substr(0, 1000)},
  };
  // A word count far beyond the blocks; offsets beyond the data.
  std::string count = index;
  count[4] = count[5] = count[6] = count[7] = '\xff';
  variants.push_back({"huge word count", data, count, marks});
  std::string offsets = index;
  for (size_t at = 12 + 4 * 50; at < 12 + 4 * 60; ++at) offsets[at] = '\x7f';
  variants.push_back({"offsets past the data", data, offsets, marks});
  // Random bytes changed in each file.
  std::mt19937 rng(8);
  for (int round = 0; round < 12; ++round) {
    Variant v{"flipped bytes", data, index, marks};
    std::string &file = round % 3 == 0 ? v.data : round % 3 == 1 ? v.index : v.marks;
    for (int k = 0; k < 20; ++k) file[rng() % file.size()] = static_cast<char>(rng());
    variants.push_back(v);
  }
  for (const Variant &v : variants) {
    SCOPED_TRACE(v.name);
    WriteFile("d.pwd", v.data);
    WriteFile("d.pwi", v.index);
    WriteFile("d.hwm", v.marks);
    ExpectSameAnswers("d", queries_);
  }
}

TEST_F(MappedDictTest, EngineFilterFileLifecycle) {
  namespace engine = quarvel::engine;
  engine::SetDecodedDataBytes(0);  // map every dictionary
  Write("d", words_);
  auto open = [] { return engine::Dictionary::Open("d", /*trusted=*/true); };
  auto same_as_files = [&](const engine::Dictionary &dict) {
    quarvel::SetDictionaryCache(false);
    PackedDict *pwp = PWOpen("d", "rb");
    ASSERT_NE(pwp, nullptr);
    for (const std::string &q : queries_) {
      ASSERT_EQ(dict.Contains(q.c_str()),
                static_cast<uint32_t>(FindPW(pwp, q.c_str())) != pwp->header.word_count)
          << q;
    }
    PWClose(pwp);
    quarvel::SetDictionaryCache(true);
  };

  // Built at the first open and written beside the dictionary.
  auto first = open();
  ASSERT_TRUE(first->ok());
  EXPECT_TRUE(first->mapped());
  ASSERT_NE(first->filter(), nullptr);
  EXPECT_TRUE(first->filter()->in_order());
  EXPECT_TRUE(FileExists("d.pwf"));
  same_as_files(*first);

  // Read from its file at the next open.
  auto second = open();
  ASSERT_NE(second->filter(), nullptr);
  EXPECT_TRUE(second->filter()->mapped());
  same_as_files(*second);

  // The dictionary rewritten: the filter is stale, and rebuilt.
  const std::set<std::string> other = RandomWords(3000, 99);
  const std::string stale = ReadFile("d.pwf");
  Write("d", other);
  auto third = open();
  ASSERT_NE(third->filter(), nullptr);
  EXPECT_FALSE(third->filter()->mapped());
  EXPECT_NE(ReadFile("d.pwf"), stale);
  for (const std::string &w : other) EXPECT_TRUE(third->Contains(w.c_str())) << w;
  same_as_files(*third);

  // A filter that cannot be written is kept in memory.
  ASSERT_EQ(unlink("d.pwf"), 0);
  ASSERT_EQ(mkdir("d.pwf", 0700), 0);
  auto fourth = open();
  ASSERT_NE(fourth->filter(), nullptr);
  EXPECT_NE(fourth->note().find("filter kept in memory"), std::string::npos);
  same_as_files(*fourth);

  // Files that changed just before they were read get no filter yet.
  ASSERT_EQ(rmdir("d.pwf"), 0);
  Write("d", words_);
  auto racy = engine::Dictionary::Open("d");
  EXPECT_EQ(racy->filter(), nullptr);
  same_as_files(*racy);
  engine::SetDecodedDataBytes(engine::kDecodedDataBytes);
}

// Checks through mapped dictionaries with their filters, whose candidates
// are keyed and prefetched in a first run, answer exactly as through
// decoded ones: the same answers, trace lines and explanations, for hits in
// every pass (the rules, reversed, suffixes, prefixes, the extended
// profile), in each dictionary, and for misses.
TEST(BatchedSearchTest, MappedDictionariesAnswerAsDecodedOnes) {
  namespace engine = quarvel::engine;
  TempDir dir{/*chdir_into=*/true};
  ASSERT_EQ(mkdir("conf", 0700), 0);
  ASSERT_EQ(mkdir("dicts", 0700), 0);
  WriteFile("conf/quarvel.ini",
            "[QUARVEL_RULE]\nquarvel_rule.postfix_num=2\nquarvel_rule.prefix_num=1\n"
            "[QUARVEL_SEARCH]\nquarvel_search.pw_prefix_num=1\nquarvel_search.pw_reverse=1\n"
            "quarvel_search.extended=1\n[QUARVEL_DICT]\ndict.file.prefix.2=./dicts/extra\n");
  std::set<std::string> words = RandomWords(5000, 21);
  words.insert({"dragon", "sunshine", "monkey", "shadow", "dragon42", "7shadow"});
  Write("dicts/default_dict", words);
  Write("dicts/extra", {"tiger", "zebra", "ogre"});
  Write("dicts/profile", {"myname"});
  std::vector<std::string> passwords = {
      "dragon",     "Dr4g0n",      "nogard",   "dragon42", "shadow7",  "Sunsh1ne!!",
      "M0nk3y2019", "tiger",       "arbez",    "myname",   "eman-ym",  "xXmonkeyXx",
      "qwerty",     "Tr0ub4dor&3", "zqk3v9x2", "o8e1",     "ogre2ogre"};
  for (const std::string &w : RandomWords(200, 5)) passwords.push_back(w + "!");
  for (const std::string &w : words) {
    if (passwords.size() > 400) break;
    passwords.push_back(w);
  }
  auto run = [&passwords] {
    std::vector<std::string> out;
    char error[256];
    quarvel_env *env = quarvel_open(".", error, sizeof(error));
    EXPECT_NE(env, nullptr) << error;
    if (env == nullptr) return out;
    std::string trace;
    quarvel_set_trace(
        env, [](void *t, const char *line) { *static_cast<std::string *>(t) += line; }, &trace);
    for (const std::string &p : passwords) {
      quarvel_result r;
      QUARVEL_RESULT_INIT(&r);
      trace.clear();
      quarvel_check(env, p.data(), p.size(), &r);
      // The match kind first.
      out.push_back(std::to_string(r.match.kind) + "|" + r.answer + "|" + trace + "|" +
                    std::to_string(r.match.slot) + "|" + r.match.word + "|" + r.match.rule + "|" +
                    r.match.variant + "|" + std::to_string(r.match.variants));
    }
    quarvel_close(env);
    return out;
  };
  const std::vector<std::string> decoded = run();
  engine::SetDecodedDataBytes(0);
  // Files changed within the last 100 ms are served without their filter.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const std::vector<std::string> mapped = run();
  engine::SetDecodedDataBytes(engine::kDecodedDataBytes);
  EXPECT_TRUE(FileExists("dicts/default_dict.pwf"));  // served with its filter
  ASSERT_EQ(decoded.size(), passwords.size());
  ASSERT_EQ(mapped.size(), passwords.size());
  size_t found = 0;
  for (size_t i = 0; i < passwords.size(); ++i) {
    EXPECT_EQ(mapped[i], decoded[i]) << passwords[i];
    found += decoded[i][0] != '0' ? 1 : 0;
  }
  // The cases reach hits in every dictionary and misses.
  EXPECT_GT(found, passwords.size() / 2);
  EXPECT_LT(found, passwords.size());
}

}  // namespace
