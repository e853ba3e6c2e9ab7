#include <climits>

#include "app/AccountForm.h"
#include "app/KVTDlg.h"
#include "platform/sys/LocalTime.h"
#include "store/PackedDate.h"
#include "ui/UIButton.h"
#include "ui/UIEdit.h"
#include "ui/UIListBox.h"
#include "ui/UIStatic.h"

namespace
{
// The account form (AccountForm.h); Clear empties these fields, in this order.
using namespace accountform;
constexpr UINT kProfileFields[] = {kVerifyPasswordId, kNewPasswordId, kWeightId, kHeightId, kInchesId,
                                   kYearId,           kMonthId,       kDayId,    kLastNameId, kFirstNameId};

// Goal form.
constexpr UINT kKindButtons[3] = {1163, 1167, 1169};
constexpr UINT kKindFields[3] = {1164, 1168, 1170};
constexpr UINT kKindLabels[3][2] = {{1178, 0}, {1179, 0}, {1180, 0}};
constexpr UINT kPeriodButtons[3] = {1201, 1202, 1203};
constexpr UINT kPeriodFields[3] = {1204, 1205, 1206};
constexpr UINT kPeriodLabels[3][2] = {{1207, 1208}, {1209, 1210}, {1211, 1212}};
constexpr UINT kStartDay = 1172;
constexpr UINT kStartMonth = 1173;
constexpr UINT kStartYear = 1174;
constexpr UINT kGoalEdits[] = {1164, 1168, 1170, 1172, 1173, 1174, 1204, 1205, 1206};
constexpr UINT kCreateNewButton = 1118;
constexpr UINT kEditButton = 1119;
constexpr UINT kDeleteButton = 1120;
constexpr UINT kShareButton = 1092;
constexpr UINT kGoalList = 1183;
constexpr UINT kGoalHeading = 1114;
constexpr UINT kMyGoalText = 187;

template <class T> T *Item(const CWnd *dialog, UINT id)
{
    return id ? dynamic_cast<T *>(dialog->GetDlgItem(static_cast<int>(id))) : nullptr;
}

std::u16string TextOf(const CWnd *dialog, UINT id)
{
    CString text;
    if (CWnd *item = dialog->GetDlgItem(static_cast<int>(id)))
        item->GetWindowText(text);
    return text.str();
}

// The number a field begins with, at most INT_MAX.
int NumberOf(const CWnd *dialog, UINT id)
{
    const unsigned long long value = UIEdit::LeadingNumber(TextOf(dialog, id));
    return value > static_cast<unsigned long long>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

// To the nearest whole number (add 0.5 and cut), kept within int.
int Round(double value)
{
    const double rounded = value + 0.5;
    if (!(rounded > 0))
        return 0;
    return rounded >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(rounded);
}

void SetText(const CWnd *dialog, UINT id, LPCWSTR text)
{
    if (auto *edit = Item<CEdit>(dialog, id))
        edit->SetWindowText(text);
}

template <typename... Args>
void SetFormatted(const CWnd *dialog, UINT id, const char16_t *format, Args... args)
{
    CString text;
    text.Format(format, args...);
    SetText(dialog, id, text.GetString());
}

void SetLabel(const CWnd *dialog, UINT id, LPCWSTR text)
{
    if (auto *label = Item<UIStatic>(dialog, id))
    {
        label->SetText(text);
        label->Invalidate(TRUE);
    }
}

void Enable(const CWnd *dialog, UINT id, BOOL enable)
{
    if (CWnd *item = id ? dialog->GetDlgItem(static_cast<int>(id)) : nullptr)
        item->EnableWindow(enable);
}

void SetMaxValue(const CWnd *dialog, UINT id, UINT value)
{
    if (auto *edit = Item<UIEdit>(dialog, id))
        edit->SetMaxValue(value);
}

BOOL IsChecked(const CWnd *dialog, UINT id)
{
    auto *button = Item<UIButton>(dialog, id);
    return button && button->GetCheck();
}

void Uncheck(const CWnd *dialog, UINT id)
{
    if (auto *button = Item<UIButton>(dialog, id))
        button->SetCheck(0);
}

void Check(const CWnd *dialog, UINT id)
{
    if (auto *button = Item<UIButton>(dialog, id))
        button->SetCheck(1);
}

// The two-digit form of a year the goal form shows.
int ShortYear(int year)
{
    if (year > 1900)
        year -= 1900;
    if (year >= 100)
        year %= 100;
    return year;
}

void ShowDate(const CWnd *dialog, int year, int month, int day)
{
    SetFormatted(dialog, kStartDay, u"%02d", day);
    SetFormatted(dialog, kStartMonth, u"%02d", month);
    SetFormatted(dialog, kStartYear, u"%02d", ShortYear(year));
}

// Enables (or disables) a row of a radio group: its field and its labels.
void EnableRow(const CWnd *dialog, UINT field, const UINT (&labels)[2], BOOL enable)
{
    Enable(dialog, field, enable);
    for (UINT label : labels)
        Enable(dialog, label, enable);
}
} // namespace

// ---- command routing ------------------------------------------------------------------------

BOOL CKVTDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (HIWORD(wParam) == EN_CHANGE)
    {
        const UINT id = LOWORD(wParam);
        if (id == kDayId || id == kMonthId || id == kYearId)
        {
            OnBirthDateChange();
            return TRUE;
        }
        for (UINT edit : kGoalEdits)
            if (id == edit)
            {
                OnGoalEditChange();
                return TRUE;
            }
    }
    return UIDialog::OnCommand(wParam, lParam);
}

