#include "quarvel/gstring.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(GstringTrimTest, RemovesOnlyTheFourBlanks) {
  char spaces[] = "   ";
  EXPECT_STREQ(gltrim(spaces), "");
  char trailing[] = "a \t\r\n";
  EXPECT_STREQ(grtrim(trailing), "a");
  char both[] = "  a b  ";
  EXPECT_EQ(gtrim(both), both);
  EXPECT_STREQ(both, "a b");
  // Vertical tab and form feed are ordinary bytes here.
  char vt[] = "\va";
  EXPECT_STREQ(gltrim(vt), "\va");
  char ff[] = "a\f";
  EXPECT_STREQ(grtrim(ff), "a\f");
}

TEST(GstringTrimTest, LeftTrimMovesTheTextToTheStartOfTheBuffer) {
  char text[] = "\t\n x y";
  char *result = gltrim(text);
  EXPECT_EQ(result, text);
  EXPECT_STREQ(text, "x y");
}

TEST(GstringTrimTest, NullAndEmptyComeBackUnchanged) {
  EXPECT_EQ(gltrim(nullptr), nullptr);
  EXPECT_EQ(grtrim(nullptr), nullptr);
  EXPECT_EQ(gtrim(nullptr), nullptr);
  char empty[] = "";
  EXPECT_EQ(gtrim(empty), empty);
  EXPECT_STREQ(empty, "");
}

// A buffer of 16 bytes whose bytes after the text are 'X', so that changes
// beyond the terminator show.
std::string Buffer(const char *text) {
  std::string buffer(16, 'X');
  std::memcpy(buffer.data(), text, std::strlen(text) + 1);
  return buffer;
}

TEST(GstringReplaceTest, ReplacesOnlyTheFirstOccurrenceAndZeroFills) {
  std::string buffer = Buffer("a-b-c");
  EXPECT_EQ(greplace(buffer.data(), 16, "-", "+"), buffer.data());
  EXPECT_EQ(buffer, std::string("a+b-c") + std::string(11, '\0'));

  // The replacement is not searched again.
  buffer = Buffer("ab");
  greplace(buffer.data(), 16, "a", "aa");
  EXPECT_STREQ(buffer.c_str(), "aab");
}

TEST(GstringReplaceTest, LeavesTheBufferAloneWhenThereIsNothingToDo) {
  const std::string original = Buffer("a-b-c");
  std::string buffer = original;
  greplace(buffer.data(), 16, "", "+");
  greplace(buffer.data(), 16, nullptr, "+");
  greplace(buffer.data(), 16, "-", nullptr);
  greplace(buffer.data(), 16, "z", "+");
  greplace(buffer.data(), 0, "-", "+");
  greplace(buffer.data(), -5, "-", "+");
  // The occurrence must lie wholly within the bound.
  greplace(buffer.data(), 4, "-c", "+");
  EXPECT_EQ(buffer, original);
  EXPECT_EQ(greplace(nullptr, 16, "-", "+"), nullptr);
}

TEST(GstringReplaceTest, CutsALongResultWithoutTerminator) {
  std::string buffer = Buffer("a-b");
  greplace(buffer.data(), 6, "-", "12345");
  // "a12345b" is cut to its first 6 bytes; nothing is written after them.
  EXPECT_EQ(buffer.substr(0, 6), "a12345");
  EXPECT_EQ(buffer.substr(6), std::string(10, 'X'));

  // A result of exactly len bytes gets no terminator either.
  buffer = Buffer("a-b");
  greplace(buffer.data(), 7, "-", "12345");
  EXPECT_EQ(buffer.substr(0, 8), "a12345bX");
}

TEST(GstringReplaceTest, ReplacementMayPointIntoTheText) {
  std::string buffer = Buffer("x-yz");
  greplace(buffer.data(), 16, "-", buffer.data() + 2);
  EXPECT_STREQ(buffer.c_str(), "xyzyz");
}

TEST(GstringReplaceTest, IntegerReplacement) {
  std::string buffer = Buffer("v=%d;");
  greplaceInt(buffer.data(), 16, "%d", -42);
  EXPECT_STREQ(buffer.c_str(), "v=-42;");
  buffer = Buffer("%d");
  greplaceInt(buffer.data(), 16, "%d", INT32_MIN);
  EXPECT_STREQ(buffer.c_str(), "-2147483648");
}

TEST(GstringCopyTest, NeverSplitsACharacter) {
  const char source[] = "a\xB0\xA1\xB0\xA2";
  char dst[8];
  std::memset(dst, 'X', sizeof dst);
  EXPECT_EQ(gstrlcpy(dst, source, 3), dst);
  EXPECT_EQ(std::string(dst, 4), "a\xB0\xA1X");

  std::memset(dst, 'X', sizeof dst);
  gstrlcpy(dst, source, 2);
  EXPECT_EQ(std::string(dst, 3), "a X");

  std::memset(dst, 'X', sizeof dst);
  gstrlcpy(dst, source, 0);
  gstrlcpy(dst, source, -1);
  EXPECT_EQ(std::string(dst, 8), std::string(8, 'X'));
}

TEST(GstringCopyTest, StopsAtTheTerminator) {
  char dst[8];
  std::memset(dst, 'X', sizeof dst);
  gstrlcpy(dst, "ab", 8);
  EXPECT_EQ(std::string(dst, 3), "abX");

  // A lead byte right before the end takes the terminator as its second byte.
  std::memset(dst, 'X', sizeof dst);
  gstrlcpy(dst, "a\xC3", 8);
  EXPECT_EQ(std::string(dst, 4), std::string("a\xC3\0X", 4));
  EXPECT_EQ(gstrlcpy(nullptr, "a", 4), nullptr);
  EXPECT_EQ(gstrlcpy(dst, nullptr, 4), dst);
}

}  // namespace
