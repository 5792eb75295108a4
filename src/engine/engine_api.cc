// The engine's C interface: thin shims over the C++ code. Nothing thrown
// inside reaches the caller.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/secure_wipe.h"
#include "engine/check_plan.h"
#include "engine/env_hooks.h"
#include "engine/environment.h"
#include "engine/scorer.h"
#include "quarvel/engine.h"

struct quarvel_env {
  std::unique_ptr<quarvel::engine::Environment> impl;
};

namespace quarvel::engine {
namespace {

void WriteError(char *error, size_t error_size, const std::string &text) {
  if (error == nullptr || error_size == 0) return;
  const size_t n = std::min(text.size(), error_size - 1);
  std::memcpy(error, text.data(), n);
  error[n] = '\0';
}

bool RecordFits(const void *record, uint32_t size, size_t needed) {
  return record != nullptr && size >= needed;
}

// Clears result but for its size, and presets what a refusal leaves.
void ResetResult(quarvel_result *result) {
  const uint32_t size = result->size;
  std::memset(result, 0, sizeof(quarvel_result));
  result->size = size;
  result->match.size = sizeof(quarvel_match);
  result->match.slot = -1;
}

int CheckInto(const quarvel_env *env, const char *password, size_t length, const char *const *words,
              size_t n_words, quarvel_result *result) {
  ResetResult(result);
  if (env == nullptr || env->impl == nullptr) return Refuse(QUARVEL_NO_ENV, result);
  const size_t accepted = AcceptedLength(password, length);
  if (accepted == 0) return Refuse(QUARVEL_BAD_PASSWORD, result);
  try {
    const Environment &environment = *env->impl;
    const SnapshotRef snapshot = environment.Use();
    CheckPlan plan(snapshot->scoring);
    // The verdict is worked out only for a caller whose record holds it.
    plan.AddSnapshot(*snapshot, /*with_nist=*/result->size >= QUARVEL_RESULT_V2_SIZE);
    plan.SetTrace(environment.trace());
    const std::string_view text(password, accepted);
    if (words != nullptr && n_words > 0) {
      const ContextWords context(words, n_words);
      plan.SetContext(&context);
      return plan.Score(text, result);
    }
    return plan.Score(text, result);
  } catch (...) {
    return Refuse(QUARVEL_NO_MEMORY, result);
  }
}

// Scores into a whole record of this library's layout, and gives the
// caller as much of it as its record holds: callers built against the first
// layout keep working.
int Check(const quarvel_env *env, const char *password, size_t length, const char *const *words,
          size_t n_words, quarvel_result *result) {
  if (!RecordFits(result, result != nullptr ? result->size : 0, QUARVEL_RESULT_V1_SIZE)) {
    return QUARVEL_BAD_ARGUMENT;
  }
  // A record of this layout (or a later one) is scored in place.
  if (result->size >= sizeof(quarvel_result)) {
    return CheckInto(env, password, length, words, n_words, result);
  }
  quarvel_result whole;
  whole.size = result->size;
  const int code = CheckInto(env, password, length, words, n_words, &whole);
  const size_t given = std::min<size_t>(result->size, sizeof(whole));
  std::memcpy(result, &whole, given);
  // Beyond the caller's size the scorer wrote no text: the explanation
  // codes are written only for records that hold them.
  SecureWipe(&whole, given);
  return code;
}

}  // namespace

std::string ResolvePrefix(const quarvel_env *env, std::string_view prefix) {
  if (env == nullptr || env->impl == nullptr) return std::string(prefix);
  return env->impl->Resolve(prefix);
}

void DictionaryRebuilt(quarvel_env *env, const std::string &path_prefix) {
  if (env != nullptr && env->impl != nullptr) env->impl->DictionaryRebuilt(path_prefix);
}

void HashedListRebuilt(quarvel_env *env, const std::string &path_prefix) {
  if (env != nullptr && env->impl != nullptr) env->impl->HashedListRebuilt(path_prefix);
}

}  // namespace quarvel::engine

using quarvel::engine::Environment;

extern "C" quarvel_env *quarvel_open(const char *root, char *error, size_t error_size) noexcept {
  try {
    int code = 0;
    std::string reason;
    std::unique_ptr<Environment> impl =
        Environment::Open(root != nullptr ? root : "", &code, &reason);
    if (impl == nullptr) {
      quarvel::engine::WriteError(error, error_size, reason);
      return nullptr;
    }
    quarvel::engine::WriteError(error, error_size, "");
    return new quarvel_env{std::move(impl)};
  } catch (...) {
    quarvel::engine::WriteError(error, error_size, "out of memory");
    return nullptr;
  }
}

extern "C" int quarvel_reload(quarvel_env *env) noexcept {
  if (env == nullptr || env->impl == nullptr) return QUARVEL_NO_ENV;
  try {
    std::string reason;
    return env->impl->Reload(&reason);
  } catch (...) {
    return QUARVEL_NO_MEMORY;
  }
}

extern "C" void quarvel_close(quarvel_env *env) noexcept { delete env; }

extern "C" int quarvel_check(const quarvel_env *env, const char *password, size_t length,
                             quarvel_result *result) noexcept {
  return quarvel::engine::Check(env, password, length, nullptr, 0, result);
}

extern "C" int quarvel_check_context(const quarvel_env *env, const char *password, size_t length,
                                     const char *const *words, size_t n_words,
                                     quarvel_result *result) noexcept {
  return quarvel::engine::Check(env, password, length, words, n_words, result);
}

extern "C" void quarvel_set_trace(quarvel_env *env, void (*sink)(void *context, const char *line),
                                  void *context) noexcept {
  if (env != nullptr && env->impl != nullptr) env->impl->SetTrace(sink, context);
}

extern "C" int quarvel_get_settings(const quarvel_env *env, quarvel_settings *settings) noexcept {
  if (env == nullptr || env->impl == nullptr) return QUARVEL_NO_ENV;
  if (settings == nullptr || settings->size < sizeof(quarvel_settings)) {
    return QUARVEL_BAD_ARGUMENT;
  }
  const auto snapshot = env->impl->Acquire();
  const uint32_t size = settings->size;
  std::memset(settings, 0, sizeof(quarvel_settings));
  settings->size = size;
  const quarvel::engine::ScoringSettings &s = snapshot->scoring;
  settings->min_len = snapshot->min_len;
  settings->min_diff = s.min_diff;
  settings->min_step = s.min_step;
  settings->min_rept = s.min_rept;
  settings->use_min_rept = s.use_min_rept;
  settings->suffix_numbers = s.search.suffix_numbers;
  settings->prefix_numbers = s.search.prefix_numbers;
  settings->reverse = s.search.reverse;
  settings->use_profile = snapshot->profile.has_value() ? 1 : 0;
  settings->dict_count = static_cast<int>(snapshot->slots.size());
  for (const auto &slot : snapshot->slots) {
    if (slot.slot < 0 || slot.slot >= 8) continue;
    char(&out)[256] = settings->dict_prefix[slot.slot];
    const size_t n = std::min(slot.configured.size(), sizeof(out) - 1);
    std::memcpy(out, slot.configured.data(), n);
    out[n] = '\0';
  }
  return 0;
}

extern "C" const char *quarvel_version(void) noexcept { return QUARVEL_VERSION_STRING; }
