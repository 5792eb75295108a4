// The NIST SP 800-63B verdict's parts that are not a search.

#include "engine/nist.h"

#include <algorithm>

#include <memory>
#include <vector>

#if QUARVEL_HAVE_ICU
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#elif defined(__EMSCRIPTEN__)
#include <emscripten/emscripten.h>
// In WebAssembly the host's own normaliser (String.prototype.normalize)
// counts the NFKC characters, so the module carries no Unicode tables.
// Answers -1 when the bytes are not UTF-8.
EM_JS(int, quarvel_host_nfkc_length, (const char *text, int size), {
  let decoded;
  try {
    decoded = new TextDecoder('utf-8', {fatal : true}).decode(HEAPU8.subarray(text, text + size));
  } catch (e) {
    return -1;
  }
  return Array.from(decoded.normalize('NFKC')).length;
});
#endif

#include "base/secure_wipe.h"
#include "search/patterns.h"

namespace quarvel::engine {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

#if QUARVEL_HAVE_ICU
// UTF-16 text that is wiped when it goes.
struct WipedUnits {
  explicit WipedUnits(size_t n) : units(n) {}
  ~WipedUnits() { SecureWipe(units.data(), units.size() * sizeof(UChar)); }
  std::vector<UChar> units;
};
#endif

}  // namespace

bool ParseBlocklist(std::string_view text, NistSettings *settings, std::string *bad) {
  text = Trim(text);
  if (text == "all") {
    settings->blocklist_slots = 0xFF;
    settings->blocklist_breach = true;
    return true;
  }
  settings->blocklist_slots = 0;
  settings->blocklist_breach = false;
  if (text == "none" || text.empty()) return true;
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view item = Trim(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    if (item == "breach") {
      settings->blocklist_breach = true;
    } else if (item.size() == 1 && item[0] >= '0' && item[0] <= '7') {
      settings->blocklist_slots |= 1u << (item[0] - '0');
    } else {
      *bad = std::string(item);
      return false;
    }
  }
  return true;
}

int NistLength(std::string_view password) {
  // NFKC leaves ASCII as it is: one character a byte, and no conversion.
  if (std::all_of(password.begin(), password.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return static_cast<int>(password.size());
  }
#if QUARVEL_HAVE_ICU
  UErrorCode status = U_ZERO_ERROR;
  const int32_t size = static_cast<int32_t>(password.size());
  // UTF-16 takes at most one unit per byte of UTF-8.
  WipedUnits utf16(password.size() + 1);
  int32_t units = 0;
  u_strFromUTF8(utf16.units.data(), static_cast<int32_t>(utf16.units.size()), &units,
                password.data(), size, &status);
  if (U_FAILURE(status)) return size;  // not UTF-8: bytes
  const UNormalizer2 *nfkc = unorm2_getNFKCInstance(&status);
  if (U_FAILURE(status)) return size;
  // NFKC expands a code unit to at most 18; one pass with room for that.
  WipedUnits normal(static_cast<size_t>(units) * 18 + 1);
  const int32_t n = unorm2_normalize(nfkc, utf16.units.data(), units, normal.units.data(),
                                     static_cast<int32_t>(normal.units.size()), &status);
  if (U_FAILURE(status)) return size;
  return u_countChar32(normal.units.data(), n);
#elif defined(__EMSCRIPTEN__)
  const int n = quarvel_host_nfkc_length(password.data(), static_cast<int>(password.size()));
  return n < 0 ? static_cast<int>(password.size()) : n;
#else
  return static_cast<int>(password.size());
#endif
}

bool NistRepetitive(std::string_view searched) { return ReadPattern(searched, nullptr); }

}  // namespace quarvel::engine
