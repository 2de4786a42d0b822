// Engine strings in both directions, engine string lists, and the header multimap.
// Who owns the text decides the conversion:
//   argument to the engine ............ CefStringView (borrowed for the call)
//   userfree result of the engine ..... CefStringFreeAndGet
//   record the engine filled for us ... CefStringClearAndGet
//   argument the engine passes us ..... CefStringRead (the engine keeps it)
//   text we hand back into its record . CefStringAssign / CefStringAlloc (a copy)
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cef/cef_types.h"
#include "ceflib/core/engine_state.h"
#include "ceflib/core/ref_counting.h"

namespace ceflib {

using ustring = std::u16string;

// A record borrowing s: valid while s lives unchanged. An empty s gives a non-null
// pointer to an empty text (its own terminating NUL). Inline: every string argument
// of a wrapper operation goes through it.
inline cef_string_t CefStringView(const ustring& s) noexcept {
  return {const_cast<char16*>(s.data()), s.size(), nullptr};
}
// A view of a temporary would dangle at once.
cef_string_t CefStringView(ustring&& s) = delete;
// A record owning an engine copy of s; an empty s gives an all-zero record (and needs
// no engine).
cef_string_t CefStringAlloc(const ustring& s);
// Sets the engine's record to an engine copy of s; a null target is ignored.
void CefStringAssign(cef_string_t* target, const ustring& s);
// Copies the record's text; null gives the empty string.
ustring CefStringRead(const cef_string_t* p);
// Copies the record's text, then releases it; p must not be null.
ustring CefStringClearAndGet(cef_string_t* p);
// Reads text the engine writes into a record we supply: the record starts zeroed (so
// an engine that writes nothing gives the empty string) and its text is released after.
template <class Fill>
ustring CefStringReadFilled(Fill&& fill) {
  cef_string_t record{};
  fill(&record);
  return CefStringClearAndGet(&record);
}
// Copies and frees a userfree string; null gives the empty string.
ustring CefStringFreeAndGet(cef_string_userfree_t u);
// The binding's own UTF-16 to UTF-16 copy, behind cef_string_to_utf16/from_utf16.
extern "C" int CefStringCopyUtf16(const char16* src, size_t length, cef_string_utf16_t* output);

// Appends the values of an engine string list to out, in order, leaving nothing
// allocated behind.
void CefStringListRead(cef_string_list_t list, std::vector<ustring>& out);

// An engine string list the program allocated; freed when it goes out of scope, also
// after CefShutdownEngine. Making or using one raises "The engine is not loaded" when
// there is no engine (or no longer the one it came from).
class CefOwnedStringList {
 public:
  CefOwnedStringList();
  ~CefOwnedStringList();
  CefOwnedStringList(const CefOwnedStringList&) = delete;
  CefOwnedStringList& operator=(const CefOwnedStringList&) = delete;

  cef_string_list_t Handle() const;
  void Append(const ustring& item);
  void ReadInto(std::vector<ustring>& out) const;
  void Clear();
  // A new list holding the engine's copies of this list's items.
  CefOwnedStringList Copy() const;

 private:
  explicit CefOwnedStringList(cef_string_list_t list);

  cef_string_list_t list_;
  void (*free_)(cef_string_list_t);  // kept: the entry table empties at shutdown
  TCefEnginePin engine_;
};

// A header multimap owned by the program (request and response headers).
class ICefStringMultimap : public virtual IInterface {
 public:
  virtual cef_string_multimap_t GetHandle() = 0;
  virtual int GetSize() = 0;
  virtual int FindCount(const ustring& key) = 0;
  virtual ustring Enumerate(const ustring& key, int valueIndex) = 0;
  virtual ustring GetKey(int index) = 0;
  virtual ustring GetValue(int index) = 0;
  virtual int Append(const ustring& key, const ustring& value) = 0;
  virtual void Clear() = 0;
};

// Freed with its last reference, also after CefShutdownEngine; making or using one
// without an engine (or no longer the one it came from) raises "The engine is not
// loaded".
class TCefStringMultimapOwn : public TInterfacedObject, public ICefStringMultimap {
 public:
  TCefStringMultimapOwn();

  cef_string_multimap_t GetHandle() override;
  int GetSize() override;
  int FindCount(const ustring& key) override;
  ustring Enumerate(const ustring& key, int valueIndex) override;
  ustring GetKey(int index) override;
  ustring GetValue(int index) override;
  int Append(const ustring& key, const ustring& value) override;
  void Clear() override;

 protected:
  ~TCefStringMultimapOwn() override;

 private:
  cef_string_multimap_t FStringMap;
  void (*FFree)(cef_string_multimap_t);  // kept: the entry table empties at shutdown
  TCefEnginePin FEngine;
};

// UTF-16 to UTF-8 and back, of the binding's own (no engine needed, e.g. for the library
// name or command-line text). Malformed input gives U+FFFD, one per maximal ill-formed
// sequence, as the engine's conversions do.
std::string CefToUtf8(const ustring& s);
ustring CefFromUtf8(std::string_view s);

}  // namespace ceflib
