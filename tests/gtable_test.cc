#include "quarvel/gtable.h"

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/test_util.h"

namespace {

using quarvel::testing::ReadFile;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

struct TableDeleter {
  void operator()(gtbl *table) const { gtbl_destroy(table); }
};
using TablePtr = std::unique_ptr<gtbl, TableDeleter>;

TablePtr NewTable() { return TablePtr(gtbl_create(13, 5)); }

// Every entry as "key=value", in table order.
std::vector<std::string> Entries(const gtbl *table) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < gtbl_size(table); ++i) {
    auto *field = static_cast<const gfield *>(glist_get(table->list, i));
    out.push_back(std::string(field->key) + "=" + field->value);
  }
  return out;
}

class GtblFileTest : public ::testing::Test {
 protected:
  // Loads bytes as a flat file into table_ and returns the entries.
  std::vector<std::string> Load(const std::string &bytes) {
    const std::string path = dir_.File("flat.conf");
    WriteFile(path, bytes);
    EXPECT_EQ(gtbl_load(table_.get(), path.c_str()), 0);
    return Entries(table_.get());
  }

  TempDir dir_;
  TablePtr table_ = NewTable();
};

using Strings = std::vector<std::string>;

TEST(GtblTest, FirstEntryWithAKeyWins) {
  TablePtr table = NewTable();
  gtbl_put(table.get(), "k", "1");
  gtbl_put(table.get(), "k", "2");
  gtbl_put(table.get(), "K", "3");
  EXPECT_STREQ(gtbl_get(table.get(), "k", nullptr), "1");
  EXPECT_EQ(gtbl_size(table.get()), 3);
  EXPECT_EQ(gtbl_getIndexByKey(table.get(), "K"), 2);
  gtbl_remove(table.get(), "k");
  EXPECT_STREQ(gtbl_get(table.get(), "k", nullptr), "2");
  EXPECT_EQ(gtbl_getIndexByKey(table.get(), "K"), 1);
  gtbl_remove(table.get(), "absent");
  EXPECT_EQ(gtbl_size(table.get()), 2);
}

TEST(GtblTest, PutCopiesTheTexts) {
  TablePtr table = NewTable();
  char key[] = "key";
  char value[] = "value";
  gtbl_put(table.get(), key, value);
  key[0] = 'X';
  value[0] = 'X';
  EXPECT_STREQ(gtbl_get(table.get(), "key", nullptr), "value");
  gtbl_put(table.get(), "", "");
  EXPECT_STREQ(gtbl_get(table.get(), "", nullptr), "");
}

TEST(GtblTest, MissingArgumentsGiveNeutralResults) {
  TablePtr table = NewTable();
  const char *def = "default";
  gtbl_put(table.get(), nullptr, "v");
  gtbl_put(table.get(), "k", nullptr);
  gtbl_put(nullptr, "k", "v");
  EXPECT_EQ(gtbl_size(table.get()), 0);
  EXPECT_EQ(gtbl_get(nullptr, "k", def), nullptr);
  EXPECT_EQ(gtbl_get(table.get(), "k", def), def);
  EXPECT_EQ(gtbl_get(table.get(), nullptr, def), def);
  EXPECT_EQ(gtbl_get(table.get(), "k", nullptr), nullptr);
  EXPECT_EQ(gtbl_getInt(nullptr, "k", 7), 7);
  EXPECT_EQ(gtbl_getBoolean(nullptr, "k", 5), 5);
  EXPECT_EQ(gtbl_getIndexByKey(nullptr, "k"), -1);
  EXPECT_EQ(gtbl_getIndexByKey(table.get(), nullptr), -1);
  EXPECT_EQ(gtbl_size(nullptr), -1);
  EXPECT_EQ(gtbl_load(nullptr, "x"), -1);
  EXPECT_EQ(gtbl_store(nullptr, "x", nullptr), -1);
  EXPECT_EQ(gtbl_store(table.get(), nullptr, nullptr), -1);
  EXPECT_EQ(gfield_create(nullptr, "v"), nullptr);
  EXPECT_EQ(gfield_create("k", nullptr), nullptr);
  EXPECT_EQ(gtbl_create(-1, 5), nullptr);
}

TEST(GtblTypedTest, IntegersTrimInPlaceAndConvertLikeAtoi) {
  TablePtr table = NewTable();
  gtbl_put(table.get(), "n", " 42 ");
  EXPECT_EQ(gtbl_getInt(table.get(), "n", -1), 42);
  EXPECT_STREQ(gtbl_get(table.get(), "n", nullptr), "42");

  const std::vector<std::pair<const char *, int32_t>> cases = {
      {"abc", 0},
      {"12abc", 12},
      {"-7", -7},
      {"+8", 8},
      {"\v\f9", 9},
      {"- 5", 0},
      {"", 0},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"2147483648", INT_MAX},
      {"-2147483649", INT_MIN},
      {"99999999999999999999999", INT_MAX},
      {"-000000000000000000000000012", -12},
  };
  for (const auto &[text, expected] : cases) {
    gtbl_put(table.get(), text, text);
    EXPECT_EQ(gtbl_getInt(table.get(), text, -1), expected) << '"' << text << '"';
  }
  EXPECT_EQ(gtbl_getInt(table.get(), "absent", 1234), 1234);
}

