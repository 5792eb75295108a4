#include "quarvel/gconfig.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/test_util.h"

namespace {

using quarvel::testing::ReadFile;
using quarvel::testing::TempDir;
using quarvel::testing::WriteFile;

struct ConfigDeleter {
  void operator()(gcfg *cfg) const { gcfg_destroy(cfg); }
};
using ConfigPtr = std::unique_ptr<gcfg, ConfigDeleter>;

class GcfgTest : public ::testing::Test {
 protected:
  // Loads bytes as an INI file into cfg_.
  void Load(const std::string &bytes) {
    const std::string path = dir_.File("test.ini");
    WriteFile(path, bytes);
    ASSERT_EQ(gcfg_load(cfg_.get(), path.c_str()), 0);
  }

  // The section names in list order.
  std::vector<std::string> SectionNames() const {
    std::vector<std::string> names;
    for (int32_t i = 0; i < glist_size(cfg_->sections); ++i) {
      names.push_back(static_cast<gconfigsect *>(glist_get(cfg_->sections, i))->name);
    }
    return names;
  }

  const char *Get(const char *section, const char *key) {
    return gcfg_get(cfg_.get(), section, key, "<absent>");
  }

  std::string Store(const char *header) {
    const std::string path = dir_.File("out.ini");
    EXPECT_EQ(gcfg_store(cfg_.get(), path.c_str(), header), 0);
    return ReadFile(path);
  }

