#include "quarvel/stringutil.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(StringUtilChopTest, RemovesExactlyOneCharacter) {
  const struct {
    const char *before, *after;
    char removed;
  } rows[] = {{"ab\n", "ab", '\n'}, {"ab", "a", 'b'},       {"x", "", 'x'},
              {"", "", '\0'},       {"a\r\n", "a\r", '\n'}, {"\xe9", "", '\xe9'}};
  for (const auto &row : rows) {
    std::string text = row.before;
    EXPECT_EQ(Chop(text.data()), row.removed) << row.before;
    EXPECT_STREQ(text.c_str(), row.after);
  }
  EXPECT_EQ(Chop(nullptr), '\0');
}

TEST(StringUtilTrimTest, RemovesTrailingWhiteSpaceOnly) {
  const struct {
    const char *before, *after;
  } rows[] = {{"ab \t\n", "ab"},
              {"ab\v\f\r", "ab"},
              {" a b ", " a b"},
              {" \t\r\n", ""},
              {"", ""},
              {"ab", "ab"},
              {"a\n\x01", "a\n\x01"},
              // Not white space in the "C" locale, whatever the host's locale says.
              {"ab\x85\xa0", "ab\x85\xa0"}};
  // Shows that a host's locale cannot widen the set.
  const char *locale = std::setlocale(LC_ALL, "C.UTF-8");
  for (const auto &row : rows) {
    std::string text = row.before;
    char *end = Trim(text.data());
    EXPECT_STREQ(text.c_str(), row.after) << row.before;
    EXPECT_EQ(end, text.data() + std::strlen(row.after)) << row.before;
  }
  if (locale != nullptr) std::setlocale(LC_ALL, "C");
  EXPECT_EQ(Trim(nullptr), nullptr);
}

TEST(StringUtilCloneTest, MakesAnIndependentHeapCopy) {
  for (const std::string &original : {std::string(), std::string("abc"), std::string(5000, 'q')}) {
    char *copy = Clone(original.c_str());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, original.c_str());
    EXPECT_EQ(copy, original);
    std::free(copy);
  }
  EXPECT_EQ(Clone(nullptr), nullptr);
}

}  // namespace
