// Scoring a password.

#include "engine/scorer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "search/extended_search.h"

#include "base/format_int.h"
#include "base/secure_wipe.h"
#include "engine/scoring_tables.h"
#include "format/key_filter.h"
#include "search/rule_table.h"

namespace quarvel::engine {
namespace {

constexpr size_t kAreaSize = 1024;
constexpr size_t kPasswordLimit = 257;  // longest accepted password
constexpr size_t kMeasuredLimit = 256;  // characters measured of it
constexpr size_t kPieceSize = 256;

// The answer fields, appended one by one.
class Fields {
 public:
  ~Fields() { SecureWipe(text_, length_); }

  // Appends name and value's decimal form; false when the fields would
  // exceed the area's 1023 characters.
  bool Append(std::string_view name, int value) {
    char digits[12];
    const size_t count = FormatInt(digits, value);
    if (length_ + name.size() + count > kAreaSize - 1) return false;
    std::memcpy(text_ + length_, name.data(), name.size());
    std::memcpy(text_ + length_ + name.size(), digits, count);
    length_ += name.size() + count;
    text_[length_] = '\0';
    return true;
  }

  bool Append(std::string_view text) {
    if (length_ + text.size() > kAreaSize - 1) return false;
    std::memcpy(text_ + length_, text.data(), text.size());
    length_ += text.size();
    text_[length_] = '\0';
    return true;
  }

  std::string_view text() const { return {text_, length_}; }

