// Drives the real Tessaril.exe from outside, the way a player would, and reads what the
// demo site recorded.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

fs::path StateDir() { return fs::path(Env("TESSARIL_E2E_STATE")); }

fs::path ProgramDir() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

// How long a wait may last before the run counts as hung: long enough for a slow, busy
// machine under Wine, which makes the test slower but never red.
constexpr std::chrono::milliseconds kHungAfter = 2min;

// Polls until the condition holds or the run counts as hung.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kHungAfter) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(20ms);
  }
  return condition();
}

std::wstring TextOf(HWND window) {
  LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  LRESULT copied = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(copied));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256];
  int length = GetClassNameW(window, name, 256);
  return std::wstring(name, static_cast<size_t>(length));
}

std::string Utf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::vector<HWND> TopLevelWindowsOf(DWORD processId) {
  struct Search {
    DWORD pid;
    std::vector<HWND> found;
  } search{processId, {}};
  EnumWindows(
      [](HWND window, LPARAM data) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->pid && IsWindowVisible(window)) s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Direct children only.
std::vector<HWND> ChildrenOf(HWND parent) {
  struct Search {
    HWND parent;
    std::vector<HWND> found;
  } search{parent, {}};
  EnumChildWindows(
      parent,
      [](HWND window, LPARAM data) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (GetParent(window) == s->parent) s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The lines the demo site recorded, one request each (JSON).
std::vector<std::string> RecordedRequests() {
  std::vector<std::string> lines;
  std::ifstream log(StateDir() / "requests.jsonl");
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

std::string LastRequestFor(const std::string& path) {
  std::string found;
  for (const std::string& line : RecordedRequests()) {
    if (line.find("\"path\": \"" + path + "\"") != std::string::npos) found = line;
  }
  return found;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& line : lines) all += line + "\n";
  return all;
}

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// One running launcher; ended (forcibly if need be) when the test is over.
class Launcher {
 public:
  // With errorLog, the program's standard error (and the engine's) goes to that file.
  explicit Launcher(const fs::path& exe, const fs::path& errorLog = {}) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    HANDLE log = INVALID_HANDLE_VALUE;
    if (!errorLog.empty()) {
      SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
      log = CreateFileW(errorLog.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
      startup.hStdOutput = log;
      startup.hStdError = log;
    }
    std::wstring command = L"\"" + exe.wstring() + L"\"";
    started_ = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, log != INVALID_HANDLE_VALUE, 0,
                              nullptr, exe.parent_path().c_str(), &startup, &process_);
    if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
  }
  ~Launcher() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  bool Started() const { return started_; }
  DWORD Id() const { return process_.dwProcessId; }
  HWND FindTopLevel(const wchar_t* className) const {
    for (HWND w : TopLevelWindowsOf(Id())) {
      if (ClassOf(w) == className) return w;
    }
    return nullptr;
  }
  // Waits for the process to end; its exit code, or -1 when it did not end in time.
  long WaitForExit(std::chrono::milliseconds timeout) const {
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
      return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

struct Control {
  const wchar_t* className;
  const wchar_t* text;
  LONG style;
  int id;
  RECT rect;  // in the main window's client area
};

const Control kControls[] = {
    {L"Button", L"Trang ch\u1EE7", 0x50000000, 206, {0, 0, 200, 24}},
    {L"Button", L"V\u00E0o game", 0x50000000, 202, {202, 0, 402, 24}},
    {L"Button", L"WebShop", 0x50000000, 204, {404, 0, 604, 24}},
    {L"Button", L"GiftCode", 0x50000000, 205, {606, 0, 806, 24}},
    {L"Button", L"N\u1EA1p th\u1EBB", 0x50000000, 207, {808, 0, 1008, 24}},
    {L"Static", L"Client version 1.0.0.2", 0x50000001, 0, {1010, 0, 1400, 24}},
};

RECT ClientRectOf(HWND child, HWND parent) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class LauncherEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("TESSARIL_E2E_STATE").empty()) << "run through ctest: the demo site fixture sets this";
    site_ = Env("TESSARIL_SITE_ADDRESS");
  }
  HWND ControlById(HWND main, int id) { return GetDlgItem(main, id); }
  HWND BrowserPane(HWND main) {
    for (HWND child : ChildrenOf(main)) {
      std::wstring cls = ClassOf(child);
      if (cls != L"Button" && cls != L"Static") return child;
    }
    return nullptr;
  }
  void Click(HWND main, int id) { PostMessageW(ControlById(main, id), BM_CLICK, 0, 0); }
  bool CaptionIs(HWND main, const std::wstring& caption) { return TextOf(main) == caption; }

  std::string site_;
};

TEST_F(LauncherEndToEnd, PlayerSession) {
  const fs::path errorLog = StateDir() / "launcher-stderr.txt";
  Launcher launcher(ProgramDir() / "Tessaril.exe", errorLog);
  ASSERT_TRUE(launcher.Started());
  HWND main = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (main = launcher.FindTopLevel(L"chromium")) != nullptr; }))
      << "no window of class chromium";
  std::wstring firstCaption = TextOf(main);

  // The window and its controls.
  RECT outer;
  GetWindowRect(main, &outer);
  EXPECT_EQ(outer.right - outer.left, 1400);
  EXPECT_EQ(outer.bottom - outer.top, 800);
  EXPECT_EQ(GetWindowLongW(main, GWL_STYLE) & (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN),
            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN);
  for (const Control& c : kControls) {
    SCOPED_TRACE(Utf8(c.text));
    HWND control = nullptr;
    for (HWND child : ChildrenOf(main)) {
      if (TextOf(child) == c.text) control = child;
    }
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(ClassOf(control), c.className);
    EXPECT_EQ(GetDlgCtrlID(control), c.id);
    // "Vao game" is greyed (WS_DISABLED) while the first page loads; that state is
    // checked on its own below.
    EXPECT_EQ(GetWindowLongW(control, GWL_STYLE) & ~(WS_TABSTOP | WS_DISABLED), c.style);
    EXPECT_TRUE(SameRect(ClientRectOf(control, main), c.rect));
  }

  // The login page loads, without the version header; the caption follows its title.
  EXPECT_EQ(firstCaption, L"Chromium browser");
  ASSERT_TRUE(WaitFor([&] { return CaptionIs(main, L"Tessaril - \u0110\u0103ng nh\u1EADp"); }))
      << Utf8(TextOf(main));
  std::string login = LastRequestFor("/UCClient/login.php");
  ASSERT_FALSE(login.empty());
  EXPECT_EQ(Count(login, "X-CEF-Version"), 0) << login;
  HWND pane = BrowserPane(main);
  ASSERT_NE(pane, nullptr);
  RECT client;
  GetClientRect(main, &client);
  EXPECT_TRUE(SameRect(ClientRectOf(pane, main), RECT{0, 24, client.right, client.bottom}));

  // A page button sends GET with exactly one added header.
  Click(main, 204);
  ASSERT_TRUE(WaitFor([&] { return CaptionIs(main, L"Tessaril - WebShop"); })) << Utf8(TextOf(main));
  std::string shop = LastRequestFor("/UCClient/shop.php");
  EXPECT_NE(shop.find("\"method\": \"GET\""), std::string::npos) << shop;
  EXPECT_EQ(Count(shop, "\"X-CEF-Version\", \"1.0.0.3\""), 1) << shop;
  EXPECT_EQ(Count(shop, "X-CEF-Version"), 1) << shop;

  // The slow game page greys "Vao game" out while it loads; the other buttons stay.
  HWND enterGame = ControlById(main, 202);
  // The title can arrive before the shop page's load has ended; the next timer tick
  // then frees the button.
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(enterGame) != FALSE; }));
  Click(main, 202);
  ASSERT_TRUE(WaitFor([&] { return !IsWindowEnabled(enterGame); })) << "not greyed while loading";
  for (int id : {204, 205, 206, 207}) EXPECT_TRUE(IsWindowEnabled(ControlById(main, id))) << id;
  ASSERT_TRUE(WaitFor([&] { return CaptionIs(main, L"Tessaril - V\u00E0o game"); })) << Utf8(TextOf(main));
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(enterGame) != FALSE; })) << "still greyed after the load";
  EXPECT_EQ(Count(LastRequestFor("/game/game.php"), "\"X-CEF-Version\", \"1.0.0.3\""), 1);

  // A page that opens a new window: its address loads in the pane, no second window.
  Click(main, 205);
  ASSERT_TRUE(WaitFor([&] { return CaptionIs(main, L"Tessaril - Opened by a pop-up"); }))
      << Utf8(TextOf(main));
  EXPECT_EQ(Count(LastRequestFor("/UCClient/giftcode.php"), "\"X-CEF-Version\", \"1.0.0.3\""), 1);
  EXPECT_EQ(Count(LastRequestFor("/popup-target.html"), "X-CEF-Version"), 0)
      << "pop-ups load without the header";
  EXPECT_EQ(TopLevelWindowsOf(launcher.Id()).size(), 1u);

  // The top-up page opens the self-test page, whose script calls the native extension.
  Click(main, 207);
  const std::wstring expected =
      L"Assign and retrieve a value succeeded the first time.\n"
      L"Assign and retrieve a value succeeded the second time.\n"
      L"Retrieving a parameter on a native object succeeded.\n"
      L"Calling a function on a native object succeeded.";
  EXPECT_TRUE(WaitFor([&] {
    std::wstring text = TextOf(BrowserPane(main));
    size_t says = text.find(L"ClientV8ExtensionHandler says:");
    return says != std::wstring::npos && text.find(expected, says) != std::wstring::npos;
  })) << Utf8(TextOf(BrowserPane(main)));
  EXPECT_EQ(Count(LastRequestFor("/UCClient/napthe.php"), "\"X-CEF-Version\", \"1.0.0.3\""), 1);

  // The home page goes to the system's browser; the pane stays as it is.
  std::wstring paneBefore = TextOf(BrowserPane(main));
  Click(main, 206);
  fs::path opened = StateDir() / "opened-urls.txt";
  ASSERT_TRUE(WaitFor([&] { return fs::exists(opened) && fs::file_size(opened) > 0; }))
      << "no URL reached the system's browser";
  std::ifstream urls(opened);
  std::string url;
  std::getline(urls, url);
  if (!url.empty() && url.back() == '/' && site_.back() != '/') url.pop_back();  // Wine adds the root's slash
  EXPECT_EQ(url, site_);
  EXPECT_EQ(TextOf(BrowserPane(main)), paneBefore);

  // A bigger window: a bigger pane, the same button row.
  SetWindowPos(main, nullptr, 0, 0, 1600, 900, SWP_NOZORDER | SWP_NOMOVE);
  GetClientRect(main, &client);
  EXPECT_TRUE(WaitFor([&] {
    return SameRect(ClientRectOf(pane, main), RECT{0, 24, client.right, client.bottom});
  }));
  EXPECT_TRUE(SameRect(ClientRectOf(ControlById(main, 207), main), RECT{808, 0, 1008, 24}));

  // Closing ends the process normally, and the engine, shut down after the launcher let
  // go of its client and browser, has nothing left alive to report.
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(launcher.WaitForExit(kHungAfter), 0);
  std::ifstream errors(errorLog);
  std::string errorText((std::istreambuf_iterator<char>(errors)), std::istreambuf_iterator<char>());
  EXPECT_EQ(errorText.find("still alive"), std::string::npos) << errorText;
}

