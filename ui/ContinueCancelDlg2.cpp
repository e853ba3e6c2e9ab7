#include "ui/ContinueCancelDlg2.h"

#include "platform/sys/LocalTime.h"
#include "store/PackedDate.h"
#include "ui/MainDialogSeam.h"

namespace
{
constexpr UINT kBackground = 513;
constexpr WORD kImageLanguage = 1033;
constexpr UINT kCancelText = 340;
constexpr UINT kContinueText = 342;
constexpr UINT kDayText = 346;
constexpr UINT kMonthText = 386;
constexpr UINT kYearText = 451;
constexpr UINT kErrorText = 711;
constexpr ARGB kTitleColour = 0xFFFFFFFF;
constexpr ARGB kTextColour = 0xFF4D4948;
constexpr ARGB kLabelColour = 0xFF838281;
constexpr ARGB kErrorColour = 0xFFDA251D;
constexpr ARGB kButtonText = 0xFF383431;
constexpr ARGB kButtonTextLit = 0xFFFFFFFF;
// The edits' text colour is written as an 0xAARRGGBB number; an edit takes a COLORREF, which has
// no room for the alpha byte, so only the low 24 bits are handed on.
constexpr DWORD kEditTextValue = 0xFF555150;
constexpr int kEditTop = 170;
constexpr int kEditBottom = 204;
constexpr int kLabelTop = 206;
constexpr int kLabelBottom = 226;
constexpr int kButtonTop = 300;
constexpr int kButtonWidth = 117;
constexpr int kButtonHeight = 30;
constexpr DWORD kDayEnd = (23u << 16) | (59u << 8) | 59u;
constexpr int kFirstYear = 2009;
} // namespace

namespace vxui
{
bool DateEntryAcceptable(DWORD entered, DWORD lastRunDate, DWORD lastRunTime, DWORD today)
{
    if (!vxtime::IsValidPackedDate(entered))
        return false;
    if (vxtime::PackedYear(entered) < kFirstYear)
        return false;
    if (!(entered > lastRunDate || (entered == lastRunDate && lastRunTime != kDayEnd)))
        return false;
    return entered <= today;
}

DWORD ReadDateField(std::u16string_view text, DWORD limit)
{
    const unsigned long long value = UIEdit::LeadingNumber(text);
    return value > limit ? 0 : static_cast<DWORD>(value);
}
} // namespace vxui

CContinueCancelDlg2::CContinueCancelDlg2(WORD language, CWnd *parent)
    : UIDialog(kTemplate, parent), m_wLanguage(language), m_nFontStyle(language == 1028 ? 0 : 1)
{
}

CContinueCancelDlg2::~CContinueCancelDlg2() = default;

std::unique_ptr<UIStatic> CContinueCancelDlg2::MakeLabel(UINT textId, const CRect &rect, UINT id, ARGB colour,
                                                         int size, DWORD style)
{
    CString text;
    text.LoadString(nullptr, textId, m_wLanguage);
    auto label = std::make_unique<UIStatic>();
    label->SetTextColor(colour);
    label->SetFontSize(size);
    label->SetFontStyle(m_nFontStyle);
    label->SetAlignment(1);
    label->Create(text.GetString(), rect, this, id, style);
    return label;
}

std::unique_ptr<UIButton> CContinueCancelDlg2::MakeButton(UINT textId, int left, UINT id, UINT pressed,
                                                          UINT middle, UINT normal,
                                                          ButtonClickCallback callback)
{
    CString text;
    text.LoadString(nullptr, textId, m_wLanguage);
    auto button = std::make_unique<UIButton>();
    button->SetTextColors(kButtonText, kButtonTextLit, kButtonTextLit, kButtonText);
    button->SetFontSize(11);
    button->SetFontStyle(m_nFontStyle);
    button->SetAlignment(1);
    button->m_bCacheBackground = TRUE;
    button->Create(text.GetString(), CRect(left, kButtonTop, left + kButtonWidth, kButtonTop + kButtonHeight),
                   this, id);
    button->SetImages(normal, middle, pressed, middle, kImageLanguage);
    button->SetClickCallback(callback);
    button->ShowWindow(SW_SHOW);
    return button;
}

