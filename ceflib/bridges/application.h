// The application object the engine receives at initialization, and the proxy and
// resource bundle handlers it hands out.
#pragma once

#include "ceflib/core/conversions.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/wrappers/scheme_registrar.h"

namespace ceflib {

class ICefProxyHandler : public virtual ICefBase {
 public:
  virtual void GetProxyForUrl(const ustring& url, TCefProxyType& proxyType, ustring& proxyList) = 0;
};

class ICefResourceBundleHandler : public virtual ICefBase {
 public:
  virtual bool GetLocalizedString(int messageId, ustring& stringVal) = 0;
  virtual bool GetDataResource(int resourceId, void*& data, size_t& dataSize) = 0;
};

// Not an ICefBase: the program never hands the application around as an engine object.
class ICefApp : public virtual IInterface {
 public:
  virtual void OnRegisterCustomSchemes(const RefPtr<ICefSchemeRegistrar>& registrar) = 0;
  virtual RefPtr<ICefProxyHandler> GetProxyHandler() = 0;
  virtual RefPtr<ICefResourceBundleHandler> GetResourceBundleHandler() = 0;
};

// Application subclasses implement the three questions; the entries call them.
class TCefAppOwn : public TCefOwn<cef_app_t>, public ICefApp {
 public:
  TCefAppOwn();
  void OnRegisterCustomSchemes(const RefPtr<ICefSchemeRegistrar>& registrar) override = 0;
  RefPtr<ICefProxyHandler> GetProxyHandler() override = 0;
  RefPtr<ICefResourceBundleHandler> GetResourceBundleHandler() override = 0;
};

// The binding's own application: custom schemes come from CefOnRegisterCustomSchemes
// (read at each call), the handlers call the hooks read when it was created.
class TInternalApp : public TCefAppOwn {
 public:
  TInternalApp();
  void OnRegisterCustomSchemes(const RefPtr<ICefSchemeRegistrar>& registrar) override;
  RefPtr<ICefProxyHandler> GetProxyHandler() override { return FProxyHandler; }
  RefPtr<ICefResourceBundleHandler> GetResourceBundleHandler() override { return FResourceBundleHandler; }

 private:
  RefPtr<ICefProxyHandler> FProxyHandler;
  RefPtr<ICefResourceBundleHandler> FResourceBundleHandler;
};

class TCefProxyHandlerOwn : public TCefOwn<cef_proxy_handler_t>, public ICefProxyHandler {
 public:
  TCefProxyHandlerOwn();
  void GetProxyForUrl(const ustring& url, TCefProxyType& proxyType, ustring& proxyList) override = 0;
};

class TCefFastProxyHandler : public TCefProxyHandlerOwn {
 public:
  explicit TCefFastProxyHandler(TGetProxyForUrlProc handler) : FGetProxyForUrl(std::move(handler)) {}
  void GetProxyForUrl(const ustring& url, TCefProxyType& proxyType, ustring& proxyList) override;

 private:
  TGetProxyForUrlProc FGetProxyForUrl;
};

class TCefResourceBundleHandlerOwn : public TCefOwn<cef_resource_bundle_handler_t>,
                                     public ICefResourceBundleHandler {
 public:
  TCefResourceBundleHandlerOwn();
  bool GetDataResource(int resourceId, void*& data, size_t& dataSize) override = 0;
  bool GetLocalizedString(int messageId, ustring& stringVal) override = 0;
};

class TCefFastResourceBundle : public TCefResourceBundleHandlerOwn {
 public:
  TCefFastResourceBundle(TGetDataResource AGetDataResource, TGetLocalizedString AGetLocalizedString)
      : FGetDataResource(std::move(AGetDataResource)), FGetLocalizedString(std::move(AGetLocalizedString)) {}
  bool GetDataResource(int resourceId, void*& data, size_t& dataSize) override;
  bool GetLocalizedString(int messageId, ustring& stringVal) override;

 private:
  TGetDataResource FGetDataResource;
  TGetLocalizedString FGetLocalizedString;
};

}  // namespace ceflib
