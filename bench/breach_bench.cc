// Hashed leaked-password lists at scale.
//
//   quarvel-breach-bench generate N LIST
//       Writes N lines "HASH:COUNT\r\n" to LIST: the SHA-1 (upper case) of
//       the synthetic passwords Synthetic(0..N), with deterministic counts.
//       Hashes come out in the order of the passwords, which is random
//       order for the hashes.
//   quarvel-breach-bench lookup PREFIX N LOOKUPS
//       Opens PREFIX.hsh (built from a list of N) and times LOOKUPS exact
//       lookups, half of stored passwords and half of absent ones: with the
//       SHA-1 of each password, and of the keys alone.
//   quarvel-breach-bench check ROOT N CHECKS
//       Times quarvel_check at ROOT (whose configuration names the list)
//       over CHECKS passwords made from the synthetic ones (as stored, with
//       a number or symbols added, capitalised, reversed, and random), and
//       the same passwords with the lists left out; counts the lookups the
//       variant search makes, and splits their time into hashing and
//       looking up.

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <openssl/sha.h>

#include "search/breach.h"
#include "search/extended_search.h"
#include "search/word_search.h"
#include "quarvel/quarvel.h"
#include "store/hash_dict.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// The i-th synthetic password: lower-case letters and digits, 6 to 13
// characters, looking like the passwords people choose (a word-like stem
// and often a number).
std::string Synthetic(uint64_t i) {
  static const char kConsonants[] = "bcdfghjklmnprstvwz";
  static const char kVowels[] = "aeiou";
  uint64_t h = Mix(i);
  std::string out;
  const int syllables = 2 + static_cast<int>(h % 3);
  h /= 3;
  for (int s = 0; s < syllables; ++s) {
    out += kConsonants[h % 18];
    h /= 18;
    out += kVowels[h % 5];
    h /= 5;
  }
  const uint64_t tail = Mix(i ^ 0xABCDEF);
  if (tail % 3 != 0) out += std::to_string(tail % 10000);
  return out;
}

uint64_t CountOf(uint64_t i) { return 1 + Mix(i * 7 + 1) % 5000; }

int Generate(uint64_t n, const char *path) {
  FILE *out = fopen(path, "wb");
  if (out == nullptr) return 1;
  std::vector<char> buffer(1 << 20);
  setvbuf(out, buffer.data(), _IOFBF, buffer.size());
  static const char kHex[] = "0123456789ABCDEF";
  const auto start = Clock::now();
  for (uint64_t i = 0; i < n; ++i) {
    const std::string p = Synthetic(i);
    unsigned char d[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char *>(p.data()), p.size(), d);
    char line[64];
    for (int k = 0; k < 20; ++k) {
      line[2 * k] = kHex[d[k] >> 4];
      line[2 * k + 1] = kHex[d[k] & 15];
    }
    const int tail = snprintf(line + 40, sizeof(line) - 40, ":%" PRIu64 "\r\n", CountOf(i));
    fwrite(line, 1, 40 + static_cast<size_t>(tail), out);
  }
  if (fclose(out) != 0) return 1;
  printf("generated %" PRIu64 " lines in %.1f s\n", n, Since(start));
  return 0;
}

