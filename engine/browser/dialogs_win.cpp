// Windows: alert and confirm are message boxes; prompt is a dialog built in memory (the
// message, an edit field with the default text, OK and Cancel). Each is modal to the
// top-level window of the browser.
#include <windows.h>

#include <vector>

#include "browser/dialogs.h"

namespace cef_engine::browser {
namespace {

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

HWND Owner(cef_window_handle_t window) { return window ? GetAncestor(window, GA_ROOT) : nullptr; }

constexpr WORD kEditId = 100;
constexpr WORD kButtonClass = 0x0080, kEditClass = 0x0081, kStaticClass = 0x0082;

// A dialog template in memory, as DialogBoxIndirectParamW reads it: the header, then
// each control aligned to four bytes.
class DialogTemplate {
 public:
  DialogTemplate(const std::wstring& title, short width, short height) {
    Align(4);
    Put<DWORD>(DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    Put<DWORD>(0);
    count_at_ = words_.size();
    Put<WORD>(0);
    for (short value : {short(0), short(0), width, height}) Put<short>(value);
    Put<WORD>(0);  // no menu
    Put<WORD>(0);  // the standard dialog class
    Text(title);
    Put<WORD>(9);
    Text(L"Segoe UI");
  }
  void Control(WORD kind, WORD id, DWORD style, short x, short y, short width, short height,
               const std::wstring& text) {
    Align(4);
    Put<DWORD>(style | WS_CHILD | WS_VISIBLE);
    Put<DWORD>(0);
    for (short value : {x, y, width, height}) Put<short>(value);
    Put<WORD>(id);
    Put<WORD>(0xFFFF);
    Put<WORD>(kind);
    Text(text);
    Put<WORD>(0);  // no creation data
    ++words_[count_at_];
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  template <class T>
  void Put(T value) {
    static_assert(sizeof(T) % sizeof(WORD) == 0);
    const auto* parts = reinterpret_cast<const WORD*>(&value);
    words_.insert(words_.end(), parts, parts + sizeof(T) / sizeof(WORD));
  }
  void Text(const std::wstring& text) {
    for (wchar_t c : text) words_.push_back(static_cast<WORD>(c));
    words_.push_back(0);
  }
  void Align(size_t bytes) {
    while ((words_.size() * sizeof(WORD)) % bytes) words_.push_back(0);
  }

  std::vector<WORD> words_;  // WORD-aligned storage; DWORD alignment is counted from its start
  size_t count_at_ = 0;
};

struct PromptState {
  std::wstring default_text;
  std::optional<std::u16string> entered;
};

INT_PTR CALLBACK PromptProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    HWND edit = GetDlgItem(dialog, kEditId);
    SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);  // no limit: the default text may be long
    SetWindowTextW(edit, reinterpret_cast<PromptState*>(lparam)->default_text.c_str());
    return TRUE;  // the edit field, first in tab order, gets the focus
  }
  if (message != WM_COMMAND) return FALSE;
  auto* state = reinterpret_cast<PromptState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  const WORD command = LOWORD(wparam);
  if (command == IDOK && state) {
    HWND edit = GetDlgItem(dialog, kEditId);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
    state->entered = std::u16string(text.begin(), text.end());
  }
  if (command == IDOK || command == IDCANCEL) EndDialog(dialog, command);
  return command == IDOK || command == IDCANCEL;
}

}  // namespace

void ShowAlertBox(cef_window_handle_t owner, const std::u16string& title, const std::u16string& message) {
  MessageBoxW(Owner(owner), Wide(message).c_str(), Wide(title).c_str(), MB_OK | MB_ICONINFORMATION);
}

bool ShowConfirmBox(cef_window_handle_t owner, const std::u16string& title, const std::u16string& message) {
  return MessageBoxW(Owner(owner), Wide(message).c_str(), Wide(title).c_str(),
                     MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

std::optional<std::u16string> ShowPromptBox(cef_window_handle_t owner, const std::u16string& title,
                                            const std::u16string& message,
                                            const std::u16string& default_text) {
  DialogTemplate dialog(Wide(title), 240, 92);
  dialog.Control(kEditClass, kEditId, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 8, 48, 224, 14, L"");
  dialog.Control(kStaticClass, 0xFFFF, SS_LEFT | SS_NOPREFIX, 8, 8, 224, 36, Wide(message));
  dialog.Control(kButtonClass, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 128, 70, 50, 14, L"OK");
  dialog.Control(kButtonClass, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 182, 70, 50, 14, L"Cancel");
  PromptState state{Wide(default_text), std::nullopt};
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.get(), Owner(owner), &PromptProc,
                          reinterpret_cast<LPARAM>(&state));
  return state.entered;
}

}  // namespace cef_engine::browser
