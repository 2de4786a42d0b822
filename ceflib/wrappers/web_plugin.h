// Information on the engine's web plugins.
#pragma once

#include "ceflib/core/conversions.h"

namespace ceflib {

class ICefWebPluginInfo : public virtual ICefBase {
 public:
  virtual ustring GetName() = 0;
  // The plugin's library file.
  virtual ustring GetPath() = 0;
  virtual ustring GetVersion() = 0;
  virtual ustring GetDescription() = 0;
};

class TCefWebPluginInfoRef final
    : public TCefRef<TCefWebPluginInfoRef, ICefWebPluginInfo, cef_web_plugin_info_t> {
 public:
  using TCefRef::TCefRef;

  ustring GetName() override;
  ustring GetPath() override;
  ustring GetVersion() override;
  ustring GetDescription() override;
};

template <>
struct TCefWrapperOf<ICefWebPluginInfo> {
  using type = TCefWebPluginInfoRef;
};

// The engine's plugins, on the main thread: how many there are, and each by its index
// or its name (null when there is none).
size_t CefGetWebPluginCount();
RefPtr<ICefWebPluginInfo> CefGetWebPluginInfo(int index);
RefPtr<ICefWebPluginInfo> CefGetWebPluginInfoByName(const ustring& name);

}  // namespace ceflib
