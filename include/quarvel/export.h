/* Export and linkage macros shared by every public Quarvel header. */
#ifndef QUARVEL_EXPORT_H_
#define QUARVEL_EXPORT_H_

/* Everything in the library is hidden by default; QUARVEL_EXPORT marks the
 * declarations that form the C interface. */
#if defined(QUARVEL_BUILDING)
#define QUARVEL_EXPORT __attribute__((visibility("default")))
#else
#define QUARVEL_EXPORT
#endif

/* Every exported function has C linkage and, seen from C++, never throws. */
#ifdef __cplusplus
#define QUARVEL_BEGIN_DECLS extern "C" {
#define QUARVEL_END_DECLS }
#define QUARVEL_NOEXCEPT noexcept
#else
#define QUARVEL_BEGIN_DECLS
#define QUARVEL_END_DECLS
#define QUARVEL_NOEXCEPT
#endif

#endif /* QUARVEL_EXPORT_H_ */
