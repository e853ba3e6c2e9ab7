#pragma once

// Everything of the window layer at once.
#include "platform/win/App.h"
#include "platform/win/CString.h"
#include "platform/win/Controls.h"
#include "platform/win/Dc.h"
#include "platform/win/Dialog.h"
#include "platform/win/Gdi.h"
#include "platform/win/Menu.h"
#include "platform/win/WinTypes.h"
#include "platform/win/Wnd.h"
