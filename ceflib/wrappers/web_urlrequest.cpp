#include "ceflib/wrappers/web_urlrequest.h"

#include "ceflib/bridges/web_urlrequest_client.h"
#include "ceflib/core/engine_library.h"

namespace ceflib {

RefPtr<ICefWebUrlRequest> TCefWebUrlRequestRef::New(const RefPtr<ICefRequest>& request,
                                                    const RefPtr<ICefWebUrlRequestClient>& client) {
  return CefCallExport<RefPtr<ICefWebUrlRequest>>(cef_web_urlrequest_create, request, client);
}

}  // namespace ceflib
