#include "ceflib/bridges/geolocation.h"

#include "ceflib/core/engine_library.h"

namespace ceflib {

TCefGeolocationHandlerOwn::TCefGeolocationHandlerOwn() {
  cef_geolocation_handler_t* r = record();
  Bind<&TCefGeolocationHandlerOwn::OnRequestGeolocationPermission>(r->on_request_geolocation_permission);
  Bind<&TCefGeolocationHandlerOwn::OnCancelGeolocationPermission>(r->on_cancel_geolocation_permission);
}

void TCefGeolocationHandlerOwn::OnRequestGeolocationPermission(
    const RefPtr<ICefBrowser>&, const ustring&, int, const RefPtr<ICefGeolocationCallback>& callback) {
  if (callback) callback->Cont(false);
}
void TCefGeolocationHandlerOwn::OnCancelGeolocationPermission(const RefPtr<ICefBrowser>&, const ustring&,
                                                              int) {}

TCefGetGeolocationCallbackOwn::TCefGetGeolocationCallbackOwn() {
  Bind<&TCefGetGeolocationCallbackOwn::OnLocationUpdate>(record()->on_location_update);
}

void TCefFastGetGeolocationCallback::OnLocationUpdate(const TCefGeoposition& position) {
  if (FProc) FProc(position);
}

bool CefGetGeolocation(const RefPtr<ICefGetGeolocationCallback>& callback) {
  return CefCallExport<bool>(cef_get_geolocation, callback);
}

bool CefGetGeolocation(TCefGetGeolocationProc proc) {
  return CefGetGeolocation(
      RefPtr<ICefGetGeolocationCallback>(Make<TCefFastGetGeolocationCallback>(std::move(proc))));
}

}  // namespace ceflib
