// An HTTP request of the program's own that belongs to no browser: the engine reports
// its progress to a web URL request client (bridges/web_urlrequest_client.h).
#pragma once

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/request.h"

namespace ceflib {

class ICefWebUrlRequestClient;
using TCefWebUrlRequestState = cef_weburlrequest_state_t;

class ICefWebUrlRequest : public virtual ICefBase {
 public:
  virtual void Cancel() = 0;
  virtual TCefWebUrlRequestState GetState() = 0;
};

class TCefWebUrlRequestRef final
    : public TCefRef<TCefWebUrlRequestRef, ICefWebUrlRequest, cef_web_urlrequest_t> {
 public:
  using TCefRef::TCefRef;
  void Cancel() override { Call(&cef_web_urlrequest_t::cancel); }
  // A member the engine left null answers WUR_STATE_UNSENT.
  TCefWebUrlRequestState GetState() override {
    return Call<TCefWebUrlRequestState>(&cef_web_urlrequest_t::get_state);
  }

  // Starts request; client hears of its progress on the UI thread. Null when the engine
  // refuses it.
  static RefPtr<ICefWebUrlRequest> New(const RefPtr<ICefRequest>& request,
                                       const RefPtr<ICefWebUrlRequestClient>& client);
};

template <>
struct TCefWrapperOf<ICefWebUrlRequest> {
  using type = TCefWebUrlRequestRef;
};

}  // namespace ceflib