TEST(GtblTypedTest, BooleansAcceptOnlyTrueAndYes) {
  TablePtr table = NewTable();
  const std::vector<std::pair<const char *, int32_t>> cases = {
      {"TRUE", 1}, {" Yes\t", 1}, {"yEs", 1},   {"1", 0},   {"y", 0},
      {"", 0},     {"on", 0},     {"truer", 0}, {"tru", 0}, {"yes no", 0},
  };
  for (const auto &[text, expected] : cases) {
    gtbl_put(table.get(), text, text);
    EXPECT_EQ(gtbl_getBoolean(table.get(), text, 9), expected) << '"' << text << '"';
  }
  EXPECT_STREQ(gtbl_get(table.get(), " Yes\t", nullptr), "Yes");
  EXPECT_EQ(gtbl_getBoolean(table.get(), "absent", 7), 7);
}

TEST(GtblNamesTest, CopiesEveryKeyInOrder) {
  TablePtr table = NewTable();
  gtbl_put(table.get(), "a", "1");
  gtbl_put(table.get(), "b", "2");
  gtbl_put(table.get(), "a", "3");
  gnames *names = gtbl_create_names();
  ASSERT_NE(names, nullptr);
  EXPECT_EQ(names->n_names, 0);
  EXPECT_EQ(names->names, nullptr);
  EXPECT_EQ(gtbl_getnames(nullptr, names), -1);
  EXPECT_EQ(names->n_names, 0);
  ASSERT_EQ(gtbl_getnames(table.get(), names), 3);
  EXPECT_STREQ(names->names[0], "a");
  EXPECT_STREQ(names->names[1], "b");
  EXPECT_STREQ(names->names[2], "a");
  gtbl_remove(table.get(), "a");
  EXPECT_STREQ(names->names[0], "a");  // copies, not the table's storage
  // A second fill replaces the first without leaking it.
  EXPECT_EQ(gtbl_getnames(table.get(), names), 2);
  EXPECT_STREQ(names->names[0], "b");
  gtbl_destroy_names(names);
  gtbl_destroy_names(nullptr);
}

TEST_F(GtblFileTest, ContinuationExamples) {
  const std::vector<std::pair<std::string, Strings>> cases = {
      {"k=abc \\\n   def\n", {"k=abc def"}},     // blanks before the backslash stay
      {"k=abc\\\n   def\n", {"k=abcdef"}},       // no separator otherwise
      {"k=abc\\\n\n   def\n", {"k=abc"}},        // an empty line closes
      {"k=abc\\\n# c\n   def\n", {"k=abcdef"}},  // comments keep it open
      {"k=abc\\\nm=1\n", {"m=1"}},               // an unindented line drops it
  };
  for (const auto &[file, expected] : cases) {
    table_ = NewTable();
    EXPECT_EQ(Load(file), expected) << file;
  }
}

TEST_F(GtblFileTest, ContinuationsChainAndEndAtTheFileEnd) {
  EXPECT_EQ(Load("a=1\\\n\t2 \\\n 3\nb=x\\\n y\\\n"), Strings{"a=12 3"});
}

TEST_F(GtblFileTest, KeyLineRules) {
  const std::string file =
      "# comment=1\n"
      "  x=1\n"
      "no equals sign\n"
      "key one = v = w \r\n"
      "empty=\n"
      "hash=#;value\n"
      "=\n"
      "last=b";
  EXPECT_EQ(Load(file), (Strings{"key one= v = w", "empty=", "hash=#;value", "=", "last=b"}));
}

TEST_F(GtblFileTest, LoadingAppendsAndNeverReplaces) {
  gtbl_put(table_.get(), "a", "0");
  Load("a=1\n");
  EXPECT_EQ(Load("a=1\n"), (Strings{"a=0", "a=1", "a=1"}));
  EXPECT_STREQ(gtbl_get(table_.get(), "a", nullptr), "0");
}

TEST_F(GtblFileTest, EmptyAndMissingFiles) {
  EXPECT_EQ(Load(""), Strings{});
  EXPECT_EQ(gtbl_load(table_.get(), dir_.File("absent").c_str()), -1);
  EXPECT_EQ(gtbl_size(table_.get()), 0);
}

TEST_F(GtblFileTest, LongCommentsStayComments) {
  // A comment far longer than any line buffer must not turn its tail into a
  // key line.
  const std::string comment = "#" + std::string(1500, 'c') + "evil=1\n";
  const std::string value(5000, 'v');
  EXPECT_EQ(Load(comment + "long=" + value + "\n" + "  " + std::string(3000, ' ') + "x=2\n"),
            Strings{"long=" + value});
}

