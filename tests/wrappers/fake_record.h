// Engine objects for the wrapper tests whose members the test sets to callables:
// `frame.On<&cef_frame_t::load_url>([&](const cef_string_t* url) { ... });` makes the
// member call the callable with the engine arguments after the record. Members left
// unset stay null, like those of an engine that lacks them.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <type_traits>
#include <utility>

#include "ceflib/core/engine_library.h"
#include "support/fake_engine_object.h"

template <class Record>
class FakeRecord : public FakeEngineObject<Record> {
 public:
  template <auto Member, class F>
  void On(F f) {
    using Slot = std::remove_reference_t<decltype(std::declval<Record&>().*Member)>;
    using T = Trampoline<Member, Slot>;
    handlers_[&T::key] = typename T::Handler(std::move(f));
    this->record.*Member = &T::Call;
  }

  static FakeRecord& Of(Record* record) {
    return static_cast<FakeRecord&>(*reinterpret_cast<FakeEngineObject<Record>*>(record));
  }

 private:
  template <auto Member, class Slot>
  struct Trampoline;
  template <auto Member, class R, class... A>
  struct Trampoline<Member, R(CEF_CALLBACK*)(Record*, A...)> {
    using Handler = std::function<R(A...)>;
    static inline char key = 0;  // its address names the member
    static R CEF_CALLBACK Call(Record* self, A... args) {
      return std::any_cast<Handler&>(Of(self).handlers_.at(&key))(args...);
    }
  };

  std::map<const void*, std::any> handlers_;
};

// A userfree string as the engine returns it: the receiver must free it.
inline cef_string_userfree_t Userfree(const std::u16string& text) {
  cef_string_userfree_t u = ceflib::cef_string_userfree_alloc();
  ceflib::cef_string_set(text.data(), text.size(), u, 1);
  return u;
}

// Replaces an engine export for the lifetime of the object, so a test can play the
// engine's factories.
template <class Fn>
class ScopedExport {
 public:
  ScopedExport(Fn& entry, Fn replacement) : entry_(entry), saved_(std::exchange(entry, replacement)) {}
  ~ScopedExport() { entry_ = saved_; }
  ScopedExport(const ScopedExport&) = delete;
  ScopedExport& operator=(const ScopedExport&) = delete;

 private:
  Fn& entry_;
  Fn saved_;
};
