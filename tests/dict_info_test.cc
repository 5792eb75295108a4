// quarvel_dict_info_get: sound dictionaries in both layouts, and damaged ones
// made by changing the bytes the library's writer produced.

#include <sys/stat.h>

#include <functional>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "quarvel/engine.h"
#include "testing/test_util.h"
#include "format/coding.h"

namespace {

using quarvel::testing::MakeDictionary;
using quarvel::testing::ReadFile;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

std::set<std::string> Words(int n) {
  std::set<std::string> words;
  for (int i = 0; static_cast<int>(words.size()) < n; ++i) {
    words.insert(std::string(1, static_cast<char>('a' + i % 26)) + std::to_string(i));
  }
  return words;
}

struct Inspected {
  int code;
  quarvel_dict_info info;
  std::string error;
};

Inspected Inspect(const std::string &prefix) {
  Inspected r{};
  r.info.size = sizeof(r.info);
  char error[256] = "unset";
  r.code = quarvel_dict_info_get(prefix.c_str(), &r.info, error, sizeof(error));
  r.error = error;
  return r;
}

uint64_t SizeOf(const std::string &path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
}

uint32_t Get32(const std::string &bytes, size_t at) {
  return quarvel::DecodeFixed32(reinterpret_cast<const unsigned char *>(bytes.data() + at));
}

void Put32(std::string &bytes, size_t at, uint32_t value) {
  quarvel::EncodeFixed32(reinterpret_cast<unsigned char *>(bytes.data() + at), value);
}

std::string Le64(uint64_t value) {
  std::string s(8, '\0');
  quarvel::EncodeFixed64(reinterpret_cast<unsigned char *>(s.data()), value);
  return s;
}

// Rewrites a standard index and mark file in the wide layout, which the
// library reads but never writes.
void ConvertToWide(const std::string &prefix) {
  const std::string index = ReadFile(prefix + ".pwi");
  std::string wide = Le64(Get32(index, 0)) + Le64(Get32(index, 4)) + index.substr(8, 4);
  for (size_t at = 12; at + 4 <= index.size(); at += 4) wide += Le64(Get32(index, at));
  WriteFile(prefix + ".pwi", wide);
  const std::string marks = ReadFile(prefix + ".hwm");
  std::string wide_marks;
  for (size_t at = 0; at + 4 <= marks.size(); at += 4) wide_marks += Le64(Get32(marks, at));
  WriteFile(prefix + ".hwm", wide_marks);
}

TEST(DictInfoTest, SoundDictionariesOfEverySizeAndLayout) {
  for (int n : {1, 15, 16, 17, 1000}) {
    for (bool wide : {false, true}) {
      SCOPED_TRACE(testing::Message() << n << " words, wide " << wide);
      TempDir dir;
      const std::string prefix = dir.File("d");
      MakeDictionary(prefix, Words(n));
      if (wide) ConvertToWide(prefix);
      const Inspected r = Inspect(prefix);
      ASSERT_EQ(r.code, 0) << r.error;
      EXPECT_EQ(r.error, "");
      EXPECT_EQ(r.info.size, sizeof(quarvel_dict_info));
      EXPECT_EQ(r.info.wide, wide ? 1 : 0);
      EXPECT_EQ(r.info.word_count, static_cast<uint64_t>(n));
      EXPECT_EQ(r.info.index_bytes, SizeOf(prefix + ".pwi"));
      EXPECT_EQ(r.info.data_bytes, SizeOf(prefix + ".pwd"));
      EXPECT_EQ(r.info.mark_bytes, wide ? 2048u : 1024u);
      EXPECT_EQ(r.info.marks_usable, 1);
      EXPECT_EQ(r.info.intact, 1) << r.info.problem;
      EXPECT_STREQ(r.info.problem, "");
      EXPECT_EQ(r.info.blocks_checked, static_cast<uint64_t>(n / 16 + 1));
    }
  }
}

TEST(DictInfoTest, MissingMarkFileIsNoDamage) {
  TempDir dir;
  const std::string prefix = dir.File("d");
  MakeDictionary(prefix, Words(40));
  ASSERT_EQ(remove((prefix + ".hwm").c_str()), 0);
  const Inspected r = Inspect(prefix);
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.info.mark_bytes, 0u);
  EXPECT_EQ(r.info.marks_usable, 0);
  EXPECT_EQ(r.info.intact, 1) << r.info.problem;
}

