// The My Goal page: the goal form on the left (a distance, time or calories target over a number of
// days, weeks or months from a start date) with Create New, Edit and Delete, and the history list of
// all the user's goals with their progress on the right.

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app/KVTDlg.h"
#include "platform/sys/LocalTime.h"
#include "store/KvtDatabase.h"
#include "store/PackedDate.h"
#include "ui/UIButton.h"
#include "ui/UIEdit.h"
#include "ui/UIListBox.h"
#include "ui/UIStatic.h"

namespace
{
constexpr WORD kImageLanguage = 1033;

constexpr UINT kHeadingId = 1114;
constexpr UINT kFormPictureId = 1115;
constexpr UINT kHistoryId = 1116;
constexpr UINT kCreateNewId = 1118;
constexpr UINT kEditId = 1119;
constexpr UINT kDeleteId = 1120;
constexpr UINT kGoalListId = 1183;
constexpr UINT kShareId = 1092;
constexpr UINT kUnitLabelId = 1080;
constexpr UINT kPeriodLabelId = 1256;

constexpr UINT kDistanceRadio = 1163;
constexpr UINT kTimeRadio = 1167;
constexpr UINT kCaloriesRadio = 1169;
constexpr UINT kDistanceField = 1164;
constexpr UINT kTimeField = 1168;
constexpr UINT kCaloriesField = 1170;
constexpr UINT kStartDay = 1172;
constexpr UINT kStartMonth = 1173;
constexpr UINT kStartYear = 1174;
constexpr UINT kDaysRadio = 1201;
constexpr UINT kWeeksRadio = 1202;
constexpr UINT kMonthsRadio = 1203;
constexpr UINT kDaysField = 1204;
constexpr UINT kWeeksField = 1205;
constexpr UINT kMonthsField = 1206;

constexpr UINT kMyGoalText = 187;
constexpr UINT kHistoryText = 722;
constexpr UINT kMemoryErrorText = 225;
constexpr UINT kDistanceError = 250;
constexpr UINT kTimeError = 251;
constexpr UINT kCaloriesError = 252;
constexpr UINT kStartDateError = 248;
constexpr UINT kTimeFrameError = 241;
constexpr UINT kSaveError = 238;
constexpr UINT kDeleteError = 237;

constexpr ARGB kHeadingColour = 0xFF4D4948;
constexpr ARGB kFormText = 0xFF555150;
constexpr ARGB kFormTextDisabled = 0xFF999897;
constexpr COLORREF kFieldText = COLORREF{0x605D5C};

constexpr double kMetresPerKilometre = 1000.0;
constexpr double kMetresPerMile = 1609.344;
// The largest value the time, calories and period fields take.
constexpr unsigned long long kMaxWholeValue = 65535;
constexpr unsigned long long kMaxPeriodCount = 999;
// The store keeps targets as 32-bit signed numbers.
constexpr double kMetresLimit = 2147483648.0;

template <class T> T *Item(const CWnd *dialog, UINT id)
{
    return dynamic_cast<T *>(dialog->GetDlgItem(static_cast<int>(id)));
}

std::u16string TextOf(const CWnd *dialog, UINT id)
{
    CString text;
    if (CWnd *item = dialog->GetDlgItem(static_cast<int>(id)))
        item->GetWindowText(text);
    return text.str();
}

void SetText(const CWnd *dialog, UINT id, LPCWSTR text)
{
    if (auto *edit = Item<CEdit>(dialog, id))
        edit->SetWindowText(text);
}

void Enable(const CWnd *dialog, UINT id, BOOL enable)
{
    if (CWnd *item = dialog->GetDlgItem(static_cast<int>(id)))
        item->EnableWindow(enable);
}

BOOL IsChecked(const CWnd *dialog, UINT id)
{
    auto *button = Item<UIButton>(dialog, id);
    return button && button->GetCheck();
}

// The decimal number a text begins with, after blanks and with a sign: digits with at most one
// point, read in the C form whatever the locale. No exponent, infinity or NaN is read; text that
// does not begin with a digit (or a point and a digit) reads as 0, and so does a number too large
// for a double.
double LeadingDecimal(std::u16string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    std::string number;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
    {
        if (text[i] == u'-')
            number += '-';
        ++i;
    }
    bool point = false;
    bool digits = false;
    for (; i < text.size(); ++i)
    {
        const char16_t ch = text[i];
        if (ch >= u'0' && ch <= u'9')
            digits = true;
        else if (ch != u'.' || point)
            break;
        else
            point = true;
        number += static_cast<char>(ch);
    }
    double value = 0.0;
    if (digits && std::from_chars(number.data(), number.data() + number.size(), value).ec != std::errc())
        value = 0.0;
    return value;
}

// The whole number a digits-only field holds.
unsigned long long WholeNumber(const CWnd *dialog, UINT id)
{
    return UIEdit::LeadingNumber(TextOf(dialog, id));
}

void AddGoalItem(UIListBox *list, const GoalRecord &goal)
{
    list->AddItem(goal.goalId, goal.distance, goal.distanceUnit, goal.time, goal.calories, goal.timeFrame,
                  goal.timeFrameType, vxtime::PackDate(goal.start), vxtime::PackDate(goal.end),
                  goal.doneDistance, goal.doneDuration, goal.doneCalories);
}
} // namespace

