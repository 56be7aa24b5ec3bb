#pragma once
// Window-manager hints that Qt has no API for.
class QWindow;

// Asks the window manager to keep the window out of the task bar and the pager. Set on a window
// that is not mapped (the manager drops the state when a window is withdrawn, so set it before
// every show); Qt adds its own states to these when it maps the window. Nothing happens on a
// display other than X11.
void SkipTaskbar(QWindow& window);
