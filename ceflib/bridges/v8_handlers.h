// Native functions and property accessors that the engine's script runtime calls, and
// the wrapper through which the program calls a native function the engine hands out.
#pragma once

#include "ceflib/wrappers/v8.h"

namespace ceflib {

// A native function: derive and override Execute. The engine receives -1 for true.
class TCefv8HandlerOwn : public TCefOwn<cef_v8handler_t>, public ICefv8Handler {
 public:
  TCefv8HandlerOwn();
  // Default: not handled; result and exception are left as they are.
  bool Execute(const ustring& name, const RefPtr<ICefV8Value>& obj, const TCefv8ValueArray& arguments,
               RefPtr<ICefV8Value>& retval, ustring& exception) override;
};

// A property accessor: derive and override GetValue and SetValue.
class TCefV8AccessorOwn : public TCefOwn<cef_v8accessor_t>, public ICefV8Accessor {
 public:
  TCefV8AccessorOwn();
  // Default: no value, not handled.
  bool GetValue(const ustring& name, const RefPtr<ICefV8Value>& obj, RefPtr<ICefV8Value>& value,
                const ustring& exception) override;
  // Default: not handled.
  bool SetValue(const ustring& name, const RefPtr<ICefV8Value>& obj, const RefPtr<ICefV8Value>& value,
                const ustring& exception) override;
};

// An accessor built from two procedures; an empty one answers false.
class TCefFastV8Accessor : public TCefV8AccessorOwn {
 public:
  TCefFastV8Accessor(TCefFastV8AccessorGetterProc getter, TCefFastV8AccessorSetterProc setter)
      : FGetter(std::move(getter)), FSetter(std::move(setter)) {}
  bool GetValue(const ustring& name, const RefPtr<ICefV8Value>& obj, RefPtr<ICefV8Value>& value,
                const ustring& exception) override;
  bool SetValue(const ustring& name, const RefPtr<ICefV8Value>& obj, const RefPtr<ICefV8Value>& value,
                const ustring& exception) override;

 private:
  TCefFastV8AccessorGetterProc FGetter;
  TCefFastV8AccessorSetterProc FSetter;
};

// A native function of the engine. Result and exception text are set whatever the
// engine answers.
class TCefv8HandlerRef final : public TCefRef<TCefv8HandlerRef, ICefv8Handler, cef_v8handler_t> {
 public:
  using TCefRef::TCefRef;
  bool Execute(const ustring& name, const RefPtr<ICefV8Value>& obj, const TCefv8ValueArray& arguments,
               RefPtr<ICefV8Value>& retval, ustring& exception) override;
};

template <>
struct TCefWrapperOf<ICefv8Handler> {
  using type = TCefv8HandlerRef;
};

}  // namespace ceflib