// The goal as the form gives it.
struct CKVTDlg::GoalEntry
{
    int kind = 0;        // 0 distance, 1 time, 2 calories
    uint32_t target = 0; // metres, seconds or calories
    uint8_t unit = 0;    // distance goals: 1 metric, 0 imperial
    DateParts start{};
    DateParts end{}; // the first day after the goal
    uint32_t periodCount = 0;
    uint8_t periodUnit = 1; // 1 days, 2 weeks, 3 months
};

namespace
{
// Rewrites list item n from the goal as read back, with the period as the form gave it.
void SetGoalItem(UIListBox *list, int n, const GoalRecord &goal, uint32_t periodCount, uint8_t periodUnit)
{
    list->SetItem(n, goal.goalId, goal.distance, goal.distanceUnit, goal.time, goal.calories, periodCount,
                  periodUnit, vxtime::PackDate(goal.start), vxtime::PackDate(goal.end), goal.doneDistance,
                  goal.doneDuration, goal.doneCalories);
}
} // namespace

// ---- the page ----------------------------------------------------------------------------------

void CKVTDlg::ShowGoalView()
{
    // Device arrivals are acted on while this page is up.
    BeginPage(FALSE, 0);
    m_nCurrentView = KvtView::Goal;
    ShowUserNameTitle();
    BuildNavigationBarFor(NavigationPage::Goal);
    AddShareAndLogOutButtons();

    if (UIStatic *heading =
            AddPageLabel(kMyGoalText, CRect(55, 114, 205, 132), kHeadingId, kHeadingColour, 14))
        heading->SetFontStyle(1);
    if (UIStatic *heading =
            AddPageLabel(kHistoryText, CRect(375, 114, 525, 132), kHistoryId, kHeadingColour, 14))
        heading->SetFontStyle(1);
    AddPagePicture(144, CRect(50, 136, 335, 393), kFormPictureId);

    auto made = std::make_unique<UIListBox>(m_nLanguage);
    made->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(370, 136, 651, 393), this, kGoalListId);
    made->SetBackgroundImage(145);
    made->CreateScrollUpButton(220, 220, 220, 220);
    made->CreateScrollDownButton(221, 221, 221, 221);
    made->SetSelChangeCallback(&CKVTDlg::OnGoalListSelect);
    made->SetDeleteCallback(&CKVTDlg::OnGoalListDelete);
    if (auto *list = static_cast<UIListBox *>(AddPageControl(std::move(made))))
        for (const GoalRecord &goal : ReadAllGoals())
            AddGoalItem(list, goal);

    const struct
    {
        UINT text;
        CRect rect;
        UINT id;
        ButtonClickCallback click;
    } actions[] = {
        {343, CRect(57, 362, 142, 382), kCreateNewId, &CKVTDlg::OnGoalCreateNew},
        {354, CRect(149, 362, 234, 382), kEditId, &CKVTDlg::OnGoalEdit},
        {347, CRect(241, 362, 326, 382), kDeleteId, &CKVTDlg::OnGoalDelete},
    };
    for (const auto &a : actions)
        AddPageButton(a.text, a.rect, a.id, 472, 471, 470, 471, a.click, 10);

    // The form.
    auto radio = [this](UINT id, const CRect &rect, ButtonClickCallback click, BOOL checked) {
        auto button = std::make_unique<UIButton>();
        button->SetRadioMode(TRUE);
        // The two sizes of radio button share their pictures.
        button->m_bStretch = TRUE;
        button->Create(u"", rect, this, id);
        button->SetImages(267, 267, 266, 267, kImageLanguage);
        button->SetClickCallback(click);
        button->SetCheck(checked ? 1 : 0);
        button->ShowWindow(SW_SHOW);
        AddPageControl(std::move(button));
    };
    auto label = [this](UINT text, const CRect &rect, UINT id, int size, BOOL enabled, int alignment = 0) {
        UIStatic *created = AddPageLabel(text, rect, id, kFormText, size, alignment);
        if (created)
        {
            created->SetTextColors(kFormText, kFormText, kFormText, kFormTextDisabled);
            created->EnableWindow(enabled);
        }
        return created;
    };
    auto edit = [this](std::unique_ptr<UIEdit> field, const CRect &rect, UINT id, int limit, UINT maxValue,
                       BOOL enabled) {
        field->SetTextColor(kFieldText);
        field->SetFontSize(10);
        field->SetNumericOnly(TRUE);
        field->SetMaxValue(maxValue);
        field->Create(WS_CHILD | ES_AUTOHSCROLL, rect, this, id);
        field->LimitText(limit);
        field->EnableWindow(enabled);
        field->ShowWindow(SW_SHOW);
        return static_cast<UIEdit *>(AddPageControl(std::move(field)));
    };

    radio(kDistanceRadio, CRect(120, 145, 140, 165), &CKVTDlg::OnGoalKindDistance, TRUE);
    radio(kTimeRadio, CRect(120, 173, 140, 193), &CKVTDlg::OnGoalKindTime, FALSE);
    radio(kCaloriesRadio, CRect(120, 201, 140, 221), &CKVTDlg::OnGoalKindCalories, FALSE);
    const struct
    {
        UINT text;
        CRect rect;
        UINT id;
        BOOL enabled;
    } kindLabels[] = {
        {175, CRect(57, 144, 107, 164), 1178, TRUE},
        {182, CRect(57, 172, 107, 192), 1179, FALSE},
        {224, CRect(57, 200, 107, 220), 1180, FALSE},
    };
    // The kind stands on a rounded face of its own, so it is centred on it: a short word set at the
    // left would touch the face's edge.
    for (const auto &k : kindLabels)
        if (UIStatic *kindLabel = label(k.text, k.rect, k.id, 12, k.enabled, 1))
            kindLabel->SetImageResource(497, 0, kImageLanguage);
    edit(std::make_unique<UINumericEdit>(), CRect(144, 146, 236, 162), kDistanceField, 6, 65535, TRUE);
    edit(std::make_unique<UIEdit>(), CRect(144, 174, 236, 190), kTimeField, 6, 65535, FALSE);
    edit(std::make_unique<UIEdit>(), CRect(144, 202, 236, 218), kCaloriesField, 6, 65535, FALSE);
    label(m_bMetric ? 166 : 179, CRect(248, 146, 280, 164), kUnitLabelId, 10, TRUE);
    label(169, CRect(248, 174, 280, 192), kUnitLabelId, 10, TRUE);

    label(405, CRect(57, 239, 100, 259), kPeriodLabelId, 12, TRUE);
    const bool smallStart = m_nLanguage == 1031 || m_nLanguage == 2052 || m_nLanguage == 1028;
    label(721, CRect(100, 239, 190, 259), kPeriodLabelId, smallStart ? 10 : 11, TRUE);
    vxsys::LocalFields today{};
    if (!vxsys::LocalFieldsFromTime(vxsys::CurrentTime(), &today))
        today = vxsys::LocalFields{};
    const int yearLimit = today.year + 10;
    const struct
    {
        CRect rect;
        UINT id;
        UINT maxValue;
        int value;
    } dateFields[] = {
        {CRect(191, 241, 213, 255), kStartDay, 31, today.day},
        {CRect(229, 241, 251, 255), kStartMonth, 12, today.month},
        {CRect(267, 241, 289, 255), kStartYear, static_cast<UINT>(std::max(yearLimit, 0)), today.year % 100},
    };
    for (const auto &d : dateFields)
        if (UIEdit *field = edit(std::make_unique<UIEdit>(), d.rect, d.id, 2, d.maxValue, TRUE))
        {
            CString text;
            text.Format(u"%02d", d.value);
            field->SetWindowText(text.GetString());
        }
    const bool largeMarks = m_nLanguage == 2052 || m_nLanguage == 1028;
    label(494, CRect(190, 256, 215, 271), 1257, largeMarks ? 10 : 8, TRUE);
    label(495, CRect(228, 256, 253, 271), 1258, largeMarks ? 10 : 8, TRUE);
    label(496, CRect(266, 256, 291, 271), 1259, largeMarks ? 10 : 8, TRUE);

    radio(kDaysRadio, CRect(120, 273, 135, 288), &CKVTDlg::OnGoalPeriodDays, TRUE);
    radio(kWeeksRadio, CRect(120, 300, 135, 315), &CKVTDlg::OnGoalPeriodWeeks, FALSE);
    radio(kMonthsRadio, CRect(120, 326, 135, 341), &CKVTDlg::OnGoalPeriodMonths, FALSE);
    const struct
    {
        int top;
        UINT inId, field, nameId, name;
        BOOL enabled;
    } periodRows[] = {
        {273, 1207, kDaysField, 1208, 719, TRUE},
        {300, 1209, kWeeksField, 1210, 447, FALSE},
        {326, 1211, kMonthsField, 1212, 387, FALSE},
    };
    for (const auto &p : periodRows)
    {
        label(720, CRect(140, p.top, 165, p.top + 16), p.inId, 10, p.enabled);
        edit(std::make_unique<UIEdit>(), CRect(165, p.top + 1, 192, p.top + 17), p.field, 3,
             static_cast<UINT>(kMaxPeriodCount), p.enabled);
        label(p.name, CRect(200, p.top, 250, p.top + 20), p.nameId, 10, p.enabled);
    }

    // Filling the date fields sent their change notices, which enable Create New: the buttons wait
    // for the user's own entries or a choice in the list.
    for (UINT id : {kCreateNewId, kEditId, kDeleteId})
        Enable(this, id, FALSE);

    AddCloseButton();
    EndPage();
}

