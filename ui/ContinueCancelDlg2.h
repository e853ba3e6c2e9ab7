#pragma once

#include <memory>
#include <string_view>

#include "ui/UIButton.h"
#include "ui/UIDialog.h"
#include "ui/UIEdit.h"
#include "ui/UIStatic.h"

namespace vxui
{
// Whether a typed date (year * 65536 + month * 256 + day) may become the date of the last run:
// a real date from 2009 on, after the latest stored run (or on its day when that run did not end
// the day at 23:59:59), and not after today.
bool DateEntryAcceptable(DWORD entered, DWORD lastRunDate, DWORD lastRunTime, DWORD today);

// The number a date field holds: its leading digits, 0 when there are none or when the number
// does not fit below `limit`.
DWORD ReadDateField(std::u16string_view text, DWORD limit);
} // namespace vxui

// Asks for the date of the user's last run when the monitor's clock was wrong: day, month and
// year fields, Continue and Cancel, and an error line. Continue ends the prompt with IDOK only
// for an acceptable date; Enter does nothing, Escape cancels. The buttons reach the prompt
// through the main dialog's pointer to the open date prompt.
class CContinueCancelDlg2 : public UIDialog
{
  public:
    static constexpr UINT kTemplate = 708;
    static constexpr UINT kDayEdit = 1380;
    static constexpr UINT kMonthEdit = 1381;
    static constexpr UINT kYearEdit = 1382;

    CContinueCancelDlg2(WORD language, CWnd *parent);
    ~CContinueCancelDlg2() override;

    BOOL OnInitDialog() override;
    // Enter does not end the prompt.
    void OnOK() override {}

    // Reads the three fields, hands the date to the main dialog, and ends the prompt with IDOK
    // when it is acceptable; otherwise shows the error line. TRUE when accepted.
    BOOL ValidateDate();

    // The button callbacks.
    static void OnContinueClicked();
    static void OnCancelClicked();

    UIEdit *GetDayEdit() const { return m_pDay.get(); }
    UIEdit *GetMonthEdit() const { return m_pMonth.get(); }
    UIEdit *GetYearEdit() const { return m_pYear.get(); }
    UIStatic *GetErrorLine() const { return m_pError.get(); }
    UIButton *GetContinueButton() const { return m_pContinue.get(); }
    UIButton *GetCancelButton() const { return m_pCancel.get(); }

    // String ids of the two message lines; set before the prompt runs.
    UINT m_nTitleId = 0;
    UINT m_nTextId = 0;

  private:
    std::unique_ptr<UIStatic> MakeLabel(UINT textId, const CRect &rect, UINT id, ARGB colour, int size,
                                        DWORD style = WS_CHILD | WS_VISIBLE);
    std::unique_ptr<UIButton> MakeButton(UINT textId, int left, UINT id, UINT pressed, UINT middle,
                                         UINT normal, ButtonClickCallback callback);
    std::unique_ptr<UIEdit> MakeEdit(UINT id, int left, int right, int maxChars);

    WORD m_wLanguage;
    int m_nFontStyle;
    std::unique_ptr<UIStatic> m_pTitle;
    std::unique_ptr<UIStatic> m_pText;
    std::unique_ptr<UIButton> m_pCancel;
    std::unique_ptr<UIButton> m_pContinue;
    std::unique_ptr<UIEdit> m_pYear;
    std::unique_ptr<UIEdit> m_pMonth;
    std::unique_ptr<UIEdit> m_pDay;
    std::unique_ptr<UIStatic> m_pDayLabel;
    std::unique_ptr<UIStatic> m_pMonthLabel;
    std::unique_ptr<UIStatic> m_pYearLabel;
    std::unique_ptr<UIStatic> m_pError;
};
