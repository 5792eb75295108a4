// The units the format and store step added: the file-I/O loops, the index
// header codec, and the one dictionary cache's revalidation.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <future>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "format/dict_layout.h"
#include "format/file_io.h"
#include "store/dictionary.h"
#include "store/dictionary_cache.h"
#include "testing/test_util.h"

namespace quarvel {
namespace {

using testing::MakeDictionary;
using testing::TempDir;
using testing::WriteFile;

std::span<const unsigned char> Bytes(const std::string &s) {
  return {reinterpret_cast<const unsigned char *>(s.data()), s.size()};
}

TEST(FileIoTest, ReadsUntilFullOrEndOfFile) {
  TempDir dir;
  WriteFile(dir.File("f"), "0123456789");
  const int fd = open(dir.File("f").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  unsigned char out[8];
  int error = -1;
  EXPECT_EQ(ReadAtFd(fd, 1, out, &error), 8u);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 8), "12345678");
  EXPECT_EQ(ReadAtFd(fd, 6, out, &error), 4u);  // a short read at the end
  EXPECT_EQ(error, 0);
  EXPECT_EQ(ReadAtFd(fd, 10, out), 0u);
  EXPECT_EQ(ReadAtFd(fd, uint64_t{1} << 63, out), 0u);  // beyond off_t
  close(fd);
  EXPECT_EQ(ReadAtFd(fd, 0, out, &error), 0u);
  EXPECT_EQ(error, EBADF);
}

TEST(FileIoTest, WritesAtPositionAndAtOffset) {
  TempDir dir;
  const int fd = open(dir.File("f").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(WriteAllFd(fd, Bytes("abcdef")));
  EXPECT_TRUE(WriteAllAtFd(fd, 2, Bytes("XY")));
  EXPECT_TRUE(WriteAllFd(fd, Bytes("g")));  // the position stayed after "abcdef"
  EXPECT_FALSE(WriteAllAtFd(fd, uint64_t{1} << 63, Bytes("z")));
  close(fd);
  EXPECT_EQ(testing::ReadFile(dir.File("f")), "abXYefg");
  EXPECT_FALSE(WriteAllFd(-1, Bytes("z")));
}

TEST(FileIoTest, MapsWholeFiles) {
  TempDir dir;
  WriteFile(dir.File("f"), "mapped");
  WriteFile(dir.File("empty"), "");
  for (const auto &[name, size] : {std::pair{"f", 6}, std::pair{"empty", 0}}) {
    const int fd = open(dir.File(name).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    std::string why;
    auto map = FileMap::Map(fd, static_cast<uint64_t>(size), &why);
    close(fd);  // a map outlives its descriptor
    ASSERT_NE(map, nullptr) << why;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(map->bytes().data()), map->bytes().size()),
              size == 0 ? "" : "mapped");
  }
}

// {first bytes of an index file, wide, magic, word count}; nullopt cases
// have fewer than 12 bytes.
TEST(IndexHeaderTest, DecodesBothLayouts) {
  const std::string magic = "\x31\x56\x77\x70";
  const std::string zero4(4, '\0');
  struct Case {
    std::string bytes;
    bool wide;
    uint32_t magic;
    uint64_t count;
  };
  const Case cases[] = {
      {magic + std::string("\x03\0\0\0\x10\0\0\0", 8), false, PACKED_DICT_MAGIC, 3},
      // Standard magic and count 0 with an entry: 16 bytes, too short to be wide.
      {magic + zero4 + std::string("\x10\0\0\0", 4) + zero4, false, PACKED_DICT_MAGIC, 0},
      {magic + zero4 + std::string("\x05\0\0\0\x01\0\0\0\x10\0\0\0", 12), true, PACKED_DICT_MAGIC,
       (uint64_t{1} << 32) + 5},
      {std::string("XXXX\x03\0\0\0\x10\0\0\0", 12), false, 0x58585858u, 3},
  };
  for (const Case &c : cases) {
    const auto header = DecodeIndexHeader(Bytes(c.bytes));
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->wide, c.wide);
    EXPECT_EQ(header->magic, c.magic);
    EXPECT_EQ(header->word_count, c.count);
    EXPECT_EQ(header->block_length, 16);
  }
  EXPECT_FALSE(DecodeIndexHeader(Bytes(magic + "\x03\0\0")).has_value());
}

class DictionaryCacheTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string Prefix() const { return dir_.File("d"); }

  // Files changed within the quiet window are looked at again once it has
  // passed; dictionaries opened after it are settled.
  static void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(150)); }

  // Replaces the dictionary as another process would: built beside it, then
  // renamed into place, without this process's write generation knowing.
  void ReplaceFromOutside(const std::set<std::string> &words) {
    const std::string staged = dir_.File("staged");
    MakeDictionary(staged, words);
    for (const char *ext : {".pwd", ".pwi", ".hwm"}) {
      ASSERT_EQ(std::rename((staged + ext).c_str(), (Prefix() + ext).c_str()), 0);
    }
  }
};

