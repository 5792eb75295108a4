// Writes the seed corpora of the fuzz targets into CORPUS/<target>/:
//
//   quarvel_fuzz_seeds CORPUS CONFIG_FILE
//
// CONFIG_FILE is the shipped conf/quarvel.ini, the first configuration seed.
// Dictionaries are built with the library's own writer and builder in a
// temporary folder and encoded in the dictionary target's input layout (see
// dictionary_fuzzer.cc); a wide-layout copy is derived from a standard one.
// Rules come partly from the search's own rule table. The output is
// deterministic; the files are kept in the repository.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "filter_model.h"
#include "format/filter_layout.h"
#include "format/key_filter.h"
#include "quarvel/dictmanger.h"
#include "quarvel/pwanalysis.h"
#include "rank_dictionary.h"
#include "search/rule_table.h"
#include "store/dict_filter.h"

namespace fs = std::filesystem;

namespace {

fs::path g_corpus;

[[noreturn]] void Die(const std::string &what) {
  fprintf(stderr, "quarvel_fuzz_seeds: %s\n", what.c_str());
  exit(1);
}

std::string Read(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Die("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const fs::path &path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) Die("cannot write " + path.string());
}

void Seed(const char *target, const std::string &name, std::string_view bytes) {
  const fs::path folder = g_corpus / target;
  fs::create_directories(folder);
  Write(folder / name, bytes);
}

// --- Dictionaries -----------------------------------------------------------

struct Files {
  std::string index, data, marks;
};

Files ReadFiles(const std::string &prefix) {
  Files f{Read(prefix + ".pwi"), Read(prefix + ".pwd"), ""};
  if (fs::exists(prefix + ".hwm")) f.marks = Read(prefix + ".hwm");
  return f;
}

// A dictionary of words (already in byte order) through the writer.
Files Written(const std::vector<std::string> &words) {
  PackedDict *pwp = PWOpen("./seed", "wb");
  if (pwp == nullptr) Die("PWOpen for writing failed");
  for (const std::string &word : words) PutPW(pwp, word.c_str());
  if (PWClose(pwp) != 0) Die("PWClose failed");
  return ReadFiles("./seed");
}

// A dictionary built from a word list, as CreateDict builds it.
Files Built(std::string_view list) {
  Write("list.txt", list);
  if (std::string_view(CreateDict("list.txt", "./built")) != "RET_CD=0000") Die("CreateDict");
  return ReadFiles("./built");
}

uint32_t Get32(const std::string &bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

void Put(std::string &out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// The same dictionary with the wide index and mark layout.
Files Widened(const Files &standard) {
  Files wide;
  Put(wide.index, Get32(standard.index, 0), 8);
  Put(wide.index, Get32(standard.index, 4), 8);
  wide.index.append(standard.index, 8, 4);  // block length and pad
  for (size_t at = 12; at + 4 <= standard.index.size(); at += 4) {
    Put(wide.index, Get32(standard.index, at), 8);
  }
  wide.data = standard.data;
  for (size_t at = 0; at + 4 <= standard.marks.size(); at += 4) {
    Put(wide.marks, Get32(standard.marks, at), 8);
  }
  return wide;
}

// flags, three 16-bit lengths, the three files, the words to search.
std::string Encode(uint8_t flags, const Files &f, const std::vector<std::string> &search) {
  std::string out(1, static_cast<char>(flags));
  for (const std::string *file : {&f.index, &f.data, &f.marks}) {
    if (file->size() > 0xffff) Die("file too large for a seed");
    Put(out, file->size(), 2);
  }
  out += f.index + f.data + f.marks;
  for (size_t i = 0; i < search.size(); ++i) out += (i > 0 ? "\n" : "") + search[i];
  return out;
}

void DictionarySeeds() {
  const std::vector<std::string> probe = {"abc", "abd", "b", "ab", "abe", "", "zzz", "a"};
  const Files three = Written({"abc", "abd", "b"});
  Seed("dictionary", "three-words", Encode(0, three, probe));
  Seed("dictionary", "three-words-cached", Encode(1, three, probe));
  Seed("dictionary", "three-words-no-marks", Encode(2, three, probe));
  Seed("dictionary", "three-words-wide", Encode(1, Widened(three), probe));

  std::vector<std::string> words;
  for (char c = 'a'; c <= 'q'; ++c) words.push_back(std::string("word") + c);
  const std::vector<std::string> fifteen(words.begin(), words.begin() + 15);
  const std::vector<std::string> sixteen(words.begin(), words.begin() + 16);
  Seed("dictionary", "fifteen-words", Encode(1, Written(fifteen), {"worda", "wordo", "wordp"}));
  Seed("dictionary", "sixteen-words", Encode(1, Written(sixteen), {"worda", "wordp", "wordq"}));
  Seed("dictionary", "seventeen-words", Encode(0, Written(words), {"wordq", "word", "wordz"}));
  Seed("dictionary", "seventeen-words-wide", Encode(3, Widened(Written(words)), {"wordq"}));

  // Sixteen 31-byte words that share nothing: a block longer than 512 bytes.
  std::vector<std::string> long_words;
  for (char c = 'a'; c < 'a' + 16; ++c) long_words.push_back(std::string(31, c));
  Seed("dictionary", "longest-block",
       Encode(1, Written(long_words), {long_words[15], std::string(40, 'p'), "ppp"}));
  // A 40-byte word is stored as its first 31 bytes.
  Seed("dictionary", "cut-word",
       Encode(0, Written({std::string(40, 'k'), "m"}),
              {std::string(31, 'k'), std::string(40, 'k')}));
  // First bytes above 0x7f.
  Seed("dictionary", "high-bytes",
       Encode(1, Written({"abc", "caf\xc3\xa9", "\x80low", "\xc3\xa9t\xc3\xa9", "\xff"}),
              {"\xff", "\x80low", "\xc3\xa9t\xc3\xa9", "\xfe"}));

  // Built from word lists, as the library builds every dictionary it uses.
  const Files english = Built(
      "apple\nBanana\ncherry\ndate\nelder\nfig\ngrape\nhoney\nice\njam\nkiwi\nlemon\nmango\n"
      "nut\nolive\npear\nquince\nraisin\nsugar\ntea\nplum\npeach\nlime\nmelon\nberry\n"
      "apple\nfig\n2020\n007\nsecret99\n");
  Seed("dictionary", "built", Encode(0, english, {"apple", "lime", "zebra", "007", "fig"}));
  Seed("dictionary", "built-cached", Encode(1, english, {"plum", "berry", "appl", "applex"}));
  Seed("dictionary", "built-one-word", Encode(1, Built("Password\n"), {"password", "Password"}));
  std::string hundred;
  for (int i = 0; i < 100; ++i) hundred += "w" + std::to_string(i * 7919 % 1000) + "\n";
  Seed("dictionary", "built-hundred", Encode(1, Built(hundred), {"w0", "w999", "w5"}));

  // Damaged files.
  Files damaged = three;
  damaged.index = three.index.substr(0, 10);
  Seed("dictionary", "short-header", Encode(1, damaged, probe));
  damaged = three;
  damaged.index[0] = 'X';
  Seed("dictionary", "bad-magic", Encode(0, damaged, probe));
  damaged = three;
  damaged.index.replace(4, 4, std::string(4, '\0'));
  Seed("dictionary", "zero-count", Encode(0, damaged, probe));
  damaged = three;
  damaged.index[8] = 8;
  Seed("dictionary", "block-length", Encode(0, damaged, probe));
  damaged = three;
  damaged.index.replace(4, 4, "\xff\xff\xff\xff");
  Seed("dictionary", "huge-count", Encode(1, damaged, probe));
  damaged = three;
  damaged.data = three.data.substr(0, 5);
  Seed("dictionary", "short-data", Encode(1, damaged, probe));
  damaged = three;
  damaged.data[4] = 30;  // shares more than the previous word has
  Seed("dictionary", "bad-shared-count", Encode(1, damaged, probe));
  damaged = three;
  damaged.marks.replace(0x61 * 4, 4, std::string("\x02\0\0\0", 4));
  damaged.marks.replace(0x62 * 4, 4, std::string(4, '\0'));
  Seed("dictionary", "falling-marks", Encode(1, damaged, probe));
  damaged = three;
  damaged.marks.replace(0x62 * 4, 4, std::string("\x01\0\0\0", 4));
  Seed("dictionary", "wrong-marks", Encode(1, damaged, probe));
  damaged = three;
  damaged.index.append(std::string("\x00\x10\x00\x00", 4));  // a block past the data
  Seed("dictionary", "block-past-data", Encode(1, damaged, probe));
  Seed("dictionary", "empty", "");
  Seed("dictionary", "no-words", Encode(0, Written({}), {"a"}));
}

// --- Filter files and mapped dictionaries ------------------------------------------

// The key filter image of the filter file that the engine writes for the
// dictionary at prefix (the file without its 56-byte header).
std::string FilterImage(const std::string &prefix) {
  std::remove((prefix + ".pwf").c_str());
  if (!quarvel::WriteDictionaryFilter(prefix)) Die("cannot build the filter of " + prefix);
  return Read(prefix + ".pwf").substr(quarvel::kFilterHeaderBytes);
}

void FilterSeeds() {
  std::string list;
  for (const std::string &w : quarvel::fuzz::FixtureWords()) list += w + "\n";
  Write("fixture.txt", list);
  if (std::string_view(CreateDict("fixture.txt", "./fixture")) != "RET_CD=0000") Die("fixture");
  const std::string image = FilterImage("./fixture");
  const std::string file = Read("./fixture.pwf");
  Seed("filter", "stamped", "\x01" + image);
  Seed("filter", "stamped-in-order", "\x05" + image);
  // The same keys in eight shards.
  std::vector<uint64_t> keys;
  for (const std::string &w : quarvel::fuzz::FixtureWords()) keys.push_back(quarvel::WordKey(w));
  const std::unique_ptr<quarvel::KeyFilter> sharded = quarvel::KeyFilter::Build(
      keys.size(),
      [&keys](const std::function<void(uint64_t)> &emit) {
        for (uint64_t k : keys) emit(k);
        return true;
      },
      UINT64_MAX, 40);
  if (sharded == nullptr) Die("sharded filter");
  const std::span<const unsigned char> bytes = sharded->bytes();
  const std::string sharded_image(bytes.begin(), bytes.end());
  Seed("filter", "stamped-sharded", "\x05" + sharded_image);
  // Damaged: a segment length that is no power of two, with the checksum it
  // then calls for; a shard inside its table; cut short; stale.
  std::string damaged = image;
  quarvel::fuzz::PutLittle(damaged, 48, 3, 4);
  Seed("filter", "bad-segment-length", "\x03" + damaged);
  damaged = image;
  quarvel::fuzz::PutLittle(damaged, 56, 40, 8);
  Seed("filter", "shard-in-table", "\x03" + damaged);
  Seed("filter", "short", "\x01" + image.substr(0, 50));
  Seed("filter", "stale-file", std::string(1, '\0') + file);
  Seed("filter", "empty", "");
}

// flags, four 16-bit lengths, the files, the passwords.
std::string EncodeMapped(uint8_t flags, const Files &f, const std::string &filter,
                         const std::vector<std::string> &passwords) {
  std::string out(1, static_cast<char>(flags));
  for (const std::string *file : {&f.index, &f.data, &f.marks, &filter}) {
    if (file->size() > 0xffff) Die("file too large for a seed");
    Put(out, file->size(), 2);
  }
  out += f.index + f.data + f.marks + filter;
  for (size_t i = 0; i < passwords.size(); ++i) out += (i > 0 ? "\n" : "") + passwords[i];
  return out;
}

void MappedSeeds() {
  const Files three = Written({"abc", "abd", "b"});
  const std::string three_filter = FilterImage("./seed");
  const std::vector<std::string> probe = {"abc", "Abd", "cba", "b1", "zzz"};
  Seed("mapped", "three-own-filter", EncodeMapped(0x10, three, "", probe));
  Seed("mapped", "three-stamped", EncodeMapped(0x0a, three, three_filter, probe));
  Seed("mapped", "three-no-marks-stale", EncodeMapped(0x01, three, three_filter, probe));
  Seed("mapped", "three-wide", EncodeMapped(0x50, Widened(three), "", probe));

  const Files english = Built(
      "apple\nBanana\ncherry\ndate\nelder\nfig\ngrape\nhoney\nice\njam\nkiwi\nlemon\nmango\n"
      "nut\nolive\npear\nquince\nraisin\nsugar\ntea\nplum\npeach\nlime\nmelon\nberry\n"
      "2020\n007\nsecret99\ndragon\nmonkey\n");
  const std::string english_filter = FilterImage("./built");
  const std::vector<std::string> passwords = {"Apple1",   "nogard",   "Dr4g0n!", "melon2020",
                                              "secret99", "kiwikiwi", "zebra",   ""};
  Seed("mapped", "built-stamped", EncodeMapped(0x0a, english, english_filter, passwords));
  Seed("mapped", "built-extended", EncodeMapped(0x6a, english, english_filter, passwords));
  Seed("mapped", "built-own-filter", EncodeMapped(0x70, english, "", passwords));
  // Out of order, with a filter that claims otherwise.
  const Files unsorted = Written({"pear", "apple", "fig", "date"});
  Seed("mapped", "unsorted-claimed-in-order",
       EncodeMapped(0x0e, unsorted, english_filter, {"apple", "pear", "Fig1"}));
  Files damaged = english;
  damaged.data = english.data.substr(0, english.data.size() / 2);
  Seed("mapped", "short-data", EncodeMapped(0x10, damaged, "", passwords));
  Seed("mapped", "empty", "");
}

// --- The PAM module's options and the command's JSON lines -------------------------

// Words as the PAM target reads them: separated by NUL bytes.
std::string Words(std::initializer_list<std::string_view> words) {
  std::string out;
  for (std::string_view w : words) out.append(w).push_back('\0');
  if (!out.empty()) out.pop_back();
  return out;
}

void PamOptionSeeds() {
  Seed("pam_options", "all",
       Words({"root=/etc/quarvel", "minlevel=4", "retry=3", "enforce_for_root", "use_authtok",
              "debug", "authtok_type=UNIX"}));
  Seed("pam_options", "overridden", Words({"minlevel=2", "minlevel=04", "retry=10", "retry=1"}));
  Seed("pam_options", "relative-root", "root=etc/quarvel");
  Seed("pam_options", "empty-root", "root=");
  Seed("pam_options", "level-range", Words({"minlevel=0", "minlevel=5"}));
  Seed("pam_options", "retry-range", "retry=11");
  Seed("pam_options", "signed", "retry=-1");
  Seed("pam_options", "plus", "minlevel=+3");
  Seed("pam_options", "unknown", Words({"debug", "verbose"}));
  Seed("pam_options", "no-value", "minlevel");
  Seed("pam_options", "empty-word", Words({"", "debug"}));
  Seed("pam_options", "big-number", "retry=99999999999999999999");
  Seed("pam_options", "none", "");
}

void CliJsonSeeds() {
  // byte 0: lines per chunk less one, --show-password (8), input buffer;
  // byte 1: bytes kept (0: 258).
  auto seed = [](const char *name, uint8_t flags, uint8_t kept, std::string_view input) {
    Seed("cli_json", name,
         std::string{static_cast<char>(flags), static_cast<char>(kept)} + std::string(input));
  };
  seed("words", 0x0f, 0, "password\nDragon12!\nSummer2024\nTr0ub4dor&3\n");
  seed("crlf", 0x08, 0, "abc\r\nqwerty123\r\n\r\nlast\r");
  seed("longest-crlf", 0xf9, 0,
       std::string(257, 'y') + "\r\n" + std::string(258, 'z') + "\r\n" + std::string(300, 'x') +
           "\r\n");
  seed("not-utf8", 0x0b, 0, "\xff\xfepass\n\xe0\x80x\n\xf0\x9f\x98\ncaf\xc3\xa9\n\xed\xa0\x80z\n");
  seed("nul-bytes", 0x08, 0, Words({"abc", "def\n", "hidden\nplain"}));
  seed("no-final-feed", 0x20, 0, "one\ntwo\nthree");
  seed("blank-lines", 0x01, 0, "\n\n\n");
  seed("small-kept", 0x18, 5, "abcdefgh\nabc\r\nabcd\r\nab\n");
  seed("hidden", 0x00, 0, "password\nsunshine1\n");
  seed("empty", 0x08, 0, "");
}

// --- Word lists ---------------------------------------------------------------

void WordListSeeds() {
  Seed("wordlist", "mixed-case", "Apple\nbanana\nAPPLE\n");
  Seed("wordlist", "crlf", "alpha\r\nbeta\r\ngamma\r\n");
  Seed("wordlist", "cr-only", "one\rtwo\rthree\r");
  Seed("wordlist", "no-final-line-end", "abc\ndef");
  Seed("wordlist", "punctuation", "Pass word-123!\n...\n--\n  \n");
  Seed("wordlist", "lengths",
       std::string(40, 'x') + "\n" + std::string(31, 'y') + "\n" + std::string(32, 'z') + "\n");
  Seed("wordlist", "non-ascii", "caf\xc3\xa9\n\xc3\xa9\xc3\xa8\n\xff\xfe\nna\xc3\xafve\n");
  Seed("wordlist", "nul-bytes", std::string("ab\0cd\n\0\nef\0", 11));
  Seed("wordlist", "blank-lines", "\n\n\nword\n\n\n");
  Seed("wordlist", "empty", "");
  Seed("wordlist", "digits", "2024\n007\n12345678901234567890123456789012345\n0\n");
  Seed("wordlist", "duplicates", "same\nsame\nSAME\nsame\n");
  Seed("wordlist", "tabs-and-spaces", "\tlead\ntrail \n in ner \n");
  std::string many;
  for (int i = 0; i < 300; ++i)
    many += "Word" + std::to_string(i * 37 % 300) + (i % 3 ? "\n" : "\r\n");
  Seed("wordlist", "three-hundred", many);
  Seed("wordlist", "one-long-line", std::string(3000, 'q'));
  Seed("wordlist", "prefixes", "a\nab\nabc\nabcd\nb\nba\n");
  Seed("wordlist", "personal", "Fluffy\nJohn Smith\n1985-04-12\n");
}

// --- Rules --------------------------------------------------------------------

void RuleSeeds() {
  const std::vector<std::string> words = {"hello", "p@$$w0rd", "church", "fly",  "day",
                                          "box",   "bus",      "hELLO",  "1abc", "a"};
  const auto &table = quarvel::search::kRuleTable;
  int n = 0;
  for (size_t i : {0, 1, 3, 5, 7, 8, 9, 10, 150, 360}) {
    const std::string word = words[static_cast<size_t>(n++) % words.size()];
    Seed("rules", "table-" + std::to_string(i), word + "\n" + table[i]);
  }
  Seed("rules", "table-leet", std::string("tru$tn01\n") + "/$s$s/0s0o/1s1i");
  Seed("rules", "table-leet-4", std::string("h4x0r\n") + "/0s0o/4s4a");

  // Every command and every class, a few to a rule where none rejects.
  const char *commands[] = {
      "rulc",       "pfd",        "[]",    ">3<9",  ">z",         "<#",           "^x$1",
      "x13o0Xi3!",  "x9z",        "i9!",   "@l",    "@?v",        "sabs?dX",      "/l/?d",
      "!z!?u",      "=0h=1?v",    "(h(?l", ")o)?d", "@?a",        "@?c@?p@?s@?w", "@?x@?A@??",
      "s?C*/?P!?S", "=2?W(?X)?U", "[[$x",  "rx02u", "dddddddddd", "ffffffffff",
  };
  for (size_t i = 0; i < std::size(commands); ++i) {
    Seed("rules", "command-" + std::to_string(i), words[i % words.size()] + "\n" + commands[i]);
  }
  // Malformed rules: missing and weird arguments, unknown commands and classes.
  const char *malformed[] = {"/", "s?", "x1", "o#a", "x#1", " ", "z", "=1?", "@?", "?q", "@?z"};
  for (size_t i = 0; i < std::size(malformed); ++i) {
    Seed("rules", "malformed-" + std::to_string(i), std::string("word\n") + malformed[i]);
  }
  // Words at and beyond the 1023-byte area.
  Seed("rules", "long-word-d", std::string(1023, 'w') + "\nd");
  Seed("rules", "long-word-p", std::string(1022, 's') + "\np");
  Seed("rules", "long-word-insert", std::string(1500, 'y') + "\ni0a^b$c");
  Seed("rules", "nul-separated", std::string("abc\0r", 5));
  Seed("rules", "empty-word", "\n$a");
  Seed("rules", "no-rule", "justaword");
}

// --- Passwords ----------------------------------------------------------------

void PasswordSeeds() {
  const std::vector<std::string> passwords = {"password",
                                              "P@ssw0rd!",
                                              "abcdefgh",
                                              "qwerty123",
                                              "drowssap",
                                              "password42",
                                              "42password",
                                              "07dragon",
                                              "alice",
                                              "ecila",
                                              "fluffy",
                                              "Fluffy  \t",
                                              "johnsmith99",
                                              "tru$tno1",
                                              "l3tm31n",
                                              "$ecret",
                                              "dragon!!!",
                                              "aaaaaaa",
                                              "abababababab",
                                              "1234567890",
                                              "zyxwvuts",
                                              "abcdabcdab",
                                              "p\xc3\xa4ssw\xc3\xb6rd",
                                              "Tr0ub4dor&3",
                                              "correct horse battery",
                                              std::string(14, ' '),
                                              "\x01\x02\x03",
                                              "x",
                                              std::string(49, 'a'),
                                              std::string(60, 'b'),
                                              std::string(256, 'c'),
                                              std::string(257, 'd'),
                                              std::string(258, 'e'),
                                              std::string("sunshine\0ignored", 16),
                                              ""};
  for (size_t i = 0; i < passwords.size(); ++i) {
    Seed("password", "password-" + std::to_string(i), passwords[i]);
  }
}

// --- Rank files -------------------------------------------------------------------

void PutRank32(std::string &bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// The rank file of the target's fixed dictionary, beside it (byte 0 = 1), and
// images viewed with their own stamp (byte 0 = 0, word count, stamp flags).
void RankSeeds() {
  if (!quarvel::fuzz::BuildRankFuzzDictionary("./ranked", "./ranked.txt")) {
    Die("the ranked dictionary cannot be built");
  }
  const std::string ranks = Read("./ranked.pwr");
  const uint32_t words = static_cast<uint32_t>((ranks.size() - 64) / 4);
  auto beside = [](const std::string &name, const std::string &image) {
    Seed("rank", "beside-" + name, "\x01" + image);
  };
  beside("valid", ranks);
  beside("empty", "");
  beside("truncated", ranks.substr(0, ranks.size() - 3));
  std::string changed = ranks;
  changed[8] = static_cast<char>(changed[8] + 1);  // the data file's size
  beside("stale", changed);
  changed = ranks;
  PutRank32(changed, 64, 0);
  beside("rank-zero", changed);

  auto image = [](const std::string &name, uint32_t count, uint8_t flags,
                  const std::string &bytes) {
    std::string seed = "\x00";
    seed.resize(5);
    PutRank32(seed, 1, count);
    seed += static_cast<char>(flags);
    Seed("rank", "image-" + name, seed + bytes);
  };
  image("valid", words, 1, ranks);
  image("copy", words, 1 | 2 | 4, ranks);
  image("changed", words, 1 | 2, ranks);
  image("unreadable", words, 1 | 2 | 8, ranks);
  image("other-count", words + 1, 1, ranks);
  image("other-stamp", words, 0, ranks);
  image("short", words, 1, ranks.substr(0, 30));
  changed = ranks;
  PutRank32(changed, 56, 0xFFFFFFFF);
  image("huge-count", 0xFFFFFFFF, 1, changed);
  changed = ranks;
  PutRank32(changed, 4, 2);
  image("version", words, 1, changed);
}

// --- Configuration files --------------------------------------------------------

void ConfigSeeds(const fs::path &shipped) {
  Seed("config", "quarvel.ini", Read(shipped));
  Seed("config", "flat", "# flat file\nname=value\nk = v\nempty=\n=novalue\nk=second\n");
  Seed("config", "continuations",
       "[S]\nk=abc \\\n   def\nm=abc\\\n   def\nn=abc\\\n\nq=abc\\\n# note\n   def\n"
       "r=abc\\\nunindented=1\n");
  Seed("config", "sections",
       "before=dropped\n[ Name ]\na=1\n[s] # note\nb=2\n[]\nc=3\n[S]\n[s]\nd=4\n"
       "[a=b]\ne=5\n  [indented]\n");
  Seed("config", "long-section-name",
       "[" + std::string(85, 'n') + "]\nk=v\n[" + std::string(78, 'm') + "]\nk=w\n");
  Seed("config", "typed-values",
       "[T]\nint=  42  \nneg=-7\nword=abc\nmixed=12abc\nbig=99999999999\nsmall=-99999999999\n"
       "yes= Yes \ntrue=TRUE\none=1\ny=y\nnone=\n");
  Seed("config", "crlf", "[W]\r\nkey=value\r\nother = spaced \r\n");
  Seed("config", "nul-byte", std::string("[N]\nk=v\0hidden\nm=1\n\0x=2\n", 24));
  Seed("config", "long-value", "[L]\nk=" + std::string(3000, 'v') + "\nnext=1\n");
  Seed("config", "long-line",
       std::string(1500, 'x') + "=y\n[L]\nk" + std::string(1100, '=') + "\n");
  Seed("config", "duplicates", "[D]\nk=1\n[D]\nk=2\n[E]\nk=3\n");
  Seed("config", "backslash-end", "[B]\nk=\\\\\n\nm=a \\\n\n");
  Seed("config", "empty", "");
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) Die("usage: quarvel_fuzz_seeds CORPUS_FOLDER CONFIG_FILE");
  g_corpus = fs::absolute(argv[1]);
  const fs::path shipped = fs::absolute(argv[2]);
  char pattern[] = "/tmp/quarvel-seeds-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Die("mkdtemp");
  fs::current_path(pattern);

  DictionarySeeds();
  WordListSeeds();
  RuleSeeds();
  PasswordSeeds();
  ConfigSeeds(shipped);
  RankSeeds();
  FilterSeeds();
  MappedSeeds();
  PamOptionSeeds();
  CliJsonSeeds();

  fs::current_path("/");
  fs::remove_all(pattern);
  return 0;
}
