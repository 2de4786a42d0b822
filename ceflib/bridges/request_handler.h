// The request handler: the program's say over every navigation and resource request of
// a browser. Each method names the engine thread it is called on; every default lets the
// engine go on as if there were no handler.
#pragma once

#include "ceflib/bridges/content_filter.h"
#include "ceflib/bridges/download_handler.h"
#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/cookie_manager.h"
#include "ceflib/wrappers/request.h"

namespace ceflib {

using TCefHandlerNavtype = cef_handler_navtype_t;

class ICefRequestHandler : public virtual ICefBase {
 public:
  virtual bool OnBeforeBrowse(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                              const RefPtr<ICefRequest>& request, TCefHandlerNavtype navType,
                              bool isRedirect) = 0;
  virtual bool OnBeforeResourceLoad(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefRequest>& request,
                                    ustring& redirectUrl, RefPtr<ICefStreamReader>& resourceStream,
                                    const RefPtr<ICefResponse>& response, int loadFlags) = 0;
  virtual void OnResourceRedirect(const RefPtr<ICefBrowser>& browser, const ustring& oldUrl,
                                  ustring& newUrl) = 0;
  virtual void OnResourceResponse(const RefPtr<ICefBrowser>& browser, const ustring& url,
                                  const RefPtr<ICefResponse>& response,
                                  RefPtr<ICefContentFilter>& filter) = 0;
  virtual bool OnProtocolExecution(const RefPtr<ICefBrowser>& browser, const ustring& url,
                                   bool& allowOsExecution) = 0;
  virtual bool GetDownloadHandler(const RefPtr<ICefBrowser>& browser, const ustring& mimeType,
                                  const ustring& fileName, int64_t contentLength,
                                  RefPtr<ICefDownloadHandler>& handler) = 0;
  virtual bool GetAuthCredentials(const RefPtr<ICefBrowser>& browser, bool isProxy, const ustring& host,
                                  int port, const ustring& realm, const ustring& scheme, ustring& username,
                                  ustring& password) = 0;
  virtual RefPtr<ICefCookieManager> GetCookieManager(const RefPtr<ICefBrowser>& browser,
                                                     const ustring& mainUrl) = 0;
};

class TCefRequestHandlerOwn : public TCefOwn<cef_request_handler_t>, public ICefRequestHandler {
 public:
  TCefRequestHandlerOwn();
  // UI thread, before a frame navigates; true cancels the navigation. Default: false.
  bool OnBeforeBrowse(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                      const RefPtr<ICefRequest>& request, TCefHandlerNavtype navType,
                      bool isRedirect) override;
  // IO thread, before each resource request: edit the request, set redirectUrl, or set
  // resourceStream and the response's fields to serve the resource; true cancels the
  // load. Default: false, nothing changed.
  bool OnBeforeResourceLoad(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefRequest>& request,
                            ustring& redirectUrl, RefPtr<ICefStreamReader>& resourceStream,
                            const RefPtr<ICefResponse>& response, int loadFlags) override;
  // IO thread, at each redirect; newUrl may be changed. Default: nothing.
  void OnResourceRedirect(const RefPtr<ICefBrowser>& browser, const ustring& oldUrl,
                          ustring& newUrl) override;
  // UI thread, with each response; a filter set here sees the body. Default: no filter.
  void OnResourceResponse(const RefPtr<ICefBrowser>& browser, const ustring& url,
                          const RefPtr<ICefResponse>& response, RefPtr<ICefContentFilter>& filter) override;
  // IO thread, for a scheme nothing serves; true: the program dealt with it. Default:
  // false, the operating system is not asked.
  bool OnProtocolExecution(const RefPtr<ICefBrowser>& browser, const ustring& url,
                           bool& allowOsExecution) override;
  // UI thread, for a download; true with a handler accepts it. Default: refused.
  bool GetDownloadHandler(const RefPtr<ICefBrowser>& browser, const ustring& mimeType,
                          const ustring& fileName, int64_t contentLength,
                          RefPtr<ICefDownloadHandler>& handler) override;
  // IO thread, when a server or proxy asks for a login; true with the credentials
  // filled in answers it. Default: false, the request is not repeated.
  bool GetAuthCredentials(const RefPtr<ICefBrowser>& browser, bool isProxy, const ustring& host, int port,
                          const ustring& realm, const ustring& scheme, ustring& username,
                          ustring& password) override;
  // IO thread, the cookie store of a load; null: the global one. Default: null.
  RefPtr<ICefCookieManager> GetCookieManager(const RefPtr<ICefBrowser>& browser,
                                             const ustring& mainUrl) override;
};

}  // namespace ceflib
