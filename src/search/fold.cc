// Lower-casing and accent folding of Latin letters.

#include "search/fold.h"

#include <cstring>

#include "search/hangul.h"

namespace quarvel::engine {
namespace {

// U+00C0 to U+00FF: the Latin-1 letters, folded; "" for × and ÷.
constexpr std::string_view kLatin1[64] = {
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i",  "i",
    "d", "n", "o", "o", "o", "o", "o",  "",  "o", "u", "u", "u", "u", "y", "th", "ss",
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i",  "i",
    "d", "n", "o", "o", "o", "o", "o",  "",  "o", "u", "u", "u", "u", "y", "th", "y"};

// U+0100 to U+017F, Latin Extended-A: each letter's base letter (ĳ and œ
// are written out below).
constexpr std::string_view kExtendedA =
    "aaaaaaccccccccddddeeeeeeeeeegggggggghhhhiiiiiiiiiiiijjkkkllllllllllnnnnnnnnnoooooooo"
    "rrrrrrssssssssttttttuuuuuuuuuuuuwwyyyzzzzzzs";
static_assert(kExtendedA.size() == 128);

}  // namespace

std::string_view FoldedLetter(char32_t c) {
  if (c >= 0xC0 && c <= 0xFF) return kLatin1[c - 0xC0];
  if (c < 0x100 || c > 0x17F) return {};
  if (c == 0x132 || c == 0x133) return "ij";
  if (c == 0x152 || c == 0x153) return "oe";
  return kExtendedA.substr(c - 0x100, 1);
}

size_t FoldText(std::string_view text, char *out, bool *folded_any) {
  size_t n = 0;
  for (size_t pos = 0; pos < text.size();) {
    const size_t start = pos;
    const char32_t c = hangul::DecodeUtf8(text, &pos);
    if (c >= 'A' && c <= 'Z') {
      out[n++] = static_cast<char>(c - 'A' + 'a');
      continue;
    }
    const std::string_view folded = c == hangul::kInvalid ? std::string_view() : FoldedLetter(c);
    const std::string_view copied = folded.empty() ? text.substr(start, pos - start) : folded;
    if (!folded.empty() && folded_any != nullptr) *folded_any = true;
    std::memmove(out + n, copied.data(), copied.size());
    n += copied.size();
  }
  return n;
}

}  // namespace quarvel::engine