// Each case damages a sound dictionary of 100 words (7 blocks, the last
// holding 4) and names a piece of the problem expected.
struct Damage {
  const char *name;
  const char *file;  // extension of the file changed
  std::function<void(std::string &)> change;
  const char *problem;
  int marks_usable;
};

TEST(DictInfoTest, DamageIsFoundAndNamed) {
  const Damage cases[] = {
      {"count one too high", ".pwi", [](std::string &b) { Put32(b, 4, 101); }, "holds 4 words", 1},
      {"count one too low", ".pwi", [](std::string &b) { Put32(b, 4, 99); }, "more words than", 0},
      {"count needing more blocks", ".pwi", [](std::string &b) { Put32(b, 4, 120); },
       "block offsets", 1},
      {"block length", ".pwi", [](std::string &b) { b[8] = 8; }, "block length 8", 1},
      {"partial offset", ".pwi", [](std::string &b) { b.resize(b.size() - 2); },
       "inside a block offset", 1},
      {"offset beyond the data", ".pwi", [](std::string &b) { Put32(b, 12 + 4 * 3, 1u << 20); },
       "beyond the data file", 1},
      {"offsets out of order", ".pwi",
       [](std::string &b) {
         const uint32_t two = Get32(b, 12 + 8), three = Get32(b, 12 + 12);
         Put32(b, 12 + 8, three);
         Put32(b, 12 + 12, two);
       },
       "not after block", 1},
      {"first block not at 0", ".pwi", [](std::string &b) { Put32(b, 12, 1); }, "block 0 begins",
       1},
      {"word out of order", ".pwd", [](std::string &b) { b[0] = 'z'; }, "byte order", 1},
      {"data cut short", ".pwd", [](std::string &b) { b.resize(b.size() - 5); }, "damaged", 1},
      {"data with a tail", ".pwd", [](std::string &b) { b += "xyz"; }, "damaged", 1},
      {"shared count too large", ".pwd", [](std::string &b) { b[b.find('\0') + 1] = 30; },
       "shared count", 1},
      {"mark off by one", ".hwm", [](std::string &b) { Put32(b, 4 * 'c', Get32(b, 4 * 'c') - 1); },
       "the words give", 0},
      {"mark beyond the last word", ".hwm", [](std::string &b) { Put32(b, 4 * 255, 100); },
       "beyond the last word", 0},
      {"mark file short", ".hwm", [](std::string &b) { b.resize(1000); }, "fewer than 256", 0},
  };
  for (const Damage &d : cases) {
    SCOPED_TRACE(d.name);
    TempDir dir;
    const std::string prefix = dir.File("d");
    MakeDictionary(prefix, Words(100));
    std::string bytes = ReadFile(prefix + d.file);
    d.change(bytes);
    WriteFile(prefix + d.file, bytes);
    const Inspected r = Inspect(prefix);
    ASSERT_EQ(r.code, 0) << r.error;
    EXPECT_EQ(r.info.intact, 0);
    EXPECT_NE(std::string(r.info.problem).find(d.problem), std::string::npos) << r.info.problem;
    EXPECT_EQ(r.info.marks_usable, d.marks_usable) << r.info.problem;
  }
}

TEST(DictInfoTest, FilesThatAreNoDictionaryDoNotOpen) {
  TempDir dir;
  const std::string prefix = dir.File("d");
  EXPECT_EQ(Inspect(prefix).code, 1001);
  EXPECT_NE(Inspect(prefix).error.find("d.pwi"), std::string::npos);

  MakeDictionary(prefix, Words(20));
  std::string index = ReadFile(prefix + ".pwi");
  index[0] ^= 1;
  WriteFile(prefix + ".pwi", index);
  EXPECT_EQ(Inspect(prefix).code, 1001);
  EXPECT_NE(Inspect(prefix).error.find("magic"), std::string::npos);

  MakeDictionary(prefix, Words(20));
  ASSERT_EQ(remove((prefix + ".pwd").c_str()), 0);
  EXPECT_EQ(Inspect(prefix).code, 1001);
  EXPECT_NE(Inspect(prefix).error.find("d.pwd"), std::string::npos);

  quarvel_dict_info small{};
  small.size = sizeof(small) - 8;
  EXPECT_NE(quarvel_dict_info_get(prefix.c_str(), &small, nullptr, 0), 0);
  EXPECT_NE(quarvel_dict_info_get(prefix.c_str(), nullptr, nullptr, 0), 0);
}

}  // namespace
