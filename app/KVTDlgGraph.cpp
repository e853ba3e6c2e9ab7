#include "app/KVTDlg.h"

#include "platform/sys/LocalTime.h"
#include "store/DateTime.h"
#include "ui/Calendar.h"
#include "ui/DataGraph.h"

#include <memory>
#include <new>

namespace
{
constexpr int kPeriodDays = 0;
constexpr int kPeriodWeeks = 1;
constexpr int kPeriodMonths = 2;

bool LocalMidnight(int year, int month, int day, int64_t *out)
{
    return vxsys::LocalTimeFromFields(vxsys::LocalFields{year, month, day, 0, 0, 0, 0}, out);
}

// The date `days` calendar days from `date` at the same local time of day.
bool AddDays(int64_t date, int64_t days, int64_t *out)
{
    vxsys::LocalFields f{};
    if (!vxsys::LocalFieldsFromTime(date, &f))
        return false;
    const vxtime::CivilDate to = vxtime::CivilFromDays(
        vxtime::DaysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day)) + days);
    if (to.year < 1900 || to.year > 9999)
        return false;
    return vxsys::LocalTimeFromFields(vxsys::LocalFields{static_cast<int>(to.year),
                                                         static_cast<int>(to.month), static_cast<int>(to.day),
                                                         f.hour, f.minute, f.second, 0},
                                      out);
}

// The date `months` calendar months from `date` at the same local time of day; a day the
// target month lacks becomes its last day.
bool AddMonths(int64_t date, int64_t months, int64_t *out)
{
    vxsys::LocalFields f{};
    if (!vxsys::LocalFieldsFromTime(date, &f))
        return false;
    const int64_t index = static_cast<int64_t>(f.year) * 12 + (f.month - 1) + months;
    if (index < 1900 * 12 || index > 9999 * 12 + 11)
        return false;
    const int year = static_cast<int>(index / 12);
    const int month = static_cast<int>(index % 12) + 1;
    DateParts first{};
    DateParts last{};
    if (!vxtime::DaysInMonth(year, month, &first, &last))
        return false;
    const int day = f.day < last.day ? f.day : last.day;
    return vxsys::LocalTimeFromFields(vxsys::LocalFields{year, month, day, f.hour, f.minute, f.second, 0},
                                      out);
}

// `steps` periods of the graph before `date` (after it for a negative count).
bool StepBackByPeriod(int64_t date, int period, int64_t steps, int64_t *out)
{
    switch (period)
    {
    case kPeriodDays:
        return AddDays(date, -steps, out);
    case kPeriodWeeks:
        return AddDays(date, -steps * 7, out);
    case kPeriodMonths:
        return AddMonths(date, -steps, out);
    default:
        return false;
    }
}

// Before this date the graph's window no longer slides back a whole screen.
bool ScrollResetLimit(int period, int64_t *out)
{
    switch (period)
    {
    case kPeriodDays:
        return LocalMidnight(1970, 3, 8, out);
    case kPeriodWeeks:
        return LocalMidnight(1970, 4, 6, out);
    default:
        return LocalMidnight(1971, 3, 1, out);
    }
}

CKVTDlg *MainDialog()
{
    auto *main = dynamic_cast<CKVTDlg *>(AfxGetMainWnd());
    return main && ::IsWindow(main->GetSafeHwnd()) ? main : nullptr;
}
} // namespace

void CKVTDlg::GraphPointCallback(UINT id, int point)
{
    if (CKVTDlg *main = MainDialog())
        main->SendMessage(WM_KVT_GRAPH_POINT, id, point);
}

void CKVTDlg::GraphPrevCallback(UINT id)
{
    if (CKVTDlg *main = MainDialog())
        main->SendMessage(WM_KVT_GRAPH_PREV, id, 0);
}

void CKVTDlg::GraphNextCallback(UINT id)
{
    if (CKVTDlg *main = MainDialog())
        main->SendMessage(WM_KVT_GRAPH_NEXT, id, 0);
}

void CKVTDlg::CalendarDateCallback(int id, int64_t date)
{
    // The handler frees the record; without a dialog to handle it, nobody else would.
    CKVTDlg *main = MainDialog();
    if (!main)
        return;
    auto *record = new (std::nothrow) int64_t(date);
    main->SendMessage(WM_KVT_DATE_SELECTED, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(record));
}

void CKVTDlg::OnGraphPoint(int point)
{
    if (!m_pCalendar || !m_pRunGraph)
        return;
    // The graph has moved its selection to the picked point before it called back.
    const int64_t steps = static_cast<int64_t>(m_pRunGraph->GetPrevSelectedPoint()) - point;
    int64_t date = 0;
    if (!StepBackByPeriod(m_pCalendar->m_tSelected, m_nGraphPeriod, steps, &date))
        return;
    int64_t limit = 0;
    if (ScrollResetLimit(m_nGraphPeriod, &limit) && date < limit)
        m_bResetGraphScroll = TRUE;
    int64_t earliest = 0;
    if (!LocalMidnight(1970, 3, 1, &earliest) || date < earliest)
        return;
    m_pCalendar->m_tSelected = date;
    m_pCalendar->m_tShown = date;
    m_pCalendar->Redraw();
    const std::weak_ptr<int> life = LifeToken();
    BuildRunGraph();
    if (!life.expired())
        UpdateRunDetails();
}

void CKVTDlg::OnGraphArrow(bool next)
{
    if (!m_pCalendar)
        return;
    if (m_nGraphPeriod != kPeriodMonths)
    {
        // The calendar keeps its own limits and reports the new date itself.
        if (next)
            m_pCalendar->StepForward();
        else
            m_pCalendar->StepBack();
        return;
    }
    int64_t limit = 0;
    if (next ? !LocalMidnight(2037, 12, 1, &limit) || m_pCalendar->m_tSelected >= limit
             : !LocalMidnight(1970, 4, 1, &limit) || m_pCalendar->m_tSelected < limit)
        return;
    int64_t date = 0;
    if (!AddMonths(m_pCalendar->m_tSelected, next ? 1 : -1, &date))
        return;
    m_pCalendar->m_tSelected = date;
    m_pCalendar->m_tShown = date;
    m_pCalendar->Redraw();
    CalendarDateCallback(kCalendarId, date);
}

void CKVTDlg::OnDateSelected(LPARAM record)
{
    // The graph and the panel read the date from the calendar; the record only has to go.
    delete reinterpret_cast<int64_t *>(record);
    m_bResetGraphScroll = TRUE;
    const std::weak_ptr<int> life = LifeToken();
    BuildRunGraph();
    if (!life.expired())
        UpdateRunDetails();
}
