// Helpers shared by the unit tests.
#ifndef QUARVEL_TESTS_TESTING_TEST_UTIL_H_
#define QUARVEL_TESTS_TESTING_TEST_UTIL_H_

#include <set>
#include <string>
#include <string_view>

namespace quarvel::testing {

// A fresh folder under $TMPDIR (or /tmp), removed with its content on
// destruction. With chdir, the process works inside it until destruction.
class TempDir {
 public:
  explicit TempDir(bool chdir_into = false);
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  // path() + "/" + name
  std::string File(std::string_view name) const;

 private:
  std::string path_;
  std::string old_cwd_;
};

// Writes bytes to path (created or truncated); fails the test on error.
void WriteFile(const std::string &path, std::string_view bytes);
// The whole content of path; fails the test when it cannot be read.
std::string ReadFile(const std::string &path);
bool FileExists(const std::string &path);

// Writes a packed dictionary of words (any order; stored sorted, each once)
// at prefix through the library's writer; fails the test on error.
void MakeDictionary(const std::string &prefix, const std::set<std::string> &words);

// n distinct random words of 1 to max_length characters of alphabet, cut to
// 31 (the longest stored word), from a fixed seed.
std::set<std::string> RandomWords(size_t n, unsigned seed, size_t max_length,
                                  std::string_view alphabet);

// Captures what the process writes to a standard stream (file descriptor 1
// or 2, C stdio and iostreams alike) between construction and Take().
class CaptureFd {
 public:
  explicit CaptureFd(int fd);
  ~CaptureFd();
  CaptureFd(const CaptureFd &) = delete;
  CaptureFd &operator=(const CaptureFd &) = delete;
  // Stops capturing and returns what was written.
  std::string Take();

 private:
  int fd_;
  int saved_ = -1;
  std::string file_;
  bool done_ = false;
};

}  // namespace quarvel::testing

#endif  // QUARVEL_TESTS_TESTING_TEST_UTIL_H_
