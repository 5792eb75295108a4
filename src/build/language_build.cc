// quarvel_build_language: a language dictionary from its Debian word list.
//
// The European lists (wngerman, wfrench, wspanish, witalian, wportuguese or
// wbrazilian) are built as UTF-8 lists: their words stored lower-cased with
// their accents folded, as the extended profile searches them, and words of
// fewer than four letters left out. The Korean one comes from hunspell-ko's
// ko.dic, whose words are conjoining jamo with affix flags: each is composed
// into syllables and words that are not Hangul are left out. The suffix
// rules of the affix file beside it (ko.aff) give each verb and adjective
// its forms, and the common ones are kept (CommonForm): the informal 사랑해
// and 먹어, polite 사랑해요, formal 사랑합니다, plain 사랑한다 and 사랑했다,
// past 사랑했어. Beside PREFIX, PREFIX_roman holds the same words in the
// Revised Romanization, with and without its sound changes, when they have
// four letters or more.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "build/affix_file.h"
#include "build/build_arguments.h"
#include "build/sources.h"
#include "quarvel/engine.h"
#include "search/hangul.h"

namespace quarvel::engine {
namespace {

struct Language {
  const char *code;
  const char *sources[2];  // the first that exists is read
};
constexpr Language kLanguages[] = {
    {"ko", {"/usr/share/hunspell/ko.dic", nullptr}},
    {"de", {"/usr/share/dict/ngerman", nullptr}},
    {"fr", {"/usr/share/dict/french", nullptr}},
    {"es", {"/usr/share/dict/spanish", nullptr}},
    {"it", {"/usr/share/dict/italian", nullptr}},
    {"pt", {"/usr/share/dict/portuguese", "/usr/share/dict/brazilian"}},
};

// Latin words shorter than this (the romanised ones too) are left out: so
// short a word turns up by chance in random strings, and in English ones.
constexpr size_t kShortest = 4;

// A word list written to a temporary file, removed when it goes.
class TempList {
 public:
  explicit TempList(const std::string &folder) : path_(folder + "/.quarvel-langXXXXXX") {
    const int fd = mkstemp(path_.data());
    if (fd < 0) {
      path_.clear();
      return;
    }
    file_ = fdopen(fd, "w");
    if (file_ == nullptr) close(fd);
  }
  ~TempList() {
    if (file_ != nullptr) fclose(file_);
    if (!path_.empty()) unlink(path_.c_str());
  }
  TempList(const TempList &) = delete;
  TempList &operator=(const TempList &) = delete;

  bool ok() const { return file_ != nullptr; }
  void Add(std::string_view word) {
    fwrite(word.data(), 1, word.size(), file_);
    fputc('\n', file_);
  }
  // Flushes and closes; false when a write failed.
  bool Close() {
    const bool written = ferror(file_) == 0;
    const bool closed = fclose(file_) == 0;
    file_ = nullptr;
    return written && closed;
  }
  const std::string &path() const { return path_; }

