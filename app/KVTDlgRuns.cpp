// The My Runs page: lifetime totals, the current goal's progress, the run graph over days,
// weeks or months, and the calendar that picks the graph's newest point.

#include <array>
#include <memory>
#include <new>

#include "app/KVTDlg.h"
#include "app/RunFigures.h"
#include "app/RunWeek.h"
#include "platform/sys/LocalTime.h"
#include "store/DateTime.h"
#include "store/KvtDatabase.h"
#include "store/PackedDate.h"
#include "ui/Calendar.h"
#include "ui/DataGraph.h"
#include "ui/GraphSettings.h"
#include "ui/UIButton.h"
#include "ui/UIStatic.h"

namespace
{
// Metres to the page's distance units: the totals row converts in double precision (RunFigures.h);
// the graph and the goal summary take the single-precision values of the same factors.
constexpr float kGraphKmPerMetre = 0.001f;
constexpr float kGraphMilesPerMetre = 0.000621371192f;

constexpr WORD kImageLanguage = 1033;
constexpr ARGB kWhite = 0xFFFFFFFF;
constexpr ARGB kNoDataColour = 0xFF4D4948;
constexpr ARGB kGoalColour = 0xFFDA251D;
constexpr ARGB kGraphButtonLit = 0xFF383431;
constexpr ARGB kGraphButtonOff = 0xFF605D5C;
constexpr ARGB kActionText = 0xFF383431;

constexpr UINT kNoDataLabelId = 1156;
constexpr UINT kGoalLineId = 1157;
constexpr UINT kByLabelId = 1094;
constexpr UINT kDaysButtonId = 1095;
constexpr UINT kWeeksButtonId = 1096;
constexpr UINT kMonthsButtonId = 1097;
constexpr UINT kBarFormButtonId = 1098;
constexpr UINT kLineFormButtonId = 1099;
constexpr UINT kHeartRateButtonId = 1100;
constexpr UINT kCaloriesButtonId = 1101;
constexpr UINT kShareButtonId = 1092;
constexpr UINT kLogOutButtonId = 1093;

constexpr int kMeasureDistance = 0;
constexpr int kMeasureHeartRate = 1;
constexpr int kMeasureCalories = 2;
constexpr int kPeriodDays = 0;
constexpr int kPeriodWeeks = 1;
constexpr int kPeriodMonths = 2;

// The local calendar day (days since 1970-01-01) of an instant; false when the C library cannot
// break it down.
bool LocalDay(int64_t seconds, int64_t *day)
{
    vxsys::LocalFields f{};
    if (!vxsys::LocalFieldsFromTime(seconds, &f))
        return false;
    *day = vxtime::DaysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day));
    return true;
}

int64_t LocalMidnight(int year, int month, int day)
{
    int64_t seconds = 0;
    vxsys::LocalTimeFromFields(vxsys::LocalFields{year, month, day, 0, 0, 0, 0}, &seconds);
    return seconds;
}

DateParts PartsOfDay(int64_t day)
{
    const vxtime::CivilDate c = vxtime::CivilFromDays(day);
    return DateParts{static_cast<uint8_t>(c.day), static_cast<uint8_t>(c.month), static_cast<uint16_t>(c.year)};
}

// 0 Sunday .. 6 Saturday; 1970-01-01 was a Thursday.
int WeekdayOfDay(int64_t day)
{
    return static_cast<int>(((day + 4) % 7 + 7) % 7);
}

float GraphDistance(uint32_t metres, BOOL metric)
{
    return static_cast<float>(static_cast<double>(metres) *
                              static_cast<double>(metric ? kGraphKmPerMetre : kGraphMilesPerMetre));
}

