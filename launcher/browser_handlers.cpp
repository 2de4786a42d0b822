#include "launcher/browser_handlers.h"

namespace tessaril {

namespace {

bool IsMainBrowser(const RefPtr<ICefBrowser>& browser) {
  return browser && reinterpret_cast<INT_PTR>(browser->GetWindowHandle()) == BrowserWindow;
}

}  // namespace

TCustomClient::TCustomClient()
    : FLifeSpan(ceflib::Make<TCustomLifeSpan>()),
      FLoad(ceflib::Make<TCustomLoad>()),
      FDisplay(ceflib::Make<TCustomDisplay>()) {}

bool TCustomLifeSpan::OnBeforePopup(const RefPtr<ICefBrowser>&, const cef_popup_features_t*,
                                    cef_window_info_t*, ustring& url, RefPtr<ICefBase>&,
                                    cef_browser_settings_t*) {
  // The pop-up's address opens in the launcher's own pane. Without a main browser there
  // is no pane yet: the pop-up is cancelled all the same and nothing is loaded.
  if (MainBrowser) {
    if (RefPtr<ICefFrame> frame = MainBrowser->GetMainFrame()) frame->LoadUrl(url);
  }
  return true;
}

void TCustomLifeSpan::OnAfterCreated(const RefPtr<ICefBrowser>& browser) {
  if (!browser || browser->IsPopup()) return;
  MainBrowser = browser;
  BrowserWindow = reinterpret_cast<INT_PTR>(browser->GetWindowHandle());
}

void TCustomLoad::OnLoadStart(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>&) {
  if (IsMainBrowser(browser)) IsLoading = true;
}

void TCustomLoad::OnLoadEnd(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>&, int) {
  if (IsMainBrowser(browser)) IsLoading = false;
}

void TCustomDisplay::OnTitleChange(const RefPtr<ICefBrowser>& browser, const ustring& title) {
  if (IsMainBrowser(browser)) SetWindowTextW(MainWindow, reinterpret_cast<const wchar_t*>(title.c_str()));
}

}  // namespace tessaril