TEST_F(DictionaryCacheTest, ServesTheSameDictionaryUntilItsFilesChange) {
  MakeDictionary(Prefix(), {"apple", "pear"});
  Settle();
  const auto first = CachedDictionary(Prefix());
  ASSERT_TRUE(first->ok());
  EXPECT_EQ(CachedDictionary(Prefix()), first);
  EXPECT_EQ(CachedDictionary(Prefix(), /*look_now=*/true), first);
  EXPECT_EQ(RevalidatedDictionary(Prefix(), nullptr), first);
}

TEST_F(DictionaryCacheTest, SeesAReplacementWithinTheRevalidationDelay) {
  MakeDictionary(Prefix(), {"apple", "pear"});
  const auto first = CachedDictionary(Prefix());
  ASSERT_TRUE(first->ok());
  ReplaceFromOutside({"plum"});
  std::this_thread::sleep_for(std::chrono::milliseconds(2 * QUARVEL_REVALIDATE_MS + 1));
  const auto second = CachedDictionary(Prefix());
  EXPECT_NE(second, first);
  EXPECT_TRUE(second->Contains("plum"));
  EXPECT_FALSE(second->Contains("apple"));
  // Another thread, which never used it, gets the same dictionary.
  std::shared_ptr<const engine::Dictionary> other;
  std::thread([&] { other = CachedDictionary(Prefix()); }).join();
  EXPECT_EQ(other, second);
}

TEST_F(DictionaryCacheTest, SeesAWriteOfThisProcessAtOnce) {
  MakeDictionary(Prefix(), {"apple"});
  const auto first = CachedDictionary(Prefix());
  ReplaceFromOutside({"plum"});
  const auto written = DictionaryWritten(Prefix());
  EXPECT_TRUE(written->Contains("plum"));
  EXPECT_EQ(CachedDictionary(Prefix()), written);
}

TEST_F(DictionaryCacheTest, AReopenedDictionaryIsWhatTheCacheServes) {
  MakeDictionary(Prefix(), {"apple"});
  Settle();
  const auto first = CachedDictionary(Prefix());
  const auto reopened = ReopenedDictionary(Prefix());
  EXPECT_NE(reopened, first);
  EXPECT_EQ(RevalidatedDictionary(Prefix(), first), reopened);
}

// A FIFO in place of one of a dictionary's files, which no writer will
// open: the dictionary opens at once, and serves what its other files hold.
TEST_F(DictionaryCacheTest, AFifoInPlaceOfAFileOpensWithoutWaiting) {
  struct Case {
    const char *extension;
    bool words_readable;
  };
  for (const Case &c :
       {Case{".pwd", false}, Case{".pwi", false}, Case{".hwm", true}, Case{".pwr", true}}) {
    SCOPED_TRACE(c.extension);
    MakeDictionary(Prefix(), {"apple", "pear"});
    const std::string path = Prefix() + c.extension;
    std::remove(path.c_str());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    auto opening =
        std::async(std::launch::async, [this] { return engine::Dictionary::Open(Prefix()); });
    const bool opened = opening.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!opened) {
      // A writer lets the waiting opening go on, so that the test ends.
      const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) close(fd);
    }
    EXPECT_TRUE(opened) << "the opening waited for a writer";
    const auto dict = opening.get();
    EXPECT_EQ(dict->Contains("apple"), c.words_readable);
    std::remove(path.c_str());
  }
}

// An index whose header claims four billion words over one block: each way
// of serving the dictionary hands out the block's words and stops, rather
// than walk every slot the header claims.
TEST(DictionaryWordsTest, AWordCountBeyondTheIndexWalksOnlyItsBlocks) {
  TempDir dir;
  const std::string prefix = dir.File("d");
  enum Way { kDecoded, kMapped, kRead };
  for (const Way way : {kDecoded, kMapped, kRead}) {
    SCOPED_TRACE(way);
    MakeDictionary(prefix, {"apple", "pear"});
    std::string index = testing::ReadFile(prefix + ".pwi");
    index.replace(4, 4, "\xf0\xff\xff\xff");
    WriteFile(prefix + ".pwi", index);
    // Files that are not all regular are read a block at a time.
    const std::string marks = prefix + ".hwm";
    if (way == kRead) {
      ASSERT_TRUE(std::remove(marks.c_str()) == 0 && mkfifo(marks.c_str(), 0600) == 0);
    }
    engine::SetDecodedDataBytes(way == kDecoded ? engine::kDecodedDataBytes : 0);
    auto walking = std::async(std::launch::async, [&] {
      std::set<std::string> words;
      engine::Dictionary::Open(prefix)->ForEachWord(
          [&](uint32_t, std::string_view word) { words.emplace(word); });
      return words;
    });
    ASSERT_EQ(walking.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "the walk went over the claimed word count";
    EXPECT_EQ(walking.get(), (std::set<std::string>{"apple", "pear"}));
    std::remove(marks.c_str());
  }
  engine::SetDecodedDataBytes(engine::kDecodedDataBytes);
}

}  // namespace
}  // namespace quarvel