 private:
  std::string path_;
  FILE *file_ = nullptr;
};

// The composed form of jamo text, "" when it is not all syllables.
std::string HangulWord(std::string_view jamo) {
  while (!jamo.empty() && (jamo.back() == '\r' || jamo.back() == ' ')) jamo.remove_suffix(1);
  std::string word = hangul::ComposeText(jamo);
  for (size_t pos = 0; pos < word.size();) {
    if (!hangul::IsSyllable(hangul::DecodeUtf8(word, &pos))) return "";
  }
  return word;
}

std::u32string Syllables(std::string_view word) {
  std::u32string out;
  for (size_t pos = 0; pos < word.size();) out.push_back(hangul::DecodeUtf8(word, &pos));
  return out;
}

constexpr int FinalOf(char32_t syllable) {
  return static_cast<int>((syllable - hangul::kFirstSyllable) % hangul::kFinals);
}

// Whether a form the affix rules made of a word is one people type: shorter
// than the word (the informal 사랑해, the adnominal 간); as long as the word
// and ending in an open syllable of ㅏ ㅐ ㅓ ㅕ ㅘ ㅙ or ㅝ (the informal 먹어,
// 들어, 추워, 가자); or at most one syllable longer and ending a sentence:
// in 요 or 니다, in 다 after ㄴ or ㅆ (한다, 했다), or in 어, 아 or 해
// after ㅆ (했어, 갔어).
bool CommonForm(std::u32string_view word, std::u32string_view form) {
  if (form.size() < word.size()) return !form.empty();
  if (form.size() > word.size() + 1 || form.size() < 2) return false;
  const char32_t last = form.back();
  if (form.size() == word.size()) {
    const int medial =
        static_cast<int>((last - hangul::kFirstSyllable) / hangul::kFinals) % hangul::kMedials;
    constexpr int kA = 0, kAe = 1, kEo = 4, kYeo = 6, kWa = 9, kWae = 10, kWo = 14;
    if (FinalOf(last) == 0 && (medial == kA || medial == kAe || medial == kEo || medial == kYeo ||
                               medial == kWa || medial == kWae || medial == kWo)) {
      return true;
    }
  }
  constexpr int kNieun = 4, kSsangSios = 20;
  const int before = FinalOf(form[form.size() - 2]);
  switch (last) {
    case U'요':
      return true;
    case U'다':
      return form[form.size() - 2] == U'니' || before == kNieun || before == kSsangSios;
    case U'어':
    case U'아':
    case U'해':
      return before == kSsangSios;
    default:
      return false;
  }
}

// The syllables jamo text will make: one for each initial consonant.
size_t Initials(std::u32string_view jamo) {
  return std::count_if(jamo.begin(), jamo.end(),
                       [](char32_t c) { return c >= U'\u1100' && c <= U'\u1112'; });
}

// The affix file of a .dic file: the same path ending in .aff.
std::string AffixPath(std::string_view dic) {
  if (!dic.ends_with(".dic")) return "";
  return std::string(dic.substr(0, dic.size() - 4)) + ".aff";
}

int BuildOne(quarvel_env *env, const std::string &prefix, const char *source, bool utf8,
             const quarvel_build_options *options, quarvel_build_stats *stats, char *error,
             size_t error_size) {
  quarvel_build_options copy = {};
  if (options != nullptr)
    std::memcpy(&copy, options, std::min<size_t>(options->size, sizeof(copy)));
  copy.size = sizeof(copy);
  copy.utf8 = utf8 ? 1 : 0;
  return quarvel_build(env, prefix.c_str(), &source, 1, &copy, stats, error, error_size);
}

// Opens source and picks the folder of the temporary lists made from it
// (the build's temporary folder, else the dictionary's); 0 or the failure.
int OpenSource(quarvel_env *env, const char *prefix, const char *source,
               const quarvel_build_options *options, std::ifstream *in, std::string *folder,
               char *error, size_t error_size) {
  in->open(source, std::ios::binary);
  if (!*in)
    return FailBuild(3001, (std::string("cannot open ") + source).c_str(), error, error_size);
  BuildInputs resolved;
  TakeBuildArguments(env, prefix, &source, 1, options, resolved);
  *folder = resolved.temp_dir.empty() ? FolderOf(resolved.prefix) : resolved.temp_dir;
  return 0;
}

// Whether the temporary lists could be written (ok) or, at the end,
// flushed (closed); a failure names the folder.
int ListFailure(bool fine, const std::string &folder, char *error, size_t error_size) {
  if (fine) return 0;
  return FailBuild(3004, ("cannot write a word list in " + folder).c_str(), error, error_size);
}

// A word list of Latin letters, its words of fewer than kShortest characters
// left out.
int BuildLatin(quarvel_env *env, const char *prefix, const char *source, std::ifstream &in,
               const std::string &folder, const quarvel_build_options *options,
               quarvel_build_stats *stats, char *error, size_t error_size) {
  TempList words(folder);
  if (int code = ListFailure(words.ok(), folder, error, error_size)) return code;
  std::string line;
  while (std::getline(in, line)) {
    size_t characters = 0;
    for (unsigned char c : line) characters += (c & 0xC0) != 0x80 && c > ' ';
    if (characters >= kShortest) words.Add(line);
  }
  if (in.bad()) {
    return FailBuild(3002, (std::string("cannot read ") + source).c_str(), error, error_size);
  }
  if (int code = ListFailure(words.Close(), folder, error, error_size)) return code;
  return BuildOne(env, prefix, words.path().c_str(), true, options, stats, error, error_size);
}

int BuildKorean(quarvel_env *env, const char *prefix, const char *source, std::ifstream &in,
                const std::string &folder, const quarvel_build_options *options,
                quarvel_build_stats *stats, char *error, size_t error_size) {
  TempList words(folder), roman(folder);
  if (int code = ListFailure(words.ok() && roman.ok(), folder, error, error_size)) return code;
  const auto add = [&](const std::string &word) {
    words.Add(word);
    const std::u32string syllables = Syllables(word);
    for (bool plain : {false, true}) {
      const std::string latin = hangul::Romanise(syllables, plain);
      if (latin.size() >= kShortest) roman.Add(latin);
    }
  };
  AffixFile affixes;
  if (const std::string aff = AffixPath(source); !aff.empty()) {
    // A rule that adds more than one syllable never makes a common form.
    affixes.Read(aff, [](std::u32string_view strip, std::u32string_view add) {
      return Initials(add) <= Initials(strip) + 1;
    });
  }
  std::string line, form_text;
  std::getline(in, line);  // the word count
  while (std::getline(in, line)) {
    const size_t slash = line.find('/');
    const std::string_view jamo = std::string_view(line).substr(0, slash);
    const std::string word = HangulWord(jamo);
    if (word.empty()) continue;
    add(word);
    // Verbs and adjectives (in 다) get their forms; nouns stay as they are.
    if (slash == std::string::npos || !word.ends_with("다")) continue;
    const std::u32string syllables = Syllables(word);
    std::string jamo_form;
    affixes.Expand(Syllables(jamo), std::string_view(line).substr(slash + 1),
                   [&](const std::u32string &form) {
                     jamo_form.clear();
                     for (char32_t c : form) hangul::AppendUtf8(c, &jamo_form);
                     form_text = HangulWord(jamo_form);
                     if (!form_text.empty() && CommonForm(syllables, Syllables(form_text))) {
                       add(form_text);
                     }
                   });
  }
  if (in.bad()) {
    return FailBuild(3002, (std::string("cannot read ") + source).c_str(), error, error_size);
  }
  const bool closed = words.Close() && roman.Close();
  if (int code = ListFailure(closed, folder, error, error_size)) return code;
  quarvel_build_stats roman_stats = {};
  roman_stats.size = sizeof(roman_stats);
  const int code = BuildOne(env, std::string(prefix) + "_roman", roman.path().c_str(), false,
                            options, &roman_stats, error, error_size);
  if (code != 0) return code;
  return BuildOne(env, prefix, words.path().c_str(), true, options, stats, error, error_size);
}

}  // namespace
}  // namespace quarvel::engine

