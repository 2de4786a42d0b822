// The engine's scheme registrar, handed to the application while custom schemes are
// registered.
#pragma once

#include "ceflib/core/conversions.h"

namespace ceflib {

class ICefSchemeRegistrar : public virtual ICefBase {
 public:
  virtual bool AddCustomScheme(const ustring& schemeName, bool isStandard, bool isLocal,
                               bool isDisplayIsolated) = 0;
};

class TCefSchemeRegistrarRef final
    : public TCefRef<TCefSchemeRegistrarRef, ICefSchemeRegistrar, cef_scheme_registrar_t> {
 public:
  using TCefRef::TCefRef;
  bool AddCustomScheme(const ustring& schemeName, bool isStandard, bool isLocal,
                       bool isDisplayIsolated) override {
    return Call<bool>(&cef_scheme_registrar_t::add_custom_scheme, schemeName, isStandard, isLocal,
                      isDisplayIsolated);
  }
};
template <>
struct TCefWrapperOf<ICefSchemeRegistrar> {
  using type = TCefSchemeRegistrarRef;
};

}  // namespace ceflib
