// The dictionary that the rank target puts rank files beside: built ranked,
// always from the same list, so that its rank file in fuzz/corpus/rank
// (written by make_seeds.cc) matches it by content whenever it is rebuilt.
#ifndef QUARVEL_FUZZ_RANK_DICTIONARY_H_
#define QUARVEL_FUZZ_RANK_DICTIONARY_H_

#include <cstdio>
#include <string>

#include "quarvel/engine.h"

namespace quarvel::fuzz {

// 40 words, some twice, some that sort before their first copy's neighbours.
inline std::string RankFuzzList() {
  std::string list;
  for (int i = 0; i < 40; ++i) list += "word" + std::to_string((i * 17) % 29) + "\n";
  return list + "\nPassword\n123456\nqwerty\n";
}

// Writes the list to list_path and builds prefix from it, ranked; false on
// failure.
inline bool BuildRankFuzzDictionary(const std::string &prefix, const std::string &list_path) {
  FILE *out = std::fopen(list_path.c_str(), "wb");
  if (out == nullptr) return false;
  const std::string list = RankFuzzList();
  const bool written = std::fwrite(list.data(), 1, list.size(), out) == list.size();
  if (std::fclose(out) != 0 || !written) return false;
  const char *sources[] = {list_path.c_str()};
  quarvel_build_options options = {};
  options.size = sizeof(options);
  options.ranked = 1;
  return quarvel_build(nullptr, prefix.c_str(), sources, 1, &options, nullptr, nullptr, 0) == 0;
}

}  // namespace quarvel::fuzz

#endif  // QUARVEL_FUZZ_RANK_DICTIONARY_H_
