// A stand-in for an engine object in unit tests: a record whose header counts
// references like the engine's, so a test sees every add_ref and release the binding
// makes. Members beyond the header are set by each test.
#pragma once

#include "cef/cef_records.h"

template <class Record>
struct FakeEngineObject {
  Record record{};  // first member: the record pointer is the object's address
  int refs = 1;     // the reference the engine hands over with the pointer

  FakeEngineObject() {
    cef_base_t& base = *reinterpret_cast<cef_base_t*>(&record);
    base.size = sizeof(Record);
    base.add_ref = &AddRef;
    base.release = &Release;
    base.get_refct = &GetRefct;
  }
  FakeEngineObject(const FakeEngineObject&) = delete;

  Record* get() { return &record; }

 private:
  static FakeEngineObject* Of(cef_base_t* base) { return reinterpret_cast<FakeEngineObject*>(base); }
  static int CEF_CALLBACK AddRef(cef_base_t* base) { return ++Of(base)->refs; }
  static int CEF_CALLBACK Release(cef_base_t* base) { return --Of(base)->refs; }
  static int CEF_CALLBACK GetRefct(cef_base_t* base) { return Of(base)->refs; }
};
