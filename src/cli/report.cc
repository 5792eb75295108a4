// Results put into words, for people and for programs.

#include "cli/report.h"

#include <charconv>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "base/secure_wipe.h"

namespace quarvel::cli {
namespace {

using Json = nlohmann::ordered_json;

// A fixed-size text field of a record, up to its first NUL.
template <size_t N>
std::string_view Field(const char (&text)[N]) {
  return std::string_view(text, strnlen(text, N));
}

std::string_view MatchKindName(int kind) {
  switch (kind) {
    case QUARVEL_MATCH_DICTIONARY:
      return "dictionary";
    case QUARVEL_MATCH_PERSONAL:
      return "personal";
    case QUARVEL_MATCH_CONTEXT:
      return "context";
    case QUARVEL_MATCH_UNREADABLE:
      return "unreadable";
    case QUARVEL_MATCH_PATTERN:
      return "pattern";
    case QUARVEL_MATCH_BREACH:
      return "breach";
    default:
      return "none";
  }
}

std::string_view PersonalAnswer(int pdict_fd) {
  if (pdict_fd > 0) return "01";
  if (pdict_fd == 0) return "00";
  return "XX";
}

// The reason stage 5 (configured dictionaries) or 6 (personal) lost a point.
std::string DictionaryReason(int stage, const quarvel_match &match) {
  if (stage == 6) {
    if (match.kind == QUARVEL_MATCH_PERSONAL) {
      return "in the personal dictionary: " + DescribeMatch(match);
    }
    return "in the personal dictionary";
  }
  switch (match.kind) {
    case QUARVEL_MATCH_DICTIONARY:
      return "in dictionary " + DictionaryName(match) + ": " + DescribeMatch(match);
    case QUARVEL_MATCH_CONTEXT:
      return "close to a context word: " + DescribeMatch(match);
    case QUARVEL_MATCH_UNREADABLE:
      return "dictionary " + DictionaryName(match) + " could not be read, which counts as found";
    case QUARVEL_MATCH_PATTERN:
      return "a pattern, not a password: " + DescribeMatch(match);
    default:
      return "in a dictionary";
  }
}

}  // namespace

std::string_view LevelName(int level) {
  switch (level) {
    case 1:
      return "weak";
    case 2:
      return "fair";
    case 3:
      return "good";
    case 4:
      return "strong";
    default:
      return "not graded";
  }
}

std::string_view CodeReason(int code) {
  switch (code) {
    case QUARVEL_BAD_PASSWORD:
      return "empty, or longer than 257 bytes";
    case QUARVEL_NO_ENV:
      return "no environment";
    case QUARVEL_BAD_ARGUMENT:
      return "the result record was refused";
    case QUARVEL_TOO_LONG:
      return "the answer would be too long";
    default:
      return "not graded";
  }
}

std::string DictionaryName(const quarvel_match &match) {
  const std::string_view prefix = Field(match.prefix);
  if (!prefix.empty()) return std::string(prefix);
  return "slot " + std::to_string(match.slot);
}

// The parts of the engine's variant text that the rule itself stands for:
// the text without the parts DescribeMatch words from the variant bits.
std::string RuleParts(std::string_view variant) {
  std::string parts;
  while (!variant.empty()) {
    const size_t comma = variant.find(", ");
    const std::string_view part = variant.substr(0, comma);
    variant = comma == std::string_view::npos ? std::string_view() : variant.substr(comma + 2);
    if (part == "lower-cased" || part == "reversed" || part == "as given" ||
        part.starts_with("suffix ") || part.starts_with("prefix ")) {
      continue;
    }
    if (!parts.empty()) parts += ", ";
    parts += part;
  }
  return parts;
}

std::string DescribeMatch(const quarvel_match &match) {
  // A pattern is no word; the engine names it ("keyboard walk 'qwerty'").
  if (match.kind == QUARVEL_MATCH_PATTERN) return std::string(Field(match.variant));
  std::string noun;
  switch (match.kind) {
    case QUARVEL_MATCH_PERSONAL:
      noun = "the personal dictionary word";
      break;
    case QUARVEL_MATCH_CONTEXT:
      noun = "the context word";
      break;
    default:
      noun = "the dictionary word";
  }
  noun += " '";
  noun += Field(match.word);
  noun += "'";

  std::string forms;
  if (match.variants & QUARVEL_VARIANT_REVERSED) forms = "reversed";
  if (match.variants & QUARVEL_VARIANT_LOWERCASED) {
    forms += forms.empty() ? "lower-cased" : ", lower-cased";
  }
  std::string text = forms.empty() ? noun : forms + " form of " + noun;
  // The extended search says in its own words what it undid.
  if (match.variants & QUARVEL_VARIANT_EXTENDED) {
    return noun + " (" + std::string(Field(match.variant)) + ")";
  }
  if (match.variants & QUARVEL_VARIANT_RULE) {
    text += ", by rule '";
    text += Field(match.rule);
    text += "'";
    const std::string rule_parts = RuleParts(Field(match.variant));
    if (!rule_parts.empty()) text += " (" + rule_parts + ")";
  }
  // The number search appends (or prepends) a number to the password: the
  // stored word holds the number, which the password lacks.
  const std::string_view affix = Field(match.affix);
  if (!affix.empty() && (match.variants & QUARVEL_VARIANT_SUFFIX)) {
    text += " without its suffix ";
    text += affix;
  } else if (!affix.empty() && (match.variants & QUARVEL_VARIANT_PREFIX)) {
    text += " without its prefix ";
    text += affix;
  }
  if (match.variants == 0) text += " as given";
  return text;
}

namespace {

void AppendNumber(std::string &out, long long value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof(digits), value).ptr;
  out.append(digits, end);
}

}  // namespace