std::unique_ptr<GraphSettings> CreatePreset(int measure, int period, int form, WORD language)
{
    if (form == 0)
    {
        if (measure == kMeasureDistance && period == kPeriodWeeks)
            return GraphSettings::CreateTwoSeriesMonth(language);
        if (measure == kMeasureDistance && period == kPeriodMonths)
            return GraphSettings::CreateTwoSeriesYear(language);
        if (measure == kMeasureHeartRate && period == kPeriodDays)
            return GraphSettings::CreateHeartRate(language);
        if (measure == kMeasureCalories && period == kPeriodDays)
            return GraphSettings::CreateCalories(language);
    }
    else if (form == 1)
    {
        if (measure == kMeasureDistance && period == kPeriodDays)
            return GraphSettings::CreateThreeSeriesWeek(language);
        if (measure == kMeasureDistance && period == kPeriodWeeks)
            return GraphSettings::CreateThreeSeriesMonth(language);
        if (measure == kMeasureDistance && period == kPeriodMonths)
            return GraphSettings::CreateThreeSeriesYear(language);
        if (measure == kMeasureHeartRate && period == kPeriodDays)
            return GraphSettings::CreateHeartRateStyle1(language);
        if (measure == kMeasureCalories && period == kPeriodDays)
            return GraphSettings::CreateCaloriesStyle1(language);
    }
    return GraphSettings::CreateTwoSeriesWeek(language);
}

// Writes one point's distances: run, walk and, where the preset has it, their total.
void SetDistances(GraphSettings &s, std::size_t k, uint32_t run, uint32_t walk, BOOL metric)
{
    const uint32_t values[3] = {run, walk, run + walk};
    for (std::size_t n = 0; n < s.m_series.size() && n < 3; ++n)
        if (k < s.m_series[n].m_points.size())
            s.m_series[n].m_points[k].m_fValue = GraphDistance(values[n], metric);
}

template <std::size_t N> CString UserName(const std::array<char16_t, N> &first, const std::array<char16_t, N> &id)
{
    // The buffers always end in a zero character; a full one is cut at its last unit.
    const auto &name = first[0] ? first : id;
    std::size_t length = 0;
    while (length + 1 < N && name[length])
        ++length;
    return CString(std::u16string(name.data(), length));
}

void EnableItem(CWnd *dlg, UINT id, BOOL enable)
{
    if (CWnd *item = dlg->GetDlgItem(static_cast<int>(id)))
        item->EnableWindow(enable);
}
} // namespace

// ---- goal summary ------------------------------------------------------------------------------

void CKVTDlg::UpdateGoalSummary()
{
    // Nothing of the previous read may show through a failed one.
    m_GoalSummary = GoalSummary{};
    m_GoalSummary.unitText = LoadStringText(166);
    auto goal = std::unique_ptr<GoalRecord>(new (std::nothrow) GoalRecord{});
    if (!goal)
        return;
    // The first goal ever stored has id 0: only -1 means that there is none.
    goal->goalId = -1;
    if (!m_pDatabase || !m_pDatabase->GetCurrentGoal(goal.get()))
        return;
    GoalSummary &s = m_GoalSummary;
    GoalRecord &g = *goal;
    if (g.distance > 0)
    {
        s.kind = 0;
        s.target = g.distance;
        s.remaining = s.target > g.doneDistance ? s.target - g.doneDistance : 0;
        g.status = s.target > g.doneDistance ? 0 : 1;
        const float factor = m_bMetric ? kGraphKmPerMetre : kGraphMilesPerMetre;
        s.unitText = LoadStringText(m_bMetric ? 166 : 179);
        s.targetDistance = static_cast<double>(s.target) * factor;
        s.remainingDistance = static_cast<double>(s.remaining) * factor;
    }
    else if (g.time != 0)
    {
        s.kind = 1;
        s.unitText = LoadStringText(169);
        s.target = g.time / 3600;
        s.remaining = g.time > g.doneDuration ? (g.time - g.doneDuration) / 3600 : 0;
        g.status = g.time > g.doneDuration ? 0 : 1;
    }
    else if (g.calories > 0)
    {
        s.kind = 2;
        s.unitText = LoadStringText(227);
        s.target = g.calories;
        s.remaining = s.target > g.doneCalories ? s.target - g.doneCalories : 0;
        g.status = s.target > g.doneCalories ? 0 : 1;
    }
    int days = 0;
    int count = 0;
    vxtime::DaysBetweenPackedDates(vxtime::PackDate(g.start), vxtime::PackDate(g.end), &days, &count);
    s.periodLength = static_cast<uint32_t>(days);
    s.periodUnit = 1;
    s.periodText = LoadStringText(s.periodLength < 2 ? 228 : 167);
    s.goal = std::move(goal);
}

