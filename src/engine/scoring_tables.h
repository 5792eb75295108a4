// The scoring tables: base score by length and classes, the score range of
// each level, and the four character classes.
#ifndef QUARVEL_SRC_ENGINE_SCORING_TABLES_H_
#define QUARVEL_SRC_ENGINE_SCORING_TABLES_H_

#include <iterator>
#include <string_view>

// clang-format off
#define QUARVEL_LEVEL_ROWS                                                  \
  {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1},     \
  {1, 1, 1, 1}, {1, 1, 1, 1},                               /* 0-6 */      \
  {1, 1, 3, 3},                                             /* 7 */        \
  {1, 2, 3, 3},                                             /* 8 */        \
  {2, 3, 3, 3}, {2, 3, 3, 3}, {2, 3, 3, 3}, {2, 3, 3, 3}, {2, 3, 3, 3},     \
                                                            /* 9-13 */     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4}, {4, 4, 4, 4},     \
  {4, 4, 4, 4}                                              /* 14-49 */
#define QUARVEL_RANGES {1, 1}, {2, 2}, {3, 3}, {4, 4}
#define QUARVEL_DIGITS "0123456789"
#define QUARVEL_LOWER "abcdefghijklmnopqrstuvwxyz"
#define QUARVEL_UPPER "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
#define QUARVEL_SYMBOLS "`~!@#$%^&*()-_=+\\|]}[{'\";:/?.>,<"
// clang-format on

namespace quarvel::engine {

inline constexpr int kLevel[50][4] = {QUARVEL_LEVEL_ROWS};
inline constexpr int kRange[4][2] = {QUARVEL_RANGES};
inline constexpr std::string_view kClasses[] = {QUARVEL_DIGITS, QUARVEL_LOWER, QUARVEL_UPPER,
                                                QUARVEL_SYMBOLS};
static_assert(kClasses[3].size() == 32);

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_ENGINE_SCORING_TABLES_H_
