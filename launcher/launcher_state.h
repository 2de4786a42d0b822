// The launcher's program-wide state: all of it lives on the main thread, unlocked.
#pragma once

#include <windows.h>

#include "ceflib/bridges/client.h"

namespace tessaril {

using ceflib::ustring;

// The game web site (scheme and host, no trailing slash), fixed at build time.
extern const ustring kSiteAddress;

extern HWND MainWindow;                                  // the top-level window of class "chromium"
extern ceflib::RefPtr<ceflib::ICefBase> MainClient;      // the client handed to the engine
extern ceflib::RefPtr<ceflib::ICefBrowser> MainBrowser;  // the browser shown in the main window
extern INT_PTR BrowserWindow;                            // its child window; -1 while none is known
extern ustring StartUrl;                                 // the page the browser opens first
extern bool IsLoading;                                   // the main browser is loading a page

// Drops what the state still holds; runs before the binding shuts the engine down.
void ReleaseLauncherState();

}  // namespace tessaril
