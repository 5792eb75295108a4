// Counting the process's open file descriptors, for leak checks. Header-only,
// so that programs without GoogleTest (the soak) can use it too.
#ifndef QUARVEL_TESTS_TESTING_DESCRIPTORS_H_
#define QUARVEL_TESTS_TESTING_DESCRIPTORS_H_

#include <dirent.h>

namespace quarvel::testing {

// The number of open file descriptors, or -1 when it cannot be counted.
inline long OpenDescriptors() {
  DIR *dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  long count = 0;
  while (const dirent *entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count - 1;  // the descriptor of the listing itself
}

}  // namespace quarvel::testing

#endif  // QUARVEL_TESTS_TESTING_DESCRIPTORS_H_
