#include "ceflib/bridges/application.h"

namespace ceflib {

TCefAppOwn::TCefAppOwn() {
  Bind<&TCefAppOwn::OnRegisterCustomSchemes>(record()->on_register_custom_schemes);
  Bind<&TCefAppOwn::GetResourceBundleHandler>(record()->get_resource_bundle_handler);
  Bind<&TCefAppOwn::GetProxyHandler>(record()->get_proxy_handler);
}

TInternalApp::TInternalApp()
    : FProxyHandler(Make<TCefFastProxyHandler>(CefGetProxyForUrl)),
      FResourceBundleHandler(Make<TCefFastResourceBundle>(CefGetDataResource, CefGetLocalizedString)) {}

void TInternalApp::OnRegisterCustomSchemes(const RefPtr<ICefSchemeRegistrar>& registrar) {
  if (CefOnRegisterCustomSchemes) CefOnRegisterCustomSchemes(registrar);
}

namespace {

// The proxy list is written back in every case, so a handler that leaves it alone
// hands the engine an empty list.
void CEF_CALLBACK GetProxyForUrlEntry(cef_proxy_handler_t* self, const cef_string_t* url,
                                      cef_proxy_info_t* info) noexcept {
  CefGuarded([&] {
    if (!info) return;
    ustring proxyList;
    CefObjectOf<TCefProxyHandlerOwn>(self)->GetProxyForUrl(CefStringRead(url), info->proxyType, proxyList);
    CefStringAssign(&info->proxyList, proxyList);
  });
}

// The engine's record is written only when the handler answers true.
int CEF_CALLBACK GetLocalizedStringEntry(cef_resource_bundle_handler_t* self, int messageId,
                                         cef_string_t* string) noexcept {
  return CefGuarded([&] {
    ustring value;
    bool found = CefObjectOf<TCefResourceBundleHandlerOwn>(self)->GetLocalizedString(messageId, value);
    if (found) CefStringAssign(string, value);
    return ToEngine(found);
  });
}

// The handler writes straight into the engine's variables; the data stays the handler's.
int CEF_CALLBACK GetDataResourceEntry(cef_resource_bundle_handler_t* self, int resourceId, void** data,
                                      size_t* dataSize) noexcept {
  return CefGuarded([&] {
    if (!data || !dataSize) return 0;
    return ToEngine(
        CefObjectOf<TCefResourceBundleHandlerOwn>(self)->GetDataResource(resourceId, *data, *dataSize));
  });
}

}  // namespace

TCefProxyHandlerOwn::TCefProxyHandlerOwn() { record()->get_proxy_for_url = &GetProxyForUrlEntry; }

void TCefFastProxyHandler::GetProxyForUrl(const ustring& url, TCefProxyType& proxyType, ustring& proxyList) {
  if (FGetProxyForUrl) FGetProxyForUrl(url, proxyType, proxyList);
}

TCefResourceBundleHandlerOwn::TCefResourceBundleHandlerOwn() {
  record()->get_localized_string = &GetLocalizedStringEntry;
  record()->get_data_resource = &GetDataResourceEntry;
}

bool TCefFastResourceBundle::GetDataResource(int resourceId, void*& data, size_t& dataSize) {
  return FGetDataResource ? FGetDataResource(resourceId, data, dataSize) : false;
}

bool TCefFastResourceBundle::GetLocalizedString(int messageId, ustring& stringVal) {
  stringVal.clear();
  return FGetLocalizedString ? FGetLocalizedString(messageId, stringVal) : false;
}

cef_app_t* detail::CefNewApplication() {
  return reinterpret_cast<cef_app_t*>(CefDataOf(Make<TInternalApp>()));
}

}  // namespace ceflib
