// quarvel-console: an interactive menu that drives every library operation
// by hand. It works on the current directory: "./conf/quarvel.ini",
// "./dicts/default_dict", "./dicts/profile", "tmp.txt" and "./make.txt".
//
// One line of standard input answers each prompt. End of input inside the
// verification loop goes back to the menu, which is shown again; end of input
// at the menu, or at a prompt of options 5 and 6, ends the program with
// status 0, as option 7 does.

#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/secure_wipe.h"
#include "quarvel/gconfig.h"
#include "quarvel/pwanalysis.h"

namespace {

// Heavy box-drawing characters of KS X 1001, in EUC-KR (two bytes each).
#define QV_DOWN_RIGHT "\xA6\xAE"
#define QV_DOWN_LEFT "\xA6\xAF"
#define QV_UP_RIGHT "\xA6\xB1"
#define QV_UP_LEFT "\xA6\xB0"
#define QV_VERTICAL "\xA6\xAD"
#define QV_HORIZONTAL "\xA6\xAC"
#define QV_HORIZONTAL_5 QV_HORIZONTAL QV_HORIZONTAL QV_HORIZONTAL QV_HORIZONTAL QV_HORIZONTAL
#define QV_HORIZONTAL_20 QV_HORIZONTAL_5 QV_HORIZONTAL_5 QV_HORIZONTAL_5 QV_HORIZONTAL_5

// clang-format off
constexpr char kMenu[] =
    QV_DOWN_RIGHT QV_HORIZONTAL_20 QV_DOWN_LEFT "\n"
    QV_VERTICAL " Password Safety Verification Lib Test  " QV_VERTICAL "\n"
    QV_UP_RIGHT QV_HORIZONTAL_20 QV_UP_LEFT "\n"
    "   1. Env Load \n"
    "   2. Verify Password \n"
    "   3. Personal Dict Create \n"
    "   4. Personal Dict Delete \n"
    "   5. User Dict Create \n"
    "   6. Pull data out of dict  \n"
    "   7. Exit \n\n\n"
    "   Select Number => ";

// A line feed, 37 horizontal lines, a line feed.
constexpr char kSeparator[] =
    "\n" QV_HORIZONTAL_20 QV_HORIZONTAL_5 QV_HORIZONTAL_5 QV_HORIZONTAL_5 QV_HORIZONTAL QV_HORIZONTAL "\n";
// clang-format on

constexpr char kProfilePrefix[] = "./dicts/profile";
constexpr char kProfileWordList[] = "tmp.txt";

// Room for one menu choice: at most 9 characters per read; the rest of a
// longer line is left for the next read.
constexpr int kChoiceSize = 10;
// Word list paths, file names and passwords.
constexpr int kLineSize = 1024;
// Dictionary prefixes.
constexpr int kPrefixSize = 256;

// What a read met: a line, or the end of input (which ends the program).
enum class Input { kLine, kEnd };

// Shows what has been printed so far (the prompt in particular), then reads
// one line of at most size - 1 characters. A trailing line feed is removed;
// a last line that ends without one keeps every character.
Input ReadLine(char *buffer, int size) {
  std::fflush(stdout);
  if (std::fgets(buffer, size, stdin) == nullptr) return Input::kEnd;
  const std::size_t length = std::strlen(buffer);
  if (length > 0 && buffer[length - 1] == '\n') buffer[length - 1] = '\0';
  return Input::kLine;
}

void EnvLoad() {
  std::printf("\n Env Load ");
  std::printf("\n Env Load Result[%s] \n", LoadConfigFile());
}

// True when text is valid UTF-8 (ASCII included).
bool IsUtf8(const char *text) {
  const auto *p = reinterpret_cast<const unsigned char *>(text);
  while (*p != 0) {
    int more = *p < 0x80             ? 0
               : (*p & 0xE0) == 0xC0 ? 1
               : (*p & 0xF0) == 0xE0 ? 2
               : (*p & 0xF8) == 0xF0 ? 3
                                     : -1;
    if (more < 0 || (more == 1 && *p < 0xC2)) return false;
    ++p;
    for (; more > 0; --more, ++p) {
      if ((*p & 0xC0) != 0x80) return false;
    }
  }
  return true;
}

// Whether ./conf/quarvel.ini switches the extended search profile on: only
// then are Hangul passwords converted, so that the standard profile verifies
// every line as typed.
bool ExtendedProfileOn() {
  gcfg *config = gcfg_create(5, 3);
  if (config == nullptr) return false;
  bool on = false;
  if (gcfg_load(config, "./conf/quarvel.ini") == 0) {
    const char *value = gcfg_get(config, "QUARVEL_SEARCH", "quarvel_search.extended", "0");
    on = value != nullptr && std::atoi(value) != 0;
  }
  gcfg_destroy(config);
  return on;
}

// The console's terminal speaks EUC-KR, the library's dictionaries UTF-8:
// with the extended profile, a line that is not UTF-8 and converts whole
// from EUC-KR (a Hangul password typed there) is verified as UTF-8; any
// other line as it is. Answers the text to verify: line itself, or
// converted.
const char *ForSearch(const char *line, char (&converted)[kLineSize * 2]) {
  if (IsUtf8(line)) return line;
  const iconv_t cd = iconv_open("UTF-8", "EUC-KR");
  if (cd == reinterpret_cast<iconv_t>(-1)) return line;
  char *in = const_cast<char *>(line);
  size_t in_left = std::strlen(line);
  char *out = converted;
  size_t room = sizeof(converted) - 1;
  const size_t done = iconv(cd, &in, &in_left, &out, &room);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1) || in_left != 0) {
    quarvel::SecureWipe(converted, sizeof(converted));
    return line;
  }
  *out = '\0';
  return converted;
}

