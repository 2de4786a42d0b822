#include "ceflib/bridges/web_urlrequest_client.h"

namespace ceflib {

TCefWebUrlRequestClientOwn::TCefWebUrlRequestClientOwn() {
  cef_web_urlrequest_client_t* r = record();
  Bind<&TCefWebUrlRequestClientOwn::OnStateChange>(r->on_state_change);
  Bind<&TCefWebUrlRequestClientOwn::OnRedirect>(r->on_redirect);
  Bind<&TCefWebUrlRequestClientOwn::OnHeadersReceived>(r->on_headers_received);
  Bind<&TCefWebUrlRequestClientOwn::OnProgress>(r->on_progress);
  Bind<&TCefWebUrlRequestClientOwn::OnData>(r->on_data);
  Bind<&TCefWebUrlRequestClientOwn::OnError>(r->on_error);
}

}  // namespace ceflib
