#include "ceflib/wrappers/web_plugin.h"

#include "ceflib/core/engine_library.h"

namespace ceflib {

using Info = cef_web_plugin_info_t;

ustring TCefWebPluginInfoRef::GetName() { return Call<ustring>(&Info::get_name); }
ustring TCefWebPluginInfoRef::GetPath() { return Call<ustring>(&Info::get_path); }
ustring TCefWebPluginInfoRef::GetVersion() { return Call<ustring>(&Info::get_version); }
ustring TCefWebPluginInfoRef::GetDescription() { return Call<ustring>(&Info::get_description); }

size_t CefGetWebPluginCount() { return CefCallExport<size_t>(cef_get_web_plugin_count); }
RefPtr<ICefWebPluginInfo> CefGetWebPluginInfo(int index) {
  return CefCallExport<RefPtr<ICefWebPluginInfo>>(cef_get_web_plugin_info, index);
}
RefPtr<ICefWebPluginInfo> CefGetWebPluginInfoByName(const ustring& name) {
  return CefCallExport<RefPtr<ICefWebPluginInfo>>(cef_get_web_plugin_info_byname, name);
}

}  // namespace ceflib
