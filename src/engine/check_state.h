// What the stages of one check share: the request, the forms of the
// password, the searches made once for every dictionary, and what the
// check has found so far. Lives on the stack of Score.
#ifndef QUARVEL_SRC_ENGINE_CHECK_STATE_H_
#define QUARVEL_SRC_ENGINE_CHECK_STATE_H_

#include <string_view>

#include "engine/scorer.h"
#include "search/explanation.h"
#include "search/extended_search.h"
#include "search/korean_search.h"
#include "search/word_search.h"

namespace quarvel::engine {

struct CheckState {
  const ScoreRequest &request;
  std::string_view password;  // as given: the accepted bytes
  std::string_view searched;  // lower-cased, trailing blanks gone (stages 3 to 6)
  bool lowercased = false;    // upper-case letters were lowered
  int case_step = 0;          // with the extended profile: CaseChangeStep of the password
  WordSearch &search;
  ExtendedSearch *extended = nullptr;  // the extended profile, or null
  KoreanSearch *korean = nullptr;      // with a Korean dictionary, or null
  bool folded = false;                 // the extended search's text had accents folded

  // What matched (the first of stages 5 and 6 that found the password), and
  // why points were lost.
  Explanation match;
  Reasons reasons;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_CHECK_STATE_H_