CString CKVTDlg::GoalLineText() const
{
    const GoalSummary &s = m_GoalSummary;
    if (!s.HasGoal() || (s.target == 0 && !(s.targetDistance > 0.0)))
        return CString();
    CString text = LoadStringText(165);
    CString piece;
    if (s.kind == 0)
        piece.Format(u"<%.1f%s/%d%s> ", s.targetDistance, s.unitText.GetString(), s.periodLength,
                     s.periodText.GetString());
    else
        piece.Format(u"<%d%s/%d%s> ", s.target, s.unitText.GetString(), s.periodLength, s.periodText.GetString());
    text += piece;
    CString status;
    if (s.goal->status)
        status = LoadStringText(279);
    else if (s.kind == 0 && s.remainingDistance >= 0.1)
        status.Format(LoadStringText(730).GetString(), s.remainingDistance, s.unitText.GetString());
    else if (s.kind == 0)
        status.Format(LoadStringText(729).GetString(), s.unitText.GetString());
    else if (s.remaining >= 1)
        status.Format(LoadStringText(278).GetString(), s.remaining, s.unitText.GetString());
    else
        status.Format(LoadStringText(277).GetString(), s.unitText.GetString());
    text += status;
    return text;
}

// ---- the page ----------------------------------------------------------------------------------

void CKVTDlg::ShowUserNameTitle()
{
    if (!m_pGreeting || !m_pGreeting->m_hWnd)
        return;
    const CString name = UserName(m_szFirstName, m_szUserId);
    const int length = name.GetLength();
    if (length > 44)
        m_pGreeting->SetFontSize(12);
    else if (length > 22)
        m_pGreeting->SetFontSize(14);
    else if (length > 17)
        m_pGreeting->SetFontSize(16);
    m_pGreeting->SetText(name.GetString());
    m_pGreeting->ShowWindow(SW_SHOW);
    m_pGreeting->Invalidate(TRUE);
}

void CKVTDlg::AddShareAndLogOutButtons()
{
    // Each button takes its picture's size; the share picture (90 by 20) holds its caption.
    if (UIButton *share = AddPageButton(422, CRect(455, 436, 495, 456), kShareButtonId, 714, 713, 712, 713,
                                        &CKVTDlg::OnShareWithFriend, m_nLanguage == 1031 ? 8 : 10))
        share->SetTextColors(kActionText, kWhite, kWhite, kActionText);
    if (UIButton *logOut = AddPageButton(378, CRect(570, 437, 610, 452), kLogOutButtonId, 472, 471, 470, 471,
                                         &CKVTDlg::OnLogOut, 10))
        logOut->SetTextColors(kActionText, kWhite, kWhite, kActionText);
}

