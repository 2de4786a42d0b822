// The launcher's client and the handlers it gives the engine.
#pragma once

#include "launcher/launcher_state.h"

namespace tessaril {

using ceflib::ICefBase;
using ceflib::ICefBrowser;
using ceflib::ICefFrame;
using ceflib::RefPtr;

class TCustomClient : public ceflib::TCefClientOwn {
 public:
  TCustomClient();
  RefPtr<ICefBase> GetLifeSpanHandler() override { return FLifeSpan; }
  RefPtr<ICefBase> GetLoadHandler() override { return FLoad; }
  RefPtr<ICefBase> GetDisplayHandler() override { return FDisplay; }

 private:
  RefPtr<ICefBase> FLifeSpan;
  RefPtr<ICefBase> FLoad;
  RefPtr<ICefBase> FDisplay;
};

// Keeps the main browser and every page inside its pane.
class TCustomLifeSpan : public ceflib::TCefLifeSpanHandlerOwn {
 public:
  bool OnBeforePopup(const RefPtr<ICefBrowser>& parentBrowser, const cef_popup_features_t* popupFeatures,
                     cef_window_info_t* windowInfo, ustring& url, RefPtr<ICefBase>& client,
                     cef_browser_settings_t* settings) override;
  void OnAfterCreated(const RefPtr<ICefBrowser>& browser) override;
};

// Tracks whether the main browser is loading.
class TCustomLoad : public ceflib::TCefLoadHandlerOwn {
 public:
  void OnLoadStart(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame) override;
  void OnLoadEnd(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                 int httpStatusCode) override;
};

// Shows the main browser's page title as the window caption.
class TCustomDisplay : public ceflib::TCefDisplayHandlerOwn {
 public:
  void OnTitleChange(const RefPtr<ICefBrowser>& browser, const ustring& title) override;
};

}  // namespace tessaril