  TempDir dir_;
  ConfigPtr cfg_{gcfg_create(5, 3)};
};

using Strings = std::vector<std::string>;

TEST_F(GcfgTest, EntriesBeforeTheFirstSectionAreDropped) {
  Load("k=0\n[s]\nk=1\n");
  EXPECT_STREQ(Get("s", "k"), "1");
  EXPECT_EQ(gtbl_size(gcfg_findtable(cfg_.get(), "s")), 1);
}

TEST_F(GcfgTest, RepeatedSectionContinuesTheFirst) {
  Load("[s]\nk=1\n[t]\n[s]\nk=2\nj=3\n");
  EXPECT_EQ(SectionNames(), (Strings{"s", "t"}));
  EXPECT_STREQ(Get("s", "k"), "1");
  EXPECT_STREQ(Get("s", "j"), "3");
  EXPECT_EQ(gtbl_size(gcfg_findtable(cfg_.get(), "s")), 3);
}

TEST_F(GcfgTest, SectionLineForms) {
  Load(
      "[  Name \t]  \r\n"
      "a=1\n"
      "[other] # note\n"  // text after "]": no section switch
      "b=2\n"
      "[]\n"
      "c=3\n"
      "[S]\n"
      "d=4\n"
      "[s]\n"
      "e=5\n");
  EXPECT_EQ(SectionNames(), (Strings{"Name", "", "S", "s"}));
  EXPECT_STREQ(Get("Name", "b"), "2");
  EXPECT_STREQ(Get("", "c"), "3");
  EXPECT_STREQ(Get("S", "e"), "<absent>");
  EXPECT_STREQ(Get("s", "e"), "5");
}

TEST_F(GcfgTest, OnlyTheFirst80BytesDecide) {
  const std::string long_name(85, 'n');
  // "[" + 78 letters + "]" fits the window; one letter more does not.
  const std::string fits(78, 'f');
  Load("[a]\n[" + long_name + "]\nk=1\n[" + fits + "]\nk=2\n[" + fits + "x]\nk=3\n");
  EXPECT_EQ(SectionNames(), (Strings{"a", fits}));
  EXPECT_STREQ(Get("a", "k"), "1");
  EXPECT_STREQ(Get(fits.c_str(), "k"), "2");
}

TEST_F(GcfgTest, SectionLineDropsAnOpenEntry) {
  Load("[a]\nk=1\\\n[b]\n  x\nm=2\n");
  EXPECT_STREQ(Get("a", "k"), "<absent>");
  EXPECT_STREQ(Get("b", "m"), "2");
  // A bracket line that opens nothing drops it too.
  Load("[c]\nk=1\\\n[c] x\nn=3\n");
  EXPECT_STREQ(Get("c", "k"), "<absent>");
  EXPECT_STREQ(Get("c", "n"), "3");
}

TEST_F(GcfgTest, IndentedSectionLineIsNoSectionLine) {
  Load("[a]\n  [b]\nk=v\\\n  [c]\n");
  EXPECT_EQ(SectionNames(), Strings{"a"});
  EXPECT_STREQ(Get("a", "k"), "v[c]");
}

TEST_F(GcfgTest, SectionLineWithEqualsIsOnlyASectionLine) {
  Load("[a=b]\nk=1\n[x] y=z\n");
  EXPECT_EQ(SectionNames(), Strings{"a=b"});
  gtbl *table = gcfg_findtable(cfg_.get(), "a=b");
  EXPECT_EQ(gtbl_getIndexByKey(table, "[a"), -1);
  // A bracket line that opens no section is an ordinary key line.
  EXPECT_STREQ(Get("a=b", "[x] y"), "z");
}

TEST_F(GcfgTest, LoadingTwiceDoublesEntries) {
  Load("[s]\nk=1\n");
  Load("[s]\nk=2\n");
  EXPECT_EQ(SectionNames(), Strings{"s"});
  EXPECT_EQ(gtbl_size(gcfg_findtable(cfg_.get(), "s")), 2);
  EXPECT_STREQ(Get("s", "k"), "1");
}

TEST_F(GcfgTest, LongLinesDoNotSetSettings) {
  Load("[s]\n#" + std::string(2000, '#') + "[t]\n#" + std::string(1100, ' ') + "k=evil\n" +
       "v=" + std::string(4000, 'v') + "\n");
  EXPECT_EQ(SectionNames(), Strings{"s"});
  EXPECT_STREQ(Get("s", "k"), "<absent>");
  EXPECT_EQ(std::string(Get("s", "v")), std::string(4000, 'v'));
}

TEST_F(GcfgTest, EmptyAndMissingFiles) {
  Load("");
  EXPECT_EQ(glist_size(cfg_->sections), 0);
  EXPECT_EQ(gcfg_load(cfg_.get(), dir_.File("absent.ini").c_str()), -1);
  EXPECT_EQ(gcfg_load(nullptr, dir_.File("test.ini").c_str()), -1);
  EXPECT_EQ(gcfg_load(cfg_.get(), nullptr), -1);
}

TEST_F(GcfgTest, LookupsAndTheirFixedResults) {
  Load("[s]\nn = 42 \nb= Yes\nt= text\n");
  const char *def = "default";
  EXPECT_STREQ(Get("s", "t"), " text");
  EXPECT_EQ(gcfg_get(cfg_.get(), "nosuch", "t", def), def);
  EXPECT_EQ(gcfg_get(cfg_.get(), "s", "absent", def), def);
  EXPECT_EQ(gcfg_get(cfg_.get(), nullptr, "t", def), nullptr);
  EXPECT_EQ(gcfg_get(cfg_.get(), "s", nullptr, def), nullptr);
  EXPECT_EQ(gcfg_get(nullptr, "s", "t", def), nullptr);

  EXPECT_EQ(gcfg_getInt(cfg_.get(), "s", "n", 0), 42);
  EXPECT_STREQ(Get("s", "n"), "42");
  EXPECT_EQ(gcfg_getInt(cfg_.get(), "nosuch", "n", 7), 7);
  EXPECT_EQ(gcfg_getInt(cfg_.get(), "s", "absent", 7), 7);
  EXPECT_EQ(gcfg_getInt(cfg_.get(), "s", nullptr, 7), -1);
  EXPECT_EQ(gcfg_getInt(nullptr, "s", "n", 7), -1);

  EXPECT_EQ(gcfg_getBoolean(cfg_.get(), "s", "b", 0), 1);
  EXPECT_EQ(gcfg_getBoolean(cfg_.get(), "s", "t", 1), 0);
  EXPECT_EQ(gcfg_getBoolean(cfg_.get(), "nosuch", "b", 5), 5);
  EXPECT_EQ(gcfg_getBoolean(nullptr, "s", "b", 5), 0);
  EXPECT_EQ(gcfg_getBoolean(cfg_.get(), nullptr, "b", 5), 0);
}

TEST_F(GcfgTest, SectionsAreFoundByExactName) {
  gconfigsect *first = gconfigsect_create("dup");
  gconfigsect *second = gconfigsect_create("dup");
  gcfg_putsection(cfg_.get(), first);
  gcfg_putsection(cfg_.get(), second);
  gcfg_putsection(cfg_.get(), nullptr);
  EXPECT_EQ(glist_size(cfg_->sections), 2);
  EXPECT_EQ(gcfg_findsection(cfg_.get(), "dup"), first);
  EXPECT_EQ(gcfg_findtable(cfg_.get(), "dup"), first->table);
  EXPECT_EQ(gcfg_findsection(cfg_.get(), "Dup"), nullptr);
  EXPECT_EQ(gcfg_findtable(cfg_.get(), "Dup"), nullptr);
  EXPECT_EQ(gcfg_findsection(cfg_.get(), nullptr), nullptr);
  EXPECT_EQ(gcfg_findsection(nullptr, "dup"), nullptr);

  gconfigsect *orphan = gconfigsect_create("x");
  gcfg_putsection(nullptr, orphan);  // ownership stays with the caller
  gconfigsect_destroy(orphan);
  gconfigsect_destroy(nullptr);
  gcfg_destroy(nullptr);
}

TEST(GconfigsectTest, NameIsCutTo80Bytes) {
  const std::string name(100, 'x');
  gconfigsect *section = gconfigsect_create(name.c_str());
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(std::string(section->name), name.substr(0, 80));
  EXPECT_EQ(gtbl_size(section->table), 0);
  EXPECT_EQ(section->table->list->capacity, 13);
  EXPECT_EQ(section->table->list->grow_by, 5);
  gconfigsect_destroy(section);
  EXPECT_EQ(gconfigsect_create(nullptr), nullptr);
}

TEST_F(GcfgTest, StoreLayout) {
  EXPECT_EQ(Store(nullptr), "#\n#  gconfig store file\n\n#\n");
  Load("[S]\na=1\n[empty]\n");
  EXPECT_EQ(Store(nullptr), "#\n#  gconfig store file\n\n#\n\n[S]\na=1\n\n[empty]\n");
  EXPECT_EQ(Store("head"), "#\n# head\n#\n\n[S]\na=1\n\n[empty]\n");
  gtbl_put(gcfg_findtable(cfg_.get(), "S"), "long", std::string(1500, 'L').c_str());
  EXPECT_EQ(Store("h"), "#\n# h\n#\n\n[S]\na=1\nlong=" + std::string(1022, 'L') + " \\\n" +
                            std::string(478, 'L') + "\n\n[empty]\n");
  EXPECT_EQ(gcfg_store(nullptr, dir_.File("x").c_str(), nullptr), -1);
  EXPECT_EQ(gcfg_store(cfg_.get(), nullptr, nullptr), -1);
  EXPECT_EQ(gcfg_store(cfg_.get(), dir_.File("no/dir/x").c_str(), nullptr), -1);
}

TEST_F(GcfgTest, StoredConfigurationLoadsBack) {
  Load("[a]\nk= spaced value\nempty=\n[b]\nk=2\n");
  const std::string path = dir_.File("out.ini");
  ASSERT_EQ(gcfg_store(cfg_.get(), path.c_str(), nullptr), 0);
  ConfigPtr copy(gcfg_create(5, 3));
  ASSERT_EQ(gcfg_load(copy.get(), path.c_str()), 0);
  EXPECT_STREQ(gcfg_get(copy.get(), "a", "k", nullptr), " spaced value");
  EXPECT_STREQ(gcfg_get(copy.get(), "a", "empty", nullptr), "");
  EXPECT_STREQ(gcfg_get(copy.get(), "b", "k", nullptr), "2");
}

}  // namespace
