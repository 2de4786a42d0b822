#include "ceflib/wrappers/v8_handler.h"

namespace ceflib {

bool TCefv8HandlerRef::Execute(const ustring& name, const RefPtr<ICefV8Value>& obj,
                               const TCefv8ValueArray& arguments, RefPtr<ICefV8Value>& retval,
                               ustring& exception) {
  auto execute = record()->execute;
  if (!execute) return false;
  // One reference per argument for the engine; the array itself is ours.
  std::vector<cef_v8value_t*> args;
  args.reserve(arguments.size());
  for (const auto& argument : arguments)
    args.push_back(reinterpret_cast<cef_v8value_t*>(CefDataOf(argument)));
  cef_string_t error{};
  cef_v8value_t* result = nullptr;
  const int handled = execute(record(), ToEngine(name), reinterpret_cast<cef_v8value_t*>(CefDataOf(obj)),
                              args.size(), args.data(), &result, &error);
  retval = TCefv8ValueRef::UnWrap(result);
  exception = CefStringClearAndGet(&error);
  return handled != 0;
}

}  // namespace ceflib