int Lookup(const char *prefix, uint64_t n, uint64_t lookups) {
  std::string error;
  const auto start_open = Clock::now();
  const auto list = quarvel::HashDict::Open(std::string(prefix) + quarvel::kHashDictSuffix, &error);
  if (list == nullptr) {
    fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  printf("opened %" PRIu64 " keys in %.3f s\n", list->key_count(), Since(start_open));
  std::vector<std::string> passwords;
  passwords.reserve(lookups);
  for (uint64_t i = 0; i < lookups; ++i) {
    // Even: a stored password; odd: one beyond the list.
    const uint64_t j = Mix(i) % n;
    passwords.push_back(i % 2 == 0 ? Synthetic(j) : Synthetic(n + j) + "x");
  }
  // Cold pages first: one pass that is not timed would hide them.
  uint64_t found = 0;
  auto start = Clock::now();
  for (const std::string &p : passwords) {
    found += list->CountOf(quarvel::engine::Sha1Key(p.data(), p.size())) != 0;
  }
  const double with_hash = Since(start);
  std::vector<uint64_t> keys;
  keys.reserve(passwords.size());
  start = Clock::now();
  for (const std::string &p : passwords)
    keys.push_back(quarvel::engine::Sha1Key(p.data(), p.size()));
  const double hashing = Since(start);
  uint64_t found_keys = 0;
  start = Clock::now();
  for (uint64_t k : keys) found_keys += list->CountOf(k) != 0;
  const double keys_only = Since(start);
  printf("exact lookups (SHA-1 + lookup, first touch of the map): %.0f /s, %" PRIu64 " of %" PRIu64
         " found\n",
         static_cast<double>(lookups) / with_hash, found, lookups);
  printf("SHA-1 alone: %.0f /s; lookups of keys alone (warm): %.0f /s, %" PRIu64 " found\n",
         static_cast<double>(lookups) / hashing, static_cast<double>(lookups) / keys_only,
         found_keys);
  return found == lookups / 2 + lookups % 2 ? 0 : 2;
}

std::vector<std::string> CheckedPasswords(uint64_t n, uint64_t count) {
  std::mt19937_64 rng(42);
  std::vector<std::string> out;
  for (uint64_t i = 0; i < count; ++i) {
    std::string p = Synthetic(rng() % n);
    switch (i % 6) {
      case 0:
        break;
      case 1:
        p += std::to_string(rng() % 100);
        break;
      case 2:
        p[0] = static_cast<char>(toupper(p[0]));
        p += "!";
        break;
      case 3:
        std::reverse(p.begin(), p.end());
        break;
      case 4:
        p = "Zq" + p + "#" + std::to_string(rng() % 1000);
        break;
      default:
        p.assign(8 + rng() % 8, ' ');
        for (char &c : p) c = static_cast<char>(33 + rng() % 94);
    }
    out.push_back(p);
  }
  return out;
}

int Check(const char *root, uint64_t n, uint64_t count) {
  char error[512];
  quarvel_env *env = quarvel_open(root, error, sizeof(error));
  if (env == nullptr) {
    fprintf(stderr, "%s\n", error);
    return 1;
  }
  const std::vector<std::string> passwords = CheckedPasswords(n, count);
  quarvel_result r;
  QUARVEL_RESULT_INIT(&r);
  uint64_t breach_hits = 0;
  std::vector<std::string> missed;  // found nowhere: every candidate was looked up
  auto start = Clock::now();
  for (const std::string &p : passwords) {
    quarvel_check(env, p.data(), p.size(), &r);
    breach_hits += r.match.kind == QUARVEL_MATCH_BREACH;
  }
  const double seconds = Since(start);
  for (const std::string &p : passwords) {
    quarvel_check(env, p.data(), p.size(), &r);
    if (r.match.kind == QUARVEL_MATCH_NONE) missed.push_back(p);
  }
  start = Clock::now();
  for (const std::string &p : missed) quarvel_check(env, p.data(), p.size(), &r);
  const double missed_seconds = Since(start);
  printf("quarvel_check with the list: %.0f passwords/s (%" PRIu64 " of %" PRIu64
         " found in the list); %.0f /s for the %zu found nowhere\n",
         static_cast<double>(count) / seconds, breach_hits, count,
         static_cast<double>(missed.size()) / missed_seconds, missed.size());

  // Where the time goes: the lookups the variant search makes of each
  // password (all of them when nothing is found), hashed and looked up.
  quarvel_settings settings;
  settings.size = sizeof(settings);
  quarvel_get_settings(env, &settings);
  quarvel::engine::SearchSettings search_settings;
  search_settings.suffix_numbers = settings.suffix_numbers;
  search_settings.prefix_numbers = settings.prefix_numbers;
  search_settings.reverse = settings.reverse;
  std::vector<std::string> candidates;
  uint64_t distinct = 0;
  for (const std::string &p : passwords) {
    const size_t before = candidates.size();
    std::string text = p;
    for (char &c : text) c = static_cast<char>(tolower(c));
    quarvel::engine::WordSearch search(text, search_settings);
    quarvel::engine::TraceSink none;
    search.Run(
        [&](const char *c) {
          candidates.push_back(c);
          return false;
        },
        none, nullptr);
    quarvel::engine::ExtendedSearch extended(text);
    quarvel::engine::ExtendedHit hit;
    extended.Run(
        [&](const char *c) {
          candidates.push_back(c);
          return false;
        },
        &hit);
    std::vector<std::string> own(candidates.begin() + static_cast<std::ptrdiff_t>(before),
                                 candidates.end());
    std::sort(own.begin(), own.end());
    distinct += static_cast<uint64_t>(std::unique(own.begin(), own.end()) - own.begin());
  }
  std::string why;
  const auto list = quarvel::HashDict::Open(std::string(root) + "/dicts/breach.hsh", &why);
  std::vector<uint64_t> keys(candidates.size());
  start = Clock::now();
  for (size_t i = 0; i < candidates.size(); ++i) {
    keys[i] = quarvel::engine::Sha1Key(candidates[i].data(), candidates[i].size());
  }
  const double hashing = Since(start);
  uint64_t hits = 0;
  start = Clock::now();
  if (list != nullptr) {
    for (uint64_t k : keys) hits += list->CountOf(k) != 0;
  }
  const double looking = Since(start);
  printf("candidates per password (all passes, extended included): %.1f, %.1f distinct\n",
         static_cast<double>(candidates.size()) / static_cast<double>(count),
         static_cast<double>(distinct) / static_cast<double>(count));
  printf("per password at most: SHA-1 %.1f us, lookups %.1f us (of %.1f us a check)\n",
         hashing * 1e6 / static_cast<double>(count), looking * 1e6 / static_cast<double>(count),
         seconds * 1e6 / static_cast<double>(count));
  quarvel_close(env);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 4 && strcmp(argv[1], "generate") == 0) {
    return Generate(strtoull(argv[2], nullptr, 10), argv[3]);
  }
  if (argc == 5 && strcmp(argv[1], "lookup") == 0) {
    return Lookup(argv[2], strtoull(argv[3], nullptr, 10), strtoull(argv[4], nullptr, 10));
  }
  if (argc == 5 && strcmp(argv[1], "check") == 0) {
    return Check(argv[2], strtoull(argv[3], nullptr, 10), strtoull(argv[4], nullptr, 10));
  }
  fprintf(stderr,
          "usage: quarvel-breach-bench generate N LIST | lookup PREFIX N LOOKUPS | "
          "check ROOT N CHECKS\n");
  return 2;
}
