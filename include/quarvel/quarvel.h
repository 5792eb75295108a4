/* Quarvel: password-strength verification library.
 *
 * Conventions of the C interface
 * ------------------------------
 * - Headers: one per module, all included here. Each compiles as C99 and as
 *   C++; every function has C linkage and never lets a C++ exception out.
 * - Texts are NUL-terminated byte strings. Paths are relative to the process's
 *   current directory unless absolute.
 * - Results: top-level operations answer texts beginning "RET_CD=" and four
 *   digits ("RET_CD=0000" is success). Lower layers answer 0 for success and
 *   -1 for failure, or NULL for failure or rejection.
 * - Ownership: objects made by a *_create function are released by the
 *   matching *_destroy, which releases everything the object owns. Clone
 *   returns heap memory that the caller releases with free(). Every other
 *   returned pointer points into library-owned storage: do not free it.
 * - Lifetime: texts returned by the rule transformations (rules.h) and by
 *   GetPW live in a fixed area per function and stay valid until the next
 *   call of the same function; copy what you keep.
 * - NULL: a NULL argument is never a crash. In the configuration store it is
 *   never an error either: the operation does nothing or answers its neutral
 *   value (NULL, -1, 0 or the default), as each header states.
 * - Threads: the engine (engine.h) is reentrant: any number of threads may
 *   check with one environment at once, and each result is the caller's.
 *   VerifyPW and DictFindPW run in parallel too: they read the settings and
 *   dictionaries of the last environment load, and each returns an answer
 *   that stays valid until the same thread's next call. LoadConfigFile,
 *   CreateDict, DeleteDict, Dict2Data and the Java native methods other than
 *   verify run one at a time (one process-wide lock); a verification never
 *   sees half of a load, and a dictionary build never holds verification up.
 *   The settings variables may be read at any time; set them only while no
 *   verification runs. Every other function (dictionary files, rules,
 *   configuration store) is single-threaded: callers serialise, and must not
 *   run it alongside LoadConfigFile, CreateDict, DeleteDict or Dict2Data,
 *   which use the one PWOpen descriptor and the rule functions' areas.
 * - Diagnostics go to standard error; VerifyPW and DictFindPW trace their
 *   progress on standard output, one whole line per write. The engine writes
 *   to no standard stream: its trace goes to a callback (quarvel_set_trace).
 */
#ifndef QUARVEL_QUARVEL_H_
#define QUARVEL_QUARVEL_H_

#include "quarvel/export.h"

/* Configuration store. */
#include "quarvel/gconfig.h"
#include "quarvel/glist.h"
#include "quarvel/gstring.h"
#include "quarvel/gtable.h"

/* Word store. */
#include "quarvel/dictmanger.h"
#include "quarvel/rules.h"
#include "quarvel/stringutil.h"

/* Password verification. */
#include "quarvel/pwanalysis.h"
#include "quarvel/search.h"

/* The engine: reentrant verification for services. */
#include "quarvel/engine.h"

#endif /* QUARVEL_QUARVEL_H_ */
