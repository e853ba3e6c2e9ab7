#pragma once

#include "platform/win/Afx.h"

class CContinueCancelDlg2;

// What the kit's prompts need of the main dialog. The main dialog lives above the kit, so it
// registers itself here rather than the kit knowing its class.
class MainDialogSeam
{
  public:
    virtual ~MainDialogSeam() = default;

    // The interface language.
    virtual WORD GetLanguage() const = 0;
    // The date prompt that is up, or null.
    virtual CContinueCancelDlg2 *GetOpenDatePrompt() const = 0;
    // The date the user typed, year * 65536 + month * 256 + day; kept whether or not it is accepted.
    virtual void SetEnteredDate(DWORD date) = 0;
    // The latest stored run: its date as year * 65536 + month * 256 + day and its time as
    // hour * 65536 + minute * 256 + second (both 0 when there is none).
    virtual void GetLastRunKeys(DWORD *dateKey, DWORD *timeKey) const = 0;
};

namespace vxui
{
// The main dialog registers itself while it lives (null unregisters).
void SetMainDialogSeam(MainDialogSeam *seam);
MainDialogSeam *GetMainDialogSeam();
} // namespace vxui
