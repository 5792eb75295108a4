// Sorting more words than memory holds: sorted runs of the word pool
// (word_pool.h) in unlinked temporary files (temp_files.h), and their k-way
// merge. quarvel_build (build.cc) keeps each word once; CreateDict
// (src/verify/dictbuild.cc) keeps duplicates.
#ifndef QUARVEL_SRC_BUILD_WORD_RUNS_H_
#define QUARVEL_SRC_BUILD_WORD_RUNS_H_

#include <algorithm>
#include <cstdint>
#include <memory>
#include <queue>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "base/secure_wipe.h"
#include "base/wiping_allocator.h"
#include "build/build_failure.h"
#include "build/normaliser.h"
#include "build/sources.h"
#include "build/temp_files.h"
#include "build/word_pool.h"

namespace quarvel::engine {

inline constexpr size_t kMaxFanIn = 64;

using Runs = std::vector<std::unique_ptr<RunFile>>;

// Bytes of each run's buffer: the budget shared by the runs of one merge.
inline size_t RunBufferBytes(uint64_t budget) {
  return static_cast<size_t>(std::clamp<uint64_t>(budget / (kMaxFanIn + 1), 4096, 1 << 20));
}

// Sorts the pool (keeping each word once with unique), writes it as a new
// run in dir (ranked when the pool is), and clears it.
void SpillRun(WordPool &pool, Runs &runs, const std::string &dir, size_t buffer_bytes, bool unique);

// Merges runs into emit in byte order; with unique, each distinct word once.
// emit takes the word, or the word and its rank: in ranked runs, with
// unique, the smallest rank of the word's copies (0 from unranked runs).
template <typename Emit>
void Merge(Runs &runs, Emit &emit, bool unique = true) {
  struct Head {
    Word word;
    uint32_t rank;
    size_t run;
  };
  auto later = [](const Head &a, const Head &b) { return a.word.view() > b.word.view(); };
  auto hand_on = [&emit](const Head &head) {
    if constexpr (std::is_invocable_v<Emit &, std::string_view, uint32_t>) {
      emit(head.word.view(), head.rank);
    } else {
      emit(head.word.view());
    }
  };
  std::priority_queue<Head, WipedVector<Head>, decltype(later)> heads(later);
  for (size_t i = 0; i < runs.size(); ++i) {
    runs[i]->Rewind();
    Head head{{}, 0, i};
    if (runs[i]->Next(head.word, &head.rank)) heads.push(head);
  }
  // A word is handed on once the next one differs, so that its copies from
  // every run have given their ranks.
  Head pending{{}, 0, 0};
  bool any = false;
  while (!heads.empty()) {
    Head head = heads.top();
    heads.pop();
    if (unique && any && head.word.view() == pending.word.view()) {
      pending.rank = std::min(pending.rank, head.rank);
    } else {
      if (any) hand_on(pending);
      pending = head;
      any = true;
    }
    if (runs[head.run]->Next(head.word, &head.rank)) heads.push(head);
    SecureWipe(&head, sizeof(head));
  }
  if (any) hand_on(pending);
  SecureWipe(&pending, sizeof(pending));
}

// Merges runs kMaxFanIn at a time into new runs in dir until at most
// kMaxFanIn are left, for one last merge; tick() follows every word written.
template <typename Tick>
void NarrowRuns(Runs &runs, const std::string &dir, size_t buffer_bytes, bool unique, Tick &&tick) {
  while (runs.size() > kMaxFanIn) {
    Runs group;
    for (size_t i = 0; i < kMaxFanIn; ++i) group.push_back(std::move(runs[i]));
    runs.erase(runs.begin(), runs.begin() + kMaxFanIn);
    auto merged = std::make_unique<RunFile>(dir, buffer_bytes, group.front()->ranked());
    auto append = [&](std::string_view word, uint32_t rank) {
      merged->Append(word, rank);
      tick();
    };
    Merge(group, append, unique);
    runs.push_back(std::move(merged));
  }
}

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_BUILD_WORD_RUNS_H_
