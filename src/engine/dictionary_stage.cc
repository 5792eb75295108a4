// Stage 5: the configured dictionaries, the hashed lists, the context
// words, the patterns; and, in the same pass, what the NIST verdict needs.

#include "engine/dictionary_stage.h"

#include <array>
#include <cstdint>

#include "engine/breach_stage.h"
#include "format/key_filter.h"

namespace quarvel::engine {
namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

// Candidates of one dictionary search whose keys are made ahead (the rule
// passes and the extended profile's candidates fit).
constexpr size_t kKeyedCandidates = 1024;

// Where stage 5 stopped.
struct Progress {
  bool found = false;
  int searched = 0;           // sources searched, as DICT_FD_CNT counts them
  size_t dictionary = kNone;  // index of the dictionary that answered
  bool unreadable = false;    // it answered because it cannot be read
  bool breach_found = false;  // a hashed list answered
  size_t breaches_searched = 0;
  bool context_searched = false;
  bool context_found = false;
  bool pattern_known = false;
  bool pattern = false;
};

// A dictionary served with its filter: the keys of the candidates the
// search may try are made, and their filter bytes prefetched, in a first
// silent run that finds nothing; the search then runs again, asking with
// those keys in the same order. Each lookup of a large filter waits for
// memory, and a password found nowhere tries every candidate: this way the
// waits overlap.
Searched SearchBatched(const Dictionary &dict, const TraceSink &trace, CheckState &state,
                       Hits &hits) {
  std::array<uint64_t, kKeyedCandidates> keys;
  size_t made = 0;
  {
    Hits unused;
    SearchWith(
        [&](const char *word) {
          if (made < keys.size()) {
            keys[made] = WordKey(word);
            dict.PrefetchKey(keys[made++]);
          }
          return false;
        },
        TraceSink{}, state, unused);
  }
  size_t next = 0;
  const Searched searched = SearchWith(
      [&](const char *word) {
        const size_t i = next++;
        return i < made ? dict.ContainsKeyed(word, keys[i]) : dict.Contains(word);
      },
      trace, state, hits);
  SecureWipe(keys.data(), made * sizeof(uint64_t));
  return searched;
}

int ReasonOf(int kind) {
  switch (kind) {
    case QUARVEL_MATCH_BREACH:
      return QUARVEL_REASON_BREACH;
    case QUARVEL_MATCH_CONTEXT:
      return QUARVEL_REASON_CONTEXT;
    case QUARVEL_MATCH_PATTERN:
      return QUARVEL_REASON_PATTERN;
    case QUARVEL_MATCH_UNREADABLE:
      return QUARVEL_REASON_UNREADABLE;
    default:
      return QUARVEL_REASON_DICTIONARY;
  }
}

void SearchConfigured(CheckState &state, Hits &hits, Progress &p) {
  const ScoreRequest &request = state.request;
  const TraceSink &trace = request.trace;
  for (size_t i = 0; i < request.dictionaries.size(); ++i) {
    const DictionaryRef &ref = request.dictionaries[i];
    ++p.searched;
    const Searched s = SearchDictionary(ref, trace, state, hits);
    if (!s.found) {
      TraceLine(trace) << "[INFO]DICT SEARCH FILE_NAME " << ref.prefix << ", NOT FOUND";
      continue;
    }
    TraceLine(trace) << "[INFO]DICT SEARCH FILE_NAME " << ref.prefix << " FOUND";
    state.match.kind = s.unreadable ? QUARVEL_MATCH_UNREADABLE : QUARVEL_MATCH_DICTIONARY;
    state.match.slot = ref.slot;
    state.match.prefix = ref.prefix;
    if (!s.unreadable) ExplainSearched(s, hits, state);
    p.found = true;
    p.dictionary = i;
    p.unreadable = s.unreadable;
    return;
  }
}

// Candidates of the extended search tried in a language dictionary other
// than the Korean one: its most likely readings (the word as given, with
// what was added around it cut, reversed, written twice, with the first few
// leet readings), so that the languages cost a fraction of a configured
// dictionary's search.
constexpr size_t kLanguageCandidates = 24;

// The language dictionaries, with the extended profile, after the
// configured ones: each counts as a dictionary searched.
void SearchLanguages(CheckState &state, Hits &hits, Progress &p) {
  if (state.extended == nullptr) return;
  const TraceSink &trace = state.request.trace;
  for (const LanguageRef &language : state.request.languages) {
    const DictionaryRef &ref = language.ref;
    ++p.searched;
    Searched s = {true, true, false};
    if (ref.dict->ok() && (!language.hangul || state.korean != nullptr)) {
      TraceLine(trace) << "[DictFindPW][DICT=" << ref.prefix << "]";
      const Dictionary &dict = *ref.dict;
      const auto contains = [&dict](const char *word) { return dict.Contains(word); };
      s.unreadable = false;
      s.by_extended = !language.hangul;
      s.found = language.hangul
                    ? state.korean->Run(contains, &hits.korean)
                    : state.extended->Run(contains, &hits.extended, kLanguageCandidates);
      if (dict.Faulted()) s = {true, true, false};
    }
    if (!s.found) {
      TraceLine(trace) << "[INFO]DICT SEARCH FILE_NAME " << ref.prefix << ", NOT FOUND";
      continue;
    }
    TraceLine(trace) << "[INFO]DICT SEARCH FILE_NAME " << ref.prefix << " FOUND";
    state.match.kind = s.unreadable ? QUARVEL_MATCH_UNREADABLE : QUARVEL_MATCH_DICTIONARY;
    state.match.slot = -1;
    state.match.prefix = ref.prefix;
    if (!s.unreadable && language.hangul) {
      state.korean->Explain(hits.korean, state.case_step, &state.match);
    } else if (!s.unreadable) {
      ExplainSearched(s, hits, state);
    }
    p.found = true;
    p.unreadable = s.unreadable;
    return;
  }
}

Searched SearchContext(CheckState &state, Hits &hits) {
  const ContextWords &words = *state.request.context;
  return SearchWith([&words](const char *word) { return words.Find(word) != nullptr; }, TraceSink{},
                    state, hits);
}

bool HasContext(const ScoreRequest &request) {
  return request.context != nullptr && !request.context->empty();
}

void SearchContextWords(CheckState &state, Hits &hits, Progress &p) {
  if (!HasContext(state.request)) return;
  const Searched s = SearchContext(state, hits);
  p.context_searched = true;
  p.context_found = s.found;
  if (!s.found) return;
  p.found = true;
  state.match.kind = QUARVEL_MATCH_CONTEXT;
  state.match.slot = -1;
  ExplainSearched(s, hits, state);
}

void SearchPatterns(CheckState &state, Progress &p) {
  if (state.extended == nullptr) return;
  p.pattern_known = true;
  p.pattern = state.extended->FindPattern(&state.match.steps);
  if (!p.pattern) return;
  TraceLine(state.request.trace) << "[INFO]PATTERN FOUND";
  p.found = true;
  Explanation &match = state.match;
  match.kind = QUARVEL_MATCH_PATTERN;
  match.slot = -1;
  match.variants = QUARVEL_VARIANT_EXTENDED;
  match.rule[0] = ':';
  match.SetWord(state.searched);
}

bool Listed(const NistSettings &nist, int slot) {
  return slot >= 0 && slot < 8 && (nist.blocklist_slots >> slot & 1) != 0;
}

// The blocklist's sources that stage 5 did not reach (it stopped at a
// source outside the blocklist), and the context words likewise, searched
// silently.
void CompleteFindings(CheckState &state, Hits &hits, const Progress &p, BlocklistFindings *out) {
  const ScoreRequest &request = state.request;
  const NistSettings &nist = *request.nist;
  bool blocked = false;
  if (p.dictionary != kNone && !p.unreadable) {
    blocked = Listed(nist, request.dictionaries[p.dictionary].slot);
  }
  if (p.breach_found) blocked = nist.blocklist_breach;
  for (size_t i = p.dictionary + 1;
       p.dictionary != kNone && !blocked && i < request.dictionaries.size(); ++i) {
    const DictionaryRef &ref = request.dictionaries[i];
    if (!Listed(nist, ref.slot) || ref.fails || !ref.dict->ok()) continue;
    const Searched searched = SearchDictionary(ref, TraceSink{}, state, hits);
    blocked = searched.found && !searched.unreadable;
  }
  for (size_t i = p.breaches_searched;
       nist.blocklist_breach && !blocked && i < request.breaches.size(); ++i) {
    blocked = SearchBreach(request.breaches[i], TraceSink{}, state, hits).found;
  }
  out->blocklisted = blocked;
  out->context = p.context_found;
  if (!p.context_searched && HasContext(request)) out->context = SearchContext(state, hits).found;
  out->pattern_known = p.pattern_known;
  out->pattern = p.pattern;
}

}  // namespace

