#pragma once

#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace lintavel {

// Runs `work(part)` for every part in [0, parts), each on a thread of its own and
// the first on the calling thread, or on the calling thread when no thread can be
// started; throws the first part's failure once all have ended.
template <typename Work>
void ForEachPart(std::size_t parts, const Work& work) {
  std::vector<std::exception_ptr> failures(parts);
  std::vector<std::thread> threads;
  threads.reserve(parts);
  const auto run = [&](std::size_t part) {
    try {
      work(part);
    } catch (...) {
      failures[part] = std::current_exception();
    }
  };
  for (std::size_t part = 1; part < parts; ++part) {
    try {
      threads.emplace_back(run, part);
    } catch (const std::system_error&) {
      run(part);
    }
  }
  run(0);
  for (std::thread& thread : threads) thread.join();
  for (const std::exception_ptr& failure : failures) {
    if (failure != nullptr) std::rethrow_exception(failure);
  }
}

}  // namespace lintavel
