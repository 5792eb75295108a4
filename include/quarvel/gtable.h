/* Key-value table of the configuration store, and its flat file format.
 *
 * A gtbl keeps text entries in insertion order. Keys may repeat: putting a
 * key again appends a second entry, and every lookup finds the first entry
 * with the key, comparing bytes case-sensitively. The table owns its entries
 * and each entry owns heap copies of its key and value. docs/config-format.md
 * describes the file format that gtbl_load reads and gtbl_store writes.
 *
 * A NULL argument is never an error: each function answers the neutral value
 * stated below. Not thread-safe; even the typed lookups write (they trim the
 * stored value in place).
 */
#ifndef QUARVEL_GTABLE_H_
#define QUARVEL_GTABLE_H_

#include <stdint.h>

#include "quarvel/export.h"
#include "quarvel/glist.h"

QUARVEL_BEGIN_DECLS

/* One entry. Both texts are owned by the entry and never NULL. */
typedef struct gfield {
  char *key;
  char *value;
} gfield;

/* The table: list holds its gfield entries in insertion order. */
typedef struct gtbl {
  glist *list;
} gtbl;

/* Copies of a table's keys, in table order, duplicates included. */
typedef struct gnames {
  int32_t n_names; /* number of names */
  char **names;    /* n_names heap texts, or NULL while n_names is 0 */
} gnames;

/* A new empty table whose entry list starts with capacity slots and grows by
 * at least grow_by. NULL when memory runs out or a size is negative. */
QUARVEL_EXPORT gtbl *gtbl_create(int32_t capacity, int32_t grow_by) QUARVEL_NOEXCEPT;

/* Releases every entry, the list and the record. NULL is a no-op. */
QUARVEL_EXPORT void gtbl_destroy(gtbl *table) QUARVEL_NOEXCEPT;

/* Appends an entry holding copies of key and value; the caller keeps its
 * texts. Does nothing when an argument is NULL or memory runs out. */
QUARVEL_EXPORT void gtbl_put(gtbl *table, const char *key, const char *value) QUARVEL_NOEXCEPT;

/* The value of the first entry with key: the table's own storage, valid until
 * the entry is removed or the table destroyed; do not free it. Returns def
 * itself (which may be NULL) when no entry has the key or key is NULL, and
 * NULL when table is NULL, whatever def is. */
QUARVEL_EXPORT const char *gtbl_get(const gtbl *table, const char *key,
                                    const char *def) QUARVEL_NOEXCEPT;

/* The value of the first entry with key read as an integer: the stored value
 * is trimmed of blanks in place (a lasting change), then converted as atoi
 * does (leading white space, optional sign, decimal digits up to the first
 * other byte; 0 without digits), except that values beyond the int32 range
 * give INT32_MIN or INT32_MAX. Returns def when table or key is NULL or no
 * entry has the key. */
QUARVEL_EXPORT int32_t gtbl_getInt(gtbl *table, const char *key, int32_t def) QUARVEL_NOEXCEPT;

/* 1 when the value of the first entry with key, trimmed in place, is "true"
 * or "yes" in any ASCII case, else 0 ("1", "on" and "" included). Returns def
 * unchanged when table or key is NULL or no entry has the key. */
QUARVEL_EXPORT int32_t gtbl_getBoolean(gtbl *table, const char *key, int32_t def) QUARVEL_NOEXCEPT;

/* Removes and releases the first entry with key; later entries move down one
 * index. Does nothing when an argument is NULL or no entry has the key. */
QUARVEL_EXPORT void gtbl_remove(gtbl *table, const char *key) QUARVEL_NOEXCEPT;

/* Index of the first entry with key, or -1 (also for a NULL argument). */
QUARVEL_EXPORT int32_t gtbl_getIndexByKey(const gtbl *table, const char *key) QUARVEL_NOEXCEPT;

/* Number of entries, or -1 for a NULL table. */
QUARVEL_EXPORT int32_t gtbl_size(const gtbl *table) QUARVEL_NOEXCEPT;

/* A fresh names record (no names), or NULL when memory runs out. Release it
 * with gtbl_destroy_names. */
QUARVEL_EXPORT gnames *gtbl_create_names(void) QUARVEL_NOEXCEPT;

/* Fills names with copies of all keys of table, in table order, and returns
 * their number. Names the record already held are released first. Returns -1
 * and leaves the record untouched when an argument is NULL; returns -1 with
 * the record emptied when memory runs out. */
QUARVEL_EXPORT int32_t gtbl_getnames(const gtbl *table, gnames *names) QUARVEL_NOEXCEPT;

/* Releases every name, the array and the record. NULL is a no-op. */
QUARVEL_EXPORT void gtbl_destroy_names(gnames *names) QUARVEL_NOEXCEPT;

/* Reads the flat key-value file at path and appends its entries after those
 * the table holds; nothing is replaced. Returns 0; or -1 when table or path
 * is NULL or the file cannot be opened (the table is then unchanged), or when
 * memory runs out (the entries read before that stay in the table).
 * Malformed lines are skipped, never errors. */
QUARVEL_EXPORT int gtbl_load(gtbl *table, const char *path) QUARVEL_NOEXCEPT;

/* Writes every entry to path (created, or emptied when it exists) after a
 * header block: "#", "# " followed by header (or " gtable store file" and an
 * empty line when header is NULL), "#". Values of 1024 bytes or more are
 * split into lines joined by " \" (see docs/config-format.md); such values
 * are not read back whole by gtbl_load. Returns 0, or -1 when table or path
 * is NULL or the file cannot be opened. Write errors are not detected. */
QUARVEL_EXPORT int gtbl_store(const gtbl *table, const char *path,
                              const char *header) QUARVEL_NOEXCEPT;

/* A new entry holding copies of key and value; NULL when either is NULL or
 * memory runs out. Release it with gfield_destroy. */
QUARVEL_EXPORT gfield *gfield_create(const char *key, const char *value) QUARVEL_NOEXCEPT;

/* Releases the value, the key and the record. NULL is a no-op. */
QUARVEL_EXPORT void gfield_destroy(gfield *field) QUARVEL_NOEXCEPT;

QUARVEL_END_DECLS

#endif /* QUARVEL_GTABLE_H_ */