// ---- plain page callbacks -----------------------------------------------------------------

void CKVTDlg::OnCloseButton()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->PostMessage(WM_CLOSE);
}

void CKVTDlg::OnRadioFirst()
{
    if (CKVTDlg *dlg = FromMainWindow(); dlg && IsChecked(dlg, kMaleId))
        Uncheck(dlg, kMaleId);
}

void CKVTDlg::OnRadioSecond()
{
    if (CKVTDlg *dlg = FromMainWindow(); dlg && IsChecked(dlg, kFemaleId))
        Uncheck(dlg, kFemaleId);
}

void CKVTDlg::OnProfileClear()
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg)
        return;
    for (UINT id : kProfileFields)
        SetText(dlg, id, u"");
    dlg->ClearStatusLine();
}

void CKVTDlg::OnSaveChangesDiscard()
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg || !dlg->m_pChildPage || !dlg->m_pSaveChangesDlg)
        return;
    dlg->SetChildPageModified(FALSE);
    dlg->m_pSaveChangesDlg->EndDialog(IDCANCEL);
    dlg->m_bIgnoreDeviceArrival = dlg->m_bSavedIgnoreDeviceArrival;
}

void CKVTDlg::OnNavHome()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->NavigateTo(KvtView::Home);
}

void CKVTDlg::OnNavDeviceSetting()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->ShowDeviceSettingView();
}

void CKVTDlg::OnRemoveAccountCancel()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->ShowSupportView();
}

void CKVTDlg::OnRegisterNow()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->ShowNewAccountView();
}

void CKVTDlg::OnRegisterLater()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->ShowLoginView();
}

// ---- units of the profile form ------------------------------------------------------------

void CKVTDlg::OnUnitsMetric()
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg || !IsChecked(dlg, kMetricId) || !IsChecked(dlg, kImperialId))
        return;
    Uncheck(dlg, kImperialId);
    dlg->ApplyMetricUnits();
}

void CKVTDlg::OnUnitsImperial()
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg || !IsChecked(dlg, kImperialId) || !IsChecked(dlg, kMetricId))
        return;
    Uncheck(dlg, kMetricId);
    dlg->ApplyImperialUnits();
}

void CKVTDlg::ApplyMetricUnits()
{
    if (!TextOf(this, kWeightId).empty())
    {
        const int pounds = NumberOf(this, kWeightId);
        m_nWeightLb = pounds;
        SetFormatted(this, kWeightId, u"%d", Round(pounds / kPoundsPerKilogram));
    }
    SetMaxValue(this, kWeightId, 255);

    if (!TextOf(this, kHeightId).empty() || !TextOf(this, kInchesId).empty())
    {
        const double inches =
            static_cast<double>(NumberOf(this, kHeightId)) * 12 + NumberOf(this, kInchesId);
        if (inches > 0)
        {
            // The centimetres shown last stay when they still give the inches shown, so a
            // round trip through the other units changes nothing.
            const bool keep = m_nHeightCm >= 1 && Round(m_nHeightCm / kCentimetresPerInch) == inches;
            SetFormatted(this, kHeightId, u"%d", keep ? m_nHeightCm : Round(inches * kCentimetresPerInch));
        }
    }
    SetMaxValue(this, kHeightId, 255);
    if (CWnd *inchesField = GetDlgItem(kInchesId))
        inchesField->ShowWindow(SW_HIDE);

    SetLabel(this, kHeightUnitId, LoadStringText(469));
    SetLabel(this, kInchesUnitId, u"");
    SetLabel(this, kWeightUnitId, LoadStringText(468));
}

