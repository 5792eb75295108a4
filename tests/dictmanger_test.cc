// Packed dictionary files: exact bytes, round trips against a std::set model,
// writer failures, and hostile files built by hand.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarvel/dictmanger.h"
#include "testing/test_util.h"
#include "format/coding.h"
#include "store/dictmanger_internal.h"

namespace {

using quarvel::testing::CaptureFd;
using quarvel::testing::ReadFile;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  quarvel::EncodeFixed32(reinterpret_cast<unsigned char *>(s.data()), v);
  return s;
}

std::string Le64(uint64_t v) {
  std::string s(8, '\0');
  quarvel::EncodeFixed64(reinterpret_cast<unsigned char *>(s.data()), v);
  return s;
}

std::string Le16(uint16_t v) {
  std::string s(2, '\0');
  quarvel::EncodeFixed16(reinterpret_cast<unsigned char *>(s.data()), v);
  return s;
}

// Builds a dictionary from words (already in byte order); answers PWClose's result.
int Build(const std::string &prefix, const std::vector<std::string> &words) {
  PackedDict *pwp = PWOpen(prefix.c_str(), "wb");
  EXPECT_NE(pwp, nullptr) << prefix;
  if (pwp == nullptr) return -1;
  for (const std::string &w : words) EXPECT_EQ(PutPW(pwp, w.c_str()), 0) << w;
  return PWClose(pwp);
}

class DictTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // Every test must leave the process with no dictionary open.
    EXPECT_NE(pdesc.header.magic, PACKED_DICT_MAGIC);
  }
  std::string Prefix(const std::string &name = "d") const { return dir_.File(name); }
  TempDir dir_;
};

// ---------------------------------------------------------------------------
// Exact bytes of the files written.

TEST_F(DictTest, ThreeWordDictionaryBytes) {
  ASSERT_EQ(Build(Prefix(), {"abc", "abd", "b"}), 0);

  std::string data = std::string("abc\0", 4) +
                     std::string(
                         "\x02"
                         "d\0",
                         3) +
                     std::string("\0b\0", 3) + std::string(13, '\0');
  EXPECT_EQ(ReadFile(Prefix() + ".pwd"), data);

  std::string index = std::string("\x31\x56\x77\x70", 4) + Le32(3) + Le16(16) + Le16(0) + Le32(0);
  EXPECT_EQ(ReadFile(Prefix() + ".pwi"), index);

  std::string marks;
  for (int c = 0; c < 256; ++c) marks += Le32(c <= 0x60 ? 0 : c == 0x61 ? 1 : 2);
  EXPECT_EQ(ReadFile(Prefix() + ".hwm"), marks);
}

TEST_F(DictTest, SixteenWordsMakeAFullBlockAndAnEmptyFinalBlock) {
  std::vector<std::string> words;
  for (char c = 'a'; c < 'a' + 16; ++c) words.push_back(std::string(1, c));
  ASSERT_EQ(Build(Prefix(), words), 0);

  std::string first_block = std::string("a\0", 2);
  for (int i = 1; i < 16; ++i)
    first_block += std::string("\0", 1) + words[i] + std::string("\0", 1);
  EXPECT_EQ(ReadFile(Prefix() + ".pwd"), first_block + std::string(16, '\0'));

  std::string index = std::string("\x31\x56\x77\x70", 4) + Le32(16) + Le16(16) + Le16(0) + Le32(0) +
                      Le32(static_cast<uint32_t>(first_block.size()));
  EXPECT_EQ(ReadFile(Prefix() + ".pwi"), index);
}

TEST_F(DictTest, ZeroWordDictionaryIsWrittenButCannotBeRead) {
  ASSERT_EQ(Build(Prefix(), {}), 0);
  EXPECT_EQ(ReadFile(Prefix() + ".pwd"), std::string(16, '\0'));
  EXPECT_EQ(ReadFile(Prefix() + ".pwi"),
            std::string("\x31\x56\x77\x70", 4) + Le32(0) + Le16(16) + Le16(0) + Le32(0));

  CaptureFd err(2);
  EXPECT_EQ(PWOpen(Prefix().c_str(), "rb"), nullptr);
  EXPECT_EQ(err.Take(), Prefix() + ": error reading header\n");
}