std::unique_ptr<UIEdit> CContinueCancelDlg2::MakeEdit(UINT id, int left, int right, int maxChars)
{
    auto edit = std::make_unique<UIEdit>();
    edit->Create(WS_CHILD | WS_VISIBLE | ES_CENTER, CRect(left, kEditTop, right, kEditBottom), this, id);
    edit->SetNumericOnly(TRUE);
    edit->LimitText(maxChars);
    edit->SetFontSize(20);
    edit->SetTextColor(COLORREF{kEditTextValue & 0x00FFFFFFu});
    edit->SetBkColor(RGB(0xFF, 0xFF, 0xFF));
    edit->SetOuterColor(RGB(0xDD, 0xDE, 0xDE));
    edit->SetRoundFrame(8, 8);
    edit->BringWindowToTop();
    return edit;
}

BOOL CContinueCancelDlg2::OnInitDialog()
{
    UIDialog::OnInitDialog();
    SetBackgroundImage(kBackground, kImageLanguage);
    m_pTitle = MakeLabel(m_nTitleId, CRect(100, 10, 430, 35), 1342, kTitleColour, 18);
    m_pText = MakeLabel(m_nTextId, CRect(40, 70, 490, 130), 1344, kTextColour, 18);
    m_pCancel = MakeButton(kCancelText, 20, 1104, 568, 569, 570, &CContinueCancelDlg2::OnCancelClicked);
    m_pContinue =
        MakeButton(kContinueText, 390, 1199, 491, 492, 493, &CContinueCancelDlg2::OnContinueClicked);
    m_pYear = MakeEdit(kYearEdit, 320, 400, 4);
    m_pMonth = MakeEdit(kMonthEdit, 205, 265, 2);
    m_pDay = MakeEdit(kDayEdit, 90, 150, 2);
    m_pDayLabel = MakeLabel(kDayText, CRect(90, kLabelTop, 150, kLabelBottom), 1208, kLabelColour, 14);
    m_pMonthLabel = MakeLabel(kMonthText, CRect(205, kLabelTop, 265, kLabelBottom), 1212, kLabelColour, 14);
    m_pYearLabel = MakeLabel(kYearText, CRect(320, kLabelTop, 400, kLabelBottom), 1132, kLabelColour, 14);
    m_pError = MakeLabel(kErrorText, CRect(40, 120, 490, 150), 1387, kErrorColour, 18, WS_CHILD);
    m_pDay->SetFocus();
    return TRUE;
}

BOOL CContinueCancelDlg2::ValidateDate()
{
    MainDialogSeam *main = vxui::GetMainDialogSeam();
    vxsys::LocalFields now{};
    const bool todayKnown = vxsys::LocalFieldsFromTime(vxsys::CurrentTime(), &now);
    auto read = [](UIEdit *edit, DWORD limit) -> DWORD {
        if (!edit)
            return 0;
        WCHAR buffer[260] = {};
        edit->GetWindowText(buffer, 260);
        return vxui::ReadDateField(buffer, limit);
    };
    const DWORD day = read(m_pDay.get(), 0xFF);
    const DWORD month = read(m_pMonth.get(), 0xFF);
    const DWORD year = read(m_pYear.get(), 0xFFFF);
    const DWORD entered = (year << 16) | (month << 8) | day;
    DWORD lastDate = 0, lastTime = 0;
    if (main)
    {
        main->SetEnteredDate(entered);
        main->GetLastRunKeys(&lastDate, &lastTime);
    }
    // Without the main dialog there is nobody to keep the date: nothing is accepted.
    const bool accepted = main && todayKnown &&
                          vxui::DateEntryAcceptable(entered, lastDate, lastTime,
                                                    vxtime::PackDate(now.year, now.month, now.day));
    if (accepted)
    {
        EndDialog(IDOK);
        return TRUE;
    }
    if (m_pError)
        m_pError->ShowWindow(SW_SHOW);
    return FALSE;
}

void CContinueCancelDlg2::OnContinueClicked()
{
    MainDialogSeam *main = vxui::GetMainDialogSeam();
    if (CContinueCancelDlg2 *prompt = main ? main->GetOpenDatePrompt() : nullptr)
        prompt->ValidateDate();
}

void CContinueCancelDlg2::OnCancelClicked()
{
    MainDialogSeam *main = vxui::GetMainDialogSeam();
    if (CContinueCancelDlg2 *prompt = main ? main->GetOpenDatePrompt() : nullptr)
        prompt->EndDialog(IDCANCEL);
}
