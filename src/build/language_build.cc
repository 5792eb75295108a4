// quarvel_build_language: a language dictionary from its Debian word list.
//
// The European lists (wngerman, wfrench, wspanish, witalian, wportuguese or
// wbrazilian) are built as UTF-8 lists: their words stored lower-cased with
// their accents folded, as the extended profile searches them. The Korean
// one comes from hunspell-ko's ko.dic, whose words are conjoining jamo with
// affix flags: each is composed into syllables, words that are not Hangul
// are left out, and the verbs in 하다 get the endings people type most
// (해, 해요, 합니다, 하세요 ...). Beside PREFIX, PREFIX_roman holds the same
// words in the Revised Romanization, with and without its sound changes.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

constexpr std::string_view kHadaEndings[] = {"해",   "해요", "합니다", "하세요", "했어",
                                             "했다", "하자", "하고",   "한다",   "하는"};

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

// The Hangul word of a ko.dic line ("<jamo>/<flags>"), "" when it is not
// all syllables.
std::string HangulWord(std::string_view line) {
  line = line.substr(0, line.find('/'));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
  std::string word = hangul::ComposeText(line);
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

int BuildKorean(quarvel_env *env, const char *prefix, const char *source,
                const quarvel_build_options *options, quarvel_build_stats *stats, char *error,
                size_t error_size) {
  std::ifstream in(source, std::ios::binary);
  if (!in)
    return FailBuild(3001, (std::string("cannot open ") + source).c_str(), error, error_size);
  BuildInputs resolved;
  TakeBuildArguments(env, prefix, &source, 1, options, resolved);
  const std::string folder =
      resolved.temp_dir.empty() ? FolderOf(resolved.prefix) : resolved.temp_dir;
  TempList words(folder), roman(folder);
  if (!words.ok() || !roman.ok()) {
    return FailBuild(3004, ("cannot write a word list in " + folder).c_str(), error, error_size);
  }
  const auto add = [&](const std::string &word) {
    words.Add(word);
    const std::u32string syllables = Syllables(word);
    roman.Add(hangul::Romanise(syllables, false));
    roman.Add(hangul::Romanise(syllables, true));
  };
  std::string line;
  std::getline(in, line);  // the word count
  while (std::getline(in, line)) {
    const std::string word = HangulWord(line);
    if (word.empty()) continue;
    add(word);
    constexpr std::string_view kHada = "하다";
    if (word.size() > kHada.size() && word.ends_with(kHada)) {
      const std::string stem = word.substr(0, word.size() - kHada.size());
      for (std::string_view ending : kHadaEndings) add(stem + std::string(ending));
    }
  }
  if (in.bad()) {
    return FailBuild(3002, (std::string("cannot read ") + source).c_str(), error, error_size);
  }
  if (!words.Close() || !roman.Close()) {
    return FailBuild(3004, ("cannot write a word list in " + folder).c_str(), error, error_size);
  }
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
    if (std::strcmp(language, "ko") == 0) {
      return BuildKorean(env, prefix, source, options, stats, error, error_size);
    }
    return BuildOne(env, prefix, source, true, options, stats, error, error_size);
  } catch (const std::exception &) {
    return FailBuild(3002, "out of memory", error, error_size);
  }
}
