// The engine's progress callback of a scheme handler: headers or bytes are ready, or
// the request is cancelled.
#pragma once

#include "ceflib/core/conversions.h"

namespace ceflib {

class ICefSchemeHandlerCallback : public virtual ICefBase {
 public:
  virtual void HeadersAvailable() = 0;
  virtual void BytesAvailable() = 0;
  virtual void Cancel() = 0;
};

class TCefSchemeHandlerCallbackRef final
    : public TCefRef<TCefSchemeHandlerCallbackRef, ICefSchemeHandlerCallback, cef_scheme_handler_callback_t> {
 public:
  using TCefRef::TCefRef;
  void HeadersAvailable() override { Call(&cef_scheme_handler_callback_t::headers_available); }
  void BytesAvailable() override { Call(&cef_scheme_handler_callback_t::bytes_available); }
  void Cancel() override { Call(&cef_scheme_handler_callback_t::cancel); }
};

template <>
struct TCefWrapperOf<ICefSchemeHandlerCallback> {
  using type = TCefSchemeHandlerCallbackRef;
};

}  // namespace ceflib
