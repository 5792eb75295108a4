// Stages 1 to 4: what the password's characters alone say.

#include "engine/measurements.h"

#include <algorithm>

#include "engine/scoring_tables.h"
#include "search/hangul.h"

namespace quarvel::engine {
namespace {

int CountClasses(std::string_view text) {
  bool seen[std::size(kClasses)] = {};
  int count = 0;
  for (char c : text) {
    for (size_t k = 0; k < std::size(kClasses); ++k) {
      if (!seen[k] && kClasses[k].find(c) != std::string_view::npos) {
        seen[k] = true;
        ++count;
      }
    }
  }
  return count;
}

int CountDistinct(std::string_view text) {
  bool seen[256] = {};
  int count = 0;
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (!seen[b]) {
      seen[b] = true;
      ++count;
    }
  }
  return count;
}

// Neighbour pairs whose codes (as signed 8-bit values) differ by one.
int CountSequences(std::string_view text) {
  int count = 0;
  for (size_t i = 1; i < text.size(); ++i) {
    const int step = static_cast<signed char>(text[i]) - static_cast<signed char>(text[i - 1]);
    if (step == 1 || step == -1) ++count;
  }
  return count;
}

}  // namespace

int CountOccurrences(std::string_view text, std::string_view piece) {
  if (piece.empty()) return 0;
  int count = 0;
  for (size_t p = text.find(piece); p != std::string_view::npos; p = text.find(piece, p + 1)) {
    ++count;
  }
  return count == 1 ? 0 : count;
}

int CountRepeatedPieces(std::string_view text, int piece_length) {
  if (piece_length > 256) piece_length = 2;
  if (piece_length < 1 || text.empty()) return 0;
  // The first half of the text without its last character, at most 255.
  const int half = static_cast<int>(std::min<size_t>(text.size() - 1, 255) / 2);
  int count = 0;
  for (int start = 0; start <= half - piece_length; ++start) {
    const std::string_view piece =
        text.substr(static_cast<size_t>(start), static_cast<size_t>(piece_length));
    if (CountOccurrences(text, piece) != 0) ++count;
  }
  return count;
}

int MeasureComposition(std::string_view text, const ScoringSettings &settings,
                       const TraceSink &trace, Reasons *reasons, quarvel_result *result) {
  // Stage 1: base score by length and character classes.
  const int classes = CountClasses(text);
  // The extended profile counts the characters of valid UTF-8, the
  // standard one bytes.
  int length = static_cast<int>(text.size());
  if (settings.extended != 0 && hangul::ValidUtf8(text)) {
    length = static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) {
      return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
  }
  const int row = length >= 50 ? 49 : length;
  // Entry row * 4 + classes - 1 counted row after row: without any class,
  // the last entry of the row before.
  int score = classes > 0 ? kLevel[row][classes - 1] : kLevel[row - 1][3];
  TraceLine(trace) << "[1] BASIC JUMSU[PWLEN=" << row << "][CHARACTERS=" << classes << "]=["
                   << score << "]";
  result->pw_len = length;
  result->pw_ncr = classes;
  result->stage_score[0] = score;

  // Stage 2: distinct characters, case-sensitive.
  const int distinct = CountDistinct(text);
  if (static_cast<unsigned>(distinct) < static_cast<unsigned>(settings.min_diff)) {
    --score;
    reasons->Add(2, QUARVEL_REASON_FEW_DISTINCT, 1, distinct, settings.min_diff);
  }
  TraceLine(trace) << "[2][MINDIFF=" << settings.min_diff << "],[junk=" << distinct
                   << "][JUMSU=" << score << "]";
  result->distinct = distinct;
  result->stage_score[1] = score;
  return score;
}

int MeasureRepetition(std::string_view searched, int score, const ScoringSettings &settings,
                      const TraceSink &trace, Reasons *reasons, quarvel_result *result) {
  // Stage 3: repeated two-character pieces.
  int repeats = 0;
  if (settings.use_min_rept != 0) {
    repeats = CountRepeatedPieces(searched, 2);
    if (repeats > settings.min_rept) {
      --score;
      reasons->Add(3, QUARVEL_REASON_REPEATS, 1, repeats, settings.min_rept);
    }
  }
  TraceLine(trace) << "[3][USEMINREPT=" << settings.use_min_rept
                   << "],[MINREPT=" << settings.min_rept << "][repcnt=" << repeats
                   << "][JUMSU=" << score << "]";
  result->rept_ncr = repeats;
  result->stage_score[2] = score;

  // Stage 4: neighbours in sequence.
  const int sequences = CountSequences(searched);
  if (static_cast<unsigned>(sequences) > static_cast<unsigned>(settings.min_step)) {
    --score;
    reasons->Add(4, QUARVEL_REASON_SEQUENCES, 1, sequences, settings.min_step);
  }
  TraceLine(trace) << "[4][MINSTEP=" << settings.min_step << "],[SeqChar=" << sequences
                   << "][JUMSU=" << score << "]";
  result->cts_ncr = sequences;
  result->stage_score[3] = score;
  return score;
}

}  // namespace quarvel::engine