TEST_F(DictTest, LongWordsAreStoredAsTheirFirst31Bytes) {
  std::string word40(40, 'q');
  ASSERT_EQ(Build(Prefix(), {"a", word40, "r"}), 0);
  PackedDict *pwp = PWOpen(Prefix().c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_STREQ(GetPW(pwp, 1), std::string(31, 'q').c_str());
  EXPECT_EQ(FindPW(pwp, std::string(31, 'q').c_str()), 1);
  EXPECT_EQ(FindPW(pwp, word40.c_str()), 3);
  EXPECT_EQ(PWClose(pwp), 0);
}

TEST_F(DictTest, LargestBlockIsReadWhole) {
  // 16 words of 31 bytes sharing no beginning: a block of 527 bytes.
  std::vector<std::string> words;
  for (char c = 'a'; c < 'a' + 16; ++c) words.push_back(std::string(31, c));
  ASSERT_EQ(Build(Prefix(), words), 0);
  ASSERT_EQ(ReadFile(Prefix() + ".pwd").size(), 527u + 16u);

  PackedDict *pwp = PWOpen(Prefix().c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  for (uint32_t i = 0; i < 16; ++i) {
    EXPECT_STREQ(GetPW(pwp, i), words[i].c_str()) << i;
    EXPECT_EQ(FindPW(pwp, words[i].c_str()), static_cast<int32_t>(i));
  }
  EXPECT_EQ(PWClose(pwp), 0);
}

// ---------------------------------------------------------------------------
// Round trips against a std::set model.

std::set<std::string> RandomWords(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  const std::string alphabet = "0123456789abcdefghijklmnopqrstuvwxyz\x80\xc3\xe9\xff";
  std::uniform_int_distribution<size_t> len(1, 31), pick(0, alphabet.size() - 1);
  std::set<std::string> words;
  while (words.size() < n) {
    std::string w;
    size_t l = len(rng);
    // Mostly letters, so that neighbours share beginnings.
    for (size_t i = 0; i < l; ++i) w += alphabet[pick(rng) % (i < 2 ? 30 : alphabet.size())];
    words.insert(w);
  }
  return words;
}

void ExpectModelMatches(const std::string &prefix, const std::set<std::string> &model) {
  PackedDict *pwp = PWOpen(prefix.c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  const int32_t count = static_cast<int32_t>(model.size());
  ASSERT_EQ(pwp->header.word_count, model.size());
  int32_t i = 0;
  for (const std::string &w : model) {
    const char *got = GetPW(pwp, static_cast<uint32_t>(i));
    ASSERT_NE(got, nullptr) << i;
    ASSERT_EQ(got, w) << i;
    ASSERT_EQ(FindPW(pwp, w.c_str()), i) << w;
    // Neighbours of a stored word that are not stored (a sample of them in
    // big dictionaries).
    if (i % (model.size() > 2000 ? 13 : 1) == 0) {
      for (std::string probe : {w + "0", w.substr(0, w.size() - 1), "~" + w, w + "\x01"}) {
        if (!model.count(probe)) {
          ASSERT_EQ(FindPW(pwp, probe.c_str()), count) << probe;
        }
      }
    }
    ++i;
  }
  // The last block's empty slots decode as the empty word; past the last
  // block there is nothing to decode.
  const char *past_words = GetPW(pwp, static_cast<uint32_t>(count));
  ASSERT_NE(past_words, nullptr);
  EXPECT_STREQ(past_words, "");
  EXPECT_EQ(GetPW(pwp, static_cast<uint32_t>((count / 16 + 1) * 16)), nullptr);
  EXPECT_EQ(FindPW(pwp, ""), count);
  EXPECT_EQ(PWClose(pwp), 0);
}

class RoundTripTest : public DictTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(RoundTripTest, EveryWordIsFetchedAndFound) {
  std::set<std::string> model = RandomWords(GetParam(), 7 + GetParam());
  ASSERT_EQ(Build(Prefix(), {model.begin(), model.end()}), 0);
  EXPECT_EQ(ReadFile(Prefix() + ".pwi").size(), 12 + 4 * (model.size() / 16 + 1));
  ExpectModelMatches(Prefix(), model);
}

TEST_P(RoundTripTest, SearchWithoutUsableMarksGivesTheSameAnswers) {
  std::set<std::string> model = RandomWords(GetParam(), 99 + GetParam());
  ASSERT_EQ(Build(Prefix(), {model.begin(), model.end()}), 0);
  std::string marks = ReadFile(Prefix() + ".hwm");

  ASSERT_EQ(unlink((Prefix() + ".hwm").c_str()), 0);
  ExpectModelMatches(Prefix(), model);

  WriteFile(Prefix() + ".hwm", marks.substr(0, 1000));  // too short: ignored
  ExpectModelMatches(Prefix(), model);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTripTest,
                         ::testing::Values(1, 2, 15, 16, 17, 31, 32, 33, 1000, 16 * 1024 - 1,
                                           16 * 1024, 16 * 1024 + 1));

TEST_F(DictTest, FirstAndLastWordsAndHighFirstBytesAreFound) {
  std::vector<std::string> words = {"0",
                                    "a",
                                    "ab",
                                    "b",
                                    "\x7f",
                                    "\x80"
                                    "a",
                                    "\xc3\xa9t\xc3\xa9",
                                    "\xff",
                                    "\xff\xff"};
  ASSERT_EQ(Build(Prefix(), words), 0);
  PackedDict *pwp = PWOpen(Prefix().c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  ASSERT_NE(pwp->flags & PACKED_DICT_USE_MARKS, 0u);
  EXPECT_EQ(pwp->marks[0xc3], 6u);
  EXPECT_EQ(pwp->marks[0xfe], 6u);
  for (size_t i = 0; i < words.size(); ++i) {
    EXPECT_EQ(FindPW(pwp, words[i].c_str()), static_cast<int32_t>(i)) << i;
  }
  // Absent words: a first byte that begins no word, the empty word, a gap.
  for (const char *absent : {"c", "", "\x90", "aa", "\xfe"}) {
    EXPECT_EQ(FindPW(pwp, absent), 9) << absent;
  }
  EXPECT_EQ(PWClose(pwp), 0);
}

// ---------------------------------------------------------------------------
// Writer rules and failures.

TEST_F(DictTest, PutRefusesEmptyWordsAndWrongStates) {
  PackedDict *pwp = PWOpen(Prefix().c_str(), "wb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_EQ(PutPW(pwp, ""), -1);
  EXPECT_EQ(PutPW(pwp, nullptr), -1);  // no word outside a close
  EXPECT_EQ(PutPW(pwp, "a"), 0);
  EXPECT_EQ(PutPW(nullptr, "b"), -1);
  EXPECT_EQ(PWClose(pwp), 0);
  EXPECT_EQ(PWClose(pwp), -1);  // already closed
  EXPECT_EQ(PutPW(pwp, "b"), -1);
  EXPECT_EQ(PWClose(nullptr), -1);

  pwp = PWOpen(Prefix().c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_EQ(pwp->header.word_count, 1u);  // the empty word was not stored
  EXPECT_EQ(PutPW(pwp, "b"), -1);         // open for reading
  EXPECT_EQ(PWClose(pwp), 0);
  EXPECT_EQ(GetPW(pwp, 0), nullptr);  // closed
  EXPECT_EQ(FindPW(nullptr, "a"), -1);
}

TEST_F(DictTest, FailedBlockWriteStopsTheBuildAndCloseReportsIt) {
  // The data file is the full device: writes fail once stdio flushes.
  ASSERT_EQ(symlink("/dev/full", (Prefix() + ".pwd").c_str()), 0);
  PackedDict *pwp = PWOpen(Prefix().c_str(), "wb");
  ASSERT_NE(pwp, nullptr);
  std::set<std::string> model = RandomWords(4000, 5);
  int failed_at = -1, n = 0;
  for (const std::string &w : model) {
    ++n;
    int r = PutPW(pwp, w.c_str());
    if (failed_at < 0 && r != 0) failed_at = n;
    if (failed_at >= 0) {
      EXPECT_EQ(r, -1) << "a failed writer must stay failed";
    }
  }
  ASSERT_GT(failed_at, 0);
  EXPECT_EQ(failed_at % 16, 0) << "only a block write can fail";
  EXPECT_LE(pwp->pending_count, 16);
  EXPECT_EQ(PWClose(pwp), -1);
  EXPECT_EQ(pdesc.index_file, nullptr);
  // One index entry per block attempted, none added at close.
  EXPECT_EQ(ReadFile(Prefix() + ".pwi").size(), 12u + 4u * (failed_at / 16));
  // The next dictionary opens normally.
  ASSERT_EQ(Build(Prefix("other"), {"x"}), 0);
}

TEST_F(DictTest, FailureFlushingAtCloseIsReported) {
  for (const char *ext : {".pwd", ".pwi", ".hwm"}) {
    SCOPED_TRACE(ext);
    std::string prefix = Prefix(std::string("f") + (ext + 1));
    ASSERT_EQ(symlink("/dev/full", (prefix + ext).c_str()), 0);
    PackedDict *pwp = PWOpen(prefix.c_str(), "wb");
    ASSERT_NE(pwp, nullptr);
    EXPECT_EQ(PutPW(pwp, "abc"), 0);
    EXPECT_EQ(PWClose(pwp), -1);
    EXPECT_NE(pdesc.header.magic, PACKED_DICT_MAGIC);
  }
}

TEST_F(DictTest, WriterWithoutMarkFileStillBuilds) {
  ASSERT_EQ(mkdir((Prefix() + ".hwm").c_str(), 0700), 0);  // cannot be opened as a file
  ASSERT_EQ(Build(Prefix(), {"a", "b"}), 0);
  PackedDict *pwp = PWOpen(Prefix().c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_EQ(FindPW(pwp, "b"), 1);
  EXPECT_EQ(PWClose(pwp), 0);
}

// ---------------------------------------------------------------------------
// Opening: missing and damaged files, one dictionary at a time.

TEST_F(DictTest, MissingFiles) {
  CaptureFd err(2);
  EXPECT_EQ(PWOpen(Prefix().c_str(), "rb"), nullptr);  // no .pwd: silent
  WriteFile(Prefix() + ".pwd", "x");
  EXPECT_EQ(PWOpen(Prefix().c_str(), "rb"), nullptr);  // no .pwi: perror
  EXPECT_EQ(err.Take(), Prefix() + ".pwi: No such file or directory\n");
  EXPECT_EQ(PWOpen(nullptr, "rb"), nullptr);
  EXPECT_EQ(PWOpen(Prefix().c_str(), nullptr), nullptr);
}

TEST_F(DictTest, SecondOpenForceClosesTheFirst) {
  ASSERT_EQ(Build(Prefix("one"), {"a"}), 0);
  ASSERT_EQ(Build(Prefix("two"), {"b"}), 0);
  PackedDict *pwp = PWOpen(Prefix("one").c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  CaptureFd err(2);
  EXPECT_EQ(PWOpen(Prefix("two").c_str(), "rb"), nullptr);
  EXPECT_EQ(err.Take(), Prefix("two") + ": another dictionary already open, force closed \n");
  EXPECT_EQ(pdesc.index_file, nullptr);
  EXPECT_EQ(PWClose(pwp), -1);
  pwp = PWOpen(Prefix("two").c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_EQ(FindPW(pwp, "b"), 0);
  EXPECT_EQ(PWClose(pwp), 0);
}

struct BadHeader {
  const char *name;
  std::string index;
  const char *message;
};

TEST_F(DictTest, DamagedHeadersAreRefusedWithTheirMessage) {
  const std::string magic = Le32(PACKED_DICT_MAGIC);
  const std::vector<BadHeader> cases = {
      {"empty", "", "error reading header"},
      {"short", magic + Le32(3), "error reading header"},
      {"wrong magic", Le32(0x12345678) + Le32(3) + Le16(16) + Le16(0) + Le32(0), "magic mismatch"},
      {"zero magic, short wide", Le32(0) + Le32(3) + Le16(16) + Le16(0) + Le32(0),
       "error reading header"},
      {"wide, wrong magic", Le64(0x1234) + Le64(3) + Le16(16) + Le16(0) + Le64(0),
       "error reading header"},
      {"wide, zero count", Le64(PACKED_DICT_MAGIC) + Le64(0) + Le16(16) + Le16(0) + Le64(0),
       "invalid word count"},
      {"wide, count in upper half only",
       Le64(PACKED_DICT_MAGIC) + Le64(1ull << 32) + Le16(16) + Le16(0) + Le64(0),
       "invalid word count"},
      {"block length", magic + Le32(3) + Le16(8) + Le16(0) + Le32(0), "size mismatch"},
      {"wide block length", Le64(PACKED_DICT_MAGIC) + Le64(3) + Le16(17) + Le16(0) + Le64(0),
       "size mismatch"},
  };
  WriteFile(Prefix() + ".pwd", std::string("abc\0", 4) + std::string(15, '\0'));
  for (const BadHeader &c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(Prefix() + ".pwi", c.index);
    CaptureFd err(2);
    EXPECT_EQ(PWOpen(Prefix().c_str(), "rb"), nullptr);
    EXPECT_EQ(err.Take(), Prefix() + ": " + c.message + "\n");
    EXPECT_EQ(pdesc.index_file, nullptr);
    EXPECT_EQ(pdesc.data_file, nullptr);
    EXPECT_EQ(pdesc.mark_file, nullptr);
  }
}

// The wide layout: 64-bit magic, count and offsets, 8-byte mark entries.
TEST_F(DictTest, WideLayoutReadsLikeTheStandardOne) {
  std::set<std::string> model = RandomWords(100, 3);
  ASSERT_EQ(Build(Prefix(), {model.begin(), model.end()}), 0);
  std::string index = ReadFile(Prefix() + ".pwi");
  std::string marks = ReadFile(Prefix() + ".hwm");

  std::string wide_index = Le64(PACKED_DICT_MAGIC) + Le64(model.size()) + Le16(16) + Le16(0);
  for (size_t p = 12; p < index.size(); p += 4) {
    // Upper halves are ignored by the reader.
    wide_index +=
        Le32(quarvel::DecodeFixed32(reinterpret_cast<const unsigned char *>(&index[p]))) + Le32(0);
  }
  std::string wide_marks;
  for (size_t p = 0; p < marks.size(); p += 4) {
    wide_marks +=
        Le32(quarvel::DecodeFixed32(reinterpret_cast<const unsigned char *>(&marks[p]))) + Le32(0);
  }
  WriteFile(Prefix() + ".pwi", wide_index);
  WriteFile(Prefix() + ".hwm", wide_marks);

  FILE *f = fopen((Prefix() + ".pwi").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(quarvel::IsWideIndex(f));
  fclose(f);

  PackedDict *pwp = PWOpen(Prefix().c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_NE(pwp->flags & PACKED_DICT_USE_MARKS, 0u);
  EXPECT_EQ(pwp->header.magic, PACKED_DICT_MAGIC);
  EXPECT_EQ(pwp->header.word_count, model.size());
  EXPECT_EQ(PWClose(pwp), 0);
  ExpectModelMatches(Prefix(), model);

  // A standard-size mark file next to a wide index is too short: ignored.
  WriteFile(Prefix() + ".hwm", marks);
  ExpectModelMatches(Prefix(), model);
}

TEST_F(DictTest, LayoutTest) {
  ASSERT_EQ(Build(Prefix(), {"a", "b"}), 0);
  FILE *f = fopen((Prefix() + ".pwi").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(quarvel::IsWideIndex(f));  // 16 bytes: too short for a wide header
  fclose(f);
  EXPECT_FALSE(quarvel::IsWideIndex(nullptr));
}

// ---------------------------------------------------------------------------
// Corrupt content: never a crash, an out-of-bounds access or a hang.

TEST_F(DictTest, CorruptBlocksDecodeToBoundedWords) {
  const std::string index = Le32(PACKED_DICT_MAGIC) + Le32(16) + Le16(16) + Le16(0) + Le32(0);
  WriteFile(Prefix() + ".pwi", index);

  // Shared counts far beyond the previous word, and a slot without its NUL.
  std::string data = std::string("ab\0", 3) +
                     std::string(
                         "\xff"
                         "cd\0",
                         4) +
                     std::string(
                         "\x1f"
                         "e\0",
                         3) +
                     std::string(600, 'z');
  WriteFile(Prefix() + ".pwd", data);
  PackedDict *pwp = PWOpen(Prefix().c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_STREQ(GetPW(pwp, 0), "ab");
  EXPECT_STREQ(GetPW(pwp, 1), "abcd");  // shared count cut to the previous word
  EXPECT_STREQ(GetPW(pwp, 2), "abcde");
  for (uint32_t i = 0; i < 16; ++i) {
    const char *w = GetPW(pwp, i);
    ASSERT_NE(w, nullptr);
    EXPECT_LE(strlen(w), 31u);
  }
  EXPECT_EQ(PWClose(pwp), 0);

  // A first slot without any NUL.
  WriteFile(Prefix() + ".pwd", std::string(2000, 'y'));
  pwp = PWOpen(Prefix().c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_STREQ(GetPW(pwp, 0), std::string(31, 'y').c_str());
  EXPECT_EQ(FindPW(pwp, "y"), 16);
  EXPECT_EQ(PWClose(pwp), 0);
}

TEST_F(DictTest, OffsetsAndEntriesBeyondTheFilesAreMisses) {
  // The header claims a million words; the index holds two entries, the
  // second pointing far beyond the data file.
  WriteFile(Prefix() + ".pwi", Le32(PACKED_DICT_MAGIC) + Le32(1000000) + Le16(16) + Le16(0) +
                                   Le32(0) + Le32(1u << 30));
  WriteFile(Prefix() + ".pwd", std::string("m\0", 2) + std::string(15, '\0'));
  PackedDict *pwp = PWOpen(Prefix().c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_STREQ(GetPW(pwp, 0), "m");
  EXPECT_EQ(GetPW(pwp, 16), nullptr);      // offset beyond the data file
  EXPECT_EQ(GetPW(pwp, 999999), nullptr);  // entry beyond the index file
  EXPECT_EQ(GetPW(pwp, 0xffffffffu), nullptr);
  EXPECT_EQ(FindPW(pwp, "m"), 1000000);  // the probes in the middle cannot be read
  EXPECT_EQ(FindPW(pwp, "zzz"), 1000000);
  EXPECT_EQ(PWClose(pwp), 0);

  // The largest word count the header can hold.
  WriteFile(Prefix() + ".pwi",
            Le32(PACKED_DICT_MAGIC) + Le32(0xffffffffu) + Le16(16) + Le16(0) + Le32(0));
  pwp = PWOpen(Prefix().c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_EQ(FindPW(pwp, "m"), -1);  // the count, as a signed value
  EXPECT_EQ(PWClose(pwp), 0);
}

TEST_F(DictTest, MarksThatMakeNoSenseAreIgnored) {
  std::set<std::string> model = RandomWords(300, 11);
  ASSERT_EQ(Build(Prefix(), {model.begin(), model.end()}), 0);
  std::string good = ReadFile(Prefix() + ".hwm");

  auto with_entry = [&](int c, uint32_t value) {
    std::string m = good;
    std::string v = Le32(value);
    m.replace(4 * c, 4, v);
    return m;
  };
  const std::vector<std::string> bad = {
      with_entry(0x30, 5000),         // beyond the last word
      with_entry(0x62, 0),            // decreasing
      with_entry(0xff, 0xffffffffu),  // beyond, at the top
      std::string(1024, '\xff'),      // all beyond
  };
  for (const std::string &marks : bad) {
    WriteFile(Prefix() + ".hwm", marks);
    PackedDict *pwp = PWOpen(Prefix().c_str(), "rb");
    ASSERT_NE(pwp, nullptr);
    EXPECT_EQ(pwp->flags & PACKED_DICT_USE_MARKS, 0u);
    EXPECT_EQ(PWClose(pwp), 0);
    ExpectModelMatches(Prefix(), model);
  }
}

TEST_F(DictTest, RandomFilesNeverCrash) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> byte(0, 255);
  auto random_bytes = [&](size_t n, bool sparse) {
    std::string s(n, '\0');
    for (char &ch : s)
      ch = static_cast<char>(sparse && byte(rng) < 160 ? byte(rng) % 4 : byte(rng));
    return s;
  };
  for (int round = 0; round < 300; ++round) {
    std::uniform_int_distribution<size_t> size(0, 700);
    const uint32_t count = static_cast<uint32_t>(byte(rng) < 128 ? byte(rng) + 1 : rng());
    std::string index = Le32(PACKED_DICT_MAGIC) + Le32(count) + Le16(16) + Le16(0);
    const size_t entries = size(rng) % 20;
    for (size_t e = 0; e < entries; ++e) index += Le32(static_cast<uint32_t>(size(rng)));
    WriteFile(Prefix() + ".pwi", round % 10 == 0 ? random_bytes(size(rng), false) : index);
    WriteFile(Prefix() + ".pwd", random_bytes(size(rng) * 3, round % 2 == 0));
    WriteFile(Prefix() + ".hwm", random_bytes(round % 3 == 0 ? 1024 : size(rng), false));

    CaptureFd err(2);
    PackedDict *pwp = PWOpen(Prefix().c_str(), "rb");
    if (pwp == nullptr) continue;
    for (uint32_t i = 0; i < 40; ++i) {
      const char *w = GetPW(pwp, i);
      if (w != nullptr) {
        ASSERT_LE(strlen(w), 31u);
        const int32_t found = FindPW(pwp, w);
        const bool in_range = found >= 0 && static_cast<uint32_t>(found) < count;
        ASSERT_TRUE(found == static_cast<int32_t>(count) || in_range);
      }
    }
    FindPW(pwp, random_bytes(8, false).c_str());
    ASSERT_EQ(PWClose(pwp), 0);
  }
}

TEST_F(DictTest, PrefixOfAnyLength) {
  // A long but valid path works.
  std::string deep = dir_.path();
  for (int i = 0; i < 20; ++i) {
    deep += "/" + std::string(60, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  ASSERT_EQ(Build(deep + "/dict", {"word"}), 0);
  PackedDict *pwp = PWOpen((deep + "/dict").c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_EQ(FindPW(pwp, "word"), 0);
  EXPECT_EQ(PWClose(pwp), 0);

  // One far beyond the system's limits fails cleanly.
  std::string huge(100000, 'p');
  EXPECT_EQ(PWOpen(huge.c_str(), "wb"), nullptr);
  CaptureFd err(2);
  WriteFile(Prefix("x") + ".pwd", "");
  EXPECT_EQ(PWOpen(huge.c_str(), "rb"), nullptr);
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Serving from memory answers exactly what reading the files answers.

struct Answers {
  std::vector<std::string> words;  // GetPW of every index, "(null)" for none
  std::vector<int32_t> found;      // FindPW of each probe
  bool opened = false;
  bool operator==(const Answers &) const = default;
};

Answers Collect(const std::string &prefix, const std::vector<std::string> &probes) {
  Answers a;
  CaptureFd err(2);
  PackedDict *pwp = PWOpen(prefix.c_str(), "rb");
  if (pwp == nullptr) return a;
  a.opened = true;
  for (uint32_t i = 0; i < 48; ++i) {
    const char *w = GetPW(pwp, i);
    a.words.push_back(w != nullptr ? w : "(null)");
  }
  for (const std::string &p : probes) a.found.push_back(FindPW(pwp, p.c_str()));
  for (const std::string &w : a.words) a.found.push_back(FindPW(pwp, w.c_str()));
  EXPECT_EQ(PWClose(pwp), 0);
  return a;
}

class CacheTest : public DictTest {
 protected:
  void TearDown() override {
    quarvel::SetDictionaryCache(true);
    DictTest::TearDown();
  }
};

TEST_F(CacheTest, MemoryAndFilesAnswerAlike) {
  std::mt19937 rng(777);
  std::uniform_int_distribution<int> byte(0, 255);
  auto bytes = [&](size_t n, int alphabet) {
    std::string s(n, '\0');
    for (char &c : s) c = static_cast<char>(byte(rng) < 60 ? 0 : 'a' + byte(rng) % alphabet);
    return s;
  };
  const std::vector<std::string> probes = {"", "a", "ab", "abc", "b", "zz", "\xff"};
  for (int round = 0; round < 150; ++round) {
    SCOPED_TRACE(round);
    // A header claiming more or fewer words than the blocks hold, entries
    // in and beyond the data file, random front-compressed bytes, marks of
    // every kind.
    const uint32_t count = 1 + static_cast<uint32_t>(byte(rng) % 40);
    std::string index = Le32(PACKED_DICT_MAGIC) + Le32(count) + Le16(16) + Le16(0);
    const int entries = byte(rng) % 4;
    for (int e = 0; e < entries; ++e) index += Le32(static_cast<uint32_t>(byte(rng) * 3));
    WriteFile(Prefix() + ".pwi", index);
    WriteFile(Prefix() + ".pwd", bytes(static_cast<size_t>(byte(rng) * 3), 4));
    std::string marks;
    uint32_t mark = 0;
    for (int c = 0; c < 256; ++c) {
      mark += byte(rng) < 8 ? 1 : 0;
      marks += Le32(round % 3 == 0 ? static_cast<uint32_t>(byte(rng)) : mark);
    }
    WriteFile(Prefix() + ".hwm", round % 5 == 0 ? marks.substr(0, 100) : marks);

    quarvel::SetDictionaryCache(false);
    const Answers from_files = Collect(Prefix(), probes);
    quarvel::SetDictionaryCache(true, /*racy_nanoseconds=*/0);
    const Answers first = Collect(Prefix(), probes);  // decodes
    ASSERT_EQ(first, from_files);
    PackedDict *pwp = PWOpen(Prefix().c_str(), "rb");
    if (pwp != nullptr) {
      EXPECT_TRUE(quarvel::DictionaryServedFromMemory());
      PWClose(pwp);
    }
    ASSERT_EQ(Collect(Prefix(), probes), from_files);  // from memory
  }
}

TEST_F(CacheTest, RebuiltDictionaryIsNeverServedStale) {
  quarvel::SetDictionaryCache(true, /*racy_nanoseconds=*/0);
  ASSERT_EQ(Build(Prefix(), {"aaa", "bbb"}), 0);
  ASSERT_EQ(Collect(Prefix(), {"aaa"}).found[0], 0);
  PackedDict *pwp = PWOpen(Prefix().c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_TRUE(quarvel::DictionaryServedFromMemory());
  PWClose(pwp);

  // Rebuilt by this process, same sizes, within the same clock tick.
  ASSERT_EQ(Build(Prefix(), {"aab", "bbc"}), 0);
  std::vector<int32_t> found = Collect(Prefix(), {"aaa", "aab"}).found;
  found.resize(4);  // the probes, then the first two words fetched
  EXPECT_EQ(found, (std::vector<int32_t>{2, 0, 0, 1}));

  // Replaced by other means: a missing mark file, then other files.
  ASSERT_EQ(unlink((Prefix() + ".hwm").c_str()), 0);
  pwp = PWOpen(Prefix().c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_EQ(pwp->flags & PACKED_DICT_USE_MARKS, 0u);
  PWClose(pwp);
  ASSERT_EQ(Build(Prefix("other"), {"ccc", "ddd"}), 0);
  ASSERT_EQ(rename((Prefix("other") + ".pwd").c_str(), (Prefix() + ".pwd").c_str()), 0);
  ASSERT_EQ(rename((Prefix("other") + ".pwi").c_str(), (Prefix() + ".pwi").c_str()), 0);
  EXPECT_EQ(Collect(Prefix(), {"ccc"}).found[0], 0);
}

TEST_F(CacheTest, FilesRewrittenWithinAClockTickAreReadAgain) {
  // Rewritten behind the library's back with the same sizes, right after
  // being read: file times may not have moved, so the files must not be
  // trusted from memory yet.
  quarvel::SetDictionaryCache(true);
  ASSERT_EQ(Build(Prefix(), {"aaa", "bbb"}), 0);
  const std::string index = ReadFile(Prefix() + ".pwi");
  ASSERT_EQ(Collect(Prefix(), {"bbb"}).found[0], 1);
  ASSERT_EQ(Collect(Prefix(), {"bbb"}).found[0], 1);
  WriteFile(Prefix() + ".pwd", std::string("aaa\0\0bbc\0", 9) + std::string(14, '\0'));
  std::vector<int32_t> found = Collect(Prefix(), {"bbb", "bbc"}).found;
  found.resize(4);  // the probes, then the first two words fetched
  EXPECT_EQ(found, (std::vector<int32_t>{2, 1, 0, 1}));
}

TEST_F(CacheTest, SpecialFilesAreReadFromDisk) {
  quarvel::SetDictionaryCache(true, 0);
  ASSERT_EQ(Build(Prefix(), {"a"}), 0);
  ASSERT_EQ(unlink((Prefix() + ".pwd").c_str()), 0);
  ASSERT_EQ(symlink("/dev/zero", (Prefix() + ".pwd").c_str()), 0);
  PackedDict *pwp = PWOpen(Prefix().c_str(), "rb");
  ASSERT_NE(pwp, nullptr);
  EXPECT_FALSE(quarvel::DictionaryServedFromMemory());
  EXPECT_STREQ(GetPW(pwp, 0), "");  // a block of NUL bytes
  EXPECT_EQ(PWClose(pwp), 0);
}

}  // namespace
