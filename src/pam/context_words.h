// The words a user's own password must not be built from: the login name
// and the words of the passwd entry's GECOS field.
#ifndef QUARVEL_SRC_PAM_CONTEXT_WORDS_H_
#define QUARVEL_SRC_PAM_CONTEXT_WORDS_H_

#include <string>
#include <string_view>
#include <vector>

namespace quarvel::pam {

class ContextWords {
 public:
  // The login name first, then the GECOS words from its passwd entry (none
  // when the name has no entry; found tells).
  explicit ContextWords(std::string_view login);

  // Adds the words of a GECOS field: "Full Name,Room,Work phone,...". Each
  // comma-separated part gives its blank-separated words; a word with inner
  // punctuation ("Jean-Pierre") also gives its pieces; a full name of
  // several words also gives them joined ("jeandupont").
  void AddGecos(std::string_view gecos);

  bool found() const { return found_; }
  // NUL-terminated views of the words, for quarvel_check_context.
  const std::vector<const char *> &pointers() const { return pointers_; }
  size_t size() const { return words_.size(); }

 private:
  void Add(std::string_view word);

  std::vector<std::string> words_;
  std::vector<const char *> pointers_;
  bool found_ = false;
};

// A word as the engine compares it: lower-case letters and digits, cut to
// 31 characters (the engine normalises context words the same way).
std::string NormalizedWord(std::string_view word);

}  // namespace quarvel::pam

#endif  // QUARVEL_SRC_PAM_CONTEXT_WORDS_H_
