// Geolocation: the handler that decides whether a page may know the location, and the
// callback of a one-off position request of the program (CefGetGeolocation).
#pragma once

#include <functional>

#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/geolocation.h"

namespace ceflib {

class ICefGeolocationHandler : public virtual ICefBase {
 public:
  virtual void OnRequestGeolocationPermission(const RefPtr<ICefBrowser>& browser,
                                              const ustring& requestingUrl, int requestId,
                                              const RefPtr<ICefGeolocationCallback>& callback) = 0;
  virtual void OnCancelGeolocationPermission(const RefPtr<ICefBrowser>& browser, const ustring& requestingUrl,
                                             int requestId) = 0;
};

class TCefGeolocationHandlerOwn : public TCefOwn<cef_geolocation_handler_t>, public ICefGeolocationHandler {
 public:
  TCefGeolocationHandlerOwn();
  // UI thread: a page asks to know the location. Answer through callback->Cont, now or
  // later (keep the callback). Default: refused.
  void OnRequestGeolocationPermission(const RefPtr<ICefBrowser>& browser, const ustring& requestingUrl,
                                      int requestId,
                                      const RefPtr<ICefGeolocationCallback>& callback) override;
  // UI thread: the request is withdrawn (the page went, or stopped watching); an answer
  // given after this is ignored. Default: nothing.
  void OnCancelGeolocationPermission(const RefPtr<ICefBrowser>& browser, const ustring& requestingUrl,
                                     int requestId) override;
};

class ICefGetGeolocationCallback : public virtual ICefBase {
 public:
  virtual void OnLocationUpdate(const TCefGeoposition& position) = 0;
};

// UI thread: called once with the position, or with errorCode and errorMessage set.
class TCefGetGeolocationCallbackOwn : public TCefOwn<cef_get_geolocation_callback_t>,
                                      public ICefGetGeolocationCallback {
 public:
  TCefGetGeolocationCallbackOwn();
  void OnLocationUpdate(const TCefGeoposition& position) override = 0;
};

using TCefGetGeolocationProc = std::function<void(const TCefGeoposition& position)>;

class TCefFastGetGeolocationCallback : public TCefGetGeolocationCallbackOwn {
 public:
  explicit TCefFastGetGeolocationCallback(TCefGetGeolocationProc proc) : FProc(std::move(proc)) {}
  void OnLocationUpdate(const TCefGeoposition& position) override;

 private:
  TCefGetGeolocationProc FProc;
};

// Asks the engine once for the current position, skipping the user's permission (only
// for code that may know the location). True when the request started; the callback
// then comes on the UI thread.
bool CefGetGeolocation(const RefPtr<ICefGetGeolocationCallback>& callback);
bool CefGetGeolocation(TCefGetGeolocationProc proc);

}  // namespace ceflib
