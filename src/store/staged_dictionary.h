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
//
// A build that owns the rank file (PREFIX.pwr) stages it with the others when
// it writes one, and otherwise removes the old one once the new files are in
// place; other builds (CreateDict) leave it alone, and the stamp it carries
// makes readers ignore it beside the new files.
class StagedDictionary {
 public:
  // The files in the order of kExtensions: data, index, marks, ranks.
  static constexpr std::array<const char *, 4> kExtensions = {".pwd", ".pwi", ".hwm", ".pwr"};
  static constexpr size_t kRanks = 3;

  explicit StagedDictionary(std::string_view prefix, bool owns_rank_file = false);
  // Removes whatever staged files remain.
  ~StagedDictionary() { Discard(); }
  StagedDictionary(const StagedDictionary &) = delete;
  StagedDictionary &operator=(const StagedDictionary &) = delete;

  // Creates the three staged files, open for reading and writing, and with
  // ranks (for a build that owns the rank file) a staged rank file too.
  // False, with nothing left behind, when one cannot be created (errno
  // tells why).
  bool Create(UniqueFile &data, UniqueFile &index, UniqueFile &mark, UniqueFile *ranks = nullptr);

  // Moves the staged files over the dictionary's, the rank file last. A
  // staged dictionary without a mark file leaves none behind: an older one
  // would bound searches of the new words wrongly. One that owns the rank
  // file and staged none removes the old one. False when a rename failed.
  bool Commit();

  // Removes whatever staged files remain.
  void Discard();

  // The file that extension i is renamed over, and its staged file.
  const std::string &target(size_t i) const { return targets_[i]; }
  const std::string &staged(size_t i) const { return staged_[i]; }

 private:
  std::array<std::string, 4> targets_;
  std::array<std::string, 4> staged_;
  std::array<bool, 4> created_ = {};
  bool owns_rank_file_;
};

// The file that path names once every symbolic link on its last component is
// followed (relative links resolve against the link's folder); path itself
// when it is no link or cannot be read. A dangling link names its target.
std::string FollowLinks(const std::string &path);

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_STAGED_DICTIONARY_H_