// ---- reading the store and the form --------------------------------------------------------------

bool CKVTDlg::AllocateGoalRecords(std::vector<GoalRecord> *records, std::size_t count)
{
    try
    {
        records->assign(count, GoalRecord{});
        return true;
    }
    catch (const std::bad_alloc &)
    {
        return false;
    }
    catch (const std::length_error &)
    {
        return false;
    }
}

std::vector<GoalRecord> CKVTDlg::ReadAllGoals()
{
    std::vector<GoalRecord> goals;
    if (!m_pDatabase)
        return goals;
    CWaitCursor wait;
    // A count that could not be read (-1) is no goal at all.
    const int count = m_pDatabase->GetGoals(nullptr, 0);
    if (count <= 0)
        return goals;
    if (!AllocateGoalRecords(&goals, static_cast<std::size_t>(count)))
    {
        goals.clear();
        ::MessageBoxEx(m_hWnd, LoadStringText(kMemoryErrorText).GetString(), nullptr, MB_ICONERROR,
                       m_nLanguage);
        return goals;
    }
    const int filled = m_pDatabase->GetGoals(goals.data(), count);
    goals.resize(filled > 0 ? std::min(static_cast<std::size_t>(filled), goals.size()) : 0);
    return goals;
}

bool CKVTDlg::ReadGoalForm(GoalEntry *entry)
{
    GoalEntry e;
    e.kind = IsChecked(this, kDistanceRadio) ? 0 : IsChecked(this, kTimeRadio) ? 1 : 2;
    int64_t metres = 0;
    if (e.kind == 0)
    {
        const double value = LeadingDecimal(TextOf(this, kDistanceField));
        // Kilometres are cut to the metre, miles rounded to the nearest one.
        const double scaled = m_bMetric ? value * kMetresPerKilometre : value * kMetresPerMile + 0.5;
        if (value == 0.0 || !(scaled < kMetresLimit))
        {
            ShowStatusText(kDistanceError);
            return false;
        }
        // A negative distance comes out as no distance, refused below.
        metres = scaled > 0.0 ? static_cast<int64_t>(scaled) : 0;
        e.unit = m_bMetric ? 1 : 0;
        SetText(this, kTimeField, u"");
        SetText(this, kCaloriesField, u"");
    }
    else if (e.kind == 1)
    {
        const unsigned long long hours = WholeNumber(this, kTimeField);
        if (hours == 0 || hours > kMaxWholeValue)
        {
            ShowStatusText(kTimeError);
            return false;
        }
        e.target = static_cast<uint32_t>(hours * 3600);
        SetText(this, kDistanceField, u"");
        SetText(this, kCaloriesField, u"");
    }
    else
    {
        const unsigned long long calories = WholeNumber(this, kCaloriesField);
        if (calories == 0 || calories > kMaxWholeValue)
        {
            ShowStatusText(kCaloriesError);
            return false;
        }
        e.target = static_cast<uint32_t>(calories);
        SetText(this, kDistanceField, u"");
        SetText(this, kTimeField, u"");
    }

    // A part too large for its place in a packed date would wrap into another date.
    const unsigned long long day = WholeNumber(this, kStartDay);
    const unsigned long long month = WholeNumber(this, kStartMonth);
    const unsigned long long year = WholeNumber(this, kStartYear);
    const uint32_t start =
        day <= 0xFF && month <= 0xFF && year <= 0xFFFF - 2000
            ? vxtime::PackDate(static_cast<int>(2000 + year), static_cast<int>(month), static_cast<int>(day))
            : 0;
    if (!vxtime::IsValidPackedDate(start))
    {
        ShowStatusText(kStartDateError);
        return false;
    }

    UINT countField = kMonthsField;
    e.periodUnit = 3;
    if (IsChecked(this, kDaysRadio))
    {
        countField = kDaysField;
        e.periodUnit = 1;
    }
    else if (IsChecked(this, kWeeksRadio))
    {
        countField = kWeeksField;
        e.periodUnit = 2;
    }
    const unsigned long long count = WholeNumber(this, countField);
    uint32_t end = 0;
    if (count == 0 || count > kMaxPeriodCount ||
        !vxtime::AddToPackedDate(static_cast<int>(count), e.periodUnit, start, &end))
    {
        ShowStatusText(kTimeFrameError);
        return false;
    }
    e.periodCount = static_cast<uint32_t>(count);
    e.start = vxtime::UnpackDate(start);
    e.end = vxtime::UnpackDate(end);

    if (e.kind == 0)
    {
        if (metres <= 0)
        {
            ShowStatusText(kSaveError);
            return false;
        }
        e.target = static_cast<uint32_t>(metres);
    }
    *entry = e;
    return true;
}

