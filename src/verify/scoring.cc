// Password scoring: VerifyPW and the repeat counters.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "quarvel/dictmanger.h"
#include "quarvel/gconfig.h"
#include "quarvel/pwanalysis.h"
#include "quarvel/rules.h"
#include "quarvel/search.h"
#include "quarvel/stringutil.h"
#include "engine/scoring_tables.h"
#include "verify/api_lock.h"
#include "verify/pwanalysis_internal.h"
#include "verify/search_internal.h"
#include "verify/trace.h"
#include "wordstore/dictmanger_internal.h"
#include "wordstore/scratch.h"

namespace {

using quarvel::engine::kClasses;
using quarvel::engine::kLevel;
using quarvel::engine::kRange;

using quarvel::Trace;

constexpr size_t kAreaSize = 1024;
constexpr size_t kPasswordLimit = 257;  // longest accepted password
constexpr size_t kMeasuredLimit = 256;  // characters measured of it
constexpr size_t kPieceSize = 256;

char g_result[kAreaSize];

// The answer fields, appended one by one.
class Fields {
 public:
  ~Fields() { quarvel::SecureWipe(text_, length_); }

  // Appends name and, unless it is the text's end, value's decimal form;
  // false when the fields would exceed the area's 1023 characters.
  bool Append(std::string_view name, int value) {
    char digits[12];
    const size_t count = quarvel::FormatInt(digits, value);
    if (length_ + name.size() + count > kAreaSize - 1) return false;
    std::memcpy(text_ + length_, name.data(), name.size());
    std::memcpy(text_ + length_ + name.size(), digits, count);
    length_ += name.size() + count;
    text_[length_] = '\0';
    return true;
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

// Number of the four classes that occur in text.
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

// Number of distinct bytes of text.
int CountDistinct(std::string_view text) {
  bool seen[256] = {};
  int count = 0;
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
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
    int step = static_cast<signed char>(text[i]) - static_cast<signed char>(text[i - 1]);
    if (step == 1 || step == -1) ++count;
  }
  return count;
}

int LevelOf(int score) {
  for (int level = 4; level >= 2; --level) {
    if (kRange[level - 1][0] <= score && score <= kRange[level - 1][1]) return level;
  }
  return 1;
}

// Clears every area that held the password or a variant of it.
class WipeOnExit {
 public:
  WipeOnExit(char *work, size_t size) : work_(work), size_(size) {}
  ~WipeOnExit() {
    quarvel::SecureWipe(work_, size_);
    quarvel::WipeRuleAreas();
  }
  WipeOnExit(const WipeOnExit &) = delete;
  WipeOnExit &operator=(const WipeOnExit &) = delete;