void CKVTDlg::ShowRunsView()
{
    // Device arrivals are acted on while this page is up.
    BeginPage(FALSE, 0);
    m_nCurrentView = KvtView::Runs;
    ShowUserNameTitle();
    BuildNavigationBar(TRUE, m_nDeviceTableFlag != 0 && m_bImported, FALSE, TRUE, TRUE, TRUE, TRUE);

    UpdateGoalSummary();
    // A failed read shows no data rather than what an earlier read left.
    ReadRunTotals();
    const uint32_t distance = m_nTotalDistance;
    const uint32_t duration = m_nTotalDuration;
    const uint32_t count = m_nRunCount;
    m_bHasHeartRate = m_pDatabase && m_pDatabase->HasHeartRates() ? TRUE : FALSE;

    if (count == 0 || distance == 0 || duration == 0)
    {
        if (UIStatic *label = AddPageLabel(160, CRect(234, 102, 484, 126), kNoDataLabelId, kNoDataColour, 18))
            label->SetFontStyle(1);
        AddCloseButton();
        Invalidate(FALSE);
        return;
    }

    if (!m_pCalendar)
    {
        m_pCalendar = std::make_unique<CCalendar>(m_nLanguage);
        m_pCalendar->Create(u"", WS_CHILD | WS_VISIBLE, CRect(497, 120, 670, 290), this, kCalendarId);
        m_pCalendar->SetDateCallback(&CKVTDlg::CalendarDateCallback);
        m_pCalendar->Redraw();
    }
    else if (m_pCalendar->m_hWnd)
        m_pCalendar->ShowWindow(SW_SHOW);
    if (!m_pRunGraph || !m_pRunGraph->m_hWnd)
        CreateRunGraph();
    else
        m_pRunGraph->ShowWindow(SW_SHOW);

    const int valueSize = count > 999 || distance > 9999000 || duration > 3599999 ? 14 : 16;
    AddPageLabel(162, CRect(230, 69, 285, 93), 1051, kWhite, 10, 0, TRUE);
    CString text;
    text.Format(u"%d", count);
    if (UIStatic *label = AddPageLabel(0, CRect(285, 69, 330, 89), 1052, kWhite, valueSize))
        label->SetText(text.GetString());
    AddPageLabel(163, CRect(320, 69, 390, 93), 1053, kWhite, 10, 0, TRUE);
    text.Format(u"%#.1f%s", static_cast<double>(distance) * (m_bMetric ? kKmPerMetre : kMilesPerMetre),
                LoadStringText(m_bMetric ? 166 : 179).GetString());
    // Each of the row's later texts starts clear of the one before it: the distance value after
    // its caption's "distance:" (to x 364), the time caption after the longest distance shown at
    // 16 pixels ("6213.1miles", to 455), the time value after the caption's longest line in any
    // language (to 496).
    if (UIStatic *label = AddPageLabel(0, CRect(365, 69, 465, 89), 1054, kWhite, valueSize))
        label->SetText(text.GetString());
    AddPageLabel(164, CRect(457, 69, 512, 93), 1055, kWhite, 10, 0, TRUE);
    text.Format(u"%d%s%02d%s%02d%s", duration / 3600, LoadStringText(274).GetString(), (duration % 3600) / 60,
                LoadStringText(275).GetString(), duration % 60, LoadStringText(276).GetString());
    if (UIStatic *label = AddPageLabel(0, CRect(497, 69, 652, 89), 1056, kWhite, valueSize))
        label->SetText(text.GetString());

    const CString goalLine = GoalLineText();
    if (!goalLine.IsEmpty())
        if (UIStatic *label = AddPageLabel(0, CRect(180, 97, 580, 115), kGoalLineId, kGoalColour, 14))
        {
            label->SetVCenter(FALSE);
            label->SetText(goalLine.GetString());
        }

    // The graph buttons: a disabled one is the choice in force.
    if (UIStatic *by = AddPageLabel(506, CRect(60, 438, 100, 458), kByLabelId, kWhite, 11, 1))
        by->SetImageResource(504, 0, kImageLanguage);
    const int textSize = m_nLanguage == 2052 || m_nLanguage == 1028 ? 13 : 11;
    const bool distanceShown = m_nGraphMeasure == kMeasureDistance;
    const struct
    {
        UINT id;
        UINT text;
        CRect rect;
        ButtonClickCallback click;
        BOOL enabled;
    } textButtons[] = {
        {kDaysButtonId, 167, CRect(93, 438, 141, 458), &CKVTDlg::OnGraphDays,
         !(distanceShown && m_nGraphPeriod == kPeriodDays)},
        {kWeeksButtonId, 231, CRect(136, 438, 184, 458), &CKVTDlg::OnGraphWeeks,
         !(distanceShown && m_nGraphPeriod == kPeriodWeeks)},
        {kMonthsButtonId, 233, CRect(191, 438, 239, 458), &CKVTDlg::OnGraphMonths,
         !(distanceShown && m_nGraphPeriod == kPeriodMonths)},
    };
    for (const auto &b : textButtons)
        if (UIButton *button = AddPageButton(b.text, b.rect, b.id, 503, 503, 503, 503, b.click, textSize))
        {
            button->SetTextColors(kWhite, kGraphButtonLit, kGraphButtonLit, kGraphButtonOff);
            button->EnableWindow(b.enabled);
        }
    const struct
    {
        UINT id;
        CRect rect;
        UINT images[4];
        ButtonClickCallback click;
        BOOL enabled;
        BOOL radio;
    } iconButtons[] = {
        {kBarFormButtonId, CRect(70, 97, 90, 117), {137, 136, 136, 137}, &CKVTDlg::OnGraphOptionOff,
         m_nGraphForm != 0, TRUE},
        {kLineFormButtonId, CRect(105, 97, 125, 117), {139, 138, 138, 139}, &CKVTDlg::OnGraphOptionOn,
         m_nGraphForm != 1, TRUE},
        {kHeartRateButtonId, CRect(244, 438, 264, 458), {141, 216, 140, 140}, &CKVTDlg::OnGraphHeartRate,
         m_bHasHeartRate && m_nGraphMeasure != kMeasureHeartRate, FALSE},
        {kCaloriesButtonId, CRect(274, 438, 294, 458), {143, 217, 142, 142}, &CKVTDlg::OnGraphMeasure2,
         m_nGraphMeasure != kMeasureCalories, FALSE},
    };
    for (const auto &b : iconButtons)
        if (UIButton *button = AddPageButton(0, b.rect, b.id, b.images[0], b.images[1], b.images[2], b.images[3],
                                             b.click))
        {
            button->SetRadioMode(b.radio);
            button->EnableWindow(b.enabled);
        }

    AddShareAndLogOutButtons();

    // A new chart has no point selected yet: it starts on the calendar's date.
    if (m_pRunGraph && m_pRunGraph->GetSelectedPoint() < 0)
        m_bResetGraphScroll = TRUE;
    const std::weak_ptr<int> life = LifeToken();
    BuildRunGraph();
    if (life.expired())
        return;
    UpdateRunDetails();
    if (life.expired())
        return;
    AddCloseButton();
    Invalidate(FALSE);
}

