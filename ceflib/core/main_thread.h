// Running program code on the main thread (the engine's UI thread, the thread that
// loaded the engine) on behalf of another thread.
#pragma once

#include <functional>

namespace ceflib {

// Runs `call` on the main thread and returns when it has run. On the main thread it
// runs at once; from any other thread it is queued, the main thread is woken through
// the engine's UI task queue, and the caller blocks until the main thread ran it inside
// the engine's message loop. An exception raised by `call` is raised again here.
// Throws ECefException when the engine is not loaded or refuses to wake the main thread,
// and ECefShutdownInProgress when the engine shuts down before the call ran.
void CefRunOnMainThread(const std::function<void()>& call);

// Runs every queued call now; the main thread's message loop does this by itself.
// Custom loops that do not run the engine's tasks may call it. Does nothing on any
// other thread.
void CefProcessMainThreadQueue();

// True on the engine's UI thread; false when the engine is not loaded.
bool CefIsMainThread();

}  // namespace ceflib
