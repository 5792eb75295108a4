#include "build/affix_file.h"

#include <algorithm>
#include <charconv>
#include <fstream>

#include "search/hangul.h"

namespace quarvel::engine {
namespace {

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> out;
  size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t' || line[pos] == '\r')) pos++;
    const size_t start = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t' && line[pos] != '\r') pos++;
    if (pos > start) out.push_back(line.substr(start, pos - start));
  }
  return out;
}

std::u32string CodePoints(std::string_view text) {
  std::u32string out;
  for (size_t pos = 0; pos < text.size();) out.push_back(hangul::DecodeUtf8(text, &pos));
  return out;
}

bool Number(std::string_view text, unsigned *out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool AffixFile::CharClass::Matches(char32_t c) const {
  if (any) return true;
  return (chars.find(c) != std::u32string::npos) != negated;
}

bool AffixFile::Rule::Applies(std::u32string_view word) const {
  if (!word.ends_with(strip) || condition.size() > word.size()) return false;
  const size_t start = word.size() - condition.size();
  for (size_t i = 0; i < condition.size(); i++) {
    if (!condition[i].Matches(word[start + i])) return false;
  }
  return true;
}

bool AffixFile::ReadRule(std::string_view flag_text, std::string_view strip, std::string_view add,
                         std::string_view condition_text, const RuleFilter &wanted) {
  unsigned flag = 0;
  if (!Number(flag_text, &flag)) return false;
  Rule rule;
  if (strip != "0") rule.strip = CodePoints(strip);
  add = add.substr(0, add.find('/'));  // continuation flags are not followed
  if (add != "0") rule.add = CodePoints(add);
  if (wanted && !wanted(rule.strip, rule.add)) return true;
  const std::u32string condition = CodePoints(condition_text);
  for (size_t i = 0; i < condition.size(); i++) {
    CharClass element;
    if (condition[i] == U'.') {
      element.any = true;
    } else if (condition[i] == U'[') {
      const size_t close = condition.find(U']', i + 1);
      if (close == std::u32string::npos) return false;
      size_t first = i + 1;
      if (first < close && condition[first] == U'^') {
        element.negated = true;
        first++;
      }
      element.chars = condition.substr(first, close - first);
      i = close;
    } else {
      element.chars.assign(1, condition[i]);
    }
    rule.condition.push_back(std::move(element));
  }
  // A lone "." is no condition at all.
  if (rule.condition.size() == 1 && rule.condition[0].any) rule.condition.clear();

  const size_t index = rules_.size();
  Buckets &buckets = by_flag_[flag];
  if (!rule.strip.empty()) {
    buckets[rule.strip.back()].push_back(index);
  } else if (!rule.condition.empty() && !rule.condition.back().any &&
             !rule.condition.back().negated) {
    std::u32string last = rule.condition.back().chars;
    std::sort(last.begin(), last.end());
    last.erase(std::unique(last.begin(), last.end()), last.end());
    for (char32_t c : last) buckets[c].push_back(index);
  } else {
    buckets[0].push_back(index);
  }
  rules_.push_back(std::move(rule));
  return true;
}

bool AffixFile::Read(const std::string &path, const RuleFilter &wanted) {
  aliases_.clear();
  rules_.clear();
  by_flag_.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  bool alias_count_seen = false;
  while (std::getline(in, line)) {
    const std::vector<std::string_view> f = Fields(line);
    if (f.empty() || f[0].starts_with('#')) continue;
    if (f[0] == "FLAG") {
      if (f.size() < 2 || f[1] != "num") {
        aliases_.clear();
        rules_.clear();
        by_flag_.clear();
        return false;
      }
    } else if (f[0] == "AF" && f.size() >= 2) {
      // The first AF line gives the number of aliases; the others are
      // aliases 1, 2, ... in order.
      if (alias_count_seen) aliases_.emplace_back(f[1]);
      alias_count_seen = true;
    } else if (f[0] == "SFX" && f.size() >= 4) {
      // "SFX flag Y|N count" opens a group; its rules have a strip text
      // where the header has Y or N, and one more field.
      const bool header = f.size() == 4 && (f[2] == "Y" || f[2] == "N");
      if (!header) ReadRule(f[1], f[2], f[3], f.size() > 4 ? f[4] : ".", wanted);
    }
  }
  return !in.bad();
}

void AffixFile::FlagsOf(std::string_view field, std::vector<unsigned> *out) const {
  field = field.substr(0, field.find_first_of(" \t\r"));
  unsigned alias = 0;
  if (!aliases_.empty() && Number(field, &alias)) {
    if (alias == 0 || alias > aliases_.size()) return;
    field = aliases_[alias - 1];
  }
  while (!field.empty()) {
    const size_t comma = field.find(',');
    unsigned flag = 0;
    if (Number(field.substr(0, comma), &flag)) out->push_back(flag);
    if (comma == std::string_view::npos) break;
    field.remove_prefix(comma + 1);
  }
  std::sort(out->begin(), out->end());
  out->erase(std::unique(out->begin(), out->end()), out->end());
}

void AffixFile::Expand(std::u32string_view word, std::string_view flags,
                       const std::function<void(const std::u32string &)> &emit) const {
  if (word.empty()) return;
  std::vector<unsigned> list;
  FlagsOf(flags, &list);
  std::u32string form;
  for (unsigned flag : list) {
    const auto group = by_flag_.find(flag);
    if (group == by_flag_.end()) continue;
    for (char32_t key : {word.back(), char32_t{0}}) {
      const auto bucket = group->second.find(key);
      if (bucket == group->second.end()) continue;
      for (size_t index : bucket->second) {
        const Rule &rule = rules_[index];
        if (!rule.Applies(word)) continue;
        form.assign(word.substr(0, word.size() - rule.strip.size()));
        form += rule.add;
        emit(form);
      }
    }
  }
}

}  // namespace quarvel::engine
