/* Sectioned configuration: INI-style files of named sections.
 *
 * A gcfg is an ordered list of sections (gconfigsect), each owning a key-value
 * table (gtable.h). The configuration owns its sections. Names compare byte
 * for byte, case-sensitively; where two sections share a name, lookups find
 * the first. docs/config-format.md describes the file format.
 *
 * A NULL argument is never an error: each function answers the neutral value
 * stated below. Not thread-safe; the typed lookups trim stored values in
 * place.
 */
#ifndef QUARVEL_GCONFIG_H_
#define QUARVEL_GCONFIG_H_

#include <stdint.h>

#include "quarvel/export.h"
#include "quarvel/glist.h"
#include "quarvel/gtable.h"

QUARVEL_BEGIN_DECLS

/* Longest section name kept; longer names are cut to this many bytes. */
#define GCONFIG_SECTION_NAME_MAX 80

/* One section. */
typedef struct gconfigsect {
  char name[GCONFIG_SECTION_NAME_MAX + 1]; /* NUL-terminated */
  gtbl *table;                             /* owned by the section */
} gconfigsect;

/* The configuration: sections holds gconfigsect records in creation order. */
typedef struct gcfg {
  glist *sections;
} gcfg;

/* A new empty configuration whose section list starts with capacity slots
 * and grows by at least grow_by. NULL when memory runs out or a size is
 * negative. */
QUARVEL_EXPORT gcfg *gcfg_create(int32_t capacity, int32_t grow_by) QUARVEL_NOEXCEPT;

/* Destroys every section, then the list and the record. NULL is a no-op. */
QUARVEL_EXPORT void gcfg_destroy(gcfg *cfg) QUARVEL_NOEXCEPT;

/* Reads the INI file at path and adds its sections and entries to cfg. A
 * section line naming an existing section continues it; entries before the
 * first section line are dropped. Returns 0; or -1 when cfg or path is NULL
 * or the file cannot be opened (cfg is then unchanged), or when memory runs
 * out (what was read before that stays). Malformed lines are never errors. */
QUARVEL_EXPORT int gcfg_load(gcfg *cfg, const char *path) QUARVEL_NOEXCEPT;

/* Writes cfg to path (created, or emptied when it exists): a header block as
 * gtbl_store writes it (default text " gconfig store file"), then for each
 * section an empty line, "[name]" and its entries. Returns 0, or -1 when cfg
 * or path is NULL or the file cannot be opened. Write errors are not
 * detected. */
QUARVEL_EXPORT int gcfg_store(gcfg *cfg, const char *path, const char *header) QUARVEL_NOEXCEPT;

/* The first section named name, or NULL (also for a NULL argument). */
QUARVEL_EXPORT gconfigsect *gcfg_findsection(gcfg *cfg, const char *name) QUARVEL_NOEXCEPT;

/* The table of gcfg_findsection(cfg, name), or NULL. */
QUARVEL_EXPORT gtbl *gcfg_findtable(gcfg *cfg, const char *name) QUARVEL_NOEXCEPT;

/* Appends section without looking at its name; cfg takes ownership. Does
 * nothing when an argument is NULL. When the section list cannot grow, the
 * section is destroyed, so ownership passes in every case. */
QUARVEL_EXPORT void gcfg_putsection(gcfg *cfg, gconfigsect *section) QUARVEL_NOEXCEPT;

/* gtbl_get on the table of the section named section: the stored value
 * (owned by cfg, valid until its entry is removed or cfg destroyed) or def
 * when the key is absent. Returns def itself when no section has the name,
 * and NULL when cfg, section or key is NULL, whatever def is. */
QUARVEL_EXPORT const char *gcfg_get(gcfg *cfg, const char *section, const char *key,
                                    const char *def) QUARVEL_NOEXCEPT;

/* gtbl_getInt on the section's table; def when no section has the name; -1
 * when cfg, section or key is NULL, whatever def is. */
QUARVEL_EXPORT int32_t gcfg_getInt(gcfg *cfg, const char *section, const char *key,
                                   int32_t def) QUARVEL_NOEXCEPT;

/* gtbl_getBoolean on the section's table; def when no section has the name;
 * 0 when cfg, section or key is NULL, whatever def is. */
QUARVEL_EXPORT int32_t gcfg_getBoolean(gcfg *cfg, const char *section, const char *key,
                                       int32_t def) QUARVEL_NOEXCEPT;

/* A new section with an empty table (initial capacity 13, growth step 5),
 * named by the first GCONFIG_SECTION_NAME_MAX bytes of name. NULL when name
 * is NULL or memory runs out. */
QUARVEL_EXPORT gconfigsect *gconfigsect_create(const char *name) QUARVEL_NOEXCEPT;

/* Destroys the section's table with all its entries, then the record. NULL is
 * a no-op. */
QUARVEL_EXPORT void gconfigsect_destroy(gconfigsect *section) QUARVEL_NOEXCEPT;

QUARVEL_END_DECLS

#endif /* QUARVEL_GCONFIG_H_ */
