// The client and the life-span, load and display handlers: program objects the engine
// asks for handlers and reports browser events to. Every method has a neutral default;
// derive and override what is needed.
#pragma once

#include <vector>

#include "ceflib/wrappers/browser.h"

namespace ceflib {

// Hands out the handlers of a browser. Each getter answers the handler object for its
// kind (null: none); every engine request gives the engine one new reference.
class TCefClientOwn : public TCefOwn<cef_client_t> {
 public:
  TCefClientOwn();
  virtual RefPtr<ICefBase> GetLifeSpanHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetLoadHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetRequestHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetDisplayHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetFocusHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetKeyboardHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetMenuHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetPermissionHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetPrintHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetFindHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetJsdialogHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetV8contextHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetRenderHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetDragHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetGeolocationHandler() { return nullptr; }
  virtual RefPtr<ICefBase> GetZoomHandler() { return nullptr; }
};

class TCefLifeSpanHandlerOwn : public TCefOwn<cef_life_span_handler_t> {
 public:
  TCefLifeSpanHandlerOwn();
  // The three records are the engine's own; url and client are written back to the
  // engine whatever the answer (a null client leaves the pop-up without one).
  virtual bool OnBeforePopup(const RefPtr<ICefBrowser>& parentBrowser,
                             const cef_popup_features_t* popupFeatures, cef_window_info_t* windowInfo,
                             ustring& url, RefPtr<ICefBase>& client, cef_browser_settings_t* settings);
  virtual void OnAfterCreated(const RefPtr<ICefBrowser>& browser);
  virtual void OnBeforeClose(const RefPtr<ICefBrowser>& browser);
  virtual bool RunModal(const RefPtr<ICefBrowser>& browser);
  virtual bool DoClose(const RefPtr<ICefBrowser>& browser);
};

class TCefLoadHandlerOwn : public TCefOwn<cef_load_handler_t> {
 public:
  TCefLoadHandlerOwn();
  virtual void OnLoadStart(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame);
  virtual void OnLoadEnd(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                         int httpStatusCode);
  // errorText reaches the engine only when the answer is true.
  virtual bool OnLoadError(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame, int errorCode,
                           const ustring& failedUrl, ustring& errorText);
};

class TCefDisplayHandlerOwn : public TCefOwn<cef_display_handler_t> {
 public:
  TCefDisplayHandlerOwn();
  virtual void OnNavStateChange(const RefPtr<ICefBrowser>& browser, bool canGoBack, bool canGoForward);
  virtual void OnAddressChange(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                               const ustring& url);
  virtual void OnContentsSizeChange(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                                    int width, int height);
  virtual void OnTitleChange(const RefPtr<ICefBrowser>& browser, const ustring& title);
  // The list is a copy that lives for the call.
  virtual void OnFaviconUrlChange(const RefPtr<ICefBrowser>& browser, const std::vector<ustring>& iconUrls);
  // text goes back to the engine whatever the answer.
  virtual bool OnTooltip(const RefPtr<ICefBrowser>& browser, ustring& text);
  virtual void OnStatusMessage(const RefPtr<ICefBrowser>& browser, const ustring& value, int type);
  virtual bool OnConsoleMessage(const RefPtr<ICefBrowser>& browser, const ustring& message,
                                const ustring& source, int line);
};

}  // namespace ceflib
