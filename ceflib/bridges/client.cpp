#include "ceflib/bridges/client.h"

namespace ceflib {
namespace {

RefPtr<ICefBrowser> BrowserOf(cef_browser_t* browser) { return FromEngineArg<RefPtr<ICefBrowser>>(browser); }
RefPtr<ICefFrame> FrameOf(cef_frame_t* frame) { return FromEngineArg<RefPtr<ICefFrame>>(frame); }

void AddRefRecord(cef_client_t* client) {
  if (client && client->base.add_ref) client->base.add_ref(&client->base);
}
void ReleaseRecord(cef_client_t* client) {
  if (client && client->base.release) client->base.release(&client->base);
}

int CEF_CALLBACK OnBeforePopupEntry(cef_life_span_handler_t* self, cef_browser_t* parentBrowser,
                                    const cef_popup_features_t* popupFeatures, cef_window_info_t* windowInfo,
                                    cef_string_t* url, cef_client_t** client,
                                    cef_browser_settings_t* settings) {
  return CefGuarded([&] {
    RefPtr<ICefBrowser> parent = BrowserOf(parentBrowser);
    ustring text = CefStringRead(url);
    // The wrapper of the engine's client holds a reference of its own, so the engine's
    // pointer keeps its reference until it is replaced (also when the method throws).
    RefPtr<ICefBase> current;
    if (client && *client) {
      AddRefRecord(*client);
      current = TCefBaseRef::UnWrap(*client);
    }
    const bool answer = CefObjectOf<TCefLifeSpanHandlerOwn>(self)->OnBeforePopup(
        parent, popupFeatures, windowInfo, text, current, settings);
    CefStringAssign(url, text);
    if (client) {
      // The engine's old reference goes, the answer's new one replaces it.
      cef_client_t* old = *client;
      *client = reinterpret_cast<cef_client_t*>(CefDataOf(current));
      ReleaseRecord(old);
    }
    return answer ? 1 : 0;
  });
}

int CEF_CALLBACK OnLoadErrorEntry(cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                                  cef_handler_errorcode_t errorCode, const cef_string_t* failedUrl,
                                  cef_string_t* errorText) {
  return CefGuarded([&] {
    ustring text = CefStringRead(errorText);
    const bool answer = CefObjectOf<TCefLoadHandlerOwn>(self)->OnLoadError(
        BrowserOf(browser), FrameOf(frame), static_cast<int>(errorCode), CefStringRead(failedUrl), text);
    if (answer) CefStringAssign(errorText, text);
    return answer ? 1 : 0;
  });
}

void CEF_CALLBACK OnFaviconUrlChangeEntry(cef_display_handler_t* self, cef_browser_t* browser,
                                          cef_string_list_t iconUrls) {
  CefGuarded([&] {
    std::vector<ustring> urls;
    if (iconUrls) CefStringListRead(iconUrls, urls);
    CefObjectOf<TCefDisplayHandlerOwn>(self)->OnFaviconUrlChange(BrowserOf(browser), urls);
  });
}

int CEF_CALLBACK OnTooltipEntry(cef_display_handler_t* self, cef_browser_t* browser, cef_string_t* text) {
  return CefGuarded([&] {
    // Taken out of the engine's record, and always put back as a new engine string.
    ustring value = text ? CefStringClearAndGet(text) : ustring();
    auto putBack = [&] {
      if (text) *text = CefStringAlloc(value);
    };
    bool answer = false;
    try {
      answer = CefObjectOf<TCefDisplayHandlerOwn>(self)->OnTooltip(BrowserOf(browser), value);
    } catch (...) {
      putBack();
      throw;
    }
    putBack();
    return answer ? 1 : 0;
  });
}

}  // namespace

TCefClientOwn::TCefClientOwn() {
  cef_client_t* r = record();
  Bind<&TCefClientOwn::GetLifeSpanHandler>(r->get_life_span_handler);
  Bind<&TCefClientOwn::GetLoadHandler>(r->get_load_handler);
  Bind<&TCefClientOwn::GetRequestHandler>(r->get_request_handler);
  Bind<&TCefClientOwn::GetDisplayHandler>(r->get_display_handler);
  Bind<&TCefClientOwn::GetFocusHandler>(r->get_focus_handler);
  Bind<&TCefClientOwn::GetKeyboardHandler>(r->get_keyboard_handler);
  Bind<&TCefClientOwn::GetMenuHandler>(r->get_menu_handler);
  Bind<&TCefClientOwn::GetPermissionHandler>(r->get_permission_handler);
  Bind<&TCefClientOwn::GetPrintHandler>(r->get_print_handler);
  Bind<&TCefClientOwn::GetFindHandler>(r->get_find_handler);
  Bind<&TCefClientOwn::GetJsdialogHandler>(r->get_jsdialog_handler);
  Bind<&TCefClientOwn::GetV8contextHandler>(r->get_v8context_handler);
  Bind<&TCefClientOwn::GetRenderHandler>(r->get_render_handler);
  Bind<&TCefClientOwn::GetDragHandler>(r->get_drag_handler);
  Bind<&TCefClientOwn::GetGeolocationHandler>(r->get_geolocation_handler);
  Bind<&TCefClientOwn::GetZoomHandler>(r->get_zoom_handler);
}

TCefLifeSpanHandlerOwn::TCefLifeSpanHandlerOwn() {
  cef_life_span_handler_t* r = record();
  r->on_before_popup = &OnBeforePopupEntry;
  Bind<&TCefLifeSpanHandlerOwn::OnAfterCreated>(r->on_after_created);
  Bind<&TCefLifeSpanHandlerOwn::RunModal>(r->run_modal);
  Bind<&TCefLifeSpanHandlerOwn::DoClose>(r->do_close);
  Bind<&TCefLifeSpanHandlerOwn::OnBeforeClose>(r->on_before_close);
}

bool TCefLifeSpanHandlerOwn::OnBeforePopup(const RefPtr<ICefBrowser>&, const cef_popup_features_t*,
                                           cef_window_info_t*, ustring&, RefPtr<ICefBase>&,
                                           cef_browser_settings_t*) {
  return false;
}
void TCefLifeSpanHandlerOwn::OnAfterCreated(const RefPtr<ICefBrowser>&) {}
void TCefLifeSpanHandlerOwn::OnBeforeClose(const RefPtr<ICefBrowser>&) {}
bool TCefLifeSpanHandlerOwn::RunModal(const RefPtr<ICefBrowser>&) { return false; }
bool TCefLifeSpanHandlerOwn::DoClose(const RefPtr<ICefBrowser>&) { return false; }

TCefLoadHandlerOwn::TCefLoadHandlerOwn() {
  cef_load_handler_t* r = record();
  Bind<&TCefLoadHandlerOwn::OnLoadStart>(r->on_load_start);
  Bind<&TCefLoadHandlerOwn::OnLoadEnd>(r->on_load_end);
  r->on_load_error = &OnLoadErrorEntry;
}

void TCefLoadHandlerOwn::OnLoadStart(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&) {}
void TCefLoadHandlerOwn::OnLoadEnd(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, int) {}
bool TCefLoadHandlerOwn::OnLoadError(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, int,
                                     const ustring&, ustring&) {
  return false;
}

TCefDisplayHandlerOwn::TCefDisplayHandlerOwn() {
  cef_display_handler_t* r = record();
  Bind<&TCefDisplayHandlerOwn::OnNavStateChange>(r->on_nav_state_change);
  Bind<&TCefDisplayHandlerOwn::OnAddressChange>(r->on_address_change);
  Bind<&TCefDisplayHandlerOwn::OnContentsSizeChange>(r->on_contents_size_change);
  Bind<&TCefDisplayHandlerOwn::OnTitleChange>(r->on_title_change);
  r->on_favicon_urlchange = &OnFaviconUrlChangeEntry;
  r->on_tooltip = &OnTooltipEntry;
  Bind<&TCefDisplayHandlerOwn::OnStatusMessage>(r->on_status_message);
  Bind<&TCefDisplayHandlerOwn::OnConsoleMessage>(r->on_console_message);
}

void TCefDisplayHandlerOwn::OnNavStateChange(const RefPtr<ICefBrowser>&, bool, bool) {}
void TCefDisplayHandlerOwn::OnAddressChange(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&,
                                            const ustring&) {}
void TCefDisplayHandlerOwn::OnContentsSizeChange(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, int,
                                                 int) {}
void TCefDisplayHandlerOwn::OnTitleChange(const RefPtr<ICefBrowser>&, const ustring&) {}
void TCefDisplayHandlerOwn::OnFaviconUrlChange(const RefPtr<ICefBrowser>&, const std::vector<ustring>&) {}
bool TCefDisplayHandlerOwn::OnTooltip(const RefPtr<ICefBrowser>&, ustring&) { return false; }
void TCefDisplayHandlerOwn::OnStatusMessage(const RefPtr<ICefBrowser>&, const ustring&, int) {}
bool TCefDisplayHandlerOwn::OnConsoleMessage(const RefPtr<ICefBrowser>&, const ustring&, const ustring&,
                                             int) {
  return false;
}

}  // namespace ceflib