// Ends at an empty line or at the end of input; either way the menu comes
// next.
void VerifyLoop() {
  char password[kLineSize];
  char converted[kLineSize * 2];
  const bool convert = ExtendedProfileOn();
  for (;;) {
    std::printf("\n input password : ");
    if (ReadLine(password, sizeof password) == Input::kEnd) break;
    if (password[0] == '\0') break;
    const char *result = VerifyPW(convert ? ForSearch(password, converted) : password);
    std::printf("[input password=%s],[Search Result=%s]\n", password, result);
  }
  quarvel::SecureWipe(password, sizeof(password));
  quarvel::SecureWipe(converted, sizeof(converted));
}

void PersonalDictCreate() {
  std::printf("\n Personal Dict Create :Current Dir, tmp.txt ");
  std::printf("\n Personal Dict Create Result[%s] \n",
              CreateDict(kProfileWordList, kProfilePrefix));
}

void PersonalDictDelete() {
  std::printf("\n Personal Dict Delete : ");
  std::printf("\n Personal Dict Delete Result[%s] \n", DeleteDict(kProfilePrefix));
}

Input UserDictCreate() {
  char wordlist[kLineSize];
  char prefix[kPrefixSize];
  std::printf("\n User Dict Create");
  std::printf("\n Dictionary Name :");
  if (ReadLine(wordlist, sizeof wordlist) == Input::kEnd) return Input::kEnd;
  std::printf("\n Dictionary PREFIX Name(./dicts/it_dict) :");
  if (ReadLine(prefix, sizeof prefix) == Input::kEnd) return Input::kEnd;
  std::printf("\n Result[%s] \n", CreateDict(wordlist, prefix));
  return Input::kLine;
}

Input DictDump() {
  char outfile[kLineSize];
  char prefix[kPrefixSize];
  std::printf("\n Pull data out of dict");
  std::printf("\n Save File Name :");
  if (ReadLine(outfile, sizeof outfile) == Input::kEnd) return Input::kEnd;
  std::printf("\n Dictionary Prefix Name(./dicts/it_dict) :");
  if (ReadLine(prefix, sizeof prefix) == Input::kEnd) return Input::kEnd;
  if (Dict2Data(outfile, prefix) == 0) {
    std::printf("\n Save Succecc \n");
  } else {
    std::printf("\n Save Fail \n");
  }
  return Input::kLine;
}

}  // namespace

int main() {
  char choice[kChoiceSize];
  for (;;) {
    std::memset(choice, 0, sizeof choice);
    std::fputs(kMenu, stdout);
    if (ReadLine(choice, sizeof choice) == Input::kEnd) break;
    // Only the low 16 bits of the number select an option.
    const auto option = static_cast<std::int16_t>(std::atoi(choice));
    Input input = Input::kLine;
    switch (option) {
      case 1:
        EnvLoad();
        break;
      case 2:
        VerifyLoop();
        break;
      case 3:
        PersonalDictCreate();
        break;
      case 4:
        PersonalDictDelete();
        break;
      case 5:
        input = UserDictCreate();
        break;
      case 6:
        input = DictDump();
        break;
      case 7:
        return 0;
      default:
        std::fputs(kSeparator, stdout);
        break;
    }
    if (input == Input::kEnd) break;
  }
  return 0;
}
