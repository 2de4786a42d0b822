#include "launcher/main_window.h"

#include <shellapi.h>

#include "ceflib/wrappers/request.h"
#include "launcher/browser_handlers.h"

namespace tessaril {

namespace {

constexpr int kButtonRowHeight = 24;
constexpr UINT_PTR kLoadStateTimer = 1;
constexpr UINT kLoadStatePeriodMs = 100;
// Sent with every page a button opens; the label shows the launcher's own version.
constexpr char16_t kVersionHeader[] = u"X-CEF-Version";
constexpr char16_t kVersionHeaderValue[] = u"1.0.0.3";

HWND EnterGameButton = nullptr;

struct ChildControl {
  const wchar_t* className;
  const wchar_t* text;
  DWORD style;
  int id;
  int x, y, width, height;
};

constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON;
constexpr ChildControl kControls[] = {
    {L"BUTTON", L"Trang ch\u1EE7", kButtonStyle, kHomePageButton, 0, 0, 200, 24},
    {L"BUTTON", L"V\u00E0o game", kButtonStyle, kEnterGameButton, 202, 0, 200, 24},
    {L"BUTTON", L"WebShop", kButtonStyle, kWebShopButton, 404, 0, 200, 24},
    {L"BUTTON", L"GiftCode", kButtonStyle, kGiftCodeButton, 606, 0, 200, 24},
    {L"BUTTON", L"N\u1EA1p th\u1EBB", kButtonStyle, kTopUpButton, 808, 0, 200, 24},
    {L"STATIC", L"Client version 1.0.0.2", WS_CHILD | WS_VISIBLE | SS_CENTER, 0, 1010, 0, 390, 24},
};

const wchar_t* Wide(const ustring& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// The page each load button opens.
const char16_t* PagePath(int command) {
  switch (command) {
    case kEnterGameButton:
      return u"/game/game.php";
    case kWebShopButton:
      return u"/UCClient/shop.php";
    case kGiftCodeButton:
      return u"/UCClient/giftcode.php";
    case kTopUpButton:
      return u"/UCClient/napthe.php";
    default:
      return nullptr;
  }
}

void OnCreate(HWND window) {
  MainClient = ceflib::Make<TCustomClient>();
  RECT client;
  GetClientRect(window, &client);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (const ChildControl& c : kControls) {
    HWND control = CreateWindowExW(0, c.className, c.text, c.style, c.x, c.y, c.width, c.height, window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
    if (c.id == kEnterGameButton) EnterGameButton = control;
  }

  cef_window_info_t info{};
  info.m_dwStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_TABSTOP;
  info.m_x = client.left;
  info.m_y = client.top + kButtonRowHeight;
  info.m_nWidth = client.right - client.left;
  info.m_nHeight = client.bottom - (client.top + kButtonRowHeight);
  info.m_hWndParent = window;
  cef_browser_settings_t settings{};
  settings.size = sizeof(settings);
  ceflib::CefBrowserCreate(info, MainClient, StartUrl, settings);

  IsLoading = false;
  SetTimer(window, kLoadStateTimer, kLoadStatePeriodMs, nullptr);
}

void OnSize(HWND window) {
  if (!MainBrowser || BrowserWindow == -1) return;
  RECT rect;
  GetClientRect(window, &rect);
  rect.top += kButtonRowHeight;
  SetWindowPos(reinterpret_cast<HWND>(BrowserWindow), nullptr, rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Loads a site page into the pane with the version header.
void LoadPage(const char16_t* path) {
  ceflib::RefPtr<ceflib::ICefRequest> request = ceflib::TCefRequestRef::New();
  request->SetMethod(u"GET");
  ceflib::RefPtr<ceflib::ICefStringMultimap> headers = ceflib::Make<ceflib::TCefStringMultimapOwn>();
  headers->Append(kVersionHeader, kVersionHeaderValue);
  request->SetHeaderMap(*headers);
  request->SetUrl(kSiteAddress + path);
  if (ceflib::RefPtr<ceflib::ICefFrame> frame = MainBrowser->GetMainFrame()) frame->LoadRequest(request);
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      OnCreate(window);
      return 0;
    case WM_SIZE:
      OnSize(window);
      return 0;
    case WM_SETFOCUS:
      if (BrowserWindow != -1) PostMessageW(reinterpret_cast<HWND>(BrowserWindow), WM_SETFOCUS, wParam, 0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
      EnableWindow(EnterGameButton, !IsLoading);
      return 0;
    case WM_COMMAND: {
      int command = LOWORD(wParam);
      if (command == kHomePageButton) {
        if (MainBrowser) ShellExecuteW(nullptr, L"open", Wide(kSiteAddress), nullptr, nullptr, SW_SHOWNORMAL);
        return 0;
      }
      if (const char16_t* path = PagePath(command)) {
        if (MainBrowser) LoadPage(path);
        return 0;
      }
      break;
    }
    case WM_CLOSE:
      if (MainBrowser) MainBrowser->ParentWindowWillClose();
      break;
    case WM_DESTROY:
      MainBrowser.reset();
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tessaril
