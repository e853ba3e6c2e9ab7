#pragma once

#include "platform/win/CString.h"
#include "platform/win/WinTypes.h"

// Builds the main dialog with the UI language and the command-line log-in, makes it the
// application's main window, runs it modally and destroys it.
void RunMainDialog(LANGID language, const CString &cmdUser, const CString &cmdPassword);
