/* A growable list of untyped pointers.
 *
 * The list owns its record and its slot array, never the elements: a list of
 * heap records is emptied by its owner before glist_destroy. Elements stay in
 * insertion order and may be NULL. Growth is additive: when using n more
 * slots would leave no free slot, capacity grows by the larger of grow_by and
 * n. Capacity never shrinks. Not thread-safe.
 */
#ifndef QUARVEL_GLIST_H_
#define QUARVEL_GLIST_H_

#include <stdint.h>

#include "quarvel/export.h"

QUARVEL_BEGIN_DECLS

/* The list record. C callers may read its fields; only the glist_* functions
 * change them. */
typedef struct glist {
  void **elems;     /* capacity slots on the heap; NULL while capacity is 0 */
  int32_t length;   /* elements held, in slots 0 .. length - 1 */
  int32_t capacity; /* slots in elems */
  int32_t grow_by;  /* smallest number of slots added by one growth */
} glist;

/* A new empty list with room for capacity elements (0 is allowed). Returns
 * NULL when capacity or grow_by is negative or memory runs out. Release it
 * with glist_destroy. */
QUARVEL_EXPORT glist *glist_create(int32_t capacity, int32_t grow_by) QUARVEL_NOEXCEPT;

/* Releases the slot array and the record, not the elements. NULL is a no-op. */
QUARVEL_EXPORT void glist_destroy(glist *list) QUARVEL_NOEXCEPT;

/* Appends elem (which may be NULL) after glist_check_capacity(list, 1) and
 * returns its index. Returns -1, leaving the list unchanged, when list is NULL
 * or the list cannot grow. */
QUARVEL_EXPORT int32_t glist_put(glist *list, void *elem) QUARVEL_NOEXCEPT;

/* The element at index, or NULL when list is NULL, has no slot array, or
 * index is outside 0 .. length - 1. A stored NULL looks like a miss. */
QUARVEL_EXPORT void *glist_get(const glist *list, int32_t index) QUARVEL_NOEXCEPT;

/* Takes the element at index out of the list and returns it; later elements
 * move down one slot. Returns NULL and changes nothing under the conditions
 * of glist_get. The element is not released. */
QUARVEL_EXPORT void *glist_remove(glist *list, int32_t index) QUARVEL_NOEXCEPT;

/* length, or -1 for a NULL list. */
QUARVEL_EXPORT int32_t glist_size(const glist *list) QUARVEL_NOEXCEPT;

/* Makes room before n more slots are used: when length + n >= capacity,
 * capacity grows by the larger of grow_by and n. When the slot array cannot
 * be resized (memory, or a capacity beyond INT32_MAX) the list is left
 * unchanged and "realloc failure in glist_check_capacity()" is written to
 * standard error. A NULL list is a no-op. */
QUARVEL_EXPORT void glist_check_capacity(glist *list, int32_t n) QUARVEL_NOEXCEPT;

QUARVEL_END_DECLS

#endif /* QUARVEL_GLIST_H_ */