// While the site holds the game page back, a click on another button starts its
// navigation at once, and closing the window during the held load ends the program. A
// load that waited for the held page would wait until the test lets it go, so the waits
// below end only a hung run; the times are printed.
TEST_F(LauncherEndToEnd, AHeldPageHoldsUpNeitherAnotherButtonNorTheClose) {
  const fs::path holdFile = StateDir() / "hold.txt";
  struct Release {
    fs::path file;
    ~Release() { fs::remove(file); }
  } release{holdFile};
  std::ofstream(holdFile) << "/game/game.php\n";

  const fs::path errorLog = StateDir() / "launcher-held-stderr.txt";
  Launcher launcher(ProgramDir() / "Tessaril.exe", errorLog);
  ASSERT_TRUE(launcher.Started());
  HWND main = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (main = launcher.FindTopLevel(L"chromium")) != nullptr; }));
  ASSERT_TRUE(WaitFor([&] { return CaptionIs(main, L"Tessaril - \u0110\u0103ng nh\u1EADp"); }))
      << Utf8(TextOf(main));
  HWND enterGame = ControlById(main, 202);
  ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(enterGame) != FALSE; }));

  const auto shopsBefore = Count(Join(RecordedRequests()), "/UCClient/shop.php");
  const auto gamesBefore = Count(Join(RecordedRequests()), "/game/game.php");
  Click(main, 202);
  ASSERT_TRUE(WaitFor([&] { return Count(Join(RecordedRequests()), "/game/game.php") > gamesBefore; }))
      << "the game page was not asked for";
  const auto clicked = std::chrono::steady_clock::now();
  Click(main, 204);
  ASSERT_TRUE(WaitFor([&] { return Count(Join(RecordedRequests()), "/UCClient/shop.php") > shopsBefore; }))
      << "the shop request waited for the held page";
  const auto requested = std::chrono::steady_clock::now();
  EXPECT_TRUE(WaitFor([&] { return CaptionIs(main, L"Tessaril - WebShop"); })) << Utf8(TextOf(main));
  const auto shown = std::chrono::steady_clock::now();
  auto ms = [](auto from, auto to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
  };
  std::printf("shop request %lld ms and shop caption %lld ms after the click\n",
              static_cast<long long>(ms(clicked, requested)), static_cast<long long>(ms(clicked, shown)));

  // Closing the window while the game page is held.
  ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(enterGame) != FALSE; }));
  const auto games = Count(Join(RecordedRequests()), "/game/game.php");
  Click(main, 202);
  ASSERT_TRUE(WaitFor([&] { return Count(Join(RecordedRequests()), "/game/game.php") > games; }));
  const auto closing = std::chrono::steady_clock::now();
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(launcher.WaitForExit(kHungAfter), 0) << "the program waited for the held page";
  std::printf("the program ended %lld ms after the close\n",
              static_cast<long long>(ms(closing, std::chrono::steady_clock::now())));
  std::ifstream errors(errorLog);
  std::string errorText((std::istreambuf_iterator<char>(errors)), std::istreambuf_iterator<char>());
  EXPECT_EQ(errorText.find("still alive"), std::string::npos) << errorText;
}

