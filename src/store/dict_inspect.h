// Inspecting a dictionary on disk: its header, layout, file sizes, marks, and
// an integrity check of every block (quarvel_dict_info_get, `quarvel info`).
// Needs no process-wide state: any number of threads may inspect at once.
#ifndef QUARVEL_SRC_STORE_DICT_INSPECT_H_
#define QUARVEL_SRC_STORE_DICT_INSPECT_H_

#include <string>

#include "quarvel/engine.h"

namespace quarvel {

// Inspects the dictionary at prefix (not null, not empty) into info, which
// the caller has zeroed but for its size. Answers 0 (info->intact and
// info->problem say whether it is sound), or 1001 with *error set when its
// index or data file cannot be read or is not a dictionary. Throws
// std::bad_alloc when memory runs out.
int InspectDictionary(const char *prefix, quarvel_dict_info *info, std::string *error);

}  // namespace quarvel

#endif  // QUARVEL_SRC_STORE_DICT_INSPECT_H_
