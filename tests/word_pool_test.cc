// The build's word pool against a model (std::sort and std::unique over
// strings): word sets that end every part of the sort (short words, words
// sharing their first eight bytes and more, bytes above 127, the empty
// word, a pool large enough for two threads), kept once or with their
// duplicates; and a budget that fills.

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "build/word_pool.h"

namespace {

using quarvel::engine::WordPool;

std::vector<std::string> Words(const std::string &kind, size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> words;
  for (size_t i = 0; i < n; ++i) {
    std::string w;
    if (kind == "short") {
      w.resize(rng() % 6);
      for (char &c : w) c = static_cast<char>('a' + rng() % 3);
    } else if (kind == "shared heads") {
      // The same first 8 to 12 bytes, then a short tail: the sort goes past
      // the heads.
      w = std::string("passwordpass").substr(0, 8 + rng() % 5);
      w.resize(w.size() + rng() % 4, 'x');
      for (size_t k = 8; k < w.size(); ++k) w[k] = static_cast<char>('0' + rng() % 4);
    } else {  // "any bytes": lengths 0 to 31, every byte but NUL
      w.resize(rng() % 32);
      for (char &c : w) c = static_cast<char>(1 + rng() % 255);
    }
    words.push_back(w);
  }
  return words;
}

TEST(WordPoolTest, SortsAsTheModel) {
  struct Case {
    const char *kind;
    size_t n;
  };
  const Case cases[] = {{"short", 3000},  {"shared heads", 5000}, {"any bytes", 20000},
                        {"any bytes", 1}, {"short", 0},           {"any bytes", 1100000}};
  for (const Case &c : cases) {
    for (const bool unique : {true, false}) {
      SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(c.n) + (unique ? " unique" : ""));
      std::vector<std::string> model = Words(c.kind, c.n, static_cast<unsigned>(c.n));
      WordPool pool(uint64_t{1} << 30);
      for (const std::string &w : model) ASSERT_TRUE(pool.Add(w));
      pool.Sort(unique);
      std::sort(model.begin(), model.end());
      if (unique) model.erase(std::unique(model.begin(), model.end()), model.end());
      ASSERT_EQ(pool.size(), model.size());
      for (size_t i = 0; i < model.size(); ++i) ASSERT_EQ(pool.at(i), model[i]) << i;
      pool.Clear();
      EXPECT_TRUE(pool.empty());
    }
  }
}

// A small budget fills: Add answers false, never for an empty pool, and a
// cleared pool takes words again.
TEST(WordPoolTest, BudgetFills) {
  WordPool pool(4096);
  size_t added = 0;
  while (pool.Add("word" + std::to_string(added))) ++added;
  EXPECT_GT(added, 100u);
  EXPECT_LT(added, 4096u / 16);
  pool.Sort();
  EXPECT_EQ(pool.size(), added);
  pool.Clear();
  EXPECT_TRUE(pool.Add(std::string(8000, 'z')));  // one word always fits
  EXPECT_FALSE(pool.Add("a"));
}

}  // namespace
