// A native function the engine hands out, called by the program.
#pragma once

#include "ceflib/bridges/v8_handlers.h"

namespace ceflib {

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
