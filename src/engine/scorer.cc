// Scoring a password: the stages in order (measurements.h,
// dictionary_stage.h, personal_stage.h), the level, the NIST verdict
// (nist_verdict.h), and the result record with its answer text and its
// explanation.

#include "engine/scorer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "base/copy_text.h"
#include "base/format_int.h"
#include "base/secure_wipe.h"
#include "engine/check_state.h"
#include "engine/dictionary_stage.h"
#include "engine/guess_stage.h"
#include "engine/measurements.h"
#include "engine/nist_verdict.h"
#include "engine/personal_stage.h"
#include "engine/scoring_tables.h"
#include "search/fold.h"

namespace quarvel::engine {
namespace {

constexpr size_t kAreaSize = 1024;
constexpr size_t kPasswordLimit = 257;  // longest accepted password
constexpr size_t kMeasuredLimit = 256;  // characters measured of it

// The answer text, appended piece by piece.
class Fields {
 public:
  ~Fields() { SecureWipe(text_, length_); }

  // Appends name and value's decimal form; false when the text would
  // exceed the area's 1023 characters.
  bool Append(std::string_view name, int value) {
    char digits[12];
    const size_t count = FormatInt(digits, value);
    return Append(name) && Append(std::string_view(digits, count));
  }

  bool Append(std::string_view text) {
    if (length_ + text.size() > kAreaSize - 1) return false;
    std::memcpy(text_ + length_, text.data(), text.size());
    length_ += text.size();
    text_[length_] = '\0';
    return true;
  }

  std::string_view text() const { return {text_, length_}; }

 private:
  char text_[kAreaSize] = {};
  size_t length_ = 0;
};

int LevelOf(int score) {
  for (int level = 4; level >= 2; --level) {
    if (kRange[level - 1][0] <= score && score <= kRange[level - 1][1]) return level;
  }
  return 1;
}

// "RET_CD=0000:RT_LEVEL=<level>:PW_LEN=..:PW_NCR=..:REPT_NCR=..:CTS_NCR=..
// :DICT_FD_CNT=..:PDICT_FD=.."; false when it would be too long.
bool WriteAnswer(int level, quarvel_result *result) {
  Fields answer;
  static constexpr const char *kPersonal[] = {":PDICT_FD=XX", ":PDICT_FD=00", ":PDICT_FD=01"};
  const bool fits =
      answer.Append("RET_CD=0000:RT_LEVEL=", level) && answer.Append(":PW_LEN=", result->pw_len) &&
      answer.Append(":PW_NCR=", result->pw_ncr) && answer.Append(":REPT_NCR=", result->rept_ncr) &&
      answer.Append(":CTS_NCR=", result->cts_ncr) &&
      answer.Append(":DICT_FD_CNT=", result->dict_fd_cnt) &&
      answer.Append(kPersonal[result->pdict_fd + 1]);
  if (fits) CopyText(result->answer, answer.text());
  return fits;
}

// match, and the explanation as data where the record has room for it.
void WriteExplanation(const CheckState &state, quarvel_result *result) {
  const Explanation &e = state.match;
  quarvel_match &match = result->match;
  match.kind = e.kind;
  match.slot = e.slot;
  match.variants = e.variants;
  CopyText(match.prefix, e.prefix);
  if (e.kind != QUARVEL_MATCH_NONE && e.kind != QUARVEL_MATCH_UNREADABLE) {
    CopyText(match.word, e.word);
    CopyText(match.rule, e.rule);
    CopyText(match.affix, e.affix);
    ShortText variant;
    FormatSteps(e.steps.items(), &variant);
    CopyText(match.variant, variant.text());
  }
  if (result->size < offsetof(quarvel_result, step_count)) return;
  const auto reasons = state.reasons.items();
  std::copy(reasons.begin(), reasons.end(), result->reasons);
  result->reason_count = static_cast<int>(reasons.size());
  if (result->size < QUARVEL_RESULT_V3_SIZE) return;
  const auto steps = e.steps.items();
  for (size_t i = 0; i < steps.size(); ++i) {
    quarvel_step &out = result->match_steps[i];
    out = {steps[i].code, steps[i].piece, steps[i].count, steps[i].count2, {}};
    CopyText(out.arg, steps[i].arg);
  }
  result->step_count = static_cast<int>(steps.size());
}

// Stages 3 to 6 and the verdict, on the searched form of the password.
int ScoreSearched(CheckState &state, int score, quarvel_result *result) {
  const ScoringSettings &settings = *state.request.settings;
  score = MeasureRepetition(state.searched, score, settings, state.request.trace, &state.reasons,
                            result);
  BlocklistFindings findings;
  score = RunDictionaryStage(state, score, &findings, result);
  score = RunPersonalStage(state, score, result);
  if (state.request.nist != nullptr) JudgeNist(state, findings, result);
  return score;
}

}  // namespace

size_t AcceptedLength(const char *password, size_t length) {
  if (password == nullptr) return 0;
  const size_t text = strnlen(password, std::min(length, kPasswordLimit + 1));
  return text >= 1 && text <= kPasswordLimit ? text : 0;
}

int Refuse(int code, quarvel_result *result) {
  result->code = code;
  char text[16];
  snprintf(text, sizeof(text), "RET_CD=%04d", code);
  CopyText(result->answer, text);
  return code;
}

int Score(const ScoreRequest &request, std::string_view password, quarvel_result *result) {
  const ScoringSettings &settings = *request.settings;
  char work[kMeasuredLimit + 1] = {};
  struct Wipe {
    char *area;
    ~Wipe() { SecureWipe(area, kMeasuredLimit + 1); }
  } wipe{work};
  const size_t measured = std::min(password.size(), kMeasuredLimit);
  std::memcpy(work, password.data(), measured);
  const std::string_view text(work, strnlen(work, measured));

  Reasons reasons;
  int score = MeasureComposition(text, settings, request.trace, &reasons, result);

  // Stages 3 to 6 work on the lower-cased, right-trimmed text.
  const int case_step = settings.extended != 0 ? CaseChangeStep(text) : 0;
  bool lowercased = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (work[i] >= 'A' && work[i] <= 'Z') {
      work[i] = static_cast<char>(work[i] - 'A' + 'a');
      lowercased = true;
    }
  }
  size_t end = text.size();
  while (end > 0 && (work[end - 1] == ' ' || (work[end - 1] >= '\t' && work[end - 1] <= '\r'))) {
    --end;
  }
  work[end] = '\0';
  const std::string_view searched(work, end);

