#pragma once
// Waiting on a condition in tests: poll until it holds, with a generous limit so that a slow or
// loaded machine never fails a test that is right, while a real hang still ends.

#include <chrono>
#include <thread>

namespace tovira::test {

inline constexpr auto kPatience = std::chrono::seconds(60);

template <typename Pred>
bool Eventually(Pred pred, std::chrono::steady_clock::duration patience = kPatience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace tovira::test