 private:
  char *work_;
  size_t size_;
};

const char *Score(const char *password) {
  char work[kAreaSize] = {};
  WipeOnExit wipe(work, sizeof(work));
  Fields fields;

  std::memcpy(work, password, strnlen(password, kMeasuredLimit));
  std::string_view text(work);

  // Stage 1: base score by length and character classes.
  const int classes = CountClasses(text);
  const int length = static_cast<int>(text.size());
  const int row = length >= 50 ? 49 : length;
  // Entry row * 4 + classes - 1 counted row after row: without any class,
  // the last entry of the row before.
  int score = classes > 0 ? kLevel[row][classes - 1] : kLevel[row - 1][3];
  Trace() << "[1] BASIC JUMSU[PWLEN=" << row << "][CHARACTERS=" << classes << "]=[" << score
          << "]\n";
  fields.Append("PW_LEN=", length);

  // Stage 2: distinct characters, case-sensitive.
  const int distinct = CountDistinct(text);
  if (static_cast<unsigned>(distinct) < static_cast<unsigned>(MINDIFF)) --score;
  Trace() << "[2][MINDIFF=" << MINDIFF << "],[junk=" << distinct << "][JUMSU=" << score << "]\n";
  if (!fields.Append(":PW_NCR=", classes)) return "RET_CD=2009";

  // Stages 3 to 6 work on the lower-cased, right-trimmed text.
  const char *lowered = Lowercase(work);
  std::memmove(work, lowered, strnlen(lowered, kAreaSize - 1));
  Trim(work);
  text = std::string_view(work);

  // Stage 3: repeated two-character pieces.
  int repeats = 0;
  if (USEMINREPT != 0) {
    repeats = RepeteChar(work, 2);
    if (repeats > MINREPT) --score;
  }
  fields.Append(":REPT_NCR=", repeats);
  Trace() << "[3][USEMINREPT=" << USEMINREPT << "],[MINREPT=" << MINREPT << "][repcnt=" << repeats
          << "][JUMSU=" << score << "]\n";

  // Stage 4: neighbours in sequence.
  const int sequences = CountSequences(text);
  fields.Append(":CTS_NCR=", sequences);
  if (static_cast<unsigned>(sequences) > static_cast<unsigned>(MINSTEP)) --score;
  Trace() << "[4][MINSTEP=" << MINSTEP << "],[SeqChar=" << sequences << "][JUMSU=" << score
          << "]\n";

  // Stages 5 and 6 search the same text in each dictionary: the variants
  // the rules make of it are made once for all.
  quarvel::search::CandidateBatch batch;

  // Stage 5: the configured dictionaries; the first that answers ends it.
  int searched = 0;
  bool found = false;
  for (const char *prefix : dict) {
    if (prefix == nullptr || prefix[0] == '\0') continue;
    ++searched;
    if (DictFindPW(work, prefix) != nullptr) {
      Trace() << "[INFO]DICT SEARCH FILE_NAME " << prefix << " FOUND\n";
      found = true;
      break;
    }
    Trace() << "[INFO]DICT SEARCH FILE_NAME " << prefix << ", NOT FOUND\n";
  }
  if (found) {
    --score;
    Trace() << "[5][DICT_SEARCH=FOUND],[JUMSU=" << score << "]\n";
  } else {
    Trace() << "[5][DICT_SEARCH=NOT FOUND],[JUMSU=" << score << "]\n";
  }
  fields.Append(":DICT_FD_CNT=", found ? searched : searched + 1);

  // Stage 6: the personal dictionary.
  if (USEPROFILE != 0) {
    const char *prefix = quarvel::verify::kProfilePrefix;
    Trace() << "user profile dict filename " << prefix << "\n";
    const char *answer = DictFindPW(work, prefix);
    if (answer != nullptr) {
      --score;
      fields.Append(":PDICT_FD=01");
      Trace() << "profile dict filename " << prefix << ", " << answer << "\n";
      Trace() << "[6][Personal DICT_SEARCH=FOUND],[JUMSU=" << score << "]\n";
    } else {
      fields.Append(":PDICT_FD=00");
      Trace() << "[6][Personal DICT_SEARCH=NOT FOUND],[JUMSU=" << score << "]\n";
    }
  } else {
    fields.Append(":PDICT_FD=XX");
    Trace() << "[6][Personal DICT_SEARCH=NOT USED],[JUMSU=" << score << "]\n";
  }

  const int level = LevelOf(score);
  Fields answer;
  answer.Append("RET_CD=0000:RT_LEVEL=", level);
  if (!answer.Append(":") || !answer.Append(fields.text())) return "RET_CD=2009";
  std::memcpy(g_result, answer.text().data(), answer.text().size());
  g_result[answer.text().size()] = '\0';
  return g_result;
}

}  // namespace

extern "C" const char *VerifyPW(const char *password) noexcept {
  quarvel::ApiLock lock;
  if (quarvel::verify::cfg == nullptr) return "RET_CD=2001";
  if (password == nullptr) return "RET_CD=2000";
  // 1 <= length <= 257, without reading further than needed.
  const size_t length = strnlen(password, kPasswordLimit + 1);
  if (length - 1 > kPasswordLimit - 1) return "RET_CD=2000";
  return Score(password);
}

extern "C" int RepeteSubStr(const char *text, const char *piece) noexcept {
  if (text == nullptr || piece == nullptr || piece[0] == '\0') return 0;
  const size_t piece_length = strlen(piece);
  int count = 0;
  for (const char *p = text; *p != '\0'; ++p) {
    if (*p == piece[0] && std::strncmp(p, piece, piece_length) == 0) ++count;
  }
  return count == 1 ? 0 : count;
}

extern "C" int RepeteChar(const char *text, int piece_length) noexcept {
  if (text == nullptr) return 0;
  if (piece_length > 256) piece_length = 2;
  const size_t length = strlen(text);
  if (piece_length < 1 || length == 0) return 0;
  // The first half of the text without its last character, at most 255.
  const int half = static_cast<int>(std::min<size_t>(length - 1, 255) / 2);
  char piece[kPieceSize + 1];
  int count = 0;
  for (int start = 0; start <= half - piece_length; ++start) {
    std::memcpy(piece, text + start, static_cast<size_t>(piece_length));
    piece[piece_length] = '\0';
    if (RepeteSubStr(text, piece) != 0) ++count;
  }
  quarvel::SecureWipe(piece, sizeof(piece));
  return count;
}
