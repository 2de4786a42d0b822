// Windows: the browser window paints the page's title (bold) over its text, and keeps
// the text as its window text so that tools reading window texts see the page.
#include <windows.h>

#include <string>
#include <utility>

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

  void ShowPage(const std::u16string& title, const std::u16string& text) override {
    title_ = Wide(title);
    text_ = Wide(text);
    if (!window_) return;
    SetWindowTextW(window_, text_.c_str());
    InvalidateRect(window_, nullptr, TRUE);
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
    window_class.style = CS_HREDRAW | CS_VREDRAW;
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

  void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT area;
    GetClientRect(window, &area);
    DrawPage(dc, area, title_, text_);
    EndPaint(window, &paint);
  }

  HWND window_ = nullptr;
  std::function<void()> destroyed_;
  std::wstring title_, text_;
};

}  // namespace

std::unique_ptr<BrowserWindow> BrowserWindow::Create(const cef_window_info_t& info,
                                                     const std::u16string& name, bool popup,
                                                     std::function<void()> destroyed) {
  auto window = std::make_unique<Win32Window>(std::move(destroyed));
  if (!window->Make(info, name, popup)) return nullptr;
  return window;
}

}  // namespace cef_engine::browser