void CKVTDlg::ApplyImperialUnits()
{
    if (!TextOf(this, kWeightId).empty())
    {
        const int kilograms = NumberOf(this, kWeightId);
        const bool keep = m_nWeightLb >= 1 && Round(m_nWeightLb / kPoundsPerKilogram) == kilograms;
        SetFormatted(this, kWeightId, u"%d", keep ? m_nWeightLb : Round(kilograms * kPoundsPerKilogram));
    }
    SetMaxValue(this, kWeightId, 561);

    SetMaxValue(this, kHeightId, 7);
    if (!TextOf(this, kHeightId).empty())
    {
        m_nHeightCm = NumberOf(this, kHeightId);
        const int inches = Round(m_nHeightCm / kCentimetresPerInch);
        SetFormatted(this, kHeightId, u"%d", inches / 12);
        SetFormatted(this, kInchesId, u"%d", inches % 12);
    }
    else
    {
        SetText(this, kInchesId, u"");
    }
    if (CWnd *inchesField = GetDlgItem(kInchesId))
        inchesField->ShowWindow(SW_SHOW);

    SetLabel(this, kHeightUnitId, LoadStringText(706));
    SetLabel(this, kInchesUnitId, LoadStringText(372));
    SetLabel(this, kWeightUnitId, LoadStringText(376));
}

// ---- date of birth --------------------------------------------------------------------------

void CKVTDlg::OnBirthDateChange()
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg)
        return;
    auto *label = Item<UIStatic>(dlg, kAgeId);
    if (!label || !dlg->GetDlgItem(kYearId) || !dlg->GetDlgItem(kMonthId) ||
        !dlg->GetDlgItem(kDayId))
        return;
    CString age;
    const std::u16string year = TextOf(dlg, kYearId), month = TextOf(dlg, kMonthId),
                         day = TextOf(dlg, kDayId);
    if (!year.empty() && !month.empty() && !day.empty())
    {
        const int y = NumberOf(dlg, kYearId), m = NumberOf(dlg, kMonthId), d = NumberOf(dlg, kDayId);
        // A number too big for its part of the packed date would wrap into another date.
        if (y <= 0xFFFF && m <= 0xFF && d <= 0xFF)
        {
            const uint32_t date = vxtime::PackDate(y, m, d);
            const int years = vxtime::AgeFromPackedDate(date);
            if (vxtime::IsValidPackedDate(date) && vxtime::CompareWithToday(date) < 0 && years >= 1 &&
                years <= 119)
                age.Format(u"%d", years);
        }
    }
    label->SetText(age.GetString());
    label->Invalidate(TRUE);
}

// ---- goal form ------------------------------------------------------------------------------

void CKVTDlg::SelectRadioRow(std::size_t pressed, const UINT (&buttons)[3], const UINT (&fields)[3],
                             const UINT (&labels)[3][2])
{
    if (!IsChecked(this, buttons[pressed]))
        return;
    for (std::size_t i = 0; i < 3; ++i)
        if (i != pressed)
            Uncheck(this, buttons[i]);
    for (std::size_t i = 0; i < 3; ++i)
        EnableRow(this, fields[i], labels[i], i == pressed);
    if (CWnd *field = GetDlgItem(fields[pressed]))
        field->SetFocus();
}

void CKVTDlg::OnGoalKindDistance()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->SelectRadioRow(0, kKindButtons, kKindFields, kKindLabels);
}

void CKVTDlg::OnGoalKindTime()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->SelectRadioRow(1, kKindButtons, kKindFields, kKindLabels);
}

void CKVTDlg::OnGoalKindCalories()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->SelectRadioRow(2, kKindButtons, kKindFields, kKindLabels);
}

void CKVTDlg::OnGoalPeriodDays()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->SelectRadioRow(0, kPeriodButtons, kPeriodFields, kPeriodLabels);
}

void CKVTDlg::OnGoalPeriodWeeks()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->SelectRadioRow(1, kPeriodButtons, kPeriodFields, kPeriodLabels);
}

void CKVTDlg::OnGoalPeriodMonths()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->SelectRadioRow(2, kPeriodButtons, kPeriodFields, kPeriodLabels);
}

