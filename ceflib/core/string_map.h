// A string map owned by the program, for engine calls that fill or read a
// cef_string_map_t (a DOM element's attributes). One value per key.
#pragma once

#include "ceflib/core/strings.h"

namespace ceflib {

class ICefStringMap : public virtual IInterface {
 public:
  virtual cef_string_map_t GetHandle() = 0;
  virtual int GetSize() = 0;
  // The value of key; empty when the map lacks it.
  virtual ustring Find(const ustring& key) = 0;
  virtual ustring GetKey(int index) = 0;
  virtual ustring GetValue(int index) = 0;
  virtual int Append(const ustring& key, const ustring& value) = 0;
  virtual void Clear() = 0;
};

// Freed with its last reference, also after CefShutdownEngine; making or using one
// without an engine (or no longer the one it came from) raises "The engine is not
// loaded".
class TCefStringMapOwn : public TInterfacedObject, public ICefStringMap {
 public:
  TCefStringMapOwn();

  cef_string_map_t GetHandle() override;
  int GetSize() override;
  ustring Find(const ustring& key) override;
  ustring GetKey(int index) override;
  ustring GetValue(int index) override;
  int Append(const ustring& key, const ustring& value) override;
  void Clear() override;

 protected:
  ~TCefStringMapOwn() override;

 private:
  cef_string_map_t FStringMap;
  void (*FFree)(cef_string_map_t);  // kept: the entry table empties at shutdown
  TCefEnginePin FEngine;
};

}  // namespace ceflib
