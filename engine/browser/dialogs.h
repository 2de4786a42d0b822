// The engine's own script dialogs, for pages whose program does not answer alert,
// confirm and prompt itself. Windows: a message box (alert, confirm) and a small prompt
// dialog, modal to the browser's window. Elsewhere there is no one to ask: alert
// returns, confirm declines and prompt is refused (null). Main thread.
#pragma once

#include <optional>
#include <string>

#include "cef/cef_types.h"

namespace cef_engine::browser {

void ShowAlertBox(cef_window_handle_t owner, const std::u16string& title, const std::u16string& message);
bool ShowConfirmBox(cef_window_handle_t owner, const std::u16string& title, const std::u16string& message);
std::optional<std::u16string> ShowPromptBox(cef_window_handle_t owner, const std::u16string& title,
                                            const std::u16string& message,
                                            const std::u16string& default_text);

}  // namespace cef_engine::browser
