// Windows: the browser window paints the page's title (bold) over its text, and keeps
// the text as its window text so that tools reading window texts see the page.
#include <windows.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "browser/page_painter.h"
#include "browser/window.h"

namespace cef_engine::browser {
namespace {

constexpr wchar_t kClassName[] = L"CefBrowserWindow";
constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_TABSTOP;

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

class Win32Window final : public BrowserWindow {
 public:
  explicit Win32Window(std::function<void()> destroyed) : destroyed_(std::move(destroyed)) {}
  ~Win32Window() override { Destroy(); }

  bool Make(const cef_window_info_t& info, const std::u16string& name, bool popup) {
    if (!Register()) return false;
    HWND parent = info.m_hWndParent;
    DWORD style = info.m_dwStyle;
    int x = info.m_x, y = info.m_y, width = info.m_nWidth, height = info.m_nHeight;
    if (!parent || popup) {
      // A window of its own: a pop-up, or a browser without a parent.
      // A child style cannot stand alone: such a window gets the usual top-level style.
      if (style == 0 || (style & WS_CHILD)) style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
      if (width <= 0 || height <= 0) x = y = width = height = CW_USEDEFAULT;
      parent = nullptr;
    } else if (!(style & WS_CHILD)) {
      style = kChildStyle;
    }
    window_ = CreateWindowExW(info.m_dwExStyle, kClassName, Wide(name).c_str(), style, x, y, width, height,
                              parent, (style & WS_CHILD) ? nullptr : info.m_hMenu, ThisModule(), this);
    return window_ != nullptr;
  }

  cef_window_handle_t handle() const override { return window_; }

  void ShowPage(const std::u16string& title, const dom::TextRope& text) override {
    title_ = title;
    text_ = text.ToString();
    if (!window_) return;
    SetWindowTextW(window_, Wide(text_).c_str());
    InvalidateRect(window_, nullptr, TRUE);
  }

  void SetScale(double scale) override {
    scale_ = scale;
    if (window_) InvalidateRect(window_, nullptr, TRUE);
  }

  void Focus() override {
    if (window_) SetFocus(window_);
  }

  bool ScreenRect(cef_rect_t& rect) override {
    rect = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return rect.width > 0;
  }

  bool ScreenPoint(int x, int y, int& screen_x, int& screen_y) override {
    POINT point{x, y};
    if (!window_ || !ClientToScreen(window_, &point)) return false;
    screen_x = point.x;
    screen_y = point.y;
    return true;
  }

  int Width() const override {
    RECT area{};
    return window_ && GetClientRect(window_, &area) ? area.right - area.left : 0;
  }

