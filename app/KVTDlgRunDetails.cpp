// The detail panel of the My Runs page: the figures of the day, week or month that the
// calendar has selected, below the run graph.

#include <algorithm>
#include <memory>

#include "app/KVTDlg.h"
#include "app/RunFigures.h"
#include "app/RunWeek.h"
#include "platform/sys/LocalTime.h"
#include "store/DateTime.h"
#include "store/KvtDatabase.h"
#include "ui/Calendar.h"
#include "ui/UIStatic.h"

namespace
{
constexpr UINT kPanelId = 1068;
constexpr UINT kPanelTitleId = 1069;
constexpr UINT kEffortPictureId = 1218;
// The panel's other labels are named by no one.
constexpr UINT kUnnamedId = 0xFFFF;
constexpr UINT kPanelImage = 131;

constexpr ARGB kInk = 0xFF4D4948;
constexpr ARGB kValueColour = 0xFF00889F;
constexpr ARGB kRunColour = 0xFFF0A46C;
constexpr ARGB kWalkColour = 0xFFABD32A;
constexpr ARGB kCountColour = 0xFF5ABBD7;
constexpr int kTitleSize = 13;
constexpr int kLabelSize = 9;
constexpr int kValueSize = 14;
constexpr int kCountLabelSize = 11;
constexpr int kAlignRight = 2;


constexpr int kMeasureHeartRate = 1;
constexpr int kMeasureDistance = 0;
constexpr int kPeriodWeeks = 1;
constexpr int kPeriodMonths = 2;

// The date fields of a title pattern, put in in one pass: a name that holds a '%' is never
// read as a field itself. Anything else, a lone '%' too, stays as it stands.
CString FillDatePattern(const CString &pattern, int day, const CString &fullMonth, const CString &shortMonth,
                        int month, int year)
{
    const std::u16string &in = pattern.str();
    CString out;
    for (std::size_t i = 0; i < in.size(); ++i)
    {
        const char16_t c = in[i];
        const char16_t next = i + 1 < in.size() ? in[i + 1] : u'\0';
        CString field;
        bool known = true;
        switch (c == u'%' ? next : u'\0')
        {
        case u'd':
            field.Format(u"%d", day);
            break;
        case u'B':
            field = fullMonth;
            break;
        case u'b':
            field = shortMonth;
            break;
        case u'm':
            field.Format(u"%d", month);
            break;
        case u'Y':
            field.Format(u"%d", year);
            break;
        default:
            known = false;
            break;
        }
        if (known)
        {
            out += field;
            ++i;
        }
        else
            out += c;
    }
    return out;
}

// A label inside the panel, kept with the page's controls.
UIStatic *AddPanelLabel(CKVTDlg &dlg, CWnd *panel, const CString &text, const CRect &rect, ARGB colour,
                        int size, UINT id = kUnnamedId)
{
    auto label = std::make_unique<UIStatic>();
    label->SetTextColor(colour);
    label->SetFontSize(size);
    label->SetFontStyle(dlg.PageFontStyle());
    label->Create(text.GetString(), rect, panel, id, WS_CHILD);
    label->ShowWindow(SW_SHOW);
    return static_cast<UIStatic *>(dlg.AddPageControl(std::move(label)));
}

// A one-pixel rule inside the panel.
void AddPanelRule(CKVTDlg &dlg, CWnd *panel, const CRect &rect)
{
    auto rule = std::make_unique<UIStatic>();
    rule->SetTransparent(FALSE);
    rule->SetBkColor(kInk);
    rule->Create(u"", rect, panel, kUnnamedId, WS_CHILD);
    rule->ShowWindow(SW_SHOW);
    dlg.AddPageControl(std::move(rule));
}

// Takes the previous panel and everything inside it out of the page's controls and deletes
// them, the last made first, so that rebuilding the panel never leaves entries behind.
void DestroyPanel(CKVTDlg &dlg)
{
    CWnd *panel = dlg.GetDlgItem(static_cast<int>(kPanelId));
    if (!panel)
        return;
    auto &controls = dlg.m_aPageControls;
    const auto inPanel = [panel](const std::unique_ptr<CWnd> &c) {
        return c && (c.get() == panel || c->GetParent() == panel);
    };
    // The panel's entries move to the end in the order they were made; the others keep theirs.
    const auto first = std::stable_partition(controls.begin(), controls.end(),
                                             [&](const std::unique_ptr<CWnd> &c) { return !inPanel(c); });
    std::size_t count = static_cast<std::size_t>(controls.end() - first);
    bool panelWasKept = false;
    while (count-- > 0)
    {
        // Each entry leaves the array before its control is deleted, as the page container does.
        std::unique_ptr<CWnd> control = std::move(controls.back());
        controls.pop_back();
        panelWasKept = panelWasKept || control.get() == panel;
        control.reset();
    }
    // A panel that somehow is not the page's own still goes.
    if (!panelWasKept)
        panel->DestroyWindow();
}

// Counts are unsigned: one past what an int holds is still a count, not a negative one.
CString CountText(uint32_t value)
{
    CString text;
    text.Format(u"%u", value);
    return text;
}

CString DistanceText(uint32_t metres, double factor)
{
    CString text;
    text.Format(u"%.1f", static_cast<double>(metres) * factor);
    return text;
}
} // namespace

