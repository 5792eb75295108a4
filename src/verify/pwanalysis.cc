// Verification settings and password scoring.

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "quarvel/pwanalysis.h"
#include "quarvel/rules.h"
#include "quarvel/search.h"
#include "quarvel/stringutil.h"
#include "verify/pwanalysis_internal.h"
#include "wordstore/scratch.h"

// ---------------------------------------------------------------------------
// Settings: their values before the first environment load.

extern "C" {
int MINLEN = 6;
int MINDIFF = 4;
int MINSTEP = 3;
int MINREPT = 3;
int POSTFIXNUM = 2;
int PREFIXNUM = 1;
int USEPOSTFIXNUM = 1;
int USEPREFIXNUM = 0;
int USEREVERSE = 0;
int USEMINREPT = 0;
int USEPROFILE = 0;
int DELORGFILE = 0;
int USE_DICT_CNT = 1;
const char *dict[8] = {};
}

namespace quarvel::verify {
gcfg *cfg = nullptr;
}

// ---------------------------------------------------------------------------
// Scoring tables. The library reads its own copies, so a host program that
// defines symbols of the same names cannot change how passwords are graded.

// clang-format off
#define QUARVEL_LEVEL_ROWS                                                  \
  {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1},     \
  {1, 1, 1, 1}, {1, 1, 1, 1},                               /* 0-6 */      \
  {1, 1, 3, 3},                                             /* 7 */        \
  {1, 2, 3, 3},                                             /* 8 */        \
  {2, 3, 3, 3}, {2, 3, 3, 3}, {2, 3, 3, 3}, {2, 3, 3, 3}, {2, 3, 3, 3},     \
                                                            /* 9-13 */     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}                                              /* 14-49 */
#define QUARVEL_RANGES {1, 1}, {2, 2}, {3, 3}, {4, 4}
#define QUARVEL_DIGITS "0123456789"
#define QUARVEL_LOWER "abcdefghijklmnopqrstuvwxyz"
#define QUARVEL_UPPER "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
#define QUARVEL_SYMBOLS "`~!@#$%^&*()-_=+\\|]}[{'\";:/?.>,<"
// clang-format on

extern "C" const int nLevel[50][4] = {QUARVEL_LEVEL_ROWS};
extern "C" const int nRange[4][2] = {QUARVEL_RANGES};
extern "C" const char numberal[] = QUARVEL_DIGITS;
extern "C" const char lowercase[] = QUARVEL_LOWER;
extern "C" const char uppercase[] = QUARVEL_UPPER;
extern "C" const char simbol[] = QUARVEL_SYMBOLS;

namespace {

constexpr int kLevel[50][4] = {QUARVEL_LEVEL_ROWS};
constexpr int kRange[4][2] = {QUARVEL_RANGES};
constexpr std::string_view kClasses[] = {QUARVEL_DIGITS, QUARVEL_LOWER, QUARVEL_UPPER,
                                         QUARVEL_SYMBOLS};
static_assert(kClasses[3].size() == 32);

constexpr size_t kAreaSize = 1024;
constexpr size_t kPasswordLimit = 257;  // longest accepted password
constexpr size_t kMeasuredLimit = 256;  // characters measured of it
constexpr size_t kPieceSize = 256;

char g_result[kAreaSize];

// The answer fields, appended one by one, each formatted in a bounded piece.
class Fields {
 public:
  ~Fields() { quarvel::SecureWipe(text_, sizeof(text_)); }

  // Formats one field (cut at 255 characters) and appends it; false when
  // the fields would exceed the area's 1023 characters.
  __attribute__((format(printf, 2, 3))) bool Append(const char *format, ...) {
    char piece[kPieceSize];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(piece, sizeof(piece), format, args);
    va_end(args);
    if (n < 0) return false;
    size_t length = std::min<size_t>(static_cast<size_t>(n), sizeof(piece) - 1);
    if (length_ + length > kAreaSize - 1) return false;
    std::memcpy(text_ + length_, piece, length);
    length_ += length;
    text_[length_] = '\0';
    return true;
  }

  const char *text() const { return text_; }

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
  printf("[1] BASIC JUMSU[PWLEN=%d][CHARACTERS=%d]=[%d]\n", row, classes, score);
  fields.Append("PW_LEN=%d", length);

  // Stage 2: distinct characters, case-sensitive.
  const int distinct = CountDistinct(text);
  if (static_cast<unsigned>(distinct) < static_cast<unsigned>(MINDIFF)) --score;
  printf("[2][MINDIFF=%d],[junk=%d][JUMSU=%d]\n", MINDIFF, distinct, score);
  if (!fields.Append(":PW_NCR=%d", classes)) return "RET_CD=2009";

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
  fields.Append(":REPT_NCR=%d", repeats);
  printf("[3][USEMINREPT=%d],[MINREPT=%d][repcnt=%d][JUMSU=%d]\n", USEMINREPT, MINREPT, repeats,
         score);

  // Stage 4: neighbours in sequence.
  const int sequences = CountSequences(text);
  fields.Append(":CTS_NCR=%d", sequences);
  if (static_cast<unsigned>(sequences) > static_cast<unsigned>(MINSTEP)) --score;
  printf("[4][MINSTEP=%d],[SeqChar=%d][JUMSU=%d]\n", MINSTEP, sequences, score);

  // Stage 5: the configured dictionaries; the first that answers ends it.
  int searched = 0;
  bool found = false;
  for (const char *prefix : dict) {
    if (prefix == nullptr || prefix[0] == '\0') continue;
    ++searched;
    if (DictFindPW(work, prefix) != nullptr) {
      printf("[INFO]DICT SEARCH FILE_NAME %s FOUND\n", prefix);
      found = true;
      break;
    }
    printf("[INFO]DICT SEARCH FILE_NAME %s, NOT FOUND\n", prefix);
  }
  if (found) {
    --score;
    printf("[5][DICT_SEARCH=FOUND],[JUMSU=%d]\n", score);
  } else {
    printf("[5][DICT_SEARCH=NOT FOUND],[JUMSU=%d]\n", score);
  }
  fields.Append(":DICT_FD_CNT=%d", found ? searched : searched + 1);

  // Stage 6: the personal dictionary.
  if (USEPROFILE != 0) {
    const char *prefix = quarvel::verify::kProfilePrefix;
    printf("user profile dict filename %s\n", prefix);
    const char *answer = DictFindPW(work, prefix);
    if (answer != nullptr) {
      --score;
      fields.Append(":PDICT_FD=01");
      printf("profile dict filename %s, %s\n", prefix, answer);
      printf("[6][Personal DICT_SEARCH=FOUND],[JUMSU=%d]\n", score);
    } else {
      fields.Append(":PDICT_FD=00");
      printf("[6][Personal DICT_SEARCH=NOT FOUND],[JUMSU=%d]\n", score);
    }
  } else {
    fields.Append(":PDICT_FD=XX");
    printf("[6][Personal DICT_SEARCH=NOT USED],[JUMSU=%d]\n", score);
  }

  const int level = LevelOf(score);
  char head[kPieceSize];
  snprintf(head, sizeof(head), "RET_CD=0000:RT_LEVEL=%d:", level);
  const size_t head_length = strlen(head);
  const size_t fields_length = strlen(fields.text());
  if (head_length + fields_length > kAreaSize - 1) return "RET_CD=2009";
  std::memcpy(g_result, head, head_length);
  std::memcpy(g_result + head_length, fields.text(), fields_length + 1);
  return g_result;
}

}  // namespace

extern "C" const char *VerifyPW(const char *password) noexcept {
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
