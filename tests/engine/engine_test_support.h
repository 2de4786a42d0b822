// Helpers for the engine tests: program records as the engine sees them (with a
// reference count the test can inspect), and small views of string records.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>

#include "cef/cef_records.h"
#include "cef_engine.h"

namespace engine_test {

// A program-side record whose memory belongs to the test, so the test can check after
// the engine is done that the count ended at exactly zero and never went below.
template <class Record>
class FakeRecord {
 public:
  explicit FakeRecord(void* owner = nullptr) {
    cell_.self = this;
    cell_.owner = owner;
    cell_.record.base.size = sizeof(Record);
    cell_.record.base.add_ref = &AddRef;
    cell_.record.base.release = &Release;
    cell_.record.base.get_refct = &RefCount;
  }
  FakeRecord(const FakeRecord&) = delete;
  FakeRecord& operator=(const FakeRecord&) = delete;

  // The record with one reference for the receiver.
  Record* HandOver() {
    refs_.fetch_add(1);
    return &cell_.record;
  }
  Record* record() { return &cell_.record; }
  int refs() const { return refs_.load(); }
  bool went_negative() const { return went_negative_.load(); }

  template <class Owner>
  static Owner* OwnerOf(Record* record) {
    return static_cast<Owner*>(reinterpret_cast<Cell*>(record)->owner);
  }

 private:
  struct Cell {
    Record record{};
    FakeRecord* self = nullptr;
    void* owner = nullptr;
  };
  static_assert(std::is_standard_layout_v<Cell>);
  static FakeRecord* Of(cef_base_t* base) { return reinterpret_cast<Cell*>(base)->self; }
  static int CEF_CALLBACK AddRef(cef_base_t* base) { return Of(base)->refs_.fetch_add(1) + 1; }
  static int CEF_CALLBACK Release(cef_base_t* base) {
    const int left = Of(base)->refs_.fetch_sub(1) - 1;
    if (left < 0) Of(base)->went_negative_ = true;
    return left;
  }
  static int CEF_CALLBACK RefCount(cef_base_t* base) { return Of(base)->refs_.load(); }

  Cell cell_;
  std::atomic<int> refs_{0};
  std::atomic<bool> went_negative_{false};
};

// A task that records where and how it ran, then runs an optional body.
class FakeTask {
 public:
  explicit FakeTask(std::function<void()> body = {}) : body_(std::move(body)) {
    object_.record()->execute = &Execute;
  }
  cef_task_t* HandOver() { return object_.HandOver(); }
  int runs() const { return runs_.load(); }
  std::thread::id ran_on() const { return ran_on_; }
  cef_thread_id_t ran_as() const { return ran_as_; }
  // Released by the engine exactly as often as handed over.
  bool released() const { return object_.refs() == 0 && !object_.went_negative(); }

 private:
  static void CEF_CALLBACK Execute(cef_task_t* self, cef_thread_id_t thread) {
    auto* task = FakeRecord<cef_task_t>::OwnerOf<FakeTask>(self);
    task->ran_on_ = std::this_thread::get_id();
    task->ran_as_ = thread;
    task->runs_.fetch_add(1);
    if (task->body_) task->body_();
  }

  std::function<void()> body_;
  FakeRecord<cef_task_t> object_{this};
  std::atomic<int> runs_{0};
  std::thread::id ran_on_;
  cef_thread_id_t ran_as_ = TID_IO;
};

// An application record whose members count every call the engine makes on them.
class FakeApp {
 public:
  FakeApp() {
    auto* app = object_.record();
    app->on_register_custom_schemes = &OnRegisterCustomSchemes;
    app->get_resource_bundle_handler = &GetResourceBundleHandler;
    app->get_proxy_handler = &GetProxyHandler;
  }
  cef_app_t* HandOver() { return object_.HandOver(); }
  int refs() const { return object_.refs(); }
  bool went_negative() const { return object_.went_negative(); }
  int member_calls() const { return calls_.load(); }

 private:
  static std::atomic<int>& Calls(cef_app_t* self) {
    return FakeRecord<cef_app_t>::OwnerOf<FakeApp>(self)->calls_;
  }
  static void CEF_CALLBACK OnRegisterCustomSchemes(cef_app_t* self, cef_scheme_registrar_t*) {
    Calls(self)++;
  }
  static cef_resource_bundle_handler_t* CEF_CALLBACK GetResourceBundleHandler(cef_app_t* self) {
    Calls(self)++;
    return nullptr;
  }
  static cef_proxy_handler_t* CEF_CALLBACK GetProxyHandler(cef_app_t* self) {
    Calls(self)++;
    return nullptr;
  }

  FakeRecord<cef_app_t> object_{this};
  std::atomic<int> calls_{0};
};

template <class Record>
using CharOf = std::remove_pointer_t<decltype(Record::str)>;

template <class Record>
std::basic_string<CharOf<Record>> Text(const Record& record) {
  if (!record.str) return {};
  return {record.str, record.length};
}

inline void Clear(cef_string_wide_t* record) { cef_string_wide_clear(record); }
inline void Clear(cef_string_utf8_t* record) { cef_string_utf8_clear(record); }
inline void Clear(cef_string_utf16_t* record) { cef_string_utf16_clear(record); }

// A zero-filled record that the engine fills, cleared when the test is done with it.
template <class Record>
struct Filled {
  Record record{};
  Filled() = default;
  Filled(const Filled&) = delete;
  Filled& operator=(const Filled&) = delete;
  ~Filled() { Clear(&record); }
  Record* out() { return &record; }
  auto text() const { return Text(record); }
};

// A record borrowing `text` (no release function), as a program passes arguments.
inline cef_string_t View(std::u16string_view text) {
  return {const_cast<char16*>(text.data()), text.size(), nullptr};
}

// Fails the test when the engine's count of live strings changed over its lifetime.
class StringBalance {
 public:
  ~StringBalance() { EXPECT_EQ(cef_engine_live_strings(), before_) << "engine strings left allocated"; }

 private:
  int before_ = cef_engine_live_strings();
};

}  // namespace engine_test
