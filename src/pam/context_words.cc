// Context words from the passwd entry.

#include "pam/context_words.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

namespace quarvel::pam {

namespace {

// More words than a passwd entry sensibly holds are ignored.
constexpr size_t kMaxWords = 32;
constexpr size_t kWordLimit = 31;
// getpwnam_r's buffer, when sysconf has no suggestion; doubled on ERANGE.
constexpr size_t kFirstBufferSize = 1024;
constexpr size_t kLargestBufferSize = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsWordCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// Calls visit for each maximal run of text without a separator.
template <typename Separator, typename Visit>
void Split(std::string_view text, Separator is_separator, Visit visit) {
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || is_separator(text[i])) {
      if (i > start) visit(text.substr(start, i - start));
      start = i + 1;
    }
  }
}

}  // namespace

std::string NormalizedWord(std::string_view word) {
  std::string out;
  for (char c : word) {
    if (out.size() == kWordLimit) break;
    if (IsWordCharacter(c))
      out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return out;
}

ContextWords::ContextWords(std::string_view login) {
  Add(login);
  const std::string name(login);
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  size_t size = suggested > 0 ? static_cast<size_t>(suggested) : kFirstBufferSize;
  std::vector<char> buffer;
  for (;;) {
    buffer.resize(size);
    passwd entry{};
    passwd *result = nullptr;
    const int rc = getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &result);
    if (rc == ERANGE && size < kLargestBufferSize) {
      size *= 2;
      continue;
    }
    if (rc == 0 && result != nullptr) {
      found_ = true;
      if (entry.pw_gecos != nullptr) AddGecos(entry.pw_gecos);
    }
    return;
  }
}

void ContextWords::AddGecos(std::string_view gecos) {
  auto is_comma = [](char c) { return c == ','; };
  auto is_inner = [](char c) { return !IsWordCharacter(c); };
  Split(gecos, is_comma, [&](std::string_view part) {
    Split(part, IsBlank, [&](std::string_view word) {
      Add(word);
      bool pieces = false;
      for (char c : word) pieces = pieces || is_inner(c);
      if (pieces) Split(word, is_inner, [&](std::string_view piece) { Add(piece); });
    });
  });
  // The full name, the first part, also joined: "Jean Dupont" gives
  // "JeanDupont".
  std::string joined;
  size_t count = 0;
  Split(gecos.substr(0, gecos.find(',')), IsBlank, [&](std::string_view word) {
    joined.append(word);
    ++count;
  });
  if (count > 1) Add(joined);
}

void ContextWords::Add(std::string_view word) {
  if (word.empty() || words_.size() >= kMaxWords) return;
  for (const std::string &known : words_) {
    if (known == word) return;
  }
  words_.emplace_back(word);
  // The strings may move as the vector grows: point at them afresh.
  pointers_.clear();
  for (const std::string &w : words_) pointers_.push_back(w.c_str());
}

}  // namespace quarvel::pam
