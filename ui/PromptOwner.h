#pragma once

#include "platform/win/Afx.h"

// What the message prompt's button needs of the window that opened it: the message prompt it
// keeps while one is up. The main window implements it; the prompt finds it through the
// application object's main-window pointer, so the kit needs nothing of the main window's class.
class PromptOwner
{
  public:
    virtual ~PromptOwner() = default;

    // The message prompt that is up, or null.
    virtual CDialog *GetOpenMessagePrompt() const = 0;
};

namespace vxui
{
// The application's main window as a prompt owner; null when there is none or it is no owner.
PromptOwner *MainPromptOwner();
} // namespace vxui