 private:
  char text_[kAreaSize] = {};
  size_t length_ = 0;
};

int CountClasses(std::string_view text) {
  bool seen[std::size(kClasses)] = {};
  int count = 0;
  for (char c : text) {
    for (size_t k = 0; k < std::size(kClasses); ++k) {
      if (!seen[k] && kClasses[k].find(c) != std::string_view::npos) {
        seen[k] = true;
        ++count;
      }
    }
  }
  return count;
}

int CountDistinct(std::string_view text) {
  bool seen[256] = {};
  int count = 0;
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (!seen[b]) {
      seen[b] = true;
      ++count;
    }
  }
  return count;
}

// Neighbour pairs whose codes (as signed 8-bit values) differ by one.
int CountSequences(std::string_view text) {
  int count = 0;
  for (size_t i = 1; i < text.size(); ++i) {
    const int step = static_cast<signed char>(text[i]) - static_cast<signed char>(text[i - 1]);
    if (step == 1 || step == -1) ++count;
  }
  return count;
}

int LevelOf(int score) {
  for (int level = 4; level >= 2; --level) {
    if (kRange[level - 1][0] <= score && score <= kRange[level - 1][1]) return level;
  }
  return 1;
}

template <size_t N>
void CopyText(char (&out)[N], std::string_view text) {
  const size_t n = std::min(text.size(), N - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

// How the search turned the password into the stored word, for a person.
class VariantText {
 public:
  void Add(std::string_view part) {
    if (length_ > 0) Put(", ");
    Put(part);
  }
  void Put(std::string_view part) {
    const size_t n = std::min(part.size(), sizeof(text_) - 1 - length_);
    std::memcpy(text_ + length_, part.data(), n);
    length_ += n;
    text_[length_] = '\0';
  }
  std::string_view text() const { return {text_, length_}; }

 private:
  char text_[192] = {};
  size_t length_ = 0;
};

void DescribeRule(std::string_view rule, VariantText &out) {
  if (rule == ":") return;
  if (rule.find_first_not_of('[') == std::string_view::npos ||
      rule.find_first_not_of(']') == std::string_view::npos) {
    char text[48];
    snprintf(text, sizeof(text), "%s %zu character%s removed", rule[0] == '[' ? "first" : "last",
             rule.size(), rule.size() > 1 ? "s" : "");
    out.Add(text);
    return;
  }
  if (rule == "/?p@?p") return out.Add("punctuation removed");
  if (rule == "/?s@?s") return out.Add("symbols removed");
  if (rule == "/?X@?X") return out.Add("non-alphanumeric characters removed");
  // Substitutions: "/XsXy" each.
  for (size_t i = 0; i + 4 < rule.size() + 0 && rule[i] == '/'; i += 5) {
    char text[24];
    snprintf(text, sizeof(text), "'%c' read as '%c'", rule[i + 1], rule[i + 4]);
    out.Add(text);
  }
}

// Fills the match record for a hit of the search.
void Explain(const Hit &hit, bool lowercased, quarvel_match &match) {
  VariantText variant;
  if (lowercased) {
    match.variants |= QUARVEL_VARIANT_LOWERCASED;
    variant.Add("lower-cased");
  }
  if (hit.pass == Hit::kRules || hit.pass == Hit::kReversedRules) {
    const std::string_view rule = search::r_destructors[static_cast<size_t>(hit.rule)];
    CopyText(match.rule, rule);
    if (hit.pass == Hit::kReversedRules) {
      match.variants |= QUARVEL_VARIANT_REVERSED;
      variant.Add("reversed");
    }
    if (rule != ":") match.variants |= QUARVEL_VARIANT_RULE;
    DescribeRule(rule, variant);
  } else {
    CopyText(match.rule, ":");
    CopyText(match.affix, hit.affix);
    const bool suffix = hit.pass == Hit::kSuffix;
    match.variants |= suffix ? QUARVEL_VARIANT_SUFFIX : QUARVEL_VARIANT_PREFIX;
    char text[24];
    snprintf(text, sizeof(text), "%s %s", suffix ? "suffix" : "prefix", hit.affix);
    variant.Add(text);
    if (hit.affix_reversed) {
      match.variants |= QUARVEL_VARIANT_REVERSED;
      variant.Add("reversed");
    }
  }
  if (variant.text().empty()) variant.Add("as given");
  CopyText(match.variant, variant.text());
  CopyText(match.word, hit.word);
}

// How the letters' case was changed, in the words of an extended hit's
// explanation; "" when there were no upper-case letters.
std::string_view CaseChange(std::string_view text) {
  size_t upper = 0, lower = 0;
  bool first_upper = false;
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') {
      first_upper |= upper + lower == 0;
      ++upper;
    } else if (c >= 'a' && c <= 'z') {
      ++lower;
    }
  }
  if (upper == 0) return "";
  if (lower == 0 && upper > 1) return "upper-cased";
  return first_upper && upper == 1 ? "capitalised" : "lower-cased";
}

// Fills the match record for a hit of the extended search.
void ExplainExtended(const ExtendedSearch &extended, const ExtendedHit &hit,
                     std::string_view case_change, quarvel_match &match) {
  ShortText variant;
  match.variants = extended.Variants(hit);
  if (!case_change.empty()) {
    match.variants |= QUARVEL_VARIANT_LOWERCASED;
    variant.Add(case_change);
  }
  extended.Describe(hit, &variant);
  if (variant.text().empty()) variant.Add("as given");
  CopyText(match.rule, ":");
  CopyText(match.variant, variant.text());
  CopyText(match.word, hit.word);
}

void ExplainDictionary(const DictionaryRef &ref, int kind, quarvel_match &match) {
  match.kind = kind;
  match.slot = kind == QUARVEL_MATCH_PERSONAL ? -1 : ref.slot;
  CopyText(match.prefix, ref.prefix);
}

// Candidates of one dictionary search whose keys are made ahead (the rule
// passes and the extended profile's candidates fit).
constexpr size_t kKeyedCandidates = 1024;

// Searches one dictionary: "found" when it holds a variant, or when it
// cannot be opened (the search then answers as an unopenable one does).
// With the extended profile (extended not null), its search runs after the
// others found nothing.
struct Searched {
  bool found = false;
  bool unreadable = false;
  bool by_extended = false;  // found by the extended search: extended_hit says how
};

template <typename Contains>
Searched SearchWith(Contains &&contains, const TraceSink &trace, WordSearch &search, Hit &hit,
                    ExtendedSearch *extended, ExtendedHit *extended_hit) {
  if (search.Run(contains, trace, &hit)) return {true, false, false};
  if (extended == nullptr) return {};
  TraceLine(trace) << "[INFO]EXTENDED SEARCH";
  const bool found = extended->Run(contains, extended_hit);
  return {found, false, found};
}

Searched SearchDictionary(const ScoreRequest &request, const DictionaryRef &ref, WordSearch &search,
                          Hit &hit, ExtendedSearch *extended, ExtendedHit *extended_hit) {
  if (ref.fails || !ref.dict->ok()) {
    if (!ref.fails && request.unreadable != nullptr) request.unreadable(*ref.dict);
    return {true, true, false};
  }
  TraceLine(request.trace) << "[DictFindPW][DICT=" << ref.prefix << "]";
  const Dictionary &dict = *ref.dict;
  if (!dict.batched()) {
    return SearchWith([&dict](const char *word) { return dict.Contains(word); }, request.trace,
                      search, hit, extended, extended_hit);
  }
  // A dictionary served with its filter: the keys of the candidates the
  // search may try are made, and their filter bytes prefetched, in a first
  // silent run that finds nothing; the search then runs again, asking with
  // those keys in the same order. Each lookup of a large filter waits for
  // memory, and a password found nowhere tries every candidate: this way
  // the waits overlap.
  std::array<uint64_t, kKeyedCandidates> keys;
  size_t made = 0;
  {
    Hit unused;
    ExtendedHit unused_extended;
    SearchWith(
        [&](const char *word) {
          if (made < keys.size()) {
            keys[made] = WordKey(word);
            dict.PrefetchKey(keys[made++]);
          }
          return false;
        },
        TraceSink{}, search, unused, extended, &unused_extended);
  }
  size_t next = 0;
  const Searched searched = SearchWith(
      [&](const char *word) {
        const size_t i = next++;
        return i < made ? dict.ContainsKeyed(word, keys[i]) : dict.Contains(word);
      },
      request.trace, search, hit, extended, extended_hit);
  SecureWipe(keys.data(), made * sizeof(uint64_t));
  return searched;
}

struct SearchedBreach {
  bool found = false;
  bool exact = false;        // the password itself, as given
  bool by_extended = false;  // found by the extended search
  uint64_t count = 0;
};

// Searches one hashed list: the password's own bytes, then the candidates
// of the variant search (and of the extended profile, when on). Candidates
// are hashed and their lookups prefetched kBreachBatch at a time, then that
// batch is looked up in order: the memory latencies of the lookups in a
// large list overlap instead of adding up. The search then runs again with
// its trace, to stop at the candidate found and describe it: the hit, the
// trace and the explanation are those of a search that looks each
// candidate up in turn.
constexpr size_t kBreachBatch = 64;

SearchedBreach SearchBreach(const BreachRef &ref, uint64_t min_count, std::string_view password,
                            const TraceSink &trace, WordSearch &search, Hit &hit,
                            ExtendedSearch *extended, ExtendedHit *extended_hit) {
  SearchedBreach out;
  BreachLookup exact(*ref.list, min_count);
  if (exact.Has(password.data(), password.size())) {
    out.found = out.exact = true;
    out.count = exact.count();
    return out;
  }
  const HashDict &list = *ref.list;
  std::vector<uint64_t> keys;
  keys.reserve(kMaxExtendedCandidates);
  constexpr size_t kNone = static_cast<size_t>(-1);
  size_t checked = 0;
  size_t first = kNone;
  // Looks up the keys gathered since the last call; true at a hit.
  auto settle = [&] {
    for (; checked < keys.size(); ++checked) {
      const uint64_t count = list.CountOf(keys[checked]);
      if (count != 0 && count >= min_count) {
        first = checked;
        out.count = count;
        return true;
      }
    }
    return false;
  };
  SearchWith(
      [&](const char *word) {
        const uint64_t key = Sha1Key(word, std::strlen(word));
        list.Prefetch(key);
        keys.push_back(key);
        return keys.size() - checked == kBreachBatch && settle();
      },
      TraceSink{}, search, hit, extended, extended_hit);
  if (first == kNone) settle();
  SecureWipe(keys.data(), keys.size() * sizeof(uint64_t));
  size_t n = 0;
  const Searched s = SearchWith([&n, first](const char *) { return n++ == first; }, trace, search,
                                hit, extended, extended_hit);
  out.found = s.found;
  out.by_extended = s.by_extended;
  if (!out.found) out.count = 0;
  return out;
}

// What stage 5 searched and where it stopped, for the NIST verdict.
struct Stage5 {
  static constexpr size_t kNone = static_cast<size_t>(-1);
  size_t dictionary = kNone;  // index of the dictionary that answered
  bool unreadable = false;    // it answered because it cannot be read
  size_t breach = kNone;      // index of the hashed list that answered
  size_t breaches_searched = 0;
  bool context_searched = false;
  bool context_found = false;
};

// The NIST SP 800-63B verdict: what stage 5 found is reused, and the
// blocklist's sources and the context words it did not reach are searched
// now, silently.
void JudgeNist(const ScoreRequest &request, std::string_view password, std::string_view searched,
               const Stage5 &stage5, WordSearch &search, ExtendedSearch *extended,
               quarvel_result *result) {
  const NistSettings &nist = *request.nist;
  unsigned failures = 0;
  const int length = NistLength(password);
  if (length < nist.min_length) failures |= QUARVEL_NIST_TOO_SHORT;

  auto listed = [&nist](const DictionaryRef &ref) {
    return ref.slot >= 0 && ref.slot < 8 && (nist.blocklist_slots >> ref.slot & 1) != 0;
  };
  Hit hit;
  ExtendedHit extended_hit;
  bool blocked = false;
  if (stage5.dictionary != Stage5::kNone && !stage5.unreadable) {
    blocked = listed(request.dictionaries[stage5.dictionary]);
  }
  if (stage5.breach != Stage5::kNone) blocked = nist.blocklist_breach;
  // Dictionaries after the one that answered were not searched.
  if (stage5.dictionary != Stage5::kNone) {
    for (size_t i = stage5.dictionary + 1; !blocked && i < request.dictionaries.size(); ++i) {
      const DictionaryRef &ref = request.dictionaries[i];
      if (!listed(ref) || ref.fails || !ref.dict->ok()) continue;
      const Dictionary &dict = *ref.dict;
      blocked = SearchWith([&dict](const char *word) { return dict.Contains(word); }, TraceSink{},
                           search, hit, extended, &extended_hit)
                    .found;
    }
  }
  if (nist.blocklist_breach) {
    for (size_t i = stage5.breaches_searched; !blocked && i < request.breaches.size(); ++i) {
      blocked = SearchBreach(request.breaches[i], request.breach_min_count, password, TraceSink{},
                             search, hit, extended, &extended_hit)
                    .found;
    }
  }
  if (blocked) failures |= QUARVEL_NIST_BLOCKLIST;

  bool context = stage5.context_found;
  if (!stage5.context_searched && request.context != nullptr && !request.context->empty()) {
    const ContextWords &words = *request.context;
    context = SearchWith([&words](const char *word) { return words.Find(word) != nullptr; },
                         TraceSink{}, search, hit, extended, &extended_hit)
                  .found;
  }
  if (context) failures |= QUARVEL_NIST_CONTEXT;
  if (NistRepetitive(searched)) failures |= QUARVEL_NIST_REPETITIVE;
  SecureWipe(&hit, sizeof(hit));
  SecureWipe(&extended_hit, sizeof(extended_hit));

  result->nist_failures = failures;
  result->nist_ok = failures == 0 ? 1 : 0;
  result->nist_length = length;
  result->nist_min_length = nist.min_length;
}

}  // namespace

