// The prefix table of a dictionary's words.

#include "estimate/word_index.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/secure_wipe.h"
#include "base/wiping_allocator.h"

namespace quarvel::estimate {
namespace {

// A personal dictionary's words are the person's: what holds them while
// the index is built is wiped.
struct Collected {
  std::vector<std::pair<std::string, uint32_t>> words;
  ~Collected() {
    for (auto &[word, rank] : words) SecureWipe(word.data(), word.size());
  }
};

// The table of a large dictionary spans megabytes read at random: on pages
// of 2 MiB, where the system offers them (Linux), a probe seldom also
// misses the caches of address translations.
constexpr size_t kHugePage = size_t{2} << 20;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
constexpr bool kHugePages = true;
#else
constexpr bool kHugePages = false;
#endif

uint64_t *AllocateSlots(size_t count) {
  // count is a power of two: a table of kHugePage bytes or more fills
  // whole pages.
  const size_t bytes = count * sizeof(uint64_t);
  const bool huge = kHugePages && bytes >= kHugePage;
  void *area = huge ? std::aligned_alloc(kHugePage, bytes) : std::malloc(bytes);
  if (area == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (huge) madvise(area, bytes, MADV_HUGEPAGE);
#endif
  std::memset(area, 0, bytes);
  return static_cast<uint64_t *>(area);
}

}  // namespace

void WordIndex::FreeSlots::operator()(uint64_t *slots) const { std::free(slots); }

uint64_t *WordIndex::Slot(uint64_t key) {
  const uint64_t mixed = Mix(key);
  const uint64_t print = (mixed >> 32 | 1) << 32;
  for (uint64_t i = mixed & mask_;; i = (i + 1) & mask_) {
    uint64_t &slot = slots_[i];
    if (slot == 0 || (slot & ~uint64_t{0xffffffff}) == print) {
      if (slot == 0) {
        slot = print;
        ++used_;
      }
      return &slot;
    }
  }
}

WordIndex::Probe WordIndex::Find(uint64_t key) const {
  if (slot_count_ == 0) return {};
  const uint64_t mixed = Mix(key);
  const uint64_t print = (mixed >> 32 | 1) << 32;
  for (uint64_t i = mixed & mask_;; i = (i + 1) & mask_) {
    const uint64_t slot = slots_[i];
    if (slot == 0) return {};
    if ((slot & ~uint64_t{0xffffffff}) == print) {
      return {(slot & kLonger) != 0, static_cast<uint32_t>(slot & kRankMask)};
    }
  }
}

uint32_t WordIndex::SlotRank(uint32_t rank) {
  return std::min<uint32_t>(std::max<uint32_t>(rank, 1), static_cast<uint32_t>(kRankMask));
}

void WordIndex::MarkShort(std::string_view word, uint32_t rank) {
  uint32_t code = 0;
  for (size_t i = 0; i < word.size() && i < kShort; ++i) {
    const uint32_t digit = Digit(word[i]);
    if (digit == kNoCode) return;
    code = code * 36 + digit;
    const uint8_t flag = i + 1 == word.size() ? kShortWord : kShortLonger;
    const size_t at = short_start_[i + 1] + code;
    short_[at >> 2] |= static_cast<uint8_t>(flag << ((at & 3) * 2));
    if (flag == kShortWord && i < kShortRanked) {
      uint32_t &kept = short_rank_[at];
      kept = kept == 0 ? SlotRank(rank) : std::min(kept, SlotRank(rank));
    }
  }
}

bool WordIndex::InTable(const Cursor &cursor, bool word_end) const {
  const bool plain = cursor.code != kNoCode;
  // A prefix met again, as the part a word shares with the one before, may
  // be a word of its own.
  const bool word = word_end || (plain && cursor.length == kShort &&
                                 (ShortFlags(kShort, cursor.code) & kShortWord) != 0);
  return TableHolds(cursor.length, plain, word);
}

size_t WordIndex::NewSlots(std::string_view word, size_t shared) {
  // The prefixes longer than the shared part are new.
  size_t slots = 0;
  bool plain = true;
  for (size_t length = 1; length <= word.size(); ++length) {
    plain = plain && Digit(word[length - 1]) != kNoCode;
    if (length > shared && TableHolds(length, plain, length == word.size())) ++slots;
  }
  return slots;
}

void WordIndex::Add(std::string_view word, uint32_t rank, size_t shared) {
  rank = SlotRank(rank);
  if (path_.size() < word.size()) path_.resize(word.size());
  // The keys of the prefixes shared with the word before are known: path_
  // holds them.
  const size_t from = shared > 0 ? shared - 1 : 0;
  Cursor cursor = from > 0 ? path_[from - 1] : Cursor{};
  for (size_t i = from; i < word.size(); ++i) {
    cursor = Next(cursor, word[i]);
    path_[i] = cursor;
    // The prefix as long as the shared part was in the word before, and
    // now goes on or ends here.
    const bool end = i + 1 == word.size();
    if (!InTable(cursor, end)) continue;
    uint64_t *slot = Slot(cursor.key);
    if (!end) {
      *slot |= kLonger;
    } else {
      const uint64_t old = *slot & kRankMask;
      if (old == 0 || old > rank) *slot = (*slot & ~kRankMask) | rank;
    }
  }
  ++words_;
}

// Words handed out in byte order, each after the one before it: the
// distinct prefixes are counted, and later added, from what each word does
// not share with its predecessor (its shorter prefixes are in already).
class WordIndex::SortedRun {
 public:
  // Takes the next word; false once it comes before its predecessor.
  bool Next(std::string_view word) {
    const std::string_view previous(previous_.data(), size_);
    const size_t common = std::min(word.size(), size_);
    size_t shared = 0;
    while (shared < common && word[shared] == previous[shared]) ++shared;
    // Before its predecessor: smaller at the first difference, or a
    // proper prefix of it.
    if (shared < common ? static_cast<unsigned char>(word[shared]) <
                              static_cast<unsigned char>(previous[shared])
                        : word.size() < size_) {
      return false;
    }
    shared_ = shared;
    // Only what differs from the predecessor is copied.
    if (previous_.size() < word.size()) previous_.resize(word.size());
    std::copy(word.begin() + static_cast<std::ptrdiff_t>(shared), word.end(),
              previous_.begin() + static_cast<std::ptrdiff_t>(shared));
    size_ = word.size();
    return true;
  }
  // How many characters of the word just taken its predecessor shares.
  size_t shared() const { return shared_; }

