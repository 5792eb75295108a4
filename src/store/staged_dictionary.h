// Building a dictionary beside the old one.
#ifndef QUARVEL_SRC_STORE_STAGED_DICTIONARY_H_
#define QUARVEL_SRC_STORE_STAGED_DICTIONARY_H_

#include <array>
#include <string>
#include <string_view>

#include "store/dict_writer.h"

namespace quarvel {

// A dictionary is built into files of its own, each beside the file it is to
// replace, and renamed over them only when every write succeeded: a failed
// or cancelled build (a full disk, say) leaves the previous dictionary as it
// was, and a verification never searches a half-written one.
//
// Where a dictionary file is a symbolic link, its staged file goes beside the
// link's target and is renamed over the target, so the link keeps working
// and names the new words. A staged file takes the mode of the file it
// replaces, and its owner and group when the process may set them; a file
// with nothing to replace is created as fopen would create it (mode 0666
// less the umask).
class StagedDictionary {
 public:
  // The files in the order of kExtensions.
  static constexpr std::array<const char *, 3> kExtensions = {".pwd", ".pwi", ".hwm"};

  explicit StagedDictionary(std::string_view prefix);
  // Removes whatever staged files remain.
  ~StagedDictionary() { Discard(); }
  StagedDictionary(const StagedDictionary &) = delete;
  StagedDictionary &operator=(const StagedDictionary &) = delete;

  // Creates the three staged files, open for reading and writing. False,
  // with nothing left behind, when one cannot be created (errno tells why).
  bool Create(UniqueFile &data, UniqueFile &index, UniqueFile &mark);

  // Moves the staged files over the dictionary's. A staged dictionary
  // without a mark file leaves none behind: an older one would bound
  // searches of the new words wrongly. False when a rename failed.
  bool Commit();

  // Removes whatever staged files remain.
  void Discard();

  // The file that extension i is renamed over, and its staged file.
  const std::string &target(size_t i) const { return targets_[i]; }
  const std::string &staged(size_t i) const { return staged_[i]; }

 private:
  std::array<std::string, 3> targets_;
  std::array<std::string, 3> staged_;
  std::array<bool, 3> created_ = {};
};

// The file that path names once every symbolic link on its last component is
// followed (relative links resolve against the link's folder); path itself
// when it is no link or cannot be read. A dangling link names its target.
std::string FollowLinks(const std::string &path);

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_STAGED_DICTIONARY_H_