void AppendLostPoints(std::string &out, const quarvel_result &result,
                      const quarvel_settings &settings) {
  for (int stage = 2; stage <= 6; ++stage) {
    const int lost = result.stage_score[stage - 2] - result.stage_score[stage - 1];
    if (lost <= 0) continue;
    out += "; -";
    AppendNumber(out, lost);
    out += ' ';
    switch (stage) {
      case 2:
        out += "only ";
        AppendNumber(out, result.distinct);
        out += " distinct characters (fewer than ";
        AppendNumber(out, settings.min_diff);
        out += ')';
        break;
      case 3:
        AppendNumber(out, result.rept_ncr);
        out += " repeated two-character pieces (more than ";
        AppendNumber(out, settings.min_rept);
        out += ')';
        break;
      case 4:
        AppendNumber(out, result.cts_ncr);
        out += " neighbours in sequence (more than ";
        AppendNumber(out, settings.min_step);
        out += ')';
        break;
      default:
        out += stage == 5 && result.match.kind == QUARVEL_MATCH_BREACH
                   ? BreachReason(result)
                   : DictionaryReason(stage, result.match);
    }
  }
}

std::string FormatGrouped(uint64_t value) {
  std::string digits = std::to_string(value);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

std::string BreachReason(const quarvel_result &result) {
  const quarvel_match &m = result.match;
  std::string text = "seen " + FormatGrouped(result.breach_count) +
                     (result.breach_count == 1 ? " time" : " times") +
                     " in the leaked-password list '" + std::string(Field(m.prefix)) + "'";
  const std::string_view variant = Field(m.variant);
  if (variant != "as given") {
    text += " as '" + std::string(Field(m.word)) + "' (" + std::string(variant) + ")";
  }
  return text;
}

std::vector<std::string_view> NistFailureNames(unsigned failures) {
  const std::pair<unsigned, std::string_view> kNames[] = {{QUARVEL_NIST_TOO_SHORT, "too_short"},
                                                          {QUARVEL_NIST_BLOCKLIST, "blocklist"},
                                                          {QUARVEL_NIST_REPETITIVE, "repetitive"},
                                                          {QUARVEL_NIST_CONTEXT, "context"}};
  std::vector<std::string_view> names;
  for (const auto &[bit, name] : kNames) {
    if (failures & bit) names.push_back(name);
  }
  return names;
}

void AppendHumanLine(std::string &out, EntryLabel label, std::string_view password,
                     const quarvel_result &result, const quarvel_settings &settings) {
  out += label.kind;
  out += ' ';
  AppendNumber(out, static_cast<long long>(label.position));
  if (!password.empty()) {
    out += " '";
    out += password;
    out += "'";
  }
  out += ": ";
  if (result.code != QUARVEL_OK) {
    out += "not graded, code ";
    AppendNumber(out, result.code);
    out += ": ";
    out += CodeReason(result.code);
    out += '\n';
    return;
  }
  out += "level ";
  AppendNumber(out, result.level);
  out += " (";
  out += LevelName(result.level);
  out += "), base score ";
  AppendNumber(out, result.stage_score[0]);
  out += " for ";
  AppendNumber(out, result.pw_len);
  out += result.pw_len == 1 ? " byte in " : " bytes in ";
  AppendNumber(out, result.pw_ncr);
  out += result.pw_ncr == 1 ? " class" : " classes";
  AppendLostPoints(out, result, settings);
  out += '\n';
}

namespace {

// Sets a string node in place, reusing its storage.
void SetText(Json &node, std::string_view text) {
  if (!node.is_string()) node = std::string();
  std::string &target = node.get_ref<std::string &>();
  quarvel::SecureWipe(target.data(), target.size());
  target.assign(text);
}

// The objects of one thread, kept from line to line: their keys are made
// once, and a line only replaces values.
struct JsonLine {
  Json entry;
  Json fields;
  Json match;

  JsonLine() {
    entry = {{"line", 0},         {"code", 0},        {"level", 0},      {"fields", nullptr},
             {"stages", nullptr}, {"match", nullptr}, {"nist", nullptr}, {"answer", ""}};
    fields = {{"RT_LEVEL", 0}, {"PW_LEN", 0},      {"PW_NCR", 0},   {"REPT_NCR", 0},
              {"CTS_NCR", 0},  {"DICT_FD_CNT", 0}, {"PDICT_FD", ""}};
    match = {{"kind", ""},       {"slot", 0},   {"prefix", ""},  {"word", ""},
             {"rule", ""},       {"affix", ""}, {"variant", ""}, {"variants", Json::array()},
             {"breach_count", 0}};
  }
  ~JsonLine() { Wipe(); }
  JsonLine(const JsonLine &) = delete;
  JsonLine &operator=(const JsonLine &) = delete;

  // Wipes the texts that came from a password: the answer, the matched word
  // and its variant, and the password when it was shown.
  void Wipe() {
    for (Json *node : {&entry["answer"], &match["word"], &match["affix"], &match["variant"]}) {
      SetText(*node, "");
    }
    if (entry.contains("password")) {
      SetText(entry["password"], "");
      entry.erase("password");
    }
  }
};

}  // namespace

void AppendJsonLine(std::string &out, EntryLabel label, std::string_view password,
                    const quarvel_result &result) {
  thread_local JsonLine line;
  Json &entry = line.entry;
  entry["line"] = label.position;
  entry["code"] = result.code;
  entry["level"] = result.level;
  const bool graded = result.code == QUARVEL_OK;
  if (graded) {
    Json &f = line.fields;
    f["RT_LEVEL"] = result.level;
    f["PW_LEN"] = result.pw_len;
    f["PW_NCR"] = result.pw_ncr;
    f["REPT_NCR"] = result.rept_ncr;
    f["CTS_NCR"] = result.cts_ncr;
    f["DICT_FD_CNT"] = result.dict_fd_cnt;
    SetText(f["PDICT_FD"], PersonalAnswer(result.pdict_fd));
  }
  // The shared objects are swapped in for the dump and out after it.
  if (graded) {
    std::swap(entry["fields"], line.fields);
    entry["stages"] = result.stage_score;
  }

  const quarvel_match &m = result.match;
  const bool matched = graded && m.kind != QUARVEL_MATCH_NONE;
  if (matched) {
    Json &j = line.match;
    SetText(j["kind"], MatchKindName(m.kind));
    j["slot"] = m.slot;
    SetText(j["prefix"], Field(m.prefix));
    SetText(j["word"], Field(m.word));
    SetText(j["rule"], Field(m.rule));
    SetText(j["affix"], Field(m.affix));
    SetText(j["variant"], Field(m.variant));
    Json &variants = j["variants"];
    variants.clear();
    const std::pair<unsigned, const char *> kVariantNames[] = {
        {QUARVEL_VARIANT_LOWERCASED, "lowercased"},
        {QUARVEL_VARIANT_REVERSED, "reversed"},
        {QUARVEL_VARIANT_RULE, "rule"},
        {QUARVEL_VARIANT_SUFFIX, "suffix"},
        {QUARVEL_VARIANT_PREFIX, "prefix"},
        {QUARVEL_VARIANT_LEET, "leet"},
        {QUARVEL_VARIANT_DOUBLED, "doubled"},
        {QUARVEL_VARIANT_INSIDE, "inside"},
        {QUARVEL_VARIANT_EXTENDED, "extended"},
        {QUARVEL_VARIANT_CUT_END, "cut_end"},
        {QUARVEL_VARIANT_CUT_START, "cut_start"}};
    for (const auto &[bit, name] : kVariantNames) {
      if (m.variants & bit) variants.push_back(name);
    }
    j["breach_count"] = m.kind == QUARVEL_MATCH_BREACH ? result.breach_count : 0;
    std::swap(entry["match"], line.match);
  }
  if (graded && result.size >= offsetof(quarvel_result, nist_min_length) + sizeof(int)) {
    Json failures = Json::array();
    for (std::string_view name : NistFailureNames(result.nist_failures)) {
      failures.push_back(name);
    }
    entry["nist"] = {{"ok", result.nist_ok != 0},
                     {"failures", std::move(failures)},
                     {"length", result.nist_length},
                     {"min_length", result.nist_min_length}};
  }
  SetText(entry["answer"], Field(result.answer));
  if (!password.empty()) SetText(entry["password"], password);

  out += entry.dump(-1, ' ', false, Json::error_handler_t::replace);
  out += '\n';

  if (matched) std::swap(entry["match"], line.match);
  if (graded) {
    std::swap(entry["fields"], line.fields);
    entry["stages"] = nullptr;
    entry["nist"] = nullptr;
  }
  line.Wipe();
}

}  // namespace quarvel::cli
