#include "ceflib/bridges/request_handler.h"

namespace ceflib {

TCefRequestHandlerOwn::TCefRequestHandlerOwn() {
  cef_request_handler_t* r = record();
  Bind<&TCefRequestHandlerOwn::OnBeforeBrowse>(r->on_before_browse);
  Bind<&TCefRequestHandlerOwn::OnBeforeResourceLoad>(r->on_before_resource_load);
  Bind<&TCefRequestHandlerOwn::OnResourceRedirect>(r->on_resource_redirect);
  Bind<&TCefRequestHandlerOwn::OnResourceResponse>(r->on_resource_response);
  Bind<&TCefRequestHandlerOwn::OnProtocolExecution>(r->on_protocol_execution);
  Bind<&TCefRequestHandlerOwn::GetDownloadHandler>(r->get_download_handler);
  Bind<&TCefRequestHandlerOwn::GetAuthCredentials>(r->get_auth_credentials);
  Bind<&TCefRequestHandlerOwn::GetCookieManager>(r->get_cookie_manager);
}

bool TCefRequestHandlerOwn::OnBeforeBrowse(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&,
                                           const RefPtr<ICefRequest>&, TCefHandlerNavtype, bool) {
  return false;
}
bool TCefRequestHandlerOwn::OnBeforeResourceLoad(const RefPtr<ICefBrowser>&, const RefPtr<ICefRequest>&,
                                                 ustring&, RefPtr<ICefStreamReader>&,
                                                 const RefPtr<ICefResponse>&, int) {
  return false;
}
void TCefRequestHandlerOwn::OnResourceRedirect(const RefPtr<ICefBrowser>&, const ustring&, ustring&) {}
void TCefRequestHandlerOwn::OnResourceResponse(const RefPtr<ICefBrowser>&, const ustring&,
                                               const RefPtr<ICefResponse>&, RefPtr<ICefContentFilter>&) {}
bool TCefRequestHandlerOwn::OnProtocolExecution(const RefPtr<ICefBrowser>&, const ustring&, bool&) {
  return false;
}
bool TCefRequestHandlerOwn::GetDownloadHandler(const RefPtr<ICefBrowser>&, const ustring&, const ustring&,
                                               int64_t, RefPtr<ICefDownloadHandler>&) {
  return false;
}
bool TCefRequestHandlerOwn::GetAuthCredentials(const RefPtr<ICefBrowser>&, bool, const ustring&, int,
                                               const ustring&, const ustring&, ustring&, ustring&) {
  return false;
}
RefPtr<ICefCookieManager> TCefRequestHandlerOwn::GetCookieManager(const RefPtr<ICefBrowser>&,
                                                                  const ustring&) {
  return nullptr;
}

}  // namespace ceflib
