// Windows: a real Win32 message loop on the main thread. Program tasks reach it through
// a hidden message-only window owned by the main thread: posting a task posts a private
// wake message to it (at most one in flight), and a timer on it covers delayed tasks.
// Messages to a window are dispatched by modal loops too, unlike thread messages, so
// tasks keep running while a dialog box or a window move loop is active.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "runtime/message_loop.h"

namespace cef_engine {
namespace {

constexpr UINT kWakeMessage = WM_APP + 0x3C1;
constexpr UINT kQuitMessage = WM_APP + 0x3C2;
constexpr UINT_PTR kTimerId = 1;
constexpr wchar_t kWindowClass[] = L"CefEngineTaskWindow";

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

class Win32Loop final : public MainLoop, public std::enable_shared_from_this<Win32Loop> {
 public:
  Win32Loop(TaskQueue& tasks, HWND window) : tasks_(tasks), window_(window) {}
  ~Win32Loop() override {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    UnregisterClassW(kWindowClass, ThisModule());
  }

  static std::shared_ptr<MainLoop> Make(TaskQueue& tasks) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &WindowProc;
    window_class.hInstance = ThisModule();
    window_class.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
    HWND window =
        CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
    if (!window) return nullptr;
    auto loop = std::make_shared<Win32Loop>(tasks, window);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(loop.get()));
    return loop;
  }

  void Run() override {
    // Kept alive here: a task may shut the engine down while the loop dispatches it.
    auto self = shared_from_this();
    // Tasks due before a quit request still run, as on the other platforms.
    RunDueTasks();
    MSG message;
    while (tasks_.IsOpen() && !tasks_.TakeQuit() && GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  // The request is kept by the task queue, which from now on holds back every task due
  // after it, and the loop looks at it after each message: a posted message (another
  // task due at once) cannot overtake it, as it would overtake WM_QUIT. The message
  // wakes a loop that waits.
  void Quit() override {
    tasks_.RequestQuit();
    PostMessageW(window_, kQuitMessage, 0, 0);
  }

  void TasksChanged() override {
    if (!wake_pending_.exchange(true)) PostMessageW(window_, kWakeMessage, 0, 0);
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* loop = reinterpret_cast<Win32Loop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (loop && (message == kWakeMessage || message == kQuitMessage || message == WM_TIMER)) {
      auto self = loop->shared_from_this();
      if (message != kQuitMessage) {  // the quit only wakes the loop
        if (message == kWakeMessage) loop->wake_pending_ = false;
        if (message == WM_TIMER) KillTimer(window, kTimerId);
        loop->RunDueTasks();
      }
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  void RunDueTasks() {
    for (auto& task : tasks_.TakeAllDue(TaskQueue::Clock::now(), true)) RunTask(std::move(task));
    const auto next = tasks_.NextDue();
    if (!next) return;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - TaskQueue::Clock::now());
    if (wait.count() <= 0) {
      TasksChanged();
    } else {
      SetTimer(window_, kTimerId, static_cast<UINT>(std::min<long long>(wait.count(), USER_TIMER_MAXIMUM)),
               nullptr);
    }
  }

  TaskQueue& tasks_;
  HWND window_;
  std::atomic<bool> wake_pending_{false};
};

}  // namespace

std::shared_ptr<MainLoop> MainLoop::Create(TaskQueue& tasks) { return Win32Loop::Make(tasks); }

}  // namespace cef_engine
