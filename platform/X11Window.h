#pragma once
// Window-manager hints that Qt has no API for.
#include <functional>

class QWindow;

// Asks the window manager to keep the window out of the task bar and the pager. Set on a window
// that is not mapped (the manager drops the state when a window is withdrawn, so set it before
// every show); Qt adds its own states to these when it maps the window. Nothing happens on a
// display other than X11.
void SkipTaskbar(QWindow& window);

// Calls `closing` when the window manager asks the window to close (WM_DELETE_WINDOW), before
// Qt sees the request: Qt drops it while a modal window blocks this one. `closing` returns true
// when it took the request. Lives as long as the window; nothing happens on a display other
// than X11.
void WatchCloseRequest(QWindow& window, std::function<bool()> closing);
