// The guess estimate: its covering against every covering enumerated, how
// it moves when a character is added or a word's rank changes, and the
// advice every code of which some password reaches.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "estimate/advice.h"
#include "estimate/costs.h"
#include "estimate/estimate.h"
#include "estimate/word_index.h"
#include "search/leet.h"

namespace quarvel::estimate {
namespace {

using Words = std::vector<std::pair<std::string, uint32_t>>;

const Words kWords = {{"password", 2}, {"the", 1},        {"love", 5},       {"monkey", 12},
                      {"dragon", 30},  {"cat", 50},       {"summer", 300},   {"tokyo", 700},
                      {"horse", 900},  {"correct", 1500}, {"battery", 2000}, {"staple", 5000},
                      {"sun", 80},     {"shine", 4000}};

std::unique_ptr<WordIndex> IndexOf(const Words &words) {
  return WordIndex::Build(
      [](const void *context, void (*take)(void *, std::string_view, uint32_t), void *sink) {
        for (const auto &[word, rank] : *static_cast<const Words *>(context))
          take(sink, word, rank);
      },
      &words, words.size());
}

class Estimator {
 public:
  explicit Estimator(const Words &words = kWords) : index_(IndexOf(words)) {
    source_.index = index_.get();
  }
  Request Ask(std::string_view password) const {
    Request request;
    request.password = password;
    request.dictionaries = std::span(&source_, 1);
    request.reference_year = 2026;
    return request;
  }
  double Log10(std::string_view password, Estimate *out = nullptr) const {
    Estimate own;
    Estimate *e = out != nullptr ? out : &own;
    EstimateGuesses(Ask(password), e);
    return e->log10;
  }

