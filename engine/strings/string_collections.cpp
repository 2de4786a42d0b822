// String lists, maps (one value per key) and multimaps (several values per key). Keys
// and values are copied in; values go out as engine-owned copies into records the
// caller supplies. Entries keep insertion order, so indexes are stable. Each live
// collection counts as one live string allocation.
#include "strings/string_collections.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "cef_engine.h"
#include "objects/immortal.h"
#include "objects/live_counts.h"
#include "strings/text.h"

namespace cef_engine {
namespace {

using Entries = std::vector<std::pair<std::u16string, std::u16string>>;
struct StringList {
  std::vector<std::u16string> items;
};
struct StringMap {
  Entries entries;
};
struct StringMultimap {
  Entries entries;
};

// Owns every live collection of one kind. The lock guards the table only: a collection
// is used by one thread at a time, as the program's contract says.
template <class Collection>
class HandleTable {
 public:
  void* Add(std::unique_ptr<Collection> collection) {
    void* handle = collection.get();
    std::lock_guard lock(mutex_);
    live_.emplace(handle, std::move(collection));
    LiveCounts::StringAllocated();
    return handle;
  }
  Collection* Find(void* handle) {
    std::lock_guard lock(mutex_);
    const auto it = live_.find(handle);
    return it == live_.end() ? nullptr : it->second.get();
  }
  void Remove(void* handle) {
    std::unique_ptr<Collection> gone;  // destroyed after the lock is released
    std::lock_guard lock(mutex_);
    if (auto node = live_.extract(handle)) {
      gone = std::move(node.mapped());
      LiveCounts::StringFreed();
    }
    // The table outlives the library's unloading; once empty it gives its buckets back
    // so that nothing stays allocated behind an unloaded library.
    if (live_.empty()) std::unordered_map<void*, std::unique_ptr<Collection>>().swap(live_);
  }

 private:
  std::mutex mutex_;
  std::unordered_map<void*, std::unique_ptr<Collection>> live_;
};

// Immortal: a program may free its collections from its own static destructors.
HandleTable<StringList>& Lists() {
  static Immortal<HandleTable<StringList>> table;
  return *table;
}
HandleTable<StringMap>& Maps() {
  static Immortal<HandleTable<StringMap>> table;
  return *table;
}
HandleTable<StringMultimap>& Multimaps() {
  static Immortal<HandleTable<StringMultimap>> table;
  return *table;
}

// Copies `text` into the caller's record; 0 when there is nowhere to put it.
int Deliver(std::u16string_view text, cef_string_t* out) {
  if (!out) return 0;
  AssignCopy(out, text);
  return 1;
}

template <class Items>
const typename Items::value_type* At(const Items& items, int index) {
  if (index < 0 || static_cast<size_t>(index) >= items.size()) return nullptr;
  return &items[static_cast<size_t>(index)];
}

std::u16string Copy(const cef_string_t* text) { return std::u16string(ViewOf(text)); }

}  // namespace

std::optional<std::vector<std::u16string>> CopyStringList(cef_string_list_t list) {
  const StringList* found = Lists().Find(list);
  if (!found) return std::nullopt;
  return found->items;
}

}  // namespace cef_engine

using cef_engine::At;
using cef_engine::Copy;
using cef_engine::Deliver;
using cef_engine::Lists;
using cef_engine::Maps;
using cef_engine::Multimaps;
using cef_engine::ViewOf;

