#pragma once
// The message box behind the program's report function; the program installs it at start-up
// (SetMessageHandler(ShowMessageBox)).
#include "platform/ErrorReport.h"

void ShowMessageBox(const TMessage& m);
