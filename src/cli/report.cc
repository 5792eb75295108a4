// Results put into words, for people and for programs.

#include "cli/report.h"

#include <charconv>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "base/secure_wipe.h"
#include "cli/guesses.h"
#include "cli/wording.h"

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

namespace {

void AppendNumber(std::string &out, long long value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof(digits), value).ptr;
  out.append(digits, end);
}

}  // namespace

void AppendLostPoints(std::string &out, const quarvel_result &result) {
  for (const quarvel_reason &reason : ReasonsOf(result)) {
    if (reason.points <= 0) continue;
    out += "; -";
    AppendNumber(out, reason.points);
    out += ' ';
    out += ReasonText(result, reason);
  }
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

std::string_view LengthUnit(int pw_len, size_t bytes) {
  const bool characters = pw_len >= 0 && static_cast<size_t>(pw_len) != bytes;
  if (pw_len == 1) return characters ? "character" : "byte";
  return characters ? "characters" : "bytes";
}

void AppendHumanLine(std::string &out, EntryLabel label, std::string_view password, size_t bytes,
                     const quarvel_result &result) {
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
  out += ' ';
  out += LengthUnit(result.pw_len, bytes);
  out += " in ";
  AppendNumber(out, result.pw_ncr);
  out += result.pw_ncr == 1 ? " class" : " classes";
  AppendLostPoints(out, result);
  out += '\n';
  AppendAdviceLines(out, result);
}

void AppendAdviceLines(std::string &out, const quarvel_result &result) {
  if (result.code != QUARVEL_OK || !HasEstimate(result)) return;
  static constexpr int kShown[] = {QUARVEL_ATTACK_ONLINE, QUARVEL_ATTACK_OFFLINE_FAST};
  out += "  ";
  out += EstimateText(result, kShown);
  for (const quarvel_reason &reason : ReasonsOf(result)) {
    if (reason.code != QUARVEL_REASON_FEW_GUESSES) continue;
    out += "; ";
    out += ReasonText(result, reason);
  }
  out += '\n';
  AppendAdviceTexts(out, result, "  warning: ", "  suggestion: ");
}

namespace {

// Sets a string node in place, reusing its storage.
void SetText(Json &node, std::string_view text) {
  if (!node.is_string()) node = std::string();
  std::string &target = node.get_ref<std::string &>();
  quarvel::SecureWipe(target.data(), target.size());
  target.assign(text);
}

// Wipes every string below node.
void WipeStrings(Json &node) {
  if (node.is_string()) {
    SetText(node, "");
  } else if (node.is_structured()) {
    for (Json &child : node) WipeStrings(child);
  }
}

// Which members of a step its code uses (quarvel/engine.h).
struct StepMembers {
  bool piece, count, count2, arg;
};

StepMembers MembersOf(int code) {
  switch (code) {
    case QUARVEL_STEP_RULE:
      return {false, true, false, true};
    case QUARVEL_STEP_CUT_FIRST:
    case QUARVEL_STEP_CUT_LAST:
      return {false, true, false, false};
    case QUARVEL_STEP_READ_AS:
    case QUARVEL_STEP_DROPPED:
    case QUARVEL_STEP_SUFFIX:
    case QUARVEL_STEP_PREFIX:
    case QUARVEL_STEP_TYPED_LATIN:
      return {false, false, false, true};
    case QUARVEL_STEP_INSIDE:
      return {false, true, true, false};
    case QUARVEL_STEP_CUT_START:
    case QUARVEL_STEP_CUT_END:
    case QUARVEL_STEP_PATTERN:
      return {true, false, false, true};
    default: {
      // A code this version does not know: every member, as is.
      const bool unknown = StepName(code).empty();
      return {unknown, unknown, unknown, unknown};
    }
  }
}

// A code by its stable name, or its number when this version has none.
Json CodeNode(std::string_view name, int code) {
  if (name.empty()) return code;
  return std::string(name);
}

Json StepsNode(const quarvel_result &result) {
  Json steps = Json::array();
  for (const quarvel_step &s : StepsOf(result)) {
    const StepMembers use = MembersOf(s.code);
    Json step = Json::object();
    step["code"] = CodeNode(StepName(s.code), s.code);
    if (use.piece) step["piece"] = CodeNode(PieceName(s.piece), s.piece);
    if (use.count) step["count"] = s.count;
    if (use.count2) step["count2"] = s.count2;
    if (use.arg) step["arg"] = std::string(Field(s.arg));
    steps.push_back(std::move(step));
  }
  return steps;
}

Json ReasonsNode(const quarvel_result &result) {
  Json reasons = Json::array();
  for (const quarvel_reason &r : ReasonsOf(result)) {
    Json reason = {
        {"stage", r.stage}, {"code", CodeNode(ReasonName(r.code), r.code)}, {"points", r.points}};
    switch (r.code) {
      case QUARVEL_REASON_FEW_DISTINCT:
      case QUARVEL_REASON_REPEATS:
      case QUARVEL_REASON_SEQUENCES:
      case QUARVEL_REASON_LEVEL_CAPPED:
      case QUARVEL_REASON_FEW_GUESSES:
        reason["value"] = r.value;
        reason["limit"] = r.limit;
        break;
      default:
        break;
    }
    reason["text"] = ReasonText(result, r);
    reasons.push_back(std::move(reason));
  }
  return reasons;
}

// The estimate's members (quarvel/engine.h, "Guess estimate"), codes by
// their names in the library's catalogue.
Json CrackSecondsNode(const quarvel_result &result) {
  Json times = Json::object();
  for (int attack = 0; attack < QUARVEL_ATTACKS; ++attack) {
    times[quarvel_guess_name(QUARVEL_NAME_ATTACK, attack)] = result.crack_seconds[attack];
  }
  return times;
}

Json PiecesNode(const quarvel_result &result) {
  Json pieces = Json::array();
  for (const quarvel_guess_piece &p : PiecesOf(result)) {
    Json transforms = Json::array();
    for (unsigned bit = 1; bit != 0; bit <<= 1) {
      if (p.transforms & bit) {
        const int code = static_cast<int>(bit);
        transforms.push_back(CodeNode(quarvel_guess_name(QUARVEL_NAME_TRANSFORM, code), code));
      }
    }
    pieces.push_back({{"kind", CodeNode(quarvel_guess_name(QUARVEL_NAME_PIECE, p.kind), p.kind)},
                      {"start", p.start},
                      {"length", p.length},
                      {"word", std::string(Field(p.word))},
                      {"rank", p.rank},
                      {"slot", p.slot},
                      {"transforms", std::move(transforms)},
                      {"guesses_log10", p.guesses_log10}});
  }
  return pieces;
}

Json WarningNode(const quarvel_result &result) {
  if (result.warning == QUARVEL_WARNING_NONE) return nullptr;
  return {{"code", CodeNode(quarvel_warning_name(result.warning), result.warning)},
          {"text", quarvel_warning_text(result.warning)}};
}

Json SuggestionsNode(const quarvel_result &result) {
  Json suggestions = Json::array();
  for (const int code : SuggestionsOf(result)) {
    suggestions.push_back({{"name", CodeNode(quarvel_suggestion_name(code), code)},
                           {"text", quarvel_suggestion_text(code)}});
  }
  return suggestions;
}

// The objects of one thread, kept from line to line: their keys are made
// once, and a line only replaces values.
struct JsonLine {
  Json entry;
  Json fields;
  Json match;

  JsonLine() {
    entry = {{"line", 0},
             {"code", 0},
             {"level", 0},
             {"fields", nullptr},
             {"stages", nullptr},
             {"reasons", nullptr},
             {"match", nullptr},
             {"nist", nullptr},
             {"answer", ""},
             {"guesses_log10", nullptr},
             {"crack_seconds", nullptr},
             {"pieces", nullptr},
             {"warning", nullptr},
             {"suggestions", nullptr}};
    fields = {{"RT_LEVEL", 0}, {"PW_LEN", 0},      {"PW_NCR", 0},   {"REPT_NCR", 0},
              {"CTS_NCR", 0},  {"DICT_FD_CNT", 0}, {"PDICT_FD", ""}};
    match = {{"kind", ""},        {"slot", 0},
             {"prefix", ""},      {"word", ""},
             {"rule", ""},        {"affix", ""},
             {"variant", ""},     {"variants", Json::array()},
             {"breach_count", 0}, {"steps", Json::array()}};
  }
  ~JsonLine() { Wipe(); }
  JsonLine(const JsonLine &) = delete;
  JsonLine &operator=(const JsonLine &) = delete;

  // Wipes the texts that came from a password: the answer, the matched word
  // and its variant, the steps and reasons that quote them, and the password
  // when it was shown.
  void Wipe() {
    for (Json *node : {&entry["answer"], &match["word"], &match["affix"], &match["variant"]}) {
      SetText(*node, "");
    }
    WipeStrings(match["steps"]);
    match["steps"] = Json::array();
    WipeStrings(entry["reasons"]);
    entry["reasons"] = nullptr;
    // A piece's word may be a repeated part of the password.
    WipeStrings(entry["pieces"]);
    entry["pieces"] = nullptr;
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
    entry["reasons"] = ReasonsNode(result);
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
    j["steps"] = StepsNode(result);
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
  if (graded && HasEstimate(result)) {
    entry["guesses_log10"] = result.guesses_log10;
    entry["crack_seconds"] = CrackSecondsNode(result);
    entry["pieces"] = PiecesNode(result);
    entry["warning"] = WarningNode(result);
    entry["suggestions"] = SuggestionsNode(result);
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
    for (const char *key : {"guesses_log10", "crack_seconds", "warning", "suggestions"}) {
      entry[key] = nullptr;
    }
  }
  line.Wipe();
}

std::string_view PasswordOf(std::string_view text) { return text.substr(0, text.find('\0')); }

bool CheckAndReport(const quarvel_env *env, std::string_view text, EntryLabel label,
                    const ReportOptions &options, std::string &out) {
  const std::string_view password = PasswordOf(text);
  quarvel_result result = {};
  QUARVEL_RESULT_INIT(&result);
  quarvel_check(env, password.data(), password.size(), &result);
  if (options.min_guesses_log10 >= 0) CapByGuesses(result, options.min_guesses_log10);
  const std::string_view shown = options.show_password ? password : std::string_view();
  if (options.json) {
    AppendJsonLine(out, label, shown, result);
  } else {
    AppendHumanLine(out, label, shown, password.size(), result);
  }
  const bool passed = result.code == QUARVEL_OK && result.level >= options.min_level;
  // The match, its steps and the estimate's pieces hold what the password
  // was turned into; the rest is counts.
  quarvel::SecureWipe(&result.match, sizeof(result.match));
  quarvel::SecureWipe(result.match_steps, sizeof(result.match_steps));
  quarvel::SecureWipe(result.pieces, sizeof(result.pieces));
  return passed;
}

}  // namespace quarvel::cli
