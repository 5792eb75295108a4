// Hangul composed by arithmetic, UTF-8, the two-set layout and the Revised
// Romanization.

#include "search/hangul.h"

#include <array>

namespace quarvel::engine::hangul {
namespace {

constexpr int kNone = -1;

// The initial indices of the consonants, by name, for the tables below.
enum Consonant : uint8_t {
  kG,
  kGg,
  kN,
  kD,
  kDd,
  kR,
  kM,
  kB,
  kBb,
  kS,
  kSs,
  kNg,
  kJ,
  kJj,
  kCh,
  kK,
  kT,
  kP,
  kH
};
// The medial indices of the simple vowels that form compounds.
enum Vowel : uint8_t { kA = 0, kAe = 1, kEo = 4, kE = 5, kO = 8, kU = 13, kEu = 18, kI = 20 };

// A consonant's final index, kNone for the three that are never finals.
constexpr std::array<int, kInitials> kFinalOf = {1,  2,  4,  7,     kNone, 8,  16, 17, kNone, 19,
                                                 20, 21, 22, kNone, 23,    24, 25, 26, 27};

struct Pair {
  uint8_t first, second, joined;
};
// Final clusters: two consonants (initial indices) and the final they make.
constexpr Pair kClusters[] = {{kG, kS, 3},  {kN, kJ, 5},  {kN, kH, 6},  {kR, kG, 9},
                              {kR, kM, 10}, {kR, kB, 11}, {kR, kS, 12}, {kR, kT, 13},
                              {kR, kP, 14}, {kR, kH, 15}, {kB, kS, 18}};
// Compound vowels: two medials and the medial they make.
constexpr Pair kCompounds[] = {{kO, kA, 9},  {kO, kAe, 10}, {kO, kI, 11}, {kU, kEo, 14},
                               {kU, kE, 15}, {kU, kI, 16},  {kEu, kI, 19}};

// The parts of each final (0 for none), as initial indices; 0xFF: unused.
constexpr std::array<std::array<uint8_t, 2>, kFinals> kFinalParts = {{
    {0xFF, 0xFF}, {kG, 0xFF}, {kGg, 0xFF}, {kG, kS},   {kN, 0xFF}, {kN, kJ},   {kN, kH},
    {kD, 0xFF},   {kR, 0xFF}, {kR, kG},    {kR, kM},   {kR, kB},   {kR, kS},   {kR, kT},
    {kR, kP},     {kR, kH},   {kM, 0xFF},  {kB, 0xFF}, {kB, kS},   {kS, 0xFF}, {kSs, 0xFF},
    {kNg, 0xFF},  {kJ, 0xFF}, {kCh, 0xFF}, {kK, 0xFF}, {kT, 0xFF}, {kP, 0xFF}, {kH, 0xFF},
}};

// Compatibility consonants U+3131 to U+314E: their parts as initial indices.
constexpr std::array<std::array<uint8_t, 2>, 30> kCompatConsonants = {{
    {kG, 0xFF},  {kGg, 0xFF}, {kG, kS},   {kN, 0xFF},  {kN, kJ},    {kN, kH},
    {kD, 0xFF},  {kDd, 0xFF}, {kR, 0xFF}, {kR, kG},    {kR, kM},    {kR, kB},
    {kR, kS},    {kR, kT},    {kR, kP},   {kR, kH},    {kM, 0xFF},  {kB, 0xFF},
    {kBb, 0xFF}, {kB, kS},    {kS, 0xFF}, {kSs, 0xFF}, {kNg, 0xFF}, {kJ, 0xFF},
    {kJj, 0xFF}, {kCh, 0xFF}, {kK, 0xFF}, {kT, 0xFF},  {kP, 0xFF},  {kH, 0xFF},
}};

// The two-set layout: each small letter's jamo, then the shifted jamo of
// the letters that have one.
struct Key {
  char letter;
  Jamo jamo;
};
constexpr Key kKeys[26] = {
    {'a', {false, kM}}, {'b', {true, 17}},  {'c', {false, kCh}}, {'d', {false, kNg}},
    {'e', {false, kD}}, {'f', {false, kR}}, {'g', {false, kH}},  {'h', {true, kO}},
    {'i', {true, 2}},   {'j', {true, kEo}}, {'k', {true, kA}},   {'l', {true, kI}},
    {'m', {true, kEu}}, {'n', {true, kU}},  {'o', {true, kAe}},  {'p', {true, kE}},
    {'q', {false, kB}}, {'r', {false, kG}}, {'s', {false, kN}},  {'t', {false, kS}},
    {'u', {true, 6}},   {'v', {false, kP}}, {'w', {false, kJ}},  {'x', {false, kT}},
    {'y', {true, 12}},  {'z', {false, kK}},
};
constexpr Key kShiftedKeys[] = {
    {'Q', {false, kBb}}, {'W', {false, kJj}}, {'E', {false, kDd}}, {'R', {false, kGg}},
    {'T', {false, kSs}}, {'O', {true, 3}},    {'P', {true, 7}},
};

template <size_t N>
int JoinOf(const Pair (&pairs)[N], int a, int b) {
  for (const Pair &p : pairs) {
    if (p.first == a && p.second == b) return p.joined;
  }
  return kNone;
}

constexpr std::string_view kInitialRoman[kInitials] = {"g",  "kk", "n", "d",  "tt", "r", "m",
                                                       "b",  "pp", "s", "ss", "",   "j", "jj",
                                                       "ch", "k",  "t", "p",  "h"};
constexpr std::string_view kMedialRoman[kMedials] = {"a",  "ae", "ya", "yae", "eo", "e",  "yeo",
                                                     "ye", "o",  "wa", "wae", "oe", "yo", "u",
                                                     "wo", "we", "wi", "yu",  "eu", "ui", "i"};
// The sound a final makes at the end of a word or before a consonant.
constexpr std::string_view kFinalRoman[kFinals] = {
    "",  "k", "k", "k", "n", "n", "n", "t",  "l", "k", "m", "l", "l", "l",
    "p", "l", "m", "p", "p", "t", "t", "ng", "t", "t", "k", "t", "p", "t"};

// The initial as it sounds when a final moves into the syllable: ㅎ is
// silent, the others as they are written.
std::string_view MovedRoman(int consonant) {
  return consonant == kH ? std::string_view() : kInitialRoman[consonant];
}

// Romanises the boundary between a syllable's final and the next
// syllable's initial, into out; answers whether the initial was written.
bool RomaniseBoundary(int final, int initial, std::string *out) {
  const auto &parts = kFinalParts[static_cast<size_t>(final)];
  if (final != 0 && initial == kNg && final != 21) {
    // The final (its second part for a cluster) starts the next syllable.
    if (parts[1] != 0xFF) {
      out->append(kFinalRoman[static_cast<size_t>(kFinalOf[parts[0]])]);
      out->append(MovedRoman(parts[1]));
    } else {
      out->append(parts[0] == kR ? "r" : MovedRoman(parts[0]));
    }
    return true;
  }
  const std::string_view sound = kFinalRoman[static_cast<size_t>(final)];
  if (final == 27 && (initial == kG || initial == kD || initial == kJ)) {
    out->append(initial == kG ? "k" : initial == kD ? "t" : "ch");
    return true;
  }
  if ((sound == "l" && (initial == kR || initial == kN)) || (sound == "n" && initial == kR)) {
    out->append("ll");
    return true;
  }
  if ((sound == "m" || sound == "ng") && initial == kR) {
    out->append(sound);
    out->append("n");
    return true;
  }
  if (initial == kN || initial == kM) {
    if (sound == "k") return out->append("ng"), false;
    if (sound == "t") return out->append("n"), false;
    if (sound == "p") return out->append("m"), false;
  }
  out->append(sound);
  return false;
}

}  // namespace

char32_t DecodeUtf8(std::string_view text, size_t *pos) {
  const size_t i = *pos;
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  *pos = i + 1;
  if (b0 < 0x80) return b0;
  size_t more;
  char32_t c, least;
  if ((b0 & 0xE0) == 0xC0) {
    more = 1, c = b0 & 0x1F, least = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    more = 2, c = b0 & 0x0F, least = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    more = 3, c = b0 & 0x07, least = 0x10000;
  } else {
    return kInvalid;
  }
  if (text.size() - i <= more) return kInvalid;
  for (size_t k = 1; k <= more; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return kInvalid;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kInvalid;
  *pos = i + 1 + more;
  return c;
}

bool ValidUtf8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    if (DecodeUtf8(text, &pos) == kInvalid) return false;
  }
  return true;
}

