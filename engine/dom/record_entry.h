// Generates the record functions of engine objects from member functions, so each
// record member is one line: r.get_name = Entry<&NodeObject::GetName>. A null record
// gets the result type's zero value instead of a crash.
#pragma once

#include "objects/engine_object.h"

namespace cef_engine {

template <auto Method>
struct RecordEntry;

template <class Object, class R, class... A, R (Object::*Method)(A...)>
struct RecordEntry<Method> {
  using Record = typename Object::Record;
  static R CEF_CALLBACK Call(Record* self, A... args) {
    if (!self) return R();
    return (static_cast<Object*>(EngineObject<Record>::FromRecord(self))->*Method)(args...);
  }
};

template <auto Method>
inline constexpr auto Entry = &RecordEntry<Method>::Call;

// The engine object behind a record the program passes in, or null when the record is
// null or not one of this engine's records of that kind.
template <class Object>
Object* OwnObjectOf(typename Object::Record* record) {
  using Base = EngineObject<typename Object::Record>;
  return Base::IsOurs(record) ? static_cast<Object*>(Base::FromRecord(record)) : nullptr;
}

}  // namespace cef_engine
