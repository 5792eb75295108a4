// Spilling the word pool into sorted runs.

#include "build/word_runs.h"

namespace quarvel::engine {

void SpillRun(WordPool &pool, Runs &runs, const std::string &dir, size_t buffer_bytes,
              bool unique) {
  pool.Sort(unique);
  auto run = std::make_unique<RunFile>(dir, buffer_bytes, pool.ranked());
  for (size_t i = 0; i < pool.size(); ++i) run->Append(pool.at(i), pool.rank_at(i));
  runs.push_back(std::move(run));
  pool.Clear();
}

}  // namespace quarvel::engine
