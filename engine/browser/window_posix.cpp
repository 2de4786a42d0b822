// Linux: no window system; the handle is a unique token that is never reused.
#include <atomic>
#include <cstdint>

#include "browser/window.h"

namespace cef_engine::browser {
namespace {

class HeadlessWindow final : public BrowserWindow {
 public:
  HeadlessWindow() : handle_(reinterpret_cast<cef_window_handle_t>(NextToken())) {}

  cef_window_handle_t handle() const override { return handle_; }
  void ShowPage(const std::u16string&, const dom::TextRope&) override {}
  void Focus() override {}
  bool ScreenRect(cef_rect_t&) override { return false; }
  bool ScreenPoint(int, int, int&, int&) override { return false; }
  void Destroy() override {}

 private:
  static uintptr_t NextToken() {
    static std::atomic<uintptr_t> next{0x10000};
    return next.fetch_add(0x10);
  }
  cef_window_handle_t handle_;
};

}  // namespace

bool CopyToClipboard(const std::u16string&) { return false; }

std::unique_ptr<BrowserWindow> BrowserWindow::Create(const cef_window_info_t&, const std::u16string&, bool,
                                                     std::function<void()>) {
  return std::make_unique<HeadlessWindow>();
}

}  // namespace cef_engine::browser