 private:
  WipedVector<char> previous_;
  size_t size_ = 0;
  size_t shared_ = 0;
};

void WordIndex::Size(size_t prefixes) {
  // Filled at most two thirds: linear probing then ends a search within a
  // line of memory or two.
  size_t size = 1024;
  while (size < prefixes + prefixes / 2) size *= 2;
  slots_.reset(AllocateSlots(size));
  slot_count_ = size;
  mask_ = size - 1;
  size_t flags = 0, texts = 1;
  for (uint32_t length = 1; length <= kShort; ++length) {
    texts *= 36;
    short_start_[length] = flags;
    flags += texts;
  }
  short_.assign((flags + 3) / 4, 0);
  short_rank_.assign(short_start_[kShortRanked + 1], 0);
}

std::unique_ptr<WordIndex> WordIndex::Build(WordSource each, const void *context, size_t hint) {
  // The table is sized once for all the prefixes, so that no slot needs
  // moving: a source in byte order (a dictionary's own order) is counted in
  // one pass and added in a second; any other is gathered and sorted first.
  struct Count {
    SortedRun run;
    size_t words = 0, prefixes = 0;
    bool sorted = true;
  } count;
  each(
      context,
      [](void *sink, std::string_view word, uint32_t) {
        auto &c = *static_cast<Count *>(sink);
        if (!c.sorted || !c.run.Next(word)) {
          c.sorted = false;
          return;
        }
        ++c.words;
        c.prefixes += NewSlots(word, c.run.shared());
      },
      &count);
  if (count.sorted && count.words <= kMaxIndexedWords) {
    // A source read from a file may hand out other words the second time:
    // past the prefixes counted, or out of order, the words are gathered
    // again below (the table, full, would take no more).
    struct Fill {
      std::unique_ptr<WordIndex> index = std::unique_ptr<WordIndex>(new WordIndex);
      SortedRun run;
      size_t room = 0;
      bool changed = false;
    } fill;
    fill.index->Size(count.prefixes);
    fill.room = count.prefixes;
    each(
        context,
        [](void *sink, std::string_view word, uint32_t rank) {
          auto &f = *static_cast<Fill *>(sink);
          size_t slots = 0;
          if (f.changed || !f.run.Next(word) || (slots = NewSlots(word, f.run.shared())) > f.room) {
            f.changed = true;
            return;
          }
          f.room -= slots;
          f.index->Add(word, rank, f.run.shared());
          f.index->MarkShort(word, rank);
        },
        &fill);
    fill.index->path_ = {};
    if (!fill.changed) return std::move(fill.index);
  }

  Collected collected;
  collected.words.reserve(std::min<size_t>(hint, kMaxIndexedWords));
  each(
      context,
      [](void *sink, std::string_view word, uint32_t rank) {
        static_cast<Collected *>(sink)->words.emplace_back(word, rank);
      },
      &collected);
  auto &words = collected.words;
  if (words.size() > kMaxIndexedWords) {
    std::nth_element(words.begin(), words.begin() + kMaxIndexedWords, words.end(),
                     [](const auto &a, const auto &b) { return a.second < b.second; });
    for (size_t i = kMaxIndexedWords; i < words.size(); ++i) {
      SecureWipe(words[i].first.data(), words[i].first.size());
    }
    words.resize(kMaxIndexedWords);
  }
  std::sort(words.begin(), words.end());
  // Now in byte order, and the same at every reading: the first way takes it.
  return Build(
      [](const void *context, void (*take)(void *, std::string_view, uint32_t), void *sink) {
        for (const auto &[word, rank] : static_cast<const Collected *>(context)->words) {
          take(sink, word, rank);
        }
      },
      &collected, words.size());
}

const WordIndex *WordIndex::Of(const engine::Dictionary &dict) {
  try {
    const auto *derived = dict.Derive([](const engine::Dictionary &d) {
      std::unique_ptr<engine::Dictionary::Derived> made = Build(
          [](const void *context, void (*take)(void *, std::string_view, uint32_t), void *sink) {
            const auto &source = *static_cast<const engine::Dictionary *>(context);
            source.ForEachWord(
                [&](uint32_t n, std::string_view word) { take(sink, word, source.Rank(n)); });
          },
          &d, d.word_count());
      return made;
    });
    return static_cast<const WordIndex *>(derived);
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

}  // namespace quarvel::estimate