size_t AcceptedLength(const char *password, size_t length) {
  if (password == nullptr) return 0;
  const size_t text = strnlen(password, std::min(length, kPasswordLimit + 1));
  return text >= 1 && text <= kPasswordLimit ? text : 0;
}

int Refuse(int code, quarvel_result *result) {
  result->code = code;
  char text[16];
  snprintf(text, sizeof(text), "RET_CD=%04d", code);
  CopyText(result->answer, text);
  return code;
}

int CountOccurrences(std::string_view text, std::string_view piece) {
  if (piece.empty()) return 0;
  int count = 0;
  for (size_t p = text.find(piece); p != std::string_view::npos; p = text.find(piece, p + 1)) {
    ++count;
  }
  return count == 1 ? 0 : count;
}

int CountRepeatedPieces(std::string_view text, int piece_length) {
  if (piece_length > 256) piece_length = 2;
  if (piece_length < 1 || text.empty()) return 0;
  // The first half of the text without its last character, at most 255.
  const int half = static_cast<int>(std::min<size_t>(text.size() - 1, 255) / 2);
  int count = 0;
  for (int start = 0; start <= half - piece_length; ++start) {
    const std::string_view piece =
        text.substr(static_cast<size_t>(start), static_cast<size_t>(piece_length));
    if (CountOccurrences(text, piece) != 0) ++count;
  }
  return count;
}