extern "C" {

// --- lists ---------------------------------------------------------------------------

cef_string_list_t cef_string_list_alloc() { return Lists().Add(std::make_unique<cef_engine::StringList>()); }

int cef_string_list_size(cef_string_list_t list) {
  const auto* found = Lists().Find(list);
  return found ? static_cast<int>(found->items.size()) : 0;
}

int cef_string_list_value(cef_string_list_t list, int index, cef_string_t* value) {
  const auto* found = Lists().Find(list);
  const auto* item = found ? At(found->items, index) : nullptr;
  return item ? Deliver(*item, value) : 0;
}

// A missing record is not an item (an empty text is).
void cef_string_list_append(cef_string_list_t list, const cef_string_t* value) {
  auto* found = value ? Lists().Find(list) : nullptr;
  if (found) found->items.push_back(Copy(value));
}

void cef_string_list_clear(cef_string_list_t list) {
  if (auto* found = Lists().Find(list)) found->items.clear();
}

void cef_string_list_free(cef_string_list_t list) { Lists().Remove(list); }

cef_string_list_t cef_string_list_copy(cef_string_list_t list) {
  const auto* found = Lists().Find(list);
  if (!found) return nullptr;
  return Lists().Add(std::make_unique<cef_engine::StringList>(*found));
}

// --- maps: one value per key; appending an existing key is refused ------------------

cef_string_map_t cef_string_map_alloc() { return Maps().Add(std::make_unique<cef_engine::StringMap>()); }

int cef_string_map_size(cef_string_map_t map) {
  const auto* found = Maps().Find(map);
  return found ? static_cast<int>(found->entries.size()) : 0;
}

int cef_string_map_find(cef_string_map_t map, const cef_string_t* key, cef_string_t* value) {
  const auto* found = Maps().Find(map);
  if (!found) return 0;
  const auto wanted = ViewOf(key);
  const auto it = std::find_if(found->entries.begin(), found->entries.end(),
                               [&](const auto& entry) { return entry.first == wanted; });
  return it == found->entries.end() ? 0 : Deliver(it->second, value);
}

int cef_string_map_key(cef_string_map_t map, int index, cef_string_t* key) {
  const auto* found = Maps().Find(map);
  const auto* entry = found ? At(found->entries, index) : nullptr;
  return entry ? Deliver(entry->first, key) : 0;
}

int cef_string_map_value(cef_string_map_t map, int index, cef_string_t* value) {
  const auto* found = Maps().Find(map);
  const auto* entry = found ? At(found->entries, index) : nullptr;
  return entry ? Deliver(entry->second, value) : 0;
}

int cef_string_map_append(cef_string_map_t map, const cef_string_t* key, const cef_string_t* value) {
  auto* found = Maps().Find(map);
  if (!found) return 0;
  const auto wanted = ViewOf(key);
  const bool present = std::any_of(found->entries.begin(), found->entries.end(),
                                   [&](const auto& entry) { return entry.first == wanted; });
  if (present) return 0;
  found->entries.emplace_back(Copy(key), Copy(value));
  return 1;
}

void cef_string_map_clear(cef_string_map_t map) {
  if (auto* found = Maps().Find(map)) found->entries.clear();
}

void cef_string_map_free(cef_string_map_t map) { Maps().Remove(map); }

// --- multimaps: any number of values per key, in the order appended -----------------

cef_string_multimap_t cef_string_multimap_alloc() {
  return Multimaps().Add(std::make_unique<cef_engine::StringMultimap>());
}

int cef_string_multimap_size(cef_string_multimap_t map) {
  const auto* found = Multimaps().Find(map);
  return found ? static_cast<int>(found->entries.size()) : 0;
}

int cef_string_multimap_find_count(cef_string_multimap_t map, const cef_string_t* key) {
  const auto* found = Multimaps().Find(map);
  if (!found) return 0;
  const auto wanted = ViewOf(key);
  return static_cast<int>(std::count_if(found->entries.begin(), found->entries.end(),
                                        [&](const auto& entry) { return entry.first == wanted; }));
}

int cef_string_multimap_enumerate(cef_string_multimap_t map, const cef_string_t* key, int value_index,
                                  cef_string_t* value) {
  const auto* found = Multimaps().Find(map);
  if (!found || value_index < 0) return 0;
  const auto wanted = ViewOf(key);
  int seen = 0;
  for (const auto& entry : found->entries) {
    if (entry.first == wanted && seen++ == value_index) return Deliver(entry.second, value);
  }
  return 0;
}

int cef_string_multimap_key(cef_string_multimap_t map, int index, cef_string_t* key) {
  const auto* found = Multimaps().Find(map);
  const auto* entry = found ? At(found->entries, index) : nullptr;
  return entry ? Deliver(entry->first, key) : 0;
}

int cef_string_multimap_value(cef_string_multimap_t map, int index, cef_string_t* value) {
  const auto* found = Multimaps().Find(map);
  const auto* entry = found ? At(found->entries, index) : nullptr;
  return entry ? Deliver(entry->second, value) : 0;
}

int cef_string_multimap_append(cef_string_multimap_t map, const cef_string_t* key,
                               const cef_string_t* value) {
  auto* found = Multimaps().Find(map);
  if (!found) return 0;
  found->entries.emplace_back(Copy(key), Copy(value));
  return 1;
}

void cef_string_multimap_clear(cef_string_multimap_t map) {
  if (auto* found = Multimaps().Find(map)) found->entries.clear();
}

void cef_string_multimap_free(cef_string_multimap_t map) { Multimaps().Remove(map); }

}  // extern "C"
