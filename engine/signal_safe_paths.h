#pragma once

#include <array>
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstring>
#include <string>

namespace lintavel {

// Paths that a signal handler is to remove (temporary files, spill folders). A
// handler can reach nothing but globals, so they live in a fixed table of slots
// written only through atomics; a slot's path is whole before the handler can see it.
template <std::size_t kSlots>
class SignalSafePaths {
 public:
  // Holds `path` until Forget; the slot for Forget, or -1 when every slot is taken or
  // the path is too long (the path is then not removed on a signal).
  int Hold(const std::string& path) noexcept {
    if (path.size() >= PATH_MAX) return -1;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      int free = 0;
      if (slots_[i].state.compare_exchange_strong(free, kFilling)) {
        std::memcpy(slots_[i].path, path.c_str(), path.size() + 1);
        slots_[i].state.store(kHeld);
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  // Gives up the slot that Hold gave; nothing for -1.
  void Forget(int slot) noexcept {
    if (slot >= 0) slots_[static_cast<std::size_t>(slot)].state.store(kFree);
  }

  // Calls remove(path) for each path held: from a signal handler, `remove` must be
  // async-signal-safe (unlink, rmdir).
  template <class Remove>
  void ForEachHeld(Remove&& remove) noexcept {
    for (Slot& slot : slots_) {
      if (slot.state.load() == kHeld) remove(slot.path);
    }
  }

 private:
  static constexpr int kFree = 0;
  static constexpr int kFilling = 1;
  static constexpr int kHeld = 2;

  struct Slot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX] = {};
  };
  std::array<Slot, kSlots> slots_;
};

}  // namespace lintavel
