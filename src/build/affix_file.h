// The suffix rules of a hunspell affix file (.aff), applied one level deep
// to the words of its .dic file.
//
// Only what word forms need is read: the flag aliases (AF), the numeric
// flags (FLAG num) and the SFX rules with their strip text, added text and
// condition. Continuation flags, prefixes and compounding are left out, so
// each form is a stem with one suffix. Text is handled as code points; the
// words and rules of the Korean list are conjoining jamo.
#ifndef QUARVEL_SRC_BUILD_AFFIX_FILE_H_
#define QUARVEL_SRC_BUILD_AFFIX_FILE_H_

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quarvel::engine {

class AffixFile {
 public:
  // Which rules to keep, by their strip and added text.
  using RuleFilter = std::function<bool(std::u32string_view strip, std::u32string_view add)>;

  // Reads path, keeping the rules wanted accepts (all without it); false
  // when it cannot be read or uses a flag type other than "num" (the file
  // is then left empty and expands nothing).
  bool Read(const std::string &path, const RuleFilter &wanted = {});

  // Calls emit with every form of word that one suffix of the flags field
  // (the text after '/' on a .dic line: an alias number when the file has
  // aliases, else comma-separated flags) makes.
  void Expand(std::u32string_view word, std::string_view flags,
              const std::function<void(const std::u32string &)> &emit) const;

  size_t rule_count() const { return rules_.size(); }

 private:
  // One element of a condition: any character, or a set (negated or not).
  struct CharClass {
    bool any = false;
    bool negated = false;
    std::u32string chars;
    bool Matches(char32_t c) const;
  };
  struct Rule {
    std::u32string strip, add;
    std::vector<CharClass> condition;
    bool Applies(std::u32string_view word) const;
  };
  // The rules of one flag, by the last character their condition or strip
  // text requires; those that take any last character are under 0.
  using Buckets = std::unordered_map<char32_t, std::vector<size_t>>;

  bool ReadRule(std::string_view flag, std::string_view strip, std::string_view add,
                std::string_view condition, const RuleFilter &wanted);
  void FlagsOf(std::string_view field, std::vector<unsigned> *out) const;

  std::vector<std::string> aliases_;
  std::vector<Rule> rules_;
  std::unordered_map<unsigned, Buckets> by_flag_;
};

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_BUILD_AFFIX_FILE_H_