// ---- the run graph -----------------------------------------------------------------------------

void CKVTDlg::BuildRunGraph()
{
    CreateRunGraph();
    if (!m_pRunGraph)
        return;
    std::unique_ptr<GraphSettings> settings = CreatePreset(m_nGraphMeasure, m_nGraphPeriod, m_nGraphForm, m_nLanguage);
    if (!settings || settings->m_series.empty())
        return;
    GraphSettings &s = *settings;
    const bool heartRate = m_nGraphMeasure == kMeasureHeartRate && m_nGraphPeriod == kPeriodDays;
    const bool calories = m_nGraphMeasure == kMeasureCalories && m_nGraphPeriod == kPeriodDays;
    const bool distance = !heartRate && !calories;
    if (m_nGraphMeasure == kMeasureHeartRate)
    {
        const int maximum = 220 - m_nAge;
        s.m_bZone = TRUE;
        s.m_fZoneUpper = static_cast<float>(maximum) * 0.85f;
        s.m_fZoneLower = static_cast<float>(maximum) * 0.5f;
        s.m_strZoneCaption = LoadStringText(292);
    }
    const int points = static_cast<int>(s.m_series[0].m_points.size());
    if (m_bResetGraphScroll)
    {
        m_pRunGraph->SetSelectedPoint(points - 1);
        if (m_pCalendar)
            m_tGraphAnchor = m_pCalendar->m_tSelected;
        m_bResetGraphScroll = FALSE;
    }
    if (distance)
        s.m_strUnit = LoadStringText(m_bMetric ? 166 : 294);

    // Every step is taken on the calendar, so a daylight-saving change neither drops nor
    // repeats a day.
    const int period = distance ? m_nGraphPeriod : kPeriodDays;
    if (period == kPeriodWeeks)
    {
        const int64_t earliest = LocalMidnight(1970, 3, 30);
        if (m_tGraphAnchor < earliest)
        {
            int64_t from = 0;
            int64_t to = 0;
            const int64_t d = LocalDay(m_tGraphAnchor, &from) && LocalDay(earliest, &to) ? to - from : 0;
            const int64_t w = (d + 6) / 7;
            m_pRunGraph->SetSelectedPoint(w < 6 ? static_cast<int>(5 - w) : 5);
            m_tGraphAnchor = earliest;
        }
        int64_t anchorDay = 0;
        if (!LocalDay(m_tGraphAnchor, &anchorDay))
            return;
        for (int k = points - 1; k >= 0; --k)
        {
            const int64_t reference = anchorDay - 7 * static_cast<int64_t>(points - 1 - k);
            const RunWeek week = RunWeekOfDay(reference);
            GraphPoint &point = s.m_series[0].m_points[static_cast<std::size_t>(k)];
            point.m_strFirstLabel.Format(u"%d-%d", week.monday.day, week.sunday.day);
            point.m_strSecondLabel = LoadStringText(319);
            point.m_strSecondLabel.AppendFormat(u" %d", week.number);
            // The week's own seven days: the label and the sums can never name different weeks.
            uint32_t run = 0;
            uint32_t walk = 0;
            if (m_pDatabase && m_pDatabase->GetRangeStats(&week.monday, 7, nullptr, nullptr, nullptr, &run,
                                                          &walk, nullptr, nullptr))
                SetDistances(s, static_cast<std::size_t>(k), run, walk, m_bMetric);
        }
    }
    else if (period == kPeriodMonths)
    {
        const int64_t earliest = LocalMidnight(1971, 2, 1);
        if (m_tGraphAnchor < earliest)
        {
            vxsys::LocalFields old{};
            vxsys::LocalFieldsFromTime(m_tGraphAnchor, &old);
            if (old.year == 1971 && old.month == 1)
                m_pRunGraph->SetSelectedPoint(10);
            else if (old.year == 1970 && old.month >= 3)
                m_pRunGraph->SetSelectedPoint(old.month - 3);
            else if (!(old.year == 1970 && old.month <= 2))
                m_pRunGraph->SetSelectedPoint(11);
            m_tGraphAnchor = earliest;
        }
        vxsys::LocalFields anchor{};
        if (!vxsys::LocalFieldsFromTime(m_tGraphAnchor, &anchor))
            return;
        const int64_t newest = static_cast<int64_t>(anchor.year) * 12 + anchor.month - 1;
        const int64_t oldest = newest - (points - 1);
        for (int k = points - 1; k >= 0; --k)
        {
            const int month = static_cast<int>((oldest + k) % 12) + 1;
            GraphPoint &point = s.m_series[0].m_points[static_cast<std::size_t>(k)];
            point.m_strFirstLabel =
                m_pCalendar ? CString(m_pCalendar->GetMonthName(month)) : LoadStringText(306 + static_cast<UINT>(month));
            point.m_strSecondLabel = CString();
        }
        std::array<uint32_t, GraphSettings::kMaxPoints> run{};
        std::array<uint32_t, GraphSettings::kMaxPoints> walk{};
        if (points <= static_cast<int>(run.size()) && m_pDatabase &&
            m_pDatabase->GetMonthSeries(static_cast<int>(oldest % 12) + 1, static_cast<int>(oldest / 12), points,
                                        run.data(), walk.data()))
            for (int k = 0; k < points; ++k)
                SetDistances(s, static_cast<std::size_t>(k), run[static_cast<std::size_t>(k)],
                             walk[static_cast<std::size_t>(k)], m_bMetric);
    }
    else
    {
        const int64_t earliest = LocalMidnight(1970, 3, 7);
        if (m_tGraphAnchor < earliest)
        {
            vxsys::LocalFields old{};
            vxsys::LocalFieldsFromTime(m_tGraphAnchor, &old);
            m_pRunGraph->SetSelectedPoint(old.year == 1970 && old.month == 3 ? old.day - 1 : 6);
            m_tGraphAnchor = earliest;
        }
        int64_t anchorDay = 0;
        if (!LocalDay(m_tGraphAnchor, &anchorDay))
            return;
        for (int k = points - 1; k >= 0; --k)
        {
            const int64_t day = anchorDay - (points - 1 - k);
            const DateParts date = PartsOfDay(day);
            GraphPoint &point = s.m_series[0].m_points[static_cast<std::size_t>(k)];
            point.m_strFirstLabel.Format(u"%d", date.day);
            point.m_strSecondLabel = m_strDayNames[static_cast<std::size_t>(WeekdayOfDay(day))];
            if (heartRate)
            {
                // The store leaves its outputs alone when it cannot read: no day shows another's value.
                TimeParts time{};
                uint32_t runTime = 0;
                uint8_t before = 0;
                uint8_t after = 0;
                if (!m_pDatabase || !m_pDatabase->GetHeartRateOfDay(&date, &time, &runTime, &before, &after))
                    after = 0;
                point.m_fValue = after;
            }
            else if (calories)
            {
                uint32_t value = 0;
                if (!m_pDatabase || !m_pDatabase->GetDayCalories(&date, &value))
                    value = 0;
                point.m_fValue = static_cast<float>(value);
            }
            else
            {
                uint32_t run = 0;
                uint32_t walk = 0;
                if (m_pDatabase && m_pDatabase->GetDayDistances(&date, &run, &walk))
                    SetDistances(s, static_cast<std::size_t>(k), run, walk, m_bMetric);
            }
        }
    }
    m_pRunGraph->Draw(settings.get(), m_nLanguage);
}

