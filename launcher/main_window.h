// The main window: the button row, the version label and the browser pane.
#pragma once

#include <windows.h>

namespace tessaril {

// Control identifiers of the button row.
enum : int {
  kEnterGameButton = 202,
  kWebShopButton = 204,
  kGiftCodeButton = 205,
  kHomePageButton = 206,
  kTopUpButton = 207,
};

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tessaril