TEST_F(GtblFileTest, NulByteEndsTheLinesText) {
  using namespace std::string_literals;
  const std::string file =
      "a=1\0b=2\n"s     // the rest of the physical line is not a line
      "c=x\\\0junk\n"s  // the text before the NUL opens a continuation
      "  more\0=q\n"s   // and this line continues it
      "\0d=4\n"s        // a line with empty text sets nothing
      "e=5\n"s;
  EXPECT_EQ(Load(file), (Strings{"a=1", "c=xmore", "e=5"}));
}

TEST_F(GtblFileTest, MegabytesOfContinuationLines) {
  std::string file = "big=\\\n";
  for (int i = 0; i < 200000; ++i) file += " 0123456789\\\n";
  file += " end\n";
  const std::vector<std::string> entries = Load(file);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].size(), 4 + 200000 * 10 + 3);
  EXPECT_EQ(entries[0].substr(entries[0].size() - 13), "0123456789end");
}

TEST_F(GtblFileTest, BinaryGarbageIsHarmless) {
  std::string garbage;
  unsigned state = 12345;
  for (int i = 0; i < 200000; ++i) {
    state = state * 1103515245u + 12345u;
    garbage.push_back(static_cast<char>(state >> 16));
  }
  const std::string path = dir_.File("garbage");
  WriteFile(path, garbage);
  EXPECT_EQ(gtbl_load(table_.get(), path.c_str()), 0);
  // Whatever was read must be storable again.
  EXPECT_EQ(gtbl_store(table_.get(), dir_.File("out").c_str(), nullptr), 0);
}

TEST_F(GtblFileTest, StoreWritesTheHeaderBlock) {
  const std::string path = dir_.File("out.conf");
  ASSERT_EQ(gtbl_store(table_.get(), path.c_str(), nullptr), 0);
  EXPECT_EQ(ReadFile(path), "#\n#  gtable store file\n\n#\n");

  gtbl_put(table_.get(), "a", "1");
  gtbl_put(table_.get(), "e", "");
  gtbl_put(table_.get(), "a", "2");
  ASSERT_EQ(gtbl_store(table_.get(), path.c_str(), "my header"), 0);
  EXPECT_EQ(ReadFile(path), "#\n# my header\n#\na=1\ne=\na=2\n");
  EXPECT_EQ(gtbl_store(table_.get(), dir_.File("no/such/dir").c_str(), nullptr), -1);
}

TEST_F(GtblFileTest, StoreSplitsLongValues) {
  std::string value;
  for (int i = 0; i < 3000; ++i) value.push_back(static_cast<char>('a' + i % 26));
  gtbl_put(table_.get(), "v", value.c_str());
  gtbl_put(table_.get(), "w", std::string(1024, 'w').c_str());
  gtbl_put(table_.get(), "x", std::string(1023, 'x').c_str());
  const std::string path = dir_.File("out.conf");
  ASSERT_EQ(gtbl_store(table_.get(), path.c_str(), ""), 0);
  const std::string expected = "#\n# \n#\n" + ("v=" + value.substr(0, 1022) + " \\\n") +
                               value.substr(1022, 1022) + " \\\n" + value.substr(2044) + "\n" +
                               "w=" + std::string(1022, 'w') + " \\\nww\n" +
                               "x=" + std::string(1023, 'x') + "\n";
  EXPECT_EQ(ReadFile(path), expected);
}

TEST_F(GtblFileTest, LongValuesSurviveStoreAndLoad) {
  // The pieces after the first start in the first column, with whatever
  // byte the value holds there: a "#", a blank, a "[" or "=".
  std::string value(3000, 'v');
  value[1022] = '#';
  value[2044] = ' ';
  std::string bracket(2100, 'b');
  bracket[1022] = '[';
  bracket[1023] = '=';
  gtbl_put(table_.get(), "v", value.c_str());
  gtbl_put(table_.get(), "w", std::string(1024, 'w').c_str());
  gtbl_put(table_.get(), "b", bracket.c_str());
  gtbl_put(table_.get(), "after", "1");
  const std::string path = dir_.File("long.conf");
  ASSERT_EQ(gtbl_store(table_.get(), path.c_str(), nullptr), 0);
  TablePtr copy = NewTable();
  ASSERT_EQ(gtbl_load(copy.get(), path.c_str()), 0);
  EXPECT_EQ(Entries(copy.get()), Entries(table_.get()));

  // An indented continuation after a hand-written line keeps its old
  // meaning: only the writer's exact piece shape is read as a piece.
  table_ = NewTable();
  EXPECT_EQ(Load("k=abc \\\n   def\n"), Strings{"k=abc def"});
}

TEST_F(GtblFileTest, ShortValuesSurviveStoreAndLoad) {
  gtbl_put(table_.get(), "a", "with spaces  inside");
  gtbl_put(table_.get(), "b", "x=y#z");
  gtbl_put(table_.get(), "c", "");
  const std::string path = dir_.File("round.conf");
  ASSERT_EQ(gtbl_store(table_.get(), path.c_str(), "multi\n# line"), 0);
  TablePtr copy = NewTable();
  ASSERT_EQ(gtbl_load(copy.get(), path.c_str()), 0);
  EXPECT_EQ(Entries(copy.get()), Entries(table_.get()));
}

}  // namespace
