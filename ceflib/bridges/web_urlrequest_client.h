// The client of a web URL request: hears of the request's states, redirects, headers,
// upload progress, body and failure, always on the engine's UI thread.
#pragma once

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/request.h"
#include "ceflib/wrappers/web_urlrequest.h"

namespace ceflib {

class ICefWebUrlRequestClient : public virtual ICefBase {
 public:
  virtual void OnStateChange(const RefPtr<ICefWebUrlRequest>& requester, TCefWebUrlRequestState state) = 0;
  virtual void OnRedirect(const RefPtr<ICefWebUrlRequest>& requester, const RefPtr<ICefRequest>& request,
                          const RefPtr<ICefResponse>& response) = 0;
  virtual void OnHeadersReceived(const RefPtr<ICefWebUrlRequest>& requester,
                                 const RefPtr<ICefResponse>& response) = 0;
  virtual void OnProgress(const RefPtr<ICefWebUrlRequest>& requester, uint64_t bytesSent,
                          uint64_t totalBytesToBeSent) = 0;
  virtual void OnData(const RefPtr<ICefWebUrlRequest>& requester, const void* data, int dataLength) = 0;
  virtual void OnError(const RefPtr<ICefWebUrlRequest>& requester, int errorCode) = 0;
};

// Every method does nothing unless overridden.
class TCefWebUrlRequestClientOwn : public TCefOwn<cef_web_urlrequest_client_t>,
                                   public ICefWebUrlRequestClient {
 public:
  TCefWebUrlRequestClientOwn();
  void OnStateChange(const RefPtr<ICefWebUrlRequest>&, TCefWebUrlRequestState) override {}
  void OnRedirect(const RefPtr<ICefWebUrlRequest>&, const RefPtr<ICefRequest>&,
                  const RefPtr<ICefResponse>&) override {}
  void OnHeadersReceived(const RefPtr<ICefWebUrlRequest>&, const RefPtr<ICefResponse>&) override {}
  void OnProgress(const RefPtr<ICefWebUrlRequest>&, uint64_t, uint64_t) override {}
  void OnData(const RefPtr<ICefWebUrlRequest>&, const void*, int) override {}
  void OnError(const RefPtr<ICefWebUrlRequest>&, int) override {}
};

}  // namespace ceflib