CString CKVTDlg::GetMonthName(int month) const
{
    if (month < 1 || month > 12)
        return CString();
    return LoadStringText(294 + static_cast<UINT>(month));
}

void CKVTDlg::UpdateRunDetails()
{
    DestroyPanel(*this);
    if (!m_pCalendar)
        return;
    vxsys::LocalFields selected{};
    if (!vxsys::LocalFieldsFromTime(m_pCalendar->m_tSelected, &selected))
        return;
    const int year = selected.year;
    const int month = selected.month;
    const int dayOfMonth = selected.day;
    const DateParts date{static_cast<uint8_t>(dayOfMonth), static_cast<uint8_t>(month),
                         static_cast<uint16_t>(year)};

    // Heart rate and calories are always about one day, as on the graph.
    const bool heartRate = m_nGraphMeasure == kMeasureHeartRate;
    const int period = m_nGraphMeasure == kMeasureDistance ? m_nGraphPeriod : 0;
    const bool withCount = !heartRate && (period == kPeriodWeeks || period == kPeriodMonths);
    const CString shortMonth = m_pCalendar->GetMonthName(month);

    // Every output starts at zero: a read that fails or finds nothing shows zeros, never what
    // lay in memory or what the last build read.
    uint32_t duration = 0;
    uint32_t walkSteps = 0;
    uint32_t runSteps = 0;
    uint32_t runDistance = 0;
    uint32_t walkDistance = 0;
    uint32_t calories = 0;
    uint32_t count = 0;
    const auto zeroSums = [&] {
        duration = walkSteps = runSteps = runDistance = walkDistance = calories = count = 0;
    };
    if (period == kPeriodWeeks)
    {
        // The same seven days and number as the graph's week point of this date.
        const RunWeek week = RunWeekOfDay(
            vxtime::DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(dayOfMonth)));
        m_strDetailTitle.Format(u"%s %d %02d/%02d - %02d/%02d", LoadStringText(319).GetString(), week.number,
                                week.monday.day, week.monday.month, week.sunday.day, week.sunday.month);
        if (!m_pDatabase || !m_pDatabase->GetRangeStats(&week.monday, 7, &duration, &walkSteps, &runSteps,
                                                        &runDistance, &walkDistance, &calories, &count))
            zeroSums();
    }
    else if (period == kPeriodMonths)
    {
        m_strDetailTitle =
            FillDatePattern(LoadStringText(586), dayOfMonth, GetMonthName(month), shortMonth, month, year);
        if (!m_pDatabase || !m_pDatabase->GetMonthStats(month, year, &duration, &walkSteps, &runSteps,
                                                        &runDistance, &walkDistance, &calories, &count))
            zeroSums();
    }
    else
    {
        m_strDetailTitle =
            FillDatePattern(LoadStringText(320), dayOfMonth, GetMonthName(month), shortMonth, month, year);
        if (!heartRate && (!m_pDatabase || !m_pDatabase->GetDayStats(&date, &duration, &walkSteps, &runSteps,
                                                                     &runDistance, &walkDistance, &calories)))
            zeroSums();
    }

    uint8_t heartRateAfter = 0;
    if (heartRate)
    {
        const DayLastRun last = ReadDayLastRun(m_pDatabase.get(), date);
        heartRateAfter = last.heartRateAfter;
        m_strDetailEndTime = TimeOfDayText(last.endSecondOfDay);
        m_strDetailHeartRate.Format(u"%d", heartRateAfter);
    }
    else
    {
        const double factor = m_bMetric ? kKmPerMetre : kMilesPerMetre;
        m_strDetailDuration.Format(u"%d:%02d:%02d", duration / 3600, duration % 3600 / 60, duration % 60);
        m_strDetailRunSteps = CountText(runSteps);
        m_strDetailWalkSteps = CountText(walkSteps);
        m_strDetailRunDistance = DistanceText(runDistance, factor);
        m_strDetailWalkDistance = DistanceText(walkDistance, factor);
        m_strDetailCalories = CountText(calories);
        if (withCount)
            m_strDetailRunCount = CountText(count);
        // Distance per hour of exercise; without a distance or without time there is no speed.
        const uint64_t metres = static_cast<uint64_t>(runDistance) + walkDistance;
        if (metres == 0 || duration == 0)
            m_strDetailSpeed = u"0.0";
        else
            m_strDetailSpeed.Format(u"%.1f", static_cast<double>(metres) * factor /
                                                 (static_cast<double>(duration) / 60 / 60));
    }

    // ---- the panel ----
    UIStatic *panel = AddPagePicture(kPanelImage, CRect(130, 320, 610, 416), kPanelId);
    if (!panel)
        return;
    AddPanelLabel(*this, panel, m_strDetailTitle, CRect(11, 7, 161, 22), kInk, kTitleSize, kPanelTitleId);
    const auto label = [&](UINT textId, const CRect &rect) {
        return AddPanelLabel(*this, panel, LoadStringText(textId), rect, kInk, kLabelSize);
    };
    const auto value = [&](const CString &text, const CRect &rect, ARGB colour) {
        return AddPanelLabel(*this, panel, text, rect, colour, kValueSize);
    };
    if (heartRate)
    {
        label(182, CRect(31, 35, 81, 47));
        value(m_strDetailEndTime, CRect(71, 33, 141, 49), kValueColour);
        label(183, CRect(150, 35, 210, 47));
        value(m_strDetailHeartRate, CRect(210, 33, 260, 49), kValueColour);
        label(184, CRect(250, 35, 300, 47));
        AddPanelRule(*this, panel, CRect(11, 48, 276, 49));
        const int maximum = 220 - m_nAge;
        UINT image = 155;
        UINT verdict = 453;
        if (heartRateAfter > maximum * 0.815)
        {
            image = 154;
            verdict = 454;
        }
        else if (heartRateAfter >= maximum * 0.535)
        {
            image = 153;
            verdict = 367;
        }
        auto picture = std::make_unique<UIStatic>();
        picture->Create(nullptr, CRect(290, 30, 418, 86), panel, kEffortPictureId, WS_CHILD);
        picture->SetImageResource(image, 0, 1033);
        picture->ShowWindow(SW_SHOW);
        AddPageControl(std::move(picture));
        if (UIStatic *text = label(verdict, CRect(345, 30, 418, 86)))
        {
            text->SetMultiLine(TRUE);
            text->SetLineAlignment(1);
        }
    }
    else
    {
        if (withCount)
        {
            if (UIStatic *runs = AddPanelLabel(*this, panel, LoadStringText(170), CRect(255, 9, 375, 21),
                                               kCountColour, kCountLabelSize))
                runs->SetAlignment(kAlignRight);
            value(m_strDetailRunCount, CRect(383, 7, 463, 21), kCountColour);
        }
        label(322, CRect(11, 35, 71, 47));
        label(185, CRect(71, 35, 96, 47));
        value(m_strDetailRunSteps, CRect(96, 32, 151, 48), kRunColour);
        label(289, CRect(151, 35, 181, 47));
        value(m_strDetailWalkSteps, CRect(181, 32, 241, 48), kWalkColour);
        label(323, CRect(11, 53, 71, 65));
        label(185, CRect(71, 53, 96, 65));
        value(m_strDetailRunDistance, CRect(96, 51, 151, 67), kRunColour);
        label(289, CRect(151, 53, 181, 65));
        value(m_strDetailWalkDistance, CRect(181, 51, 236, 67), kWalkColour);
        label(m_bMetric ? 166 : 179, CRect(235, 53, 270, 65));
        label(176, CRect(235, 35, 365, 47));
        value(m_strDetailSpeed, CRect(365, 32, 410, 48), kValueColour);
        label(m_bMetric ? 181 : 180, CRect(405, 35, 470, 47));
        label(174, CRect(11, 72, 61, 84));
        value(m_strDetailDuration, CRect(71, 70, 171, 86), kValueColour);
        label(178, CRect(235, 72, 335, 84));
        value(m_strDetailCalories, CRect(365, 70, 425, 86), kValueColour);
        AddPanelRule(*this, panel, CRect(11, 48, 424, 49));
        AddPanelRule(*this, panel, CRect(11, 68, 424, 69));
    }
}
