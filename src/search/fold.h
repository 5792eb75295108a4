// The letters of European languages in a searched text: upper case lowered
// and accents folded ("Café" reads "cafe", 'ß' "ss", 'Æ' "ae"), so that a
// password typed with or without its accents finds a word that dictionaries
// store folded (quarvel build --language folds their words the same way).
#ifndef QUARVEL_SRC_SEARCH_FOLD_H_
#define QUARVEL_SRC_SEARCH_FOLD_H_

#include <cstddef>
#include <string_view>

namespace quarvel::engine {

// The folded form of the Latin letter c (U+00C0 to U+017F), lower case,
// one or two ASCII letters; "" for another character.
std::string_view FoldedLetter(char32_t c);

// Lowers and folds text into out, which has room for text.size() bytes
// (the folded form is never longer): ASCII capitals lowered, the letters
// FoldedLetter knows folded, every other character (and every byte that is
// not valid UTF-8) copied as it is. out may be text's own bytes. Answers
// the length written; *folded (when given) is set when a letter was folded.
size_t FoldText(std::string_view text, char *out, bool *folded = nullptr);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_SEARCH_FOLD_H_