  int TrackMenu(const std::vector<std::pair<int, std::u16string>>& items, int screen_x,
                int screen_y) override {
    // The menu's modal loop runs tasks, which may close the browser and delete this
    // window: nothing of it is used after TrackPopupMenu.
    HMENU menu = window_ ? CreatePopupMenu() : nullptr;
    if (!menu) return 0;
    for (const auto& [id, label] : items)
      AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), Wide(label).c_str());
    // TPM_RETURNCMD: the choice comes back here instead of as a WM_COMMAND message.
    const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, screen_x,
                                      screen_y, 0, window_, nullptr);
    DestroyMenu(menu);
    return chosen;
  }

  void Destroy() override {
    if (HWND window = window_) {
      destroyed_ = nullptr;
      window_ = nullptr;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      DestroyWindow(window);
    }
  }

 private:
  static bool Register() {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;  // a double click's second press says so
    window_class.lpfnWndProc = &WindowProc;
    window_class.hInstance = ThisModule();
    window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = kClassName;
    return RegisterClassExW(&window_class) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) {
      switch (message) {
        case WM_PAINT:
          self->Paint(window);
          return 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYUP:
        case WM_CHAR:
        case WM_SYSCHAR:
          // System keys nobody handled go on to the window's default handling (Alt+F4).
          if (self->key_sink_ &&
              (self->Key(message, wparam) ||
               (message != WM_SYSKEYDOWN && message != WM_SYSKEYUP && message != WM_SYSCHAR)))
            return 0;
          break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
        case WM_MOUSEMOVE:
          if (!self->mouse_sink_) break;
          self->Mouse(message, lparam);
          return 0;  // a right button release opened the menu already: no WM_CONTEXTMENU
        case WM_CONTEXTMENU:
          if (!self->mouse_sink_) break;
          self->ContextMenu(lparam);
          return 0;
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL:
          if (!self->mouse_sink_) break;
          self->Wheel(message, wparam, lparam);
          return 0;
        case WM_DESTROY: {
          SetWindowLongPtrW(window, GWLP_USERDATA, 0);
          self->window_ = nullptr;
          if (auto destroyed = std::exchange(self->destroyed_, nullptr)) destroyed();
          return 0;
        }
        default:
          break;
      }
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  // A key message as the engine's key event: the virtual key (the character for char
  // messages), whether it is a system key (Alt held), the modifier keys held.
  bool Key(UINT message, WPARAM wparam) {
    const bool system = message == WM_SYSKEYDOWN || message == WM_SYSKEYUP || message == WM_SYSCHAR;
    const cef_key_type_t type = message == WM_KEYDOWN || message == WM_SYSKEYDOWN ? KT_KEYDOWN
                                : message == WM_KEYUP || message == WM_SYSKEYUP   ? KT_KEYUP
                                                                                  : KT_CHAR;
    const cef_key_info_t info{static_cast<int>(wparam), system ? 1 : 0, 0};
    int modifiers = 0;
    if (GetKeyState(VK_SHIFT) < 0) modifiers |= 1;    // KEY_SHIFT
    if (GetKeyState(VK_CONTROL) < 0) modifiers |= 2;  // KEY_CTRL
    if (GetKeyState(VK_MENU) < 0) modifiers |= 4;     // KEY_ALT
    auto sink = key_sink_;  // the sink may close the browser and destroy this window
    return sink(type, info, modifiers);
  }

  void Mouse(UINT message, LPARAM lparam) {
    MouseInput input;
    input.x = static_cast<short>(LOWORD(lparam));
    input.y = static_cast<short>(HIWORD(lparam));
    input.move = message == WM_MOUSEMOVE;
    input.button =
        message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_LBUTTONDBLCLK   ? MBT_LEFT
        : message == WM_MBUTTONDOWN || message == WM_MBUTTONUP || message == WM_MBUTTONDBLCLK ? MBT_MIDDLE
                                                                                              : MBT_RIGHT;
    input.up = message == WM_LBUTTONUP || message == WM_MBUTTONUP || message == WM_RBUTTONUP;
    input.menu = message == WM_RBUTTONUP;
    // A double click's release counts two clicks, like its press.
    const bool twice =
        message == WM_LBUTTONDBLCLK || message == WM_MBUTTONDBLCLK || message == WM_RBUTTONDBLCLK;
    if (!input.move && !input.up) clicks_ = twice ? 2 : 1;
    input.clicks = clicks_;
    auto sink = mouse_sink_;  // the sink may close the browser and destroy this window
    sink(input);
  }

  // A wheel message: at a screen point, the turn in WHEEL_DELTA steps of 120 (a horizontal
  // wheel's right turn is positive where the engine's deltaX counts left as positive).
  void Wheel(UINT message, WPARAM wparam, LPARAM lparam) {
    MouseInput input;
    input.wheel = true;
    POINT point{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
    if (window_) ScreenToClient(window_, &point);
    input.x = point.x;
    input.y = point.y;
    const int turn = GET_WHEEL_DELTA_WPARAM(wparam);
    (message == WM_MOUSEWHEEL ? input.delta_y : input.delta_x) = message == WM_MOUSEWHEEL ? turn : -turn;
    auto sink = mouse_sink_;
    sink(input);
  }

  // The context-menu message: at a screen point, or (-1, -1) from the keyboard.
  void ContextMenu(LPARAM lparam) {
    MouseInput input;
    input.button = MBT_RIGHT;
    input.menu = true;
    POINT point{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
    input.at_focus = point.x == -1 && point.y == -1;
    if (!input.at_focus && window_) ScreenToClient(window_, &point);
    input.x = point.x;
    input.y = point.y;
    auto sink = mouse_sink_;
    sink(input);
  }

  void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT area;
    GetClientRect(window, &area);
    DrawPage(dc, area.right - area.left, title_, text_, scale_);
    EndPaint(window, &paint);
  }

  HWND window_ = nullptr;
  int clicks_ = 1;  // of the last press, for its release
  std::function<void()> destroyed_;
  std::u16string title_, text_;
  double scale_ = 1;  // the zoom
};

}  // namespace

bool CopyToClipboard(const std::u16string& text) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  const size_t bytes = (text.size() + 1) * sizeof(char16_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  bool copied = false;
  if (void* data = memory ? GlobalLock(memory) : nullptr) {
    std::memcpy(data, text.c_str(), bytes);
    GlobalUnlock(memory);
    copied = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  }
  if (memory && !copied) GlobalFree(memory);  // the clipboard owns it only once it took it
  CloseClipboard();
  return copied;
}

std::unique_ptr<BrowserWindow> BrowserWindow::Create(const cef_window_info_t& info,
                                                     const std::u16string& name, bool popup,
                                                     std::function<void()> destroyed) {
  auto window = std::make_unique<Win32Window>(std::move(destroyed));
  if (!window->Make(info, name, popup)) return nullptr;
  return window;
}

}  // namespace cef_engine::browser
