#pragma once
// The message box behind the program's report function; the program installs it at start-up.
// A box never holds up the program (no nested event loop), and only one is open at a time: a
// message that comes while one is open goes to the standard error stream and to `aside` (the
// tray icon's tip, or the pop-up), so that a desktop remote or a script can't stack boxes.
#include "platform/ErrorReport.h"

#include <functional>

void ShowMessageBox(const TMessage& m, const std::function<void(const QString&)>& aside);
// Whether a box is open now.
bool MessageBoxOpen();
