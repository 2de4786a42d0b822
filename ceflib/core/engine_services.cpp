#include "ceflib/core/engine_services.h"

#include "ceflib/core/conversions.h"
#include "ceflib/core/engine_library.h"

namespace ceflib {

void CefDoMessageLoopWork() { CefCallExport(cef_do_message_loop_work); }
void CefQuitMessageLoop() { CefCallExport(cef_quit_message_loop); }
void CefSetOsModalLoop(bool osModalLoop) { CefCallExport(cef_set_osmodal_loop, osModalLoop); }

bool CefClearSchemeHandlerFactories() { return CefCallExport<bool>(cef_clear_scheme_handler_factories); }

bool CefAddCrossOriginWhitelistEntry(const ustring& sourceOrigin, const ustring& targetProtocol,
                                     const ustring& targetDomain, bool allowTargetSubdomains) {
  return CefCallExport<bool>(cef_add_cross_origin_whitelist_entry, sourceOrigin, targetProtocol, targetDomain,
                             allowTargetSubdomains);
}
bool CefRemoveCrossOriginWhitelistEntry(const ustring& sourceOrigin, const ustring& targetProtocol,
                                        const ustring& targetDomain, bool allowTargetSubdomains) {
  return CefCallExport<bool>(cef_remove_cross_origin_whitelist_entry, sourceOrigin, targetProtocol,
                             targetDomain, allowTargetSubdomains);
}
bool CefClearCrossOriginWhitelist() { return CefCallExport<bool>(cef_clear_cross_origin_whitelist); }

int CefBuildRevision() { return CefCallExport<int>(cef_build_revision); }

}  // namespace ceflib