void CKVTDlg::OnGoalEditChange()
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg)
        return;
    Enable(dlg, kCreateNewButton, TRUE);
    auto *list = Item<UIListBox>(dlg, kGoalList);
    const int selected = list ? list->GetCurSel() : -1;
    UINT endDate = 0;
    BOOL reached = FALSE;
    if (selected >= 0 && list->GetItem(selected, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, &endDate, nullptr, &reached, nullptr))
        Enable(dlg, kEditButton, !reached && vxtime::CompareWithToday(endDate) > 0);
}

void CKVTDlg::OnGoalListSelect(int index)
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->FillGoalForm(index);
}

void CKVTDlg::FillGoalForm(int index)
{
    auto *list = Item<UIListBox>(this, kGoalList);
    int goalId = 0, kind = 0, periodUnit = 0, number = 0;
    UINT target = 0, periodCount = 0, startDate = 0, endDate = 0, achieved = 0;
    BOOL reached = FALSE;
    const bool selected = index >= 0 && list &&
                          list->GetItem(index, &goalId, &kind, &target, nullptr, &periodUnit, &periodCount,
                                        &startDate, &endDate, &achieved, &reached, &number);
    CString heading = LoadStringText(kMyGoalText);
    // Every write below sends EN_CHANGE at once, which enables Create New and Edit again: the
    // buttons are set after the last write.
    if (selected)
    {
        const std::size_t row = kind == 0 ? 0 : kind == 1 ? 1 : 2;
        // In the user's unit, whatever unit the goal was entered in: the label beside the field
        // names that unit, and Edit reads the field back in it.
        if (row == 0)
            SetFormatted(this, kKindFields[0], u"%.1f", target * (m_bMetric ? 0.001 : 0.000621371192));
        else if (row == 1)
            SetFormatted(this, kKindFields[1], u"%d", static_cast<int>(target / 3600));
        else
            SetFormatted(this, kKindFields[2], u"%d", static_cast<int>(target));
        for (std::size_t i = 0; i < 3; ++i)
        {
            if (i == row)
            {
                Check(this, kKindButtons[i]);
                EnableRow(this, kKindFields[i], kKindLabels[i], TRUE);
                continue;
            }
            Uncheck(this, kKindButtons[i]);
            SetText(this, kKindFields[i], u"");
            EnableRow(this, kKindFields[i], kKindLabels[i], FALSE);
        }

        const DateParts start = vxtime::UnpackDate(startDate);
        ShowDate(this, start.year, start.month, start.day);

        const std::size_t period = periodUnit == 2 ? 1 : periodUnit == 3 ? 2 : 0;
        for (std::size_t i = 0; i < 3; ++i)
        {
            if (i == period)
            {
                Check(this, kPeriodButtons[i]);
                SetFormatted(this, kPeriodFields[i], u"%d", static_cast<int>(periodCount));
                EnableRow(this, kPeriodFields[i], kPeriodLabels[i], TRUE);
                continue;
            }
            Uncheck(this, kPeriodButtons[i]);
            SetText(this, kPeriodFields[i], u"");
            EnableRow(this, kPeriodFields[i], kPeriodLabels[i], FALSE);
        }

        Enable(this, kCreateNewButton, FALSE);
        Enable(this, kEditButton, FALSE);
        Enable(this, kDeleteButton, TRUE);
        Enable(this, kShareButton, TRUE);
        heading.AppendFormat(u" %03d", number);
    }
    else
    {
        for (UINT field : kKindFields)
            SetText(this, field, u"");
        for (UINT field : kPeriodFields)
            SetText(this, field, u"");
        auto keepChecked = [this](const UINT(&buttons)[3], const UINT(&fields)[3],
                                  const UINT(&labels)[3][2]) {
            std::size_t checked = 0;
            while (checked < 3 && !IsChecked(this, buttons[checked]))
                ++checked;
            if (checked == 3)
            {
                checked = 0;
                Check(this, buttons[0]);
            }
            for (std::size_t i = 0; i < 3; ++i)
                EnableRow(this, fields[i], labels[i], i == checked);
        };
        keepChecked(kKindButtons, kKindFields, kKindLabels);
        keepChecked(kPeriodButtons, kPeriodFields, kPeriodLabels);
        vxsys::LocalFields today{};
        if (vxsys::LocalFieldsFromTime(vxsys::CurrentTime(), &today))
            ShowDate(this, today.year, today.month, today.day);
        for (UINT id : {kCreateNewButton, kEditButton, kDeleteButton, kShareButton})
            Enable(this, id, FALSE);
    }
    if (auto *label = Item<UIStatic>(this, kGoalHeading))
    {
        label->SetText(heading.GetString());
        label->Invalidate(TRUE);
    }
    ClearStatusLine();
}