void AppendUtf8(char32_t c, std::string *out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

size_t JamoOf(char32_t c, Jamo out[2]) {
  const auto parts = [&](const std::array<uint8_t, 2> &p) -> size_t {
    out[0] = {false, p[0]};
    if (p[1] == 0xFF) return 1;
    out[1] = {false, p[1]};
    return 2;
  };
  if (c >= 0x3131 && c <= 0x314E) return parts(kCompatConsonants[c - 0x3131]);
  if (c >= 0x314F && c <= 0x3163) {
    out[0] = {true, static_cast<uint8_t>(c - 0x314F)};
    return 1;
  }
  if (c >= 0x1100 && c <= 0x1112) {
    out[0] = {false, static_cast<uint8_t>(c - 0x1100)};
    return 1;
  }
  if (c >= 0x1161 && c <= 0x1175) {
    out[0] = {true, static_cast<uint8_t>(c - 0x1161)};
    return 1;
  }
  if (c >= 0x11A8 && c <= 0x11C2) return parts(kFinalParts[c - 0x11A8 + 1]);
  return 0;
}

bool KeyJamo(char key, Jamo *out) {
  for (const Key &k : kShiftedKeys) {
    if (k.letter == key) return *out = k.jamo, true;
  }
  if (key >= 'A' && key <= 'Z') key = static_cast<char>(key - 'A' + 'a');
  if (key < 'a' || key > 'z') return false;
  *out = kKeys[key - 'a'].jamo;
  return true;
}

char KeyOf(Jamo j) {
  for (const Key &k : kKeys) {
    if (k.jamo == j) return k.letter;
  }
  for (const Key &k : kShiftedKeys) {
    if (k.jamo == j) return k.letter;
  }
  return '\0';
}

bool Compose(std::span<const Jamo> jamo, std::span<char32_t> out, size_t *count) {
  const size_t n = jamo.size();
  size_t made = 0;
  for (size_t i = 0; i < n;) {
    if (jamo[i].vowel || i + 1 >= n || !jamo[i + 1].vowel || made == out.size()) return false;
    const int initial = jamo[i].index;
    int medial = jamo[i + 1].index;
    i += 2;
    if (i < n && jamo[i].vowel) {
      medial = JoinOf(kCompounds, medial, jamo[i].index);
      if (medial == kNone) return false;  // a vowel left alone
      ++i;
    }
    size_t consonants = 0;
    while (i + consonants < n && !jamo[i + consonants].vowel) ++consonants;
    // Before a vowel, the last consonant starts the next syllable.
    const size_t finals = i + consonants < n && consonants > 0 ? consonants - 1 : consonants;
    int final = 0;
    if (finals == 1) {
      final = kFinalOf[jamo[i].index];
    } else if (finals == 2) {
      final = JoinOf(kClusters, jamo[i].index, jamo[i + 1].index);
    } else if (finals > 2) {
      return false;
    }
    if (final == kNone) return false;
    i += finals;
    out[made++] = Syllable(initial, medial, final);
  }
  *count = made;
  return made > 0;
}

std::string ComposeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  Jamo run[64];
  size_t used = 0;
  // A run of jamo is composed when it composes whole; else kept as it was.
  size_t run_start = 0;
  const auto flush = [&](size_t end) {
    char32_t syllables[64];
    size_t count = 0;
    if (used > 0 && Compose(std::span(run, used), syllables, &count)) {
      for (size_t k = 0; k < count; ++k) AppendUtf8(syllables[k], &out);
    } else {
      out.append(text.substr(run_start, end - run_start));
    }
    used = 0;
  };
  for (size_t pos = 0; pos < text.size();) {
    const size_t start = pos;
    const char32_t c = DecodeUtf8(text, &pos);
    Jamo parts[2];
    const size_t k = c == kInvalid ? 0 : JamoOf(c, parts);
    if (k == 0 || used + k > std::size(run)) {
      flush(start);
      out.append(text.substr(start, pos - start));
      run_start = pos;
      continue;
    }
    if (used == 0) run_start = start;
    for (size_t j = 0; j < k; ++j) run[used++] = parts[j];
  }
  flush(text.size());
  return out;
}

std::string Romanise(std::u32string_view syllables, bool plain) {
  std::string out;
  bool initial_written = false;
  for (size_t i = 0; i < syllables.size() && IsSyllable(syllables[i]); ++i) {
    const int offset = static_cast<int>(syllables[i] - kFirstSyllable);
    const int initial = offset / (kMedials * kFinals);
    const int medial = offset / kFinals % kMedials;
    const int final = offset % kFinals;
    if (!initial_written) out.append(kInitialRoman[initial]);
    out.append(kMedialRoman[medial]);
    initial_written = false;
    const bool last = i + 1 == syllables.size() || !IsSyllable(syllables[i + 1]);
    if (plain || last) {
      if (final == 8) {
        out.append("l");
      } else {
        out.append(kFinalRoman[final]);
      }
      continue;
    }
    const int next = static_cast<int>(syllables[i + 1] - kFirstSyllable) / (kMedials * kFinals);
    initial_written = RomaniseBoundary(final, next, &out);
  }
  return out;
}

}  // namespace quarvel::engine::hangul
