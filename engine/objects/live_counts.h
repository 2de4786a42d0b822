// Process-wide counts of what the engine handed out and did not get back yet. Tests
// read them through the diagnostic exports to prove that a run leaves nothing behind.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "objects/immortal.h"

namespace cef_engine {

class LiveCounts {
 public:
  // `kind` names the record kind ("browser", "frame", ...) for the shutdown report.
  static void ObjectCreated(std::string_view kind) {
    objects_.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard lock(KindMutex());
    ++Kinds()[kind];
  }
  static void ObjectDestroyed(std::string_view kind) noexcept {
    objects_.fetch_sub(1, std::memory_order_relaxed);
    std::lock_guard lock(KindMutex());
    // Kinds without live objects are dropped, so nothing stays allocated after a clean
    // run (the library may be unloaded while its never-destroyed state still holds it).
    if (const auto it = Kinds().find(kind); it != Kinds().end() && --it->second == 0) Kinds().erase(it);
  }
  // "browser 1, frame 2" for the kinds with live objects; empty when none is alive.
  static std::string Report() {
    std::string report;
    std::lock_guard lock(KindMutex());
    for (const auto& [kind, count] : Kinds()) {
      if (count == 0) continue;
      if (!report.empty()) report += ", ";
      report += std::string(kind) + " " + std::to_string(count);
    }
    return report;
  }
  // Texts, userfree records and string collections.
  static void StringAllocated() noexcept { strings_.fetch_add(1, std::memory_order_relaxed); }
  static void StringFreed() noexcept { strings_.fetch_sub(1, std::memory_order_relaxed); }

  static int Objects() noexcept { return objects_.load(std::memory_order_relaxed); }
  static int Strings() noexcept { return strings_.load(std::memory_order_relaxed); }

 private:
  // Never destroyed: objects may die during the program's static destruction.
  static std::mutex& KindMutex() {
    static Immortal<std::mutex> mutex;
    return *mutex;
  }
  static std::map<std::string_view, int>& Kinds() {
    static Immortal<std::map<std::string_view, int>> kinds;
    return *kinds;
  }

  static inline std::atomic<int> objects_{0};
  static inline std::atomic<int> strings_{0};
};

}  // namespace cef_engine
