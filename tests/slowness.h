// Tests in the test process under Valgrind (tests/memcheck.sh sets
// QUELVARO_UNDER_VALGRIND): everything takes some thirty times as long.
#ifndef QUELVARO_TESTS_SLOWNESS_H
#define QUELVARO_TESTS_SLOWNESS_H

#include <chrono>
#include <cstdlib>

inline bool UnderValgrind() {
  return std::getenv("QUELVARO_UNDER_VALGRIND") != nullptr;
}

// A bound of time, thirty times as long under Valgrind.
inline std::chrono::milliseconds Scaled(std::chrono::milliseconds time) {
  return UnderValgrind() ? 30 * time : time;
}

#endif  // QUELVARO_TESTS_SLOWNESS_H
