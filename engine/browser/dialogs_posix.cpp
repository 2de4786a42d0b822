// No dialogs without a window system: the answers of a user who is not there.
#include "browser/dialogs.h"

namespace cef_engine::browser {

void ShowAlertBox(cef_window_handle_t, const std::u16string&, const std::u16string&) {}

bool ShowConfirmBox(cef_window_handle_t, const std::u16string&, const std::u16string&) { return false; }

std::optional<std::u16string> ShowPromptBox(cef_window_handle_t, const std::u16string&, const std::u16string&,
                                            const std::u16string&) {
  return std::nullopt;
}

}  // namespace cef_engine::browser
