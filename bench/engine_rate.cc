// The engine's single-thread rate, the yardstick of `quarvel check`.
//
//   quarvel-engine-rate ROOT PASSWORDS
//
// Reads the password file into memory (one per line, as quarvel check reads
// it), opens the environment at ROOT, and checks every line once with
// quarvel_check on one thread. Prints the passwords per second.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "quarvel/engine.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s ROOT PASSWORDS\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  std::vector<std::string> passwords;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    passwords.push_back(line);
  }
  char error[512] = "";
  quarvel_env *env = quarvel_open(argv[1], error, sizeof(error));
  if (env == nullptr) {
    std::fprintf(stderr, "%s\n", error);
    return 3;
  }
  quarvel_result result;
  QUARVEL_RESULT_INIT(&result);
  size_t graded = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const std::string &password : passwords) {
    if (quarvel_check(env, password.data(), password.size(), &result) == QUARVEL_OK) ++graded;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  quarvel_close(env);
  std::printf("passwords        %zu (%zu graded)\n", passwords.size(), graded);
  std::printf("seconds          %.3f\n", seconds);
  std::printf("passwords/s      %.0f\n", static_cast<double>(passwords.size()) / seconds);
  return 0;
}