// ---- the graph buttons -------------------------------------------------------------------------

void CKVTDlg::ChooseGraph(int measure, int period, UINT pressed)
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg)
        return;
    for (UINT id : {kDaysButtonId, kWeeksButtonId, kMonthsButtonId, kHeartRateButtonId, kCaloriesButtonId})
        EnableItem(dlg, id, id != pressed && (id != kHeartRateButtonId || dlg->m_bHasHeartRate));
    dlg->m_nGraphMeasure = measure;
    dlg->m_nGraphPeriod = period;
    if (dlg->m_pCalendar)
        dlg->m_pCalendar->SetViewMode(period == kPeriodWeeks ? 1 : 0);
    dlg->m_bResetGraphScroll = TRUE;
    const std::weak_ptr<int> life = dlg->LifeToken();
    dlg->BuildRunGraph();
    if (!life.expired())
        dlg->UpdateRunDetails();
}

void CKVTDlg::ChooseForm(int form, UINT pressed, UINT other)
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg)
        return;
    auto *button = dynamic_cast<UIButton *>(dlg->GetDlgItem(static_cast<int>(pressed)));
    if (!button || button->GetState() != 1)
        return;
    button->EnableWindow(FALSE);
    if (auto *otherButton = dynamic_cast<UIButton *>(dlg->GetDlgItem(static_cast<int>(other))))
    {
        otherButton->EnableWindow(TRUE);
        otherButton->SetCheck(0);
    }
    dlg->m_nGraphForm = form;
    const std::weak_ptr<int> life = dlg->LifeToken();
    dlg->BuildRunGraph();
    if (!life.expired())
        dlg->Invalidate(TRUE);
}

void CKVTDlg::OnGraphDays()
{
    ChooseGraph(kMeasureDistance, kPeriodDays, kDaysButtonId);
}

void CKVTDlg::OnGraphWeeks()
{
    ChooseGraph(kMeasureDistance, kPeriodWeeks, kWeeksButtonId);
}

void CKVTDlg::OnGraphMonths()
{
    ChooseGraph(kMeasureDistance, kPeriodMonths, kMonthsButtonId);
}

void CKVTDlg::OnGraphHeartRate()
{
    ChooseGraph(kMeasureHeartRate, kPeriodDays, kHeartRateButtonId);
}

void CKVTDlg::OnGraphMeasure2()
{
    ChooseGraph(kMeasureCalories, kPeriodDays, kCaloriesButtonId);
}

void CKVTDlg::OnGraphOptionOff()
{
    ChooseForm(0, kBarFormButtonId, kLineFormButtonId);
}

void CKVTDlg::OnGraphOptionOn()
{
    ChooseForm(1, kLineFormButtonId, kBarFormButtonId);
}