void CKVTDlg::ReloadGoalList()
{
    auto *list = Item<UIListBox>(this, kGoalListId);
    if (!list)
        return;
    const int selected = list->GetCurSel();
    int selectedId = 0;
    const bool hadSelection =
        selected >= 0 && list->GetItem(selected, &selectedId, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr);
    list->DeleteAllItems(TRUE);
    for (const GoalRecord &goal : ReadAllGoals())
        AddGoalItem(list, goal);
    if (!hadSelection)
        return;
    for (int n = 0; n < list->GetCount(); ++n)
    {
        int goalId = 0;
        if (list->GetItem(n, &goalId, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr) &&
            goalId == selectedId)
        {
            list->SetCurSel(n);
            return;
        }
    }
    // The goal the form shows is not stored any more.
    FillGoalForm(-1);
}

// ---- the buttons ---------------------------------------------------------------------------------

void CKVTDlg::OnGoalCreateNew()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->CreateGoal();
}

void CKVTDlg::OnGoalEdit()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->EditSelectedGoal();
}

void CKVTDlg::OnGoalDelete()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->DeleteSelectedGoal();
}

void CKVTDlg::OnGoalListDelete(int goalId)
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->DeleteListedGoal(goalId);
}

void CKVTDlg::CreateGoal()
{
    GoalEntry entry;
    if (!ReadGoalForm(&entry))
        return;
    int added = 0;
    if (m_pDatabase)
    {
        CWaitCursor wait;
        if (entry.kind == 0)
            added = m_pDatabase->AddDistanceGoal(entry.target, entry.unit, &entry.start, &entry.end);
        else if (entry.kind == 2)
            added = m_pDatabase->AddCaloriesGoal(entry.target, &entry.start, &entry.end);
        else
            added = m_pDatabase->AddTimeGoal(entry.target, &entry.start, &entry.end);
    }
    if (!added)
    {
        ShowStatusText(kSaveError);
        return;
    }

    auto *list = Item<UIListBox>(this, kGoalListId);
    if (auto *heading = Item<UIStatic>(this, kHeadingId))
    {
        CString text = LoadStringText(kMyGoalText);
        text.AppendFormat(u" %03d", (list ? list->GetCount() : 0) + 1);
        heading->SetText(text.GetString());
        heading->Invalidate(TRUE);
    }
    // A new goal gets a number above every goal in the file: whatever order the store lists them
    // in, the new one has the highest.
    const std::vector<GoalRecord> goals = ReadAllGoals();
    const GoalRecord *newest = nullptr;
    for (const GoalRecord &goal : goals)
        if (goal.goalId != -1 && (!newest || goal.goalId > newest->goalId))
            newest = &goal;
    if (!newest)
    {
        ShowStatusText(kSaveError);
        return;
    }
    if (list)
    {
        AddGoalItem(list, *newest);
        const int n = list->GetCount() - 1;
        SetGoalItem(list, n, *newest, entry.periodCount, entry.periodUnit);
        list->SetCurSel(n);
    }
    ClearStatusLine();
    Enable(this, kCreateNewId, FALSE);
    Enable(this, kEditId, FALSE);
    Enable(this, kDeleteId, TRUE);
    Enable(this, kShareId, TRUE);
    UpdateGoalSummary();
}