  // Stages 5 and 6 search the same text in each dictionary: the variants
  // the rules make of it are made once for all. The extended profile reads
  // accented letters as their plain ones.
  WordSearch search(searched, settings.search);
  std::optional<ExtendedSearch> extended;
  bool folded = false;
  if (settings.extended != 0) {
    char plain[kMeasuredLimit + 1];
    const size_t n = FoldText(searched, plain, &folded);
    extended.emplace(std::string_view(plain, n));
    SecureWipe(plain, sizeof(plain));
  }
  std::optional<KoreanSearch> korean;
  if (extended && std::any_of(request.languages.begin(), request.languages.end(),
                              [](const LanguageRef &l) { return l.hangul; })) {
    korean.emplace(password.substr(0, text.size()), request.korean_keyboard);
  }
  CheckState state{request,
                   password,
                   searched,
                   lowercased,
                   case_step,
                   search,
                   extended ? &*extended : nullptr,
                   korean ? &*korean : nullptr,
                   folded,
                   {},
                   {}};
  state.reasons = reasons;
  score = ScoreSearched(state, score, result);

  int level = LevelOf(score);
  // The extended profile rates a password it found at most level 2.
  const bool found = state.match.kind != QUARVEL_MATCH_NONE || result->pdict_fd == 1;
  if (extended && found && level > 2) {
    state.reasons.Add(0, QUARVEL_REASON_LEVEL_CAPPED, 0, level, 2);
    level = 2;
  }
  if (WantsEstimate(settings, result)) {
    RunGuessStage(state, password.substr(0, text.size()), &level, result);
  }
  WriteExplanation(state, result);
  if (!WriteAnswer(level, result)) return Refuse(QUARVEL_TOO_LONG, result);
  result->level = level;
  result->code = QUARVEL_OK;
  return QUARVEL_OK;
}

}  // namespace quarvel::engine