TEST_F(LauncherEndToEnd, WithoutTheEngineItSaysSoBeforeAnyWindow) {
  // A copy of the launcher in a folder of its own, without libcef.dll beside it.
  fs::path dir = StateDir() / "no-engine";
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(ProgramDir() / "Tessaril.exe", dir / "Tessaril.exe");
  const fs::path errorLog = dir / "stderr.txt";
  Launcher launcher(dir / "Tessaril.exe", errorLog);
  ASSERT_TRUE(launcher.Started());
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = launcher.FindTopLevel(L"#32770")) != nullptr; }))
      << "no error shown";
  EXPECT_EQ(launcher.FindTopLevel(L"chromium"), nullptr);
  std::wstring message;
  for (HWND child : ChildrenOf(box)) {
    if (ClassOf(child) == L"Static") message += TextOf(child);
  }
  EXPECT_NE(message.find(L"System Error.  Code: 126."), std::wstring::npos) << Utf8(message);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(launcher.WaitForExit(kHungAfter), 1);
  // The same text reaches standard error (which also shows that the session test above
  // really reads what the program writes there).
  std::ifstream errors(errorLog);
  std::string errorText((std::istreambuf_iterator<char>(errors)), std::istreambuf_iterator<char>());
  EXPECT_NE(errorText.find("System Error.  Code: 126."), std::string::npos) << errorText;
}

}  // namespace