void CKVTDlg::EditSelectedGoal()
{
    auto *list = Item<UIListBox>(this, kGoalListId);
    const int selected = list ? list->GetCurSel() : -1;
    int goalId = 0;
    if (selected < 0 || !list->GetItem(selected, &goalId, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr))
    {
        ShowStatusText(kSaveError);
        return;
    }
    GoalEntry entry;
    if (!ReadGoalForm(&entry))
        return;
    int updated = 0;
    if (m_pDatabase)
    {
        CWaitCursor wait;
        if (entry.kind == 0)
            updated =
                m_pDatabase->UpdateDistanceGoal(goalId, entry.target, entry.unit, &entry.start, &entry.end);
        else if (entry.kind == 2)
            updated = m_pDatabase->UpdateCaloriesGoal(goalId, entry.target, &entry.start, &entry.end);
        else
            updated = m_pDatabase->UpdateTimeGoal(goalId, entry.target, &entry.start, &entry.end);
    }
    if (!updated)
    {
        ShowStatusText(kSaveError);
        return;
    }
    const std::vector<GoalRecord> goals = ReadAllGoals();
    const auto edited = std::find_if(goals.begin(), goals.end(),
                                     [goalId](const GoalRecord &goal) { return goal.goalId == goalId; });
    if (edited == goals.end())
    {
        ShowStatusText(kSaveError);
        return;
    }
    SetGoalItem(list, selected, *edited, entry.periodCount, entry.periodUnit);
    Enable(this, kCreateNewId, FALSE);
    Enable(this, kEditId, FALSE);
    Enable(this, kDeleteId, TRUE);
    Enable(this, kShareId, TRUE);
    ClearStatusLine();
    if (selected == list->GetCount() - 1)
        UpdateGoalSummary();
}

