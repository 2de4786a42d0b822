// Process-wide counts of what the engine handed out and did not get back yet. Tests
// read them through the diagnostic exports to prove that a run leaves nothing behind.
#pragma once

#include <atomic>

namespace cef_engine {

class LiveCounts {
 public:
  static void ObjectCreated() noexcept { objects_.fetch_add(1, std::memory_order_relaxed); }
  static void ObjectDestroyed() noexcept { objects_.fetch_sub(1, std::memory_order_relaxed); }
  // Texts, userfree records and string collections.
  static void StringAllocated() noexcept { strings_.fetch_add(1, std::memory_order_relaxed); }
  static void StringFreed() noexcept { strings_.fetch_sub(1, std::memory_order_relaxed); }

  static int Objects() noexcept { return objects_.load(std::memory_order_relaxed); }
  static int Strings() noexcept { return strings_.load(std::memory_order_relaxed); }

 private:
  static inline std::atomic<int> objects_{0};
  static inline std::atomic<int> strings_{0};
};

}  // namespace cef_engine
