// Playing the engine against the binding's bridges: records handed over with their
// reference, engine strings and lists the test owns, and a catcher for exceptions that
// the entries stop at the boundary.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

#include "ceflib/core/conversions.h"
#include "ceflib/core/engine_library.h"
#include "support/fake_engine_object.h"

namespace bridge_test {

using ceflib::ustring;

// The record of a program object as the engine gets it: with one reference of its own.
template <class Record, class T>
Record* EngineRecord(const ceflib::RefPtr<T>& object) {
  return reinterpret_cast<Record*>(ceflib::CefDataOf(object));
}

template <class Record>
int RefCount(Record* record) {
  auto* base = reinterpret_cast<cef_base_t*>(record);
  return base->get_refct(base);
}

template <class Record>
void ReleaseRecord(Record* record) {
  auto* base = reinterpret_cast<cef_base_t*>(record);
  base->release(base);
}

// A fake engine object passed as an argument: the engine hands one reference over.
template <class Record>
Record* HandOver(FakeEngineObject<Record>& object) {
  ++object.refs;
  return object.get();
}

// An engine string the test owns, freed at the end of the scope.
struct EngineString {
  cef_string_t record{};
  explicit EngineString(const ustring& text = {}) : record(ceflib::CefStringAlloc(text)) {}
  ~EngineString() { ceflib::cef_string_clear(&record); }
  EngineString(const EngineString&) = delete;
  ustring Text() const { return ceflib::CefStringRead(&record); }
  cef_string_t* get() { return &record; }
};

// An engine string list the test owns.
struct EngineList {
  cef_string_list_t list = ceflib::cef_string_list_alloc();
  explicit EngineList(const std::vector<ustring>& items = {}) {
    for (const auto& item : items) {
      const cef_string_t view = ceflib::CefStringView(item);
      ceflib::cef_string_list_append(list, &view);
    }
  }
  ~EngineList() { ceflib::cef_string_list_free(list); }
  EngineList(const EngineList&) = delete;
  int Size() const { return ceflib::cef_string_list_size(list); }
};

// Collects the messages of exceptions that entries stopped at the engine boundary.
class EntryExceptions {
 public:
  EntryExceptions() {
    ceflib::CefOnEntryException = [this](std::exception_ptr error) {
      messages.push_back(ceflib::CefExceptionMessage(error));
    };
  }
  ~EntryExceptions() { ceflib::CefOnEntryException = nullptr; }
  EntryExceptions(const EntryExceptions&) = delete;
  std::vector<std::string> messages;
};

}  // namespace bridge_test