int Score(const ScoreRequest &request, std::string_view password, quarvel_result *result) {
  const ScoringSettings &settings = *request.settings;
  const TraceSink &trace = request.trace;
  char work[kAreaSize] = {};
  struct Wipe {
    char *area;
    ~Wipe() { SecureWipe(area, kAreaSize); }
  } wipe{work};
  Fields fields;

  const size_t measured = std::min(password.size(), kMeasuredLimit);
  std::memcpy(work, password.data(), measured);
  std::string_view text(work, strnlen(work, measured));

  // Stage 1: base score by length and character classes.
  const int classes = CountClasses(text);
  const int length = static_cast<int>(text.size());
  const int row = length >= 50 ? 49 : length;
  // Entry row * 4 + classes - 1 counted row after row: without any class,
  // the last entry of the row before.
  int score = classes > 0 ? kLevel[row][classes - 1] : kLevel[row - 1][3];
  TraceLine(trace) << "[1] BASIC JUMSU[PWLEN=" << row << "][CHARACTERS=" << classes << "]=["
                   << score << "]";
  fields.Append("PW_LEN=", length);
  result->pw_len = length;
  result->pw_ncr = classes;
  result->stage_score[0] = score;

  // Stage 2: distinct characters, case-sensitive.
  const int distinct = CountDistinct(text);
  if (static_cast<unsigned>(distinct) < static_cast<unsigned>(settings.min_diff)) --score;
  TraceLine(trace) << "[2][MINDIFF=" << settings.min_diff << "],[junk=" << distinct
                   << "][JUMSU=" << score << "]";
  result->distinct = distinct;
  result->stage_score[1] = score;
  if (!fields.Append(":PW_NCR=", classes)) return Refuse(QUARVEL_TOO_LONG, result);

  // Stages 3 to 6 work on the lower-cased, right-trimmed text.
  const std::string_view case_change = settings.extended != 0 ? CaseChange(text) : "";
  bool lowercased = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (work[i] >= 'A' && work[i] <= 'Z') {
      work[i] = static_cast<char>(work[i] - 'A' + 'a');
      lowercased = true;
    }
  }
  size_t end = text.size();
  while (end > 0 && (work[end - 1] == ' ' || (work[end - 1] >= '\t' && work[end - 1] <= '\r'))) {
    --end;
  }
  work[end] = '\0';
  text = std::string_view(work, end);

  // Stage 3: repeated two-character pieces.
  int repeats = 0;
  if (settings.use_min_rept != 0) {
    repeats = CountRepeatedPieces(text, 2);
    if (repeats > settings.min_rept) --score;
  }
  fields.Append(":REPT_NCR=", repeats);
  TraceLine(trace) << "[3][USEMINREPT=" << settings.use_min_rept
                   << "],[MINREPT=" << settings.min_rept << "][repcnt=" << repeats
                   << "][JUMSU=" << score << "]";
  result->rept_ncr = repeats;
  result->stage_score[2] = score;

  // Stage 4: neighbours in sequence.
  const int sequences = CountSequences(text);
  fields.Append(":CTS_NCR=", sequences);
  if (static_cast<unsigned>(sequences) > static_cast<unsigned>(settings.min_step)) --score;
  TraceLine(trace) << "[4][MINSTEP=" << settings.min_step << "],[SeqChar=" << sequences
                   << "][JUMSU=" << score << "]";
  result->cts_ncr = sequences;
  result->stage_score[3] = score;

  // Stages 5 and 6 search the same text in each dictionary: the variants
  // the rules make of it are made once for all.
  WordSearch search(text, settings.search);
  Hit hit;
  quarvel_match &match = result->match;
  std::optional<ExtendedSearch> extended_search;
  if (settings.extended != 0) extended_search.emplace(text);
  ExtendedSearch *extended = extended_search ? &*extended_search : nullptr;
  ExtendedHit extended_hit;

  // Stage 5: the configured dictionaries; the first that answers ends it.
  int searched = 0;
  bool found = false;
  Stage5 stage5;
  for (const DictionaryRef &ref : request.dictionaries) {
    ++searched;
    const Searched s = SearchDictionary(request, ref, search, hit, extended, &extended_hit);
    if (s.found) {
      TraceLine(trace) << "[INFO]DICT SEARCH FILE_NAME " << ref.prefix << " FOUND";
      ExplainDictionary(ref, s.unreadable ? QUARVEL_MATCH_UNREADABLE : QUARVEL_MATCH_DICTIONARY,
                        match);
      if (s.by_extended) {
        ExplainExtended(*extended, extended_hit, case_change, match);
      } else if (!s.unreadable) {
        Explain(hit, lowercased, match);
      }
      found = true;
      stage5.dictionary = static_cast<size_t>(searched - 1);
      stage5.unreadable = s.unreadable;
      break;
    }
    TraceLine(trace) << "[INFO]DICT SEARCH FILE_NAME " << ref.prefix << ", NOT FOUND";
  }
  // The hashed lists: the password exactly as given, then its variants.
  for (size_t i = 0; !found && i < request.breaches.size(); ++i) {
    const BreachRef &ref = request.breaches[i];
    ++searched;
    stage5.breaches_searched = i + 1;
    TraceLine(trace) << "[BreachFindPW][LIST=" << ref.prefix << "]";
    const SearchedBreach s = SearchBreach(ref, request.breach_min_count, password, trace, search,
                                          hit, extended, &extended_hit);
    if (!s.found) {
      TraceLine(trace) << "[INFO]BREACH SEARCH FILE_NAME " << ref.prefix << ", NOT FOUND";
      continue;
    }
    TraceLine(trace) << "[INFO]BREACH SEARCH FILE_NAME " << ref.prefix << " FOUND";
    match.kind = QUARVEL_MATCH_BREACH;
    match.slot = ref.number;
    CopyText(match.prefix, ref.prefix);
    if (s.exact) {
      CopyText(match.rule, ":");
      CopyText(match.word, password);
      CopyText(match.variant, "as given");
    } else if (s.by_extended) {
      ExplainExtended(*extended, extended_hit, case_change, match);
    } else {
      Explain(hit, lowercased, match);
    }
    result->breach_count = s.count;
    stage5.breach = i;
    found = true;
  }
  if (!found && request.context != nullptr && !request.context->empty()) {
    const ContextWords &context = *request.context;
    const Searched s =
        SearchWith([&context](const char *word) { return context.Find(word) != nullptr; },
                   TraceSink{}, search, hit, extended, &extended_hit);
    stage5.context_searched = true;
    stage5.context_found = s.found;
    if (s.found) {
      found = true;
      match.kind = QUARVEL_MATCH_CONTEXT;
      match.slot = -1;
      if (s.by_extended) {
        ExplainExtended(*extended, extended_hit, case_change, match);
      } else {
        Explain(hit, lowercased, match);
      }
    }
  }
  if (!found && extended != nullptr) {
    ShortText pattern;
    if (extended->FindPattern(&pattern)) {
      TraceLine(trace) << "[INFO]PATTERN FOUND";
      found = true;
      match.kind = QUARVEL_MATCH_PATTERN;
      match.slot = -1;
      match.variants = QUARVEL_VARIANT_EXTENDED;
      CopyText(match.rule, ":");
      CopyText(match.word, text);
      CopyText(match.variant, pattern.text());
    }
  }
  if (found) {
    --score;
    TraceLine(trace) << "[5][DICT_SEARCH=FOUND],[JUMSU=" << score << "]";
  } else {
    TraceLine(trace) << "[5][DICT_SEARCH=NOT FOUND],[JUMSU=" << score << "]";
  }
  const int dict_fd_cnt = found ? searched : searched + 1;
  fields.Append(":DICT_FD_CNT=", dict_fd_cnt);
  result->dict_fd_cnt = dict_fd_cnt;
  result->stage_score[4] = score;

  // Stage 6: the personal dictionary.
  if (request.profile != nullptr) {
    const DictionaryRef &ref = *request.profile;
    TraceLine(trace) << "user profile dict filename " << ref.prefix;
    Hit personal_hit;
    ExtendedHit personal_extended;
    const Searched s =
        SearchDictionary(request, ref, search, personal_hit, extended, &personal_extended);
    if (s.found) {
      --score;
      fields.Append(":PDICT_FD=01");
      TraceLine(trace) << "profile dict filename " << ref.prefix << ", "
                       << (s.unreadable ? "1001" : "0001");
      TraceLine(trace) << "[6][Personal DICT_SEARCH=FOUND],[JUMSU=" << score << "]";
      result->pdict_fd = 1;
      if (!found) {
        ExplainDictionary(ref, s.unreadable ? QUARVEL_MATCH_UNREADABLE : QUARVEL_MATCH_PERSONAL,
                          match);
        if (s.by_extended) {
          ExplainExtended(*extended, personal_extended, case_change, match);
        } else if (!s.unreadable) {
          Explain(personal_hit, lowercased, match);
        }
      }
    } else {
      fields.Append(":PDICT_FD=00");
      TraceLine(trace) << "[6][Personal DICT_SEARCH=NOT FOUND],[JUMSU=" << score << "]";
      result->pdict_fd = 0;
    }
    SecureWipe(&personal_hit, sizeof(personal_hit));
    SecureWipe(&personal_extended, sizeof(personal_extended));
  } else {
    fields.Append(":PDICT_FD=XX");
    TraceLine(trace) << "[6][Personal DICT_SEARCH=NOT USED],[JUMSU=" << score << "]";
    result->pdict_fd = -1;
  }
  result->stage_score[5] = score;
  if (request.nist != nullptr) JudgeNist(request, password, text, stage5, search, extended, result);
  SecureWipe(&hit, sizeof(hit));
  SecureWipe(&extended_hit, sizeof(extended_hit));

  int level = LevelOf(score);
  // The extended profile rates a password it found at most level 2.
  if (extended != nullptr && (found || result->pdict_fd == 1)) level = std::min(level, 2);
  Fields answer;
  answer.Append("RET_CD=0000:RT_LEVEL=", level);
  if (!answer.Append(":") || !answer.Append(fields.text())) return Refuse(QUARVEL_TOO_LONG, result);
  CopyText(result->answer, answer.text());
  result->level = level;
  result->code = QUARVEL_OK;
  return QUARVEL_OK;
}

}  // namespace quarvel::engine
