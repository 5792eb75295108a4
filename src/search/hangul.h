// Hangul: syllables composed from their jamo by arithmetic, UTF-8 in and
// out, the two-set (dubeolsik) keyboard read as jamo, and the Revised
// Romanization of a word.
//
// A syllable is U+AC00 + (initial * 21 + medial) * 28 + final, with 19
// initials, 21 medials and 28 finals (0: none). Jamo are kept here as those
// indices: a consonant by its initial index, a vowel by its medial index.
#ifndef QUARVEL_SRC_SEARCH_HANGUL_H_
#define QUARVEL_SRC_SEARCH_HANGUL_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quarvel::engine::hangul {

inline constexpr char32_t kFirstSyllable = 0xAC00;
inline constexpr char32_t kLastSyllable = 0xD7A3;
inline constexpr int kInitials = 19;
inline constexpr int kMedials = 21;
inline constexpr int kFinals = 28;

// One jamo: a consonant (index among the initials) or a vowel (index among
// the medials).
struct Jamo {
  bool vowel;
  uint8_t index;
  bool operator==(const Jamo &) const = default;
};

constexpr bool IsSyllable(char32_t c) { return c >= kFirstSyllable && c <= kLastSyllable; }

constexpr char32_t Syllable(int initial, int medial, int final) {
  return kFirstSyllable + static_cast<char32_t>((initial * kMedials + medial) * kFinals + final);
}

// The decoder's answer for bytes that are not valid UTF-8 (an overlong
// form, a surrogate, past U+10FFFF, a cut sequence).
inline constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes the character at text[*pos] and moves *pos past it; an invalid
// byte answers kInvalid and moves one byte.
char32_t DecodeUtf8(std::string_view text, size_t *pos);

// True when text is valid UTF-8.
bool ValidUtf8(std::string_view text);

// Appends c as UTF-8.
void AppendUtf8(char32_t c, std::string *out);

// The jamo a compatibility jamo (U+3131 to U+3163) or a conjoining one
// (U+1100 to U+11C2, initials, medials and finals) stands for; a final
// cluster or a double vowel is given as its two parts. Answers how many
// (0 for another character).
size_t JamoOf(char32_t c, Jamo out[2]);

// Writes the jamo of the key typed on the two-set layout, shifted when the
// letter is upper case (Q W E R T O P give the double consonants and the two
// vowels; other capitals type what their small letters do); answers false
// for a character that is no letter.
bool KeyJamo(char key, Jamo *out);

// The letter that types j on the two-set layout (upper case for the
// shifted ones); '\0' for none (the compound vowels and clusters are typed
// as their parts).
char KeyOf(Jamo j);

// Composes jamo into syllables as a two-set input method does: a vowel
// after a vowel forms a compound when there is one (ㅗ+ㅏ ㅘ), a consonant
// after a vowel becomes a final and a second one a cluster when there is
// one (ㄹ+ㄱ ㄺ), and a final (or the second part of a cluster) moves to
// start the next syllable when a vowel follows it. Answers false, with out
// undefined, when some jamo would be left alone (a vowel without initial, a
// consonant without vowel) or out would need more than out.size() syllables.
bool Compose(std::span<const Jamo> jamo, std::span<char32_t> out, size_t *count);

// Composes the jamo of text (compatibility or conjoining) into syllables,
// leaving every other character as it is: the composed (NFC) form of Hangul
// text. Invalid UTF-8 is copied byte for byte.
std::string ComposeText(std::string_view text);

// The Revised Romanization of a word of syllables, with the sound changes
// at syllable boundaries that it writes (a final before a vowel starts the
// next syllable, ㄹㄹ and ㄴㄹ as "ll", a stop before ㄴ or ㅁ nasal); with
// plain, each syllable on its own. Characters other than syllables end it.
std::string Romanise(std::u32string_view syllables, bool plain);

}  // namespace quarvel::engine::hangul

#endif  // QUARVEL_SRC_SEARCH_HANGUL_H_
