// Native functions and property accessors that the engine's script runtime calls, and
// the registration of a script extension with native functions.
#pragma once

#include "ceflib/wrappers/v8.h"

namespace ceflib {

// A native function. Answers true when it handled the call; result and exception
// text go back to the script whatever the answer.
class ICefv8Handler : public virtual ICefBase {
 public:
  virtual bool Execute(const ustring& name, const RefPtr<ICefV8Value>& obj, const TCefv8ValueArray& arguments,
                       RefPtr<ICefV8Value>& retval, ustring& exception) = 0;
};

// Property access of a script object made with an accessor. The exception text is
// an input only.
class ICefV8Accessor : public virtual ICefBase {
 public:
  virtual bool GetValue(const ustring& name, const RefPtr<ICefV8Value>& obj, RefPtr<ICefV8Value>& value,
                        const ustring& exception) = 0;
  virtual bool SetValue(const ustring& name, const RefPtr<ICefV8Value>& obj, const RefPtr<ICefV8Value>& value,
                        const ustring& exception) = 0;
};

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

// Registers script code whose native functions call handler (which may be null). Loads
// and initializes the engine first when it is not loaded yet. True when the engine
// accepted the extension.
bool CefRegisterExtension(const ustring& name, const ustring& code, const RefPtr<ICefv8Handler>& handler);

}  // namespace ceflib
