// Serving a URL scheme from program code: the factory the engine asks for one handler
// per request, the handler base class, and the factory's registration.
//
// A factory registered for the main thread runs its handlers' ProcessRequest,
// GetResponseHeaders and ReadResponse on the main thread while the engine's thread
// waits (see CefRunOnMainThread); Cancel always runs on the engine's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <type_traits>

#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/request.h"
#include "ceflib/wrappers/scheme_handler_callback.h"

namespace ceflib {

class ICefSchemeHandler : public virtual ICefBase {
 public:
  virtual bool ProcessRequest(const RefPtr<ICefRequest>& request,
                              const RefPtr<ICefSchemeHandlerCallback>& callback) = 0;
  virtual void GetResponseHeaders(const RefPtr<ICefResponse>& response, int64_t& responseLength,
                                  ustring& redirectUrl) = 0;
  virtual bool ReadResponse(void* dataOut, int bytesToRead, int& bytesRead,
                            const RefPtr<ICefSchemeHandlerCallback>& callback) = 0;
  virtual void Cancel() = 0;
};

class ICefSchemeHandlerFactory : public virtual ICefBase {
 public:
  virtual RefPtr<ICefSchemeHandler> CreateHandler(const ustring& scheme, const RefPtr<ICefBrowser>& browser,
                                                  const RefPtr<ICefRequest>& request) = 0;
};

// Base of every scheme handler. Derive, keep the constructor's arguments, and override
// what the scheme serves.
class TCefSchemeHandlerOwn : public TCefOwn<cef_scheme_handler_t>, public ICefSchemeHandler {
 public:
  TCefSchemeHandlerOwn(bool SyncMainThread, const ustring& scheme, const RefPtr<ICefBrowser>& browser,
                       const RefPtr<ICefRequest>& request);

  // Default: not handled.
  bool ProcessRequest(const RefPtr<ICefRequest>& request,
                      const RefPtr<ICefSchemeHandlerCallback>& callback) override;
  // Default: nothing.
  void GetResponseHeaders(const RefPtr<ICefResponse>& response, int64_t& responseLength,
                          ustring& redirectUrl) override;
  // Default: no data.
  bool ReadResponse(void* dataOut, int bytesToRead, int& bytesRead,
                    const RefPtr<ICefSchemeHandlerCallback>& callback) override;
  // Default: marks the handler cancelled. Runs on the engine's thread in both modes.
  void Cancel() override;

  bool Cancelled() const noexcept { return FCancelled; }
  const ustring& Scheme() const noexcept { return FScheme; }
  const RefPtr<ICefBrowser>& Browser() const noexcept { return FBrowser; }
  const RefPtr<ICefRequest>& Request() const noexcept { return FRequest; }

 protected:
  std::atomic<bool> FCancelled{false};
  ustring FScheme;
  RefPtr<ICefBrowser> FBrowser;
  RefPtr<ICefRequest> FRequest;
};

// The handler class given at registration: constructs one handler per request with
// the factory's main-thread flag, the scheme name, the browser and the request.
using TCefSchemeHandlerClass = std::function<RefPtr<TCefSchemeHandlerOwn>(
    bool syncMainThread, const ustring& scheme, const RefPtr<ICefBrowser>& browser,
    const RefPtr<ICefRequest>& request)>;

// The handler class of T, a TCefSchemeHandlerOwn with its constructor.
template <class T>
requires std::is_base_of_v<TCefSchemeHandlerOwn, T> TCefSchemeHandlerClass CefSchemeHandlerClassOf() {
  return [](bool syncMainThread, const ustring& scheme, const RefPtr<ICefBrowser>& browser,
            const RefPtr<ICefRequest>& request) -> RefPtr<TCefSchemeHandlerOwn> {
    return Make<T>(syncMainThread, scheme, browser, request);
  };
}

class TCefSchemeHandlerFactoryOwn : public TCefOwn<cef_scheme_handler_factory_t>,
                                    public ICefSchemeHandlerFactory {
 public:
  TCefSchemeHandlerFactoryOwn(TCefSchemeHandlerClass AClass, bool SyncMainThread);
  RefPtr<ICefSchemeHandler> CreateHandler(const ustring& scheme, const RefPtr<ICefBrowser>& browser,
                                          const RefPtr<ICefRequest>& request) override;

 private:
  // The create entry: the engine's argument order.
  RefPtr<ICefSchemeHandler> CreateEntry(const RefPtr<ICefBrowser>& browser, const ustring& scheme,
                                        const RefPtr<ICefRequest>& request) {
    return CreateHandler(scheme, browser, request);
  }

  TCefSchemeHandlerClass FClass;
  bool FSyncMainThread;
};

// One handler call handed to the main thread: the arguments in, the results out.
// FHandler is not counted: the engine's reference keeps it alive during the call.
struct TSHSyncProcessRequest {
  TSHSyncProcessRequest(TCefSchemeHandlerOwn* Handler, RefPtr<ICefRequest> Request,
                        RefPtr<ICefSchemeHandlerCallback> Callback)
      : FHandler(Handler), FRequest(std::move(Request)), FCallback(std::move(Callback)) {}
  void Execute() { FResult = FHandler->ProcessRequest(FRequest, FCallback); }

  TCefSchemeHandlerOwn* FHandler;
  RefPtr<ICefRequest> FRequest;
  bool FResult = false;
  RefPtr<ICefSchemeHandlerCallback> FCallback;
};

struct TSHSyncReadResponse {
  TSHSyncReadResponse(TCefSchemeHandlerOwn* Handler, void* DataOut, int BytesToRead, int BytesRead,
                      RefPtr<ICefSchemeHandlerCallback> Callback)
      : FHandler(Handler),
        FDataOut(DataOut),
        FBytesToRead(BytesToRead),
        FBytesRead(BytesRead),
        FCallback(std::move(Callback)) {}
  void Execute() { FResult = FHandler->ReadResponse(FDataOut, FBytesToRead, FBytesRead, FCallback); }

  TCefSchemeHandlerOwn* FHandler;
  void* FDataOut;
  int FBytesToRead;
  int FBytesRead;
  RefPtr<ICefSchemeHandlerCallback> FCallback;
  bool FResult = false;
};

struct TSHSyncGetResponseHeaders {
  TSHSyncGetResponseHeaders(TCefSchemeHandlerOwn* Handler, RefPtr<ICefResponse> Response)
      : FHandler(Handler), FResponse(std::move(Response)) {}
  void Execute() { FHandler->GetResponseHeaders(FResponse, FResponseLength, FRedirectUrl); }

  TCefSchemeHandlerOwn* FHandler;
  RefPtr<ICefResponse> FResponse;
  int64_t FResponseLength = 0;
  ustring FRedirectUrl;
};

// Serves scheme://host/ with handlers made by handlerClass; with syncMainThread their
// calls run on the main thread. Loads and initializes the engine first when it is not
// loaded yet. True when the engine accepted the factory.
bool CefRegisterSchemeHandlerFactory(const ustring& schemeName, const ustring& hostName, bool syncMainThread,
                                     TCefSchemeHandlerClass handlerClass);

template <class T>
bool CefRegisterSchemeHandlerFactory(const ustring& schemeName, const ustring& hostName,
                                     bool syncMainThread) {
  return CefRegisterSchemeHandlerFactory(schemeName, hostName, syncMainThread, CefSchemeHandlerClassOf<T>());
}

}  // namespace ceflib
