// The catalogue of advice and the names of the estimate's codes, as the
// library exports them.

#include "estimate/advice.h"
#include "quarvel/engine.h"

using namespace quarvel::estimate;

extern "C" const char *quarvel_warning_text(int code) noexcept { return WarningText(code); }
extern "C" const char *quarvel_warning_name(int code) noexcept { return WarningName(code); }
extern "C" const char *quarvel_suggestion_text(int code) noexcept { return SuggestionText(code); }
extern "C" const char *quarvel_suggestion_name(int code) noexcept { return SuggestionName(code); }

extern "C" const char *quarvel_guess_name(int what, int code) noexcept {
  switch (what) {
    case QUARVEL_NAME_PIECE:
      return PieceName(code);
    case QUARVEL_NAME_TRANSFORM:
      return TransformName(static_cast<unsigned>(code));
    case QUARVEL_NAME_ATTACK:
      return AttackName(code);
    default:
      return "";
  }
}