Searched SearchDictionary(const DictionaryRef &ref, const TraceSink &trace, CheckState &state,
                          Hits &hits) {
  if (ref.fails || !ref.dict->ok()) {
    if (!ref.fails && state.request.unreadable != nullptr) state.request.unreadable(*ref.dict);
    return {true, true, false};
  }
  TraceLine(trace) << "[DictFindPW][DICT=" << ref.prefix << "]";
  const Dictionary &dict = *ref.dict;
  const Searched searched =
      dict.batched() ? SearchBatched(dict, trace, state, hits)
                     : SearchWith([&dict](const char *word) { return dict.Contains(word); }, trace,
                                  state, hits);
  // Pages cut off its files read as zeros: the search may have missed.
  if (dict.Faulted()) return {true, true, false};
  return searched;
}

void ExplainSearched(const Searched &searched, const Hits &hits, CheckState &state) {
  if (searched.by_extended) {
    if (state.folded) state.match.steps.Add(QUARVEL_STEP_ACCENTS_FOLDED);
    state.extended->Explain(hits.extended, state.case_step, &state.match);
  } else {
    ExplainHit(hits.hit, state.lowercased, &state.match);
  }
}

int RunDictionaryStage(CheckState &state, int score, BlocklistFindings *findings,
                       quarvel_result *result) {
  Hits hits;
  Progress p;
  SearchConfigured(state, hits, p);
  if (!p.found) SearchLanguages(state, hits, p);
  if (!p.found) {
    p.breaches_searched = SearchBreachLists(state, hits, &p.breach_found, result);
    p.searched += static_cast<int>(p.breaches_searched);
    p.found = p.breach_found;
  }
  if (!p.found) SearchContextWords(state, hits, p);
  if (!p.found) SearchPatterns(state, p);
  const TraceSink &trace = state.request.trace;
  if (p.found) {
    --score;
    state.reasons.Add(5, ReasonOf(state.match.kind), 1);
    TraceLine(trace) << "[5][DICT_SEARCH=FOUND],[JUMSU=" << score << "]";
  } else {
    TraceLine(trace) << "[5][DICT_SEARCH=NOT FOUND],[JUMSU=" << score << "]";
  }
  result->dict_fd_cnt = p.found ? p.searched : p.searched + 1;
  result->stage_score[4] = score;
  if (state.request.nist != nullptr) CompleteFindings(state, hits, p, findings);
  return score;
}

}  // namespace quarvel::engine
