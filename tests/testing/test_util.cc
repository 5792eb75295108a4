#include "testing/test_util.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "quarvel/dictmanger.h"

namespace quarvel::testing {

namespace fs = std::filesystem;

namespace {
std::string TempRoot() {
  const char *env = std::getenv("TMPDIR");
  return env != nullptr && *env != '\0' ? env : "/tmp";
}
}  // namespace

TempDir::TempDir(bool chdir_into) {
  std::string templ = TempRoot() + "/quarvel-test-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed";
  }
  path_ = templ;
  if (chdir_into) {
    old_cwd_ = fs::current_path().string();
    fs::current_path(path_);
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!old_cwd_.empty()) fs::current_path(old_cwd_, ec);
  // Folders a test made unreadable or unwritable must still go.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::string TempDir::File(std::string_view name) const { return path_ + "/" + std::string(name); }

void WriteFile(const std::string &path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  ASSERT_TRUE(out.good()) << "cannot create " << path;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool FileExists(const std::string &path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

void MakeDictionary(const std::string &prefix, const std::set<std::string> &words) {
  PackedDict *pwp = PWOpen(prefix.c_str(), "wb");
  ASSERT_NE(pwp, nullptr) << prefix;
  for (const std::string &w : words) EXPECT_EQ(PutPW(pwp, w.c_str()), 0) << w;
  ASSERT_EQ(PWClose(pwp), 0) << prefix;
}

CaptureFd::CaptureFd(int fd) : fd_(fd) {
  std::string templ = TempRoot() + "/quarvel-capture-XXXXXX";
  int tmp = mkstemp(templ.data());
  if (tmp < 0) {
    ADD_FAILURE() << "mkstemp failed";
    done_ = true;
    return;
  }
  file_ = templ;
  std::fflush(nullptr);
  saved_ = dup(fd_);
  dup2(tmp, fd_);
  close(tmp);
}

std::string CaptureFd::Take() {
  if (done_) return {};
  done_ = true;
  std::fflush(nullptr);
  dup2(saved_, fd_);
  close(saved_);
  std::string text = ReadFile(file_);
  std::remove(file_.c_str());
  return text;
}

CaptureFd::~CaptureFd() { Take(); }

std::set<std::string> RandomWords(size_t n, unsigned seed, size_t max_length,
                                  std::string_view alphabet) {
  std::mt19937 rng(seed);
  std::set<std::string> words;
  while (words.size() < n) {
    std::string word(1 + rng() % max_length, ' ');
    for (char &c : word) c = alphabet[rng() % alphabet.size()];
    words.insert(word.substr(0, 31));
  }
  return words;
}

}  // namespace quarvel::testing
