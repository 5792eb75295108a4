// The hashed lists of stage 5.

#include "engine/breach_stage.h"

#include <cstring>

#include "base/wiping_allocator.h"

namespace quarvel::engine {
namespace {

// Candidates are hashed and their lookups prefetched kBreachBatch at a
// time, then that batch is looked up in order: the memory latencies of the
// lookups in a large list overlap instead of adding up.
constexpr size_t kBreachBatch = 64;
constexpr size_t kNone = static_cast<size_t>(-1);

// The keys of the candidates in the order the search makes them, and the
// first that the list holds (at least min_count times). The keys are hash
// prefixes of variants of the password: their vector wipes every block it
// frees, the old ones as it grows too (the rule, reversed and affix passes
// and the extended profile may make more than it reserves).
class KeyedLookup {
 public:
  KeyedLookup(const HashDict &list, uint64_t min_count) : list_(list), min_count_(min_count) {
    keys_.reserve(kMaxExtendedCandidates);
  }
  ~KeyedLookup() { SecureWipe(keys_.data(), keys_.size() * sizeof(uint64_t)); }

  // Takes one candidate; true when the batch it ends holds a hit.
  bool Take(const char *word) {
    const uint64_t key = Sha1Key(word, std::strlen(word));
    list_.Prefetch(key);
    keys_.push_back(key);
    return keys_.size() - checked_ == kBreachBatch && Settle();
  }

  // Looks up the keys taken since the last call; true at a hit.
  bool Settle() {
    for (; checked_ < keys_.size(); ++checked_) {
      const uint64_t count = list_.CountOf(keys_[checked_]);
      if (count != 0 && count >= min_count_) {
        first_ = checked_;
        count_ = count;
        return true;
      }
    }
    return false;
  }

  size_t first() const { return first_; }
  uint64_t count() const { return count_; }

 private:
  const HashDict &list_;
  uint64_t min_count_;
  WipedVector<uint64_t> keys_;
  size_t checked_ = 0;
  size_t first_ = kNone;
  uint64_t count_ = 0;
};

// Wipes the stack below the caller's frame, where the frames of the
// functions it called lay: a 32-bit build passes hash keys to its callees
// (and returns them) through the stack, and a check may return without
// calling anything deep enough to write over them.
[[gnu::noinline]] void WipeStackBelow() {
  char area[8192];
  SecureWipe(area, sizeof(area));
}

// The search runs once silently to find the first candidate held, then
// again with its trace to stop at that candidate and describe it: the hit,
// the trace and the explanation are those of a search that looks each
// candidate up in turn.
[[gnu::noinline]] SearchedBreach SearchKeys(const BreachRef &ref, const TraceSink &trace,
                                           CheckState &state, Hits &hits) {
  SearchedBreach out;
  const uint64_t min_count = state.request.breach_min_count;
  BreachLookup exact(*ref.list, min_count);
  if (exact.Has(state.password.data(), state.password.size())) {
    out.found = out.exact = true;
    out.count = exact.count();
    return out;
  }
  size_t first = kNone;
  {
    KeyedLookup lookup(*ref.list, min_count);
    SearchWith([&lookup](const char *word) { return lookup.Take(word); }, TraceSink{}, state,
               hits);
    if (lookup.first() == kNone) lookup.Settle();
    first = lookup.first();
    out.count = lookup.count();
  }
  size_t n = 0;
  const Searched s =
      SearchWith([&n, first](const char *) { return n++ == first; }, trace, state, hits);
  out.found = s.found;
  out.by_extended = s.by_extended;
  if (!out.found) out.count = 0;
  return out;
}

}  // namespace

SearchedBreach SearchBreach(const BreachRef &ref, const TraceSink &trace, CheckState &state,
                            Hits &hits) {
  const SearchedBreach out = SearchKeys(ref, trace, state, hits);
  WipeStackBelow();
  return out;
}

size_t SearchBreachLists(CheckState &state, Hits &hits, bool *found, quarvel_result *result) {
  const ScoreRequest &request = state.request;
  const TraceSink &trace = request.trace;
  *found = false;
  for (size_t i = 0; i < request.breaches.size(); ++i) {
    const BreachRef &ref = request.breaches[i];
    TraceLine(trace) << "[BreachFindPW][LIST=" << ref.prefix << "]";
    const SearchedBreach s = SearchBreach(ref, trace, state, hits);
    if (!s.found) {
      TraceLine(trace) << "[INFO]BREACH SEARCH FILE_NAME " << ref.prefix << ", NOT FOUND";
      continue;
    }
    TraceLine(trace) << "[INFO]BREACH SEARCH FILE_NAME " << ref.prefix << " FOUND";
    Explanation &match = state.match;
    match.kind = QUARVEL_MATCH_BREACH;
    match.slot = ref.number;
    match.prefix = ref.prefix;
    if (s.exact) {
      match.rule[0] = ':';
      match.SetWord(state.password);
    } else {
      ExplainSearched({true, false, s.by_extended}, hits, state);
    }
    result->breach_count = s.count;
    *found = true;
    return i + 1;
  }
  return request.breaches.size();
}

}  // namespace quarvel::engine