 private:
  std::unique_ptr<WordIndex> index_;
  DictionarySource source_;
};

// The cheapest covering found by trying every way to cut the password into
// pieces, each piece at the cheapest cost listed for its span.
double EveryCovering(const Request &request) {
  const size_t n = request.password.size();
  std::vector<std::vector<double>> span(n + 1, std::vector<double>(n + 1, INFINITY));
  ListPieces(request, [&](size_t start, size_t end, double log10) {
    span[start][end] = std::min(span[start][end], log10);
  });
  double best = INFINITY;
  std::function<void(size_t, double, int)> cut = [&](size_t at, double cost, int pieces) {
    if (at == n) {
      best = std::min(best, cost + (pieces - 1) * kPieceCharge);
      return;
    }
    for (size_t end = at + 1; end <= n; ++end) cut(end, cost + span[at][end], pieces + 1);
  };
  cut(0, 0, 0);
  return std::max(0.0, best);
}

std::string RandomPassword(std::mt19937 &random, size_t max_length) {
  static const std::string kPieces[] = {
      "password", "Monkey", "DRAGON", "love", "sun", "shine", "p@ss",  "1987",  "2024", "qwer",
      "asdf",     "abc",    "!!",     "7",    "zz",  "xkq",   "enohs", "Tokyo", "#",    "4321"};
  std::string out;
  while (out.size() < max_length) {
    out += kPieces[random() % std::size(kPieces)];
    if (random() % 3 == 0) break;
  }
  return out.substr(0, max_length);
}

TEST(EstimateTest, CoveringIsTheCheapestOfEveryCovering) {
  const Estimator estimator;
  std::vector<std::string> passwords = {
      "password", "Password1", "p@ssw0rd", "drowssap",   "lovelove", "14061987", "qwerty12",
      "sunshine", "abcabc",    "aaaa1",    "tokyo2024!", "Xk9#",     "horse7",   "zxcvbn"};
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) passwords.push_back(RandomPassword(random, 12));
  for (const std::string &password : passwords) {
    SCOPED_TRACE(password);
    EXPECT_NEAR(estimator.Log10(password), EveryCovering(estimator.Ask(password)), 1e-9);
  }
}

TEST(EstimateTest, PiecesCoverThePasswordAndAddUp) {
  const Estimator estimator;
  std::mt19937 random(11);
  for (int i = 0; i < 300; ++i) {
    const std::string password = RandomPassword(random, 20);
    SCOPED_TRACE(password);
    Estimate e;
    estimator.Log10(password, &e);
    ASSERT_GE(e.piece_count, 1);
    int at = 0;
    double sum = 0;
    for (int k = 0; k < e.piece_count; ++k) {
      EXPECT_EQ(e.pieces[k].start, at);
      at += e.pieces[k].length;
      sum += e.pieces[k].log10;
    }
    EXPECT_EQ(at, static_cast<int>(password.size()));
    EXPECT_NEAR(e.log10, std::max(0.0, sum + (e.piece_count - 1) * kPieceCharge), 1e-9);
  }
}

// A character added inside what the new covering reads as brute force can
// only make the password harder: the old password has the same covering
// with a shorter brute-force piece.
TEST(EstimateTest, AddingACharacterNeverLowersTheEstimate) {
  const Estimator estimator;
  std::mt19937 random(3);
  int compared = 0;
  for (int i = 0; i < 2000; ++i) {
    const std::string before = RandomPassword(random, 14);
    const size_t at = random() % (before.size() + 1);
    const char added = static_cast<char>(' ' + random() % 95);
    const std::string after = before.substr(0, at) + added + before.substr(at);
    Estimate e;
    const double grown = estimator.Log10(after, &e);
    bool brute = false;
    for (int k = 0; k < e.piece_count; ++k) {
      const Piece &p = e.pieces[k];
      if (p.start <= static_cast<int>(at) && static_cast<int>(at) < p.start + p.length) {
        brute = p.kind == QUARVEL_GUESS_BRUTE_FORCE;
      }
    }
    if (!brute) continue;
    ++compared;
    EXPECT_GE(grown + 1e-9, estimator.Log10(before)) << before << " -> " << after;
  }
  EXPECT_GT(compared, 500);
}

TEST(EstimateTest, ARankedWordsEstimateRisesWithItsRank) {
  for (const std::string password : {"sunshine", "Sunshine", "5un5hine", "enihsnus"}) {
    double previous = -1;
    for (uint32_t rank = 1; rank <= 10'000'000; rank *= 10) {
      const Estimator estimator({{"sunshine", rank}, {"other", 3}});
      const double now = estimator.Log10(password);
      EXPECT_GE(now, previous) << password << " at rank " << rank;
      previous = now;
    }
  }
}

// A transformed word costs its rank times the choices of its
// transformations, whatever the size of its list: one of two ways to write
// it (capitalised, in capitals, backwards); with letters written as
// symbols, which substitutions among all the leet table's pairs (a symbol
// read as one letter), times for each which of the places of its letter
// carry it.
TEST(EstimateTest, ATransformedWordCostsItsRankTimesItsChoices) {
  double pairs = 0;
  for (int c = 0; c < 256; ++c) pairs += engine::LeetLetters(static_cast<char>(c)).size();
  const double one = pairs, two = pairs * (pairs - 1) / 2;
  const struct {
    const char *password;
    double factor;
  } kCases[] = {
      {"Sunshine", 2},           {"SUNSHINE", 2},
      {"enihsnus", 2},           {"5un5hine", 2 * one},  // both s: all or none
      {"5unshine", 2 * one},                             // one s of two
      {"$un$hin3", 2 * 2 * two},  // two substitutions, each on all its places
      {"sun5h1ne", 2 * 2 * two},
  };
  for (const auto &c : kCases) {
    for (const uint32_t rank : {1u, 100u, 10'000u, 10'000'000u}) {
      const Estimator estimator({{"sunshine", rank}, {"other", 3}});
      // Ranks above 1,023 are read from their leading bits, within 0.002.
      EXPECT_NEAR(estimator.Log10(c.password), std::log10(c.factor * rank), 0.002)
          << c.password << " at rank " << rank;
    }
  }
}

// A whole-password piece (the search's hit) replaces the covering only
// when it is cheaper by more than rounding.
TEST(EstimateTest, ACapNoCheaperThanTheCoveringKeepsIt) {
  const Estimator estimator;
  for (const double offset : {0.0, 1e-12, -1e-12, -0.5}) {
    Estimate estimate;
    estimator.Log10("Monkey", &estimate);
    const double covering = estimate.log10;
    ASSERT_EQ(estimate.piece_count, 1);
    ASSERT_EQ(estimate.pieces[0].transforms, unsigned{QUARVEL_GUESS_CAPITALISED});
    Piece whole;
    whole.kind = QUARVEL_GUESS_DICTIONARY;
    whole.length = 6;
    whole.log10 = covering + offset;
    estimate.Cap(whole);
    const bool replaced = offset < -1e-9;
    EXPECT_EQ(estimate.pieces[0].transforms, replaced ? 0u : unsigned{QUARVEL_GUESS_CAPITALISED})
        << offset;
    EXPECT_EQ(estimate.log10, replaced ? covering + offset : covering) << offset;
  }
}

TEST(EstimateTest, RanksOfTheIndexAreTheSmallestGiven) {
  const auto index = IndexOf({{"apple", 40}, {"apple", 7}, {"applesauce", 3}, {"app", 90}});
  auto probe = [&](std::string_view text) {
    WordIndex::Cursor cursor;
    for (char c : text) cursor = WordIndex::Next(cursor, c);
    return index->Find(cursor);
  };
  EXPECT_EQ(probe("apple").rank, 7u);
  EXPECT_TRUE(probe("apple").longer);
  EXPECT_EQ(probe("applesauce").rank, 3u);
  EXPECT_FALSE(probe("applesauce").longer);
  EXPECT_EQ(probe("appl").rank, 0u);
  EXPECT_TRUE(probe("appl").longer);
  EXPECT_EQ(probe("pear").rank, 0u);
  EXPECT_FALSE(probe("pear").longer);
}

// A text of 1 to longest characters drawn from alphabet.
std::string RandomText(std::mt19937 &random, std::string_view alphabet, size_t longest) {
  std::string text(1 + random() % longest, ' ');
  for (char &c : text) c = alphabet[random() % alphabet.size()];
  return text;
}

// What the index answers of every prefix of words, and nothing else: the
// smallest rank given for a word, at most what a slot holds.
std::map<std::string, WordIndex::Probe> PrefixModel(const Words &words) {
  std::map<std::string, WordIndex::Probe> model;
  for (const auto &[word, given] : words) {
    for (size_t n = 1; n < word.size(); ++n) model[word.substr(0, n)].longer = true;
    const uint32_t rank = std::min<uint32_t>(given, (1u << 31) - 1);
    uint32_t &known = model[word].rank;
    known = known == 0 ? rank : std::min(known, rank);
  }
  return model;
}

// Walks every text with a cursor, comparing each prefix with the model.
void ExpectAnswersOfTheModel(const WordIndex &index,
                             const std::map<std::string, WordIndex::Probe> &model,
                             const std::vector<std::string> &texts) {
  for (const std::string &text : texts) {
    WordIndex::Cursor cursor;
    for (size_t n = 0; n < text.size(); ++n) {
      cursor = WordIndex::Next(cursor, text[n]);
      const auto found = model.find(text.substr(0, n + 1));
      const WordIndex::Probe want = found != model.end() ? found->second : WordIndex::Probe{};
      const WordIndex::Probe got = index.Find(cursor);
      ASSERT_EQ(got.longer, want.longer) << text.substr(0, n + 1);
      ASSERT_EQ(got.rank, want.rank) << text.substr(0, n + 1);
    }
  }
}

// The index against a map of every prefix, built from words in byte order
// (a dictionary's own order, counted and added in two passes) and from the
// same words shuffled (gathered and sorted first): both answer as the model,
// with tables of one size. The largest spans pages of 2 MiB.
TEST(EstimateTest, IndexInEitherOrderAnswersAsAModelOfPrefixes) {
  std::mt19937 random(11);
  struct Case {
    size_t count;
    std::string_view alphabet;
    size_t longest;
  };
  for (const Case &c :
       {Case{0, "abcz09", 6}, Case{1, "abcz09", 6}, Case{2, "abcz09", 6}, Case{300, "abcz09", 6},
        Case{300, "ab-z0!", 6}, Case{30000, "abcdefghijklmnopqrstuvwxyz0123456789", 9}}) {
    const size_t count = c.count;
    const std::string_view kAlphabet = c.alphabet;
    Words words;
    for (size_t i = 0; i < count; ++i) {
      words.emplace_back(RandomText(random, kAlphabet, c.longest), 1 + random() % 50);
    }
    if (count > 2) words.push_back(words[count / 2]);  // a word twice, maybe ranked twice
    const auto model = PrefixModel(words);
    Words sorted = words, shuffled = words;
    std::sort(sorted.begin(), sorted.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    const auto in_order = IndexOf(sorted), gathered = IndexOf(shuffled);
    EXPECT_EQ(in_order->bytes(), gathered->bytes()) << count;
    // The table holds the texts the short tables cannot answer: those with
    // other characters, those of five or more, and words of four.
    size_t in_table = 0;
    for (const auto &[text, probe] : model) {
      const bool plain = std::all_of(text.begin(), text.end(), [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9');
      });
      in_table += !plain || text.size() > 4 || (text.size() == 4 && probe.rank != 0) ? 1 : 0;
    }
    EXPECT_EQ(in_order->slots_used(), in_table) << count;
    EXPECT_EQ(gathered->slots_used(), in_table) << count;
    std::vector<std::string> texts;
    for (const auto &[text, probe] : model) texts.push_back(text + "a");
    for (int i = 0; i < 500; ++i) texts.push_back(RandomText(random, kAlphabet, c.longest + 1));
    for (const auto *index : {in_order.get(), gathered.get()}) {
      SCOPED_TRACE(count);
      ExpectAnswersOfTheModel(*index, model, texts);
    }
  }
}

// A source that hands out other words each time it is read (a dictionary
// file rewritten meanwhile): first a few words, then many more than the
// table sized for the first reading holds. The index is of a later reading,
// and building it ends.
TEST(EstimateTest, IndexOfASourceThatChangesBetweenReadings) {
  std::mt19937 random(3);
  static constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz";
  struct Readings {
    Words few = {{"apple", 1}, {"pear", 2}};
    Words many;
    mutable int count = 0;
  } readings;
  for (int i = 0; i < 3000; ++i) readings.many.emplace_back(RandomText(random, kLetters, 9), 5);
  std::sort(readings.many.begin(), readings.many.end());
  const auto index = WordIndex::Build(
      [](const void *context, void (*take)(void *, std::string_view, uint32_t), void *sink) {
        const auto &r = *static_cast<const Readings *>(context);
        for (const auto &[word, rank] : r.count++ == 0 ? r.few : r.many) take(sink, word, rank);
      },
      &readings, 2);
  auto rank_of = [&](std::string_view text) {
    WordIndex::Cursor cursor;
    for (char c : text) cursor = WordIndex::Next(cursor, c);
    return index->Find(cursor).rank;
  };
  for (const auto &[word, rank] : readings.many) ASSERT_EQ(rank_of(word), 5u) << word;
  EXPECT_EQ(rank_of("apple"), 0u);
}

// Short words, whose ranks and flags the small tables keep, and longer
// texts that run past them or hold other characters, answer as the model:
// words given twice keep the smaller rank, and a rank past a slot's bits
// keeps the largest it holds.
TEST(EstimateTest, ShortAndLongTextsAnswerAsTheModel) {
  Words words = kWords;
  for (const auto &[word, rank] : Words{{"a", 7},
                                        {"a", 3},
                                        {"i", 9},
                                        {"to", 4},
                                        {"to", 40},
                                        {"1", 6},
                                        {"ab", 3000000000u},
                                        {"mon", 11},
                                        {"moon", 12},
                                        {"moon", 5},
                                        {"mo!n", 8},
                                        {"moons", 30}}) {
    words.emplace_back(word, rank);
  }
  const auto index = IndexOf(words);
  const auto model = PrefixModel(words);
  std::mt19937 random(5);
  static constexpr std::string_view kAlphabet = "abcdeilmnoprstuy0123!";
  std::vector<std::string> texts;
  for (const auto &[word, rank] : words) texts.push_back(word + "s");
  for (int i = 0; i < 3000; ++i) texts.push_back(RandomText(random, kAlphabet, 7));
  ExpectAnswersOfTheModel(*index, model, texts);
}

struct AdviceCase {
  const char *password;
  bool leaked;
  int warning;
  int suggestion;  // one of the suggestions
};

TEST(EstimateTest, EveryWarningAndSuggestionIsReached) {
  const Estimator estimator;
  const AdviceCase cases[] = {
      {"password", false, QUARVEL_WARNING_TOP_PASSWORD, QUARVEL_SUGGESTION_AVOID_COMMON},
      {"dragon", false, QUARVEL_WARNING_COMMON_PASSWORD, QUARVEL_SUGGESTION_ADD_WORDS},
      {"Dragon", false, QUARVEL_WARNING_COMMON_VARIANT, QUARVEL_SUGGESTION_CAPITALS},
      {"dragon2024!", false, QUARVEL_WARNING_COMMON_WITH_AFFIX, QUARVEL_SUGGESTION_AVOID_COMMON},
      {"staple", false, QUARVEL_WARNING_SINGLE_WORD, QUARVEL_SUGGESTION_ADD_WORDS},
      {"STAPLE", false, QUARVEL_WARNING_SINGLE_WORD, QUARVEL_SUGGESTION_ALL_CAPITALS},
      {"st@ple", false, QUARVEL_WARNING_SINGLE_WORD, QUARVEL_SUGGESTION_LEET},
      {"elpats", false, QUARVEL_WARNING_SINGLE_WORD, QUARVEL_SUGGESTION_REVERSED},
      {"correcthorse", false, QUARVEL_WARNING_COMMON_WORDS, QUARVEL_SUGGESTION_ADD_WORDS},
      {"qwertyuiop", false, QUARVEL_WARNING_KEYBOARD, QUARVEL_SUGGESTION_KEYBOARD},
      {"aaaaaaaa", false, QUARVEL_WARNING_REPEAT, QUARVEL_SUGGESTION_AVOID_REPEATS},
      {"abcdefgh", false, QUARVEL_WARNING_SEQUENCE, QUARVEL_SUGGESTION_AVOID_SEQUENCES},
      {"14061987", false, QUARVEL_WARNING_DATE, QUARVEL_SUGGESTION_AVOID_DATES},
      {"x7#q", false, QUARVEL_WARNING_SHORT, QUARVEL_SUGGESTION_PASSPHRASE},
      {"w8!e", false, QUARVEL_WARNING_SHORT, QUARVEL_SUGGESTION_LONGER},
      {"monkey", true, QUARVEL_WARNING_LEAKED, QUARVEL_SUGGESTION_CHANGE_LEAKED},
      {"Zt8#kw2!pQ7vLx9@", false, QUARVEL_WARNING_NONE, 0},
  };
  std::set<int> warnings, suggestions;
  for (const AdviceCase &c : cases) {
    SCOPED_TRACE(c.password);
    Estimate e;
    estimator.Log10(c.password, &e);
    const Advice advice = Advise(e, std::strlen(c.password), c.leaked);
    EXPECT_EQ(advice.warning, c.warning);
    const std::vector<int> given(advice.suggestions, advice.suggestions + advice.suggestion_count);
    if (c.suggestion != 0) {
      EXPECT_NE(std::find(given.begin(), given.end(), c.suggestion), given.end());
    } else {
      EXPECT_TRUE(given.empty());
    }
    warnings.insert(advice.warning);
    suggestions.insert(given.begin(), given.end());
  }
  // The personal warning comes from a context word.
  const char *const words[] = {"jsmith"};
  const engine::ContextWords context(words, 1);
  Request request = estimator.Ask("jsmith1");
  request.context = &context;
  Estimate e;
  EstimateGuesses(request, &e);
  const Advice personal = Advise(e, 7, false);
  EXPECT_EQ(personal.warning, QUARVEL_WARNING_PERSONAL);
  warnings.insert(personal.warning);
  suggestions.insert(personal.suggestions, personal.suggestions + personal.suggestion_count);

  std::set<std::string> names;
  for (int code = 1; code < QUARVEL_WARNING_COUNT; ++code) {
    EXPECT_TRUE(warnings.count(code)) << "warning " << WarningName(code) << " never given";
    EXPECT_STRNE(WarningText(code), "");
    EXPECT_TRUE(names.insert(WarningName(code)).second);
  }
  for (int code = 1; code < QUARVEL_SUGGESTION_COUNT; ++code) {
    EXPECT_TRUE(suggestions.count(code)) << "suggestion " << SuggestionName(code) << " never given";
    EXPECT_STRNE(SuggestionText(code), "");
    EXPECT_TRUE(names.insert(SuggestionName(code)).second);
  }
  EXPECT_STREQ(WarningText(QUARVEL_WARNING_COUNT), "");
  EXPECT_STREQ(SuggestionName(-1), "");
}

TEST(EstimateTest, CostsOfPatternsFollowTheirShape) {
  // Longer, more turns, shifted: each costs more.
  EXPECT_LT(WalkCost(4, 1, 0), WalkCost(8, 1, 0));
  EXPECT_LT(WalkCost(8, 1, 0), WalkCost(8, 3, 0));
  EXPECT_LT(WalkCost(8, 1, 0), WalkCost(8, 1, 2));
  // A year far from now costs more than a recent one; a date more than its year.
  EXPECT_LT(YearCost(2020, 2026), YearCost(1950, 2026));
  EXPECT_LT(YearCost(1987, 2026), DateCost(1987, false, 2026));
  EXPECT_LT(DateCost(1987, false, 2026), DateCost(1987, true, 2026));
  // Large numbers: within 0.002 of log10.
  for (uint64_t n : {1ull, 999ull, 1024ull, 89523ull, 1ull << 40}) {
    EXPECT_NEAR(Log10Int(n), std::log10(static_cast<double>(n)), 0.002) << n;
  }
}

// The table of ranks that cost as much as brute force, against the two
// costs compared, for every mask and length a word can have: every rank
// below 1100, and above 1023, where Log10Int reads the leading bit and the
// next 8, every rank where that reading changes and the one before it.
TEST(EstimateTest, RanksThatCostBruteForceAreThoseWhoseLogarithmReachesIt) {
  std::vector<uint32_t> ranks;
  for (uint32_t rank = 1; rank < 1100; ++rank) ranks.push_back(rank);
  for (int top = 10; top < 32; ++top) {
    for (uint64_t next = 0; next < 256; ++next) {
      const uint64_t first = (256 + next) << (top - 8);
      ranks.push_back(static_cast<uint32_t>(first));
      ranks.push_back(static_cast<uint32_t>(first - 1));
    }
  }
  ranks.push_back(UINT32_MAX);
  for (unsigned mask = 1; mask < 32; ++mask) {
    for (size_t length = 1; length < 32; ++length) {
      const double brute = BruteForceCost(mask, length);
      for (const uint32_t rank : ranks) {
        ASSERT_EQ(RankCostsBruteForce(rank, mask, length), Log10Int(rank) >= brute)
            << rank << " mask " << mask << " length " << length;
      }
    }
  }
}

}  // namespace
}  // namespace quarvel::estimate