int quarvel_build_language(quarvel_env *env, const char *language, const char *prefix,
                           const char *source, const quarvel_build_options *options,
                           quarvel_build_stats *stats, char *error, size_t error_size) noexcept {
  using namespace quarvel::engine;
  SetBuildError(error, error_size, "");
  if (language == nullptr || prefix == nullptr || prefix[0] == '\0') {
    return FailBuild(kInvalidArguments, "a language and a prefix are needed", error, error_size);
  }
  const Language *found = nullptr;
  for (const Language &l : kLanguages) {
    if (std::strcmp(l.code, language) == 0) found = &l;
  }
  if (found == nullptr) {
    return FailBuild(kInvalidArguments, "unknown language (ko, de, fr, es, it or pt)", error,
                     error_size);
  }
  if (source == nullptr) {
    source = found->sources[0];
    if (found->sources[1] != nullptr && access(source, R_OK) != 0) source = found->sources[1];
  }
  try {
    std::ifstream in;
    std::string folder;
    if (int code = OpenSource(env, prefix, source, options, &in, &folder, error, error_size))
      return code;
    if (std::strcmp(language, "ko") == 0) {
      return BuildKorean(env, prefix, source, in, folder, options, stats, error, error_size);
    }
    return BuildLatin(env, prefix, source, in, folder, options, stats, error, error_size);
  } catch (const std::exception &) {
    return FailBuild(3002, "out of memory", error, error_size);
  }
}
