// Tessaril: the launcher for the game's web site. Starts the engine, registers the
// self-test page and extension, opens the main window and runs the engine's message
// loop until the window is closed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "ceflib/bridges/scheme.h"
#include "ceflib/bridges/v8_handlers.h"
#include "ceflib/core/engine_library.h"
#include "launcher/launcher_state.h"
#include "launcher/main_window.h"
#include "launcher/test_extension.h"
#include "launcher/test_page.h"

namespace tessaril {

const ustring kSiteAddress = TESSARIL_SITE_ADDRESS;

HWND MainWindow = nullptr;
ceflib::RefPtr<ceflib::ICefBase> MainClient;
ceflib::RefPtr<ceflib::ICefBrowser> MainBrowser;
INT_PTR BrowserWindow = -1;
ustring StartUrl = kSiteAddress + u"/UCClient/login.php";
bool IsLoading = false;

void ReleaseLauncherState() {
  MainClient.reset();
  MainBrowser.reset();
  StartUrl.clear();
}

namespace {

void RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSW windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = &MainWndProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = nullptr;
  windowClass.lpszMenuName = nullptr;
  windowClass.lpszClassName = L"chromium";
  RegisterClassW(&windowClass);
}

void Run(HINSTANCE instance) {
  ceflib::RefPtr<ceflib::ICefv8Handler> extension;
  ceflib::CefCachePath = u"cache";
  ceflib::CefEnsureEngine();
  ceflib::CefOnRegisterCustomSchemes = &RegisterSchemes;
  ceflib::CefRegisterSchemeHandlerFactory<TScheme>(u"client", u"test", false);
  extension = ceflib::Make<TExtension>();
  ceflib::CefRegisterExtension(u"v8/test", kTestExtensionCode, extension);

  // Released when the loop ends, and also when anything above throws.
  struct ReleaseClient {
    ~ReleaseClient() { MainClient.reset(); }
  } releaseClient;
  RegisterMainWindowClass(instance);
  MainWindow = CreateWindowExW(0, L"chromium", L"Chromium browser", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                               CW_USEDEFAULT, CW_USEDEFAULT, 1400, 800, nullptr, nullptr, instance, nullptr);
  ShowWindow(MainWindow, SW_SHOW);
  UpdateWindow(MainWindow);
  ceflib::CefRunMessageLoop();
}

// An error that ends start-up: told to the user, since a GUI program has no console.
void ReportFatalError(const std::string& message) {
  std::fprintf(stderr, "Tessaril: %s\n", message.c_str());
  int length = MultiByteToWideChar(CP_UTF8, 0, message.c_str(), -1, nullptr, 0);
  std::wstring text(length > 0 ? length : 1, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, message.c_str(), -1, text.data(), length);
  MessageBoxW(nullptr, text.c_str(), L"Tessaril", MB_OK | MB_ICONERROR);
}

}  // namespace

}  // namespace tessaril

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int exitCode = 0;
  try {
    tessaril::Run(instance);
  } catch (const std::exception& error) {
    tessaril::ReportFatalError(error.what());
    exitCode = 1;
  }
  // The launcher lets go of the engine's objects before the binding shuts it down.
  tessaril::ReleaseLauncherState();
  return exitCode;
}