void CKVTDlg::DeleteSelectedGoal()
{
    auto *list = Item<UIListBox>(this, kGoalListId);
    const int selected = list ? list->GetCurSel() : -1;
    int goalId = 0;
    if (selected < 0 || !list->GetItem(selected, &goalId, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr))
        return;
    int deleted = 0;
    if (m_pDatabase)
    {
        CWaitCursor wait;
        deleted = m_pDatabase->DeleteGoal(goalId);
    }
    if (!deleted)
    {
        // The goal is still stored, so its item stays.
        ShowStatusText(kDeleteError);
        return;
    }
    const bool current = selected == list->GetCount() - 1;
    list->DeleteItem(selected);
    // The empty form: the checked rows stay, today's date, nothing selected, the status emptied.
    FillGoalForm(-1);
    for (UINT id : {kStartDay, kStartMonth, kStartYear})
        Enable(this, id, TRUE);
    if (current)
        UpdateGoalSummary();
}

void CKVTDlg::DeleteListedGoal(int goalId)
{
    int deleted = 0;
    if (m_pDatabase)
    {
        CWaitCursor wait;
        deleted = m_pDatabase->DeleteGoal(goalId);
    }
    if (!deleted)
    {
        // The list removes its item once this returns, unless it has been refilled: it then shows
        // what the store still holds, the goal included.
        ReloadGoalList();
        ShowStatusText(kDeleteError);
        return;
    }
    // A summary without a goal (none, or none read) has no current goal to lose.
    if (m_GoalSummary.HasGoal() && m_GoalSummary.goal->goalId == goalId)
        UpdateGoalSummary();
    ClearStatusLine();
}
