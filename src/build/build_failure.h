// How a build fails: its codes, as quarvel_build answers them, and a
// one-line reason that ends with the code.
#ifndef QUARVEL_SRC_BUILD_BUILD_FAILURE_H_
#define QUARVEL_SRC_BUILD_BUILD_FAILURE_H_

#include <cstring>
#include <exception>
#include <string>
#include <string_view>

namespace quarvel::engine {

// Failure codes, as quarvel_build answers them.
inline constexpr int kCannotOpen = 3001;
inline constexpr int kCannotRead = 3002;  // also: memory ran out
inline constexpr int kCannotWrite = 3004;
inline constexpr int kCancelled = 3005;

// Ends a build: its code and a one-line reason that ends with the code.
struct Failure {
  Failure(int c, std::string_view reason)
      : code(c), what(std::string(reason) + " (" + std::to_string(c) + ")") {}
  int code;
  std::string what;
};

// Runs a build, turning its failures into outcome's code and one-line
// error; memory running out is a failure to read (3002).
template <typename Outcome, typename Run>
void CatchFailures(Outcome &outcome, Run &&run) {
  try {
    run();
  } catch (Failure &failure) {
    outcome.code = failure.code;
    outcome.error = std::move(failure.what);
  } catch (const std::exception &e) {
    outcome.code = kCannotRead;
    outcome.error = Failure(kCannotRead, std::string("out of memory: ") + e.what()).what;
  }
}

inline Failure SystemFailure(int code, std::string_view what, const std::string &path, int error) {
  return Failure(code, std::string(what) + " " + path + ": " + std::strerror(error));
}

}  // namespace quarvel::engine

#endif  // QUARVEL_SRC_BUILD_BUILD_FAILURE_H_
