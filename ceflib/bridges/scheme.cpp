#include "ceflib/bridges/scheme.h"

#include <exception>

#include "ceflib/core/engine_library.h"
#include "ceflib/core/main_thread.h"

namespace ceflib {
namespace {

TCefSchemeHandlerOwn* HandlerOf(cef_scheme_handler_t* self) {
  return CefObjectOf<TCefSchemeHandlerOwn>(self);
}
RefPtr<ICefSchemeHandlerCallback> CallbackOf(cef_scheme_handler_callback_t* callback) {
  return TCefSchemeHandlerCallbackRef::UnWrap(callback);
}
RefPtr<ICefResponse> ResponseOf(cef_response_t* response) {
  return FromEngineArg<RefPtr<ICefResponse>>(response);
}

// A read that throws cancels the request through the engine's callback, so that bytes it
// reported before throwing cannot end the load as a success.
class CancelOnThrow {
 public:
  explicit CancelOnThrow(RefPtr<ICefSchemeHandlerCallback> callback) noexcept
      : callback_(std::move(callback)), exceptions_(std::uncaught_exceptions()) {}
  CancelOnThrow(const CancelOnThrow&) = delete;
  CancelOnThrow& operator=(const CancelOnThrow&) = delete;
  ~CancelOnThrow() {
    if (!callback_ || std::uncaught_exceptions() <= exceptions_) return;
    try {
      callback_->Cancel();
    } catch (...) {
      // The handler's own exception is the one reported.
    }
  }
  const RefPtr<ICefSchemeHandlerCallback>& callback() const noexcept { return callback_; }

 private:
  RefPtr<ICefSchemeHandlerCallback> callback_;
  int exceptions_;
};

// An empty redirect leaves the engine's string as it was.
void StoreRedirect(cef_string_t* target, const ustring& redirect) {
  if (!redirect.empty()) CefStringAssign(target, redirect);
}

// ---- direct mode: the handler runs on the engine's thread ----

void CEF_CALLBACK GetResponseHeadersDirect(cef_scheme_handler_t* self, cef_response_t* response,
                                           int64_t* responseLength, cef_string_t* redirectUrl) {
  CefGuarded([&] {
    int64_t unused = 0;
    ustring redirect;
    // The engine's own length variable is the method's in-and-out argument.
    HandlerOf(self)->GetResponseHeaders(ResponseOf(response), responseLength ? *responseLength : unused,
                                        redirect);
    StoreRedirect(redirectUrl, redirect);
  });
}

int CEF_CALLBACK ReadResponseDirect(cef_scheme_handler_t* self, void* dataOut, int bytesToRead,
                                    int* bytesRead, cef_scheme_handler_callback_t* callback) {
  return CefGuarded([&] {
    const CancelOnThrow guard(CallbackOf(callback));
    int unused = 0;
    return HandlerOf(self)->ReadResponse(dataOut, bytesToRead, bytesRead ? *bytesRead : unused,
                                         guard.callback())
               ? 1
               : 0;
  });
}

// ---- main-thread mode: the call is handed to the main thread and waited for ----

int CEF_CALLBACK ProcessRequestOnMainThread(cef_scheme_handler_t* self, cef_request_t* request,
                                            cef_scheme_handler_callback_t* callback) {
  return CefGuarded([&] {
    TSHSyncProcessRequest call(HandlerOf(self), FromEngineArg<RefPtr<ICefRequest>>(request),
                               CallbackOf(callback));
    CefRunOnMainThread([&] { call.Execute(); });
    return call.FResult ? 1 : 0;
  });
}

void CEF_CALLBACK GetResponseHeadersOnMainThread(cef_scheme_handler_t* self, cef_response_t* response,
                                                 int64_t* responseLength, cef_string_t* redirectUrl) {
  CefGuarded([&] {
    TSHSyncGetResponseHeaders call(HandlerOf(self), ResponseOf(response));
    CefRunOnMainThread([&] { call.Execute(); });
    if (responseLength) *responseLength = call.FResponseLength;
    StoreRedirect(redirectUrl, call.FRedirectUrl);
  });
}

int CEF_CALLBACK ReadResponseOnMainThread(cef_scheme_handler_t* self, void* dataOut, int bytesToRead,
                                          int* bytesRead, cef_scheme_handler_callback_t* callback) {
  return CefGuarded([&] {
    const CancelOnThrow guard(CallbackOf(callback));
    TSHSyncReadResponse call(HandlerOf(self), dataOut, bytesToRead, bytesRead ? *bytesRead : 0,
                             guard.callback());
    CefRunOnMainThread([&] { call.Execute(); });
    if (bytesRead) *bytesRead = call.FBytesRead;
    return call.FResult ? 1 : 0;
  });
}

}  // namespace

TCefSchemeHandlerOwn::TCefSchemeHandlerOwn(bool SyncMainThread, const ustring& scheme,
                                           const RefPtr<ICefBrowser>& browser,
                                           const RefPtr<ICefRequest>& request)
    : FScheme(scheme), FBrowser(browser), FRequest(request) {
  cef_scheme_handler_t* r = record();
  if (SyncMainThread) {
    r->process_request = &ProcessRequestOnMainThread;
    r->get_response_headers = &GetResponseHeadersOnMainThread;
    r->read_response = &ReadResponseOnMainThread;
  } else {
    Bind<&TCefSchemeHandlerOwn::ProcessRequest>(r->process_request);
    r->get_response_headers = &GetResponseHeadersDirect;
    r->read_response = &ReadResponseDirect;
  }
  Bind<&TCefSchemeHandlerOwn::Cancel>(r->cancel);
}

bool TCefSchemeHandlerOwn::ProcessRequest(const RefPtr<ICefRequest>&,
                                          const RefPtr<ICefSchemeHandlerCallback>&) {
  return false;
}
void TCefSchemeHandlerOwn::GetResponseHeaders(const RefPtr<ICefResponse>&, int64_t&, ustring&) {}
bool TCefSchemeHandlerOwn::ReadResponse(void*, int, int&, const RefPtr<ICefSchemeHandlerCallback>&) {
  return false;
}
void TCefSchemeHandlerOwn::Cancel() { FCancelled = true; }

TCefSchemeHandlerFactoryOwn::TCefSchemeHandlerFactoryOwn(TCefSchemeHandlerClass AClass, bool SyncMainThread)
    : FClass(std::move(AClass)), FSyncMainThread(SyncMainThread) {
  Bind<&TCefSchemeHandlerFactoryOwn::CreateEntry>(record()->create);
}

RefPtr<ICefSchemeHandler> TCefSchemeHandlerFactoryOwn::CreateHandler(const ustring& scheme,
                                                                     const RefPtr<ICefBrowser>& browser,
                                                                     const RefPtr<ICefRequest>& request) {
  if (!FClass) return nullptr;
  return FClass(FSyncMainThread, scheme, browser, request);
}

bool CefRegisterSchemeHandlerFactory(const ustring& schemeName, const ustring& hostName, bool syncMainThread,
                                     TCefSchemeHandlerClass handlerClass) {
  CefEnsureEngine();
  // The engine holds the factory's only lasting reference.
  RefPtr<ICefBase> factory = Make<TCefSchemeHandlerFactoryOwn>(std::move(handlerClass), syncMainThread);
  return CefCallExport<bool>(cef_register_scheme_handler_factory, schemeName, hostName, factory);
}

}  // namespace ceflib
