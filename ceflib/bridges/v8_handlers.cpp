#include "ceflib/bridges/v8_handlers.h"

#include "ceflib/core/engine_library.h"

namespace ceflib {
namespace {

int CEF_CALLBACK HandlerExecute(cef_v8handler_t* self, const cef_string_t* name, cef_v8value_t* object,
                                size_t argumentCount, const cef_v8value_t* const* arguments,
                                cef_v8value_t** retval, cef_string_t* exception) {
  return CefGuarded([&] {
    // Every wrapper takes over the reference that came with its pointer.
    TCefv8ValueArray args;
    args.reserve(argumentCount);
    for (size_t i = 0; i < argumentCount; ++i) {
      args.push_back(TCefv8ValueRef::UnWrap(const_cast<cef_v8value_t*>(arguments[i])));
    }
    RefPtr<ICefV8Value> obj = TCefv8ValueRef::UnWrap(object);
    RefPtr<ICefV8Value> result;
    ustring error;
    const bool handled =
        CefObjectOf<TCefv8HandlerOwn>(self)->Execute(CefStringRead(name), obj, args, result, error);
    if (retval) *retval = reinterpret_cast<cef_v8value_t*>(CefDataOf(result));
    CefStringAssign(exception, error);
    return handled ? -1 : 0;
  });
}

int CEF_CALLBACK AccessorGet(cef_v8accessor_t* self, const cef_string_t* name, cef_v8value_t* object,
                             cef_v8value_t** retval, cef_string_t* exception) {
  return CefGuarded([&] {
    RefPtr<ICefV8Value> value;
    const bool handled = CefObjectOf<TCefV8AccessorOwn>(self)->GetValue(
        CefStringRead(name), TCefv8ValueRef::UnWrap(object), value, CefStringRead(exception));
    if (retval) *retval = reinterpret_cast<cef_v8value_t*>(CefDataOf(value));
    return handled ? 1 : 0;
  });
}

}  // namespace

TCefv8HandlerOwn::TCefv8HandlerOwn() { record()->execute = &HandlerExecute; }

bool TCefv8HandlerOwn::Execute(const ustring&, const RefPtr<ICefV8Value>&, const TCefv8ValueArray&,
                               RefPtr<ICefV8Value>&, ustring&) {
  return false;
}

TCefV8AccessorOwn::TCefV8AccessorOwn() {
  record()->get = &AccessorGet;
  Bind<&TCefV8AccessorOwn::SetValue>(record()->set);
}

bool TCefV8AccessorOwn::GetValue(const ustring&, const RefPtr<ICefV8Value>&, RefPtr<ICefV8Value>& value,
                                 const ustring&) {
  value = nullptr;
  return false;
}

bool TCefV8AccessorOwn::SetValue(const ustring&, const RefPtr<ICefV8Value>&, const RefPtr<ICefV8Value>&,
                                 const ustring&) {
  return false;
}

bool TCefFastV8Accessor::GetValue(const ustring& name, const RefPtr<ICefV8Value>& obj,
                                  RefPtr<ICefV8Value>& value, const ustring& exception) {
  value = nullptr;
  return FGetter ? FGetter(name, obj, value, exception) : false;
}

bool TCefFastV8Accessor::SetValue(const ustring& name, const RefPtr<ICefV8Value>& obj,
                                  const RefPtr<ICefV8Value>& value, const ustring& exception) {
  return FSetter ? FSetter(name, obj, value, exception) : false;
}

bool CefRegisterExtension(const ustring& name, const ustring& code, const RefPtr<ICefv8Handler>& handler) {
  CefEnsureEngine();
  return CefCallExport<bool>(cef_register_extension, name, code, handler);
}

}  // namespace ceflib
