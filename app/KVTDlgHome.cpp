// The home page: where the user lands after a log-in, an import or a saved profile. It greets the
// user and sums up the results: lifetime run totals and the progress of the current goal.

#include <array>
#include <cstdint>
#include <memory>

#include "app/KVTDlg.h"
#include "app/RunFigures.h"
#include "platform/sys/LocalTime.h"
#include "store/KvtDatabase.h"
#include "ui/UIButton.h"
#include "ui/UIStatic.h"

namespace
{

constexpr ARGB kTextColour = 0xFF4D4948;
constexpr ARGB kFinishedColour = 0xFF007CC3;
constexpr ARGB kToGoColour = 0xFFDA251D;

constexpr UINT kWelcomeTitle = 159;
constexpr UINT kGreetingLabelId = 1046;
constexpr UINT kLogOutButtonId = 1093;
const CRect kLogOutRect(555, 66, 640, 89);

// How far the marker travels along the bar for a goal just begun to one all but done.
constexpr std::uint64_t kMarkerTravel = 162;
// Where the marker sits when the share done cannot be told (nothing left, or more left than the
// target).
constexpr int kMarkerUnknown = 100;

template <std::size_t N>
CString NameOrId(const std::array<char16_t, N> &name, const std::array<char16_t, N> &id)
{
    // The buffers end in a zero character; a full one is cut at its last unit.
    const auto &text = name[0] ? name : id;
    std::size_t length = 0;
    while (length + 1 < N && text[length])
        ++length;
    return CString(std::u16string(text.data(), length));
}

// Longer greetings get smaller type so that they stay on their one line.
int GreetingFontSize(int length)
{
    if (length > 64)
        return 10;
    if (length > 54)
        return 12;
    if (length > 49)
        return 14;
    if (length > 44)
        return 16;
    return 18;
}

bool LaterThanToday(const DateParts &date)
{
    vxsys::LocalFields today{};
    if (!vxsys::LocalFieldsFromTime(vxsys::CurrentTime(), &today))
        return false;
    if (date.year != today.year)
        return date.year > today.year;
    if (date.month != today.month)
        return date.month > today.month;
    return date.day > today.day;
}
} // namespace

void CKVTDlg::ReadRunTotals()
{
    // The store writes nothing when it cannot read: without this a failed read would show what the
    // last read (perhaps of another page, or of the user before) left in the members.
    m_nTotalDistance = 0;
    m_nTotalDuration = 0;
    m_nRunCount = 0;
    if (m_pDatabase)
        m_pDatabase->GetRunTotals(&m_nTotalDistance, &m_nTotalDuration, &m_nRunCount);
}

int CKVTDlg::GoalMarkerOffset(std::uint32_t target, std::uint32_t remaining)
{
    if (remaining == 0 || remaining > target)
        return kMarkerUnknown;
    // In whole numbers: the share done is cut, never rounded up to a step it has not reached.
    return static_cast<int>(static_cast<std::uint64_t>(target - remaining) * kMarkerTravel / target);
}

void CKVTDlg::ShowHomeView()
{
    BeginPage(FALSE, kWelcomeTitle);
    m_nCurrentView = KvtView::Home;
    UpdateGoalSummary();
    ReadRunTotals();

    const CString name = NameOrId(m_szDisplayName, m_szUserId);
    if (UIStatic *greeting = AddPageLabel(0, CRect(220, 100, 670, 122), kGreetingLabelId, kTextColour,
                                          GreetingFontSize(name.GetLength())))
    {
        greeting->SetFontStyle(1);
        greeting->SetText(name.GetString());
    }
    AddPagePicture(125, CRect(40, 110, 200, 270), 1047);
    AddPagePicture(118, CRect(480, 330, 680, 460), 1008);
    for (const auto &[id, rect] :
         {std::pair{1048u, CRect(220, 127, 670, 128)}, std::pair{1049u, CRect(220, 240, 670, 241)}})
        if (UIStatic *line = AddPageLabel(0, rect, id, kTextColour, 10))
        {
            line->SetTransparent(FALSE);
            line->SetBkColor(kTextColour);
        }

    const GoalSummary &goal = m_GoalSummary;
    const bool goalShown = goal.HasGoal() && (goal.target != 0 || goal.targetDistance > 0.0);
    if (m_nRunCount > 0 || goalShown)
    {
        const int valueSize =
            m_nRunCount > 999 || m_nTotalDistance > 9999000 || m_nTotalDuration > 3599999 ? 14 : 16;
        CString count;
        count.Format(u"%ld", m_nRunCount);
        CString distance;
        distance.Format(u"%#.1f%s",
                        static_cast<double>(m_nTotalDistance) * (m_bMetric ? kKmPerMetre : kMilesPerMetre),
                        LoadStringText(m_bMetric ? 166 : 179).GetString());
        CString time;
        time.Format(u"%llu%s%02llu%s%02llu%s", m_nTotalDuration / 3600, LoadStringText(274).GetString(),
                    (m_nTotalDuration % 3600) / 60, LoadStringText(275).GetString(), m_nTotalDuration % 60,
                    LoadStringText(276).GetString());
        const struct
        {
            UINT captionId, caption;
            CRect captionRect;
            UINT valueId;
            const CString &value;
            CRect valueRect;
        } totals[] = {
            {1051, 162, CRect(220, 132, 260, 156), 1052, count, CRect(260, 132, 315, 154)},
            {1053, 163, CRect(315, 132, 368, 156), 1054, distance, CRect(368, 132, 475, 154)},
            {1055, 164, CRect(475, 132, 510, 156), 1056, time, CRect(510, 132, 679, 154)},
        };
        for (const auto &t : totals)
        {
            AddPageLabel(t.caption, t.captionRect, t.captionId, kTextColour, 10, 0, TRUE);
            if (UIStatic *value = AddPageLabel(0, t.valueRect, t.valueId, kTextColour, valueSize))
                value->SetText(t.value.GetString());
        }
    }

    if (goalShown)
    {
        if (UIStatic *line = AddPageLabel(0, CRect(220, 208, 670, 209), 1050, kTextColour, 10))
        {
            line->SetTransparent(FALSE);
            line->SetBkColor(kTextColour);
        }
        AddPageLabel(165, CRect(220, 214, 270, 234), 1059, kTextColour, 12);
        CString target;
        if (goal.kind == 0)
            target.Format(u"%.1f%s %d%s", goal.targetDistance, goal.unitText.GetString(), goal.periodLength,
                          goal.periodText.GetString());
        else
            target.Format(u"%d%s %d%s", goal.target, goal.unitText.GetString(), goal.periodLength,
                          goal.periodText.GetString());
        if (UIStatic *label = AddPageLabel(0, CRect(270, 214, 670, 234), 1060, kTextColour, 12))
            label->SetText(target.GetString());

        if (goal.goal->status)
        {
            AddPagePicture(126, CRect(220, 174, 638, 197), 1057);
            AddPagePicture(127, CRect(612, 165, 625, 180), 1058);
            AddPageLabel(279, CRect(480, 158, 608, 172), 1061, kFinishedColour, 10, 2);
        }
        else
        {
            AddPagePicture(218, CRect(224, 174, 642, 197), 1057);
            const int p = GoalMarkerOffset(goal.target, goal.remaining);
            AddPagePicture(219, CRect(454 + p, 170, 467 + p, 185), 1161);
            CString left;
            if (goal.kind == 0 && goal.remainingDistance >= 0.1)
                left.Format(LoadStringText(730).GetString(), goal.remainingDistance,
                            goal.unitText.GetString());
            else if (goal.kind == 0)
                left.Format(LoadStringText(729).GetString(), goal.unitText.GetString());
            else if (goal.remaining != 0)
                left.Format(LoadStringText(278).GetString(), goal.remaining, goal.unitText.GetString());
            else
                left.Format(LoadStringText(277).GetString(), goal.unitText.GetString());
            if (UIStatic *label = AddPageLabel(0, CRect(380, 156, 642, 170), 1061, kToGoColour, 10, 2))
                label->SetText(left.GetString());
            // The goal's days are over and it was not reached.
            if (!LaterThanToday(goal.goal->end))
                AddPageLabel(280, CRect(246, 160, 366, 172), 1160, kToGoColour, 10);
        }
    }

    BuildNavigationBarFor(NavigationPage::Home);
    AddCloseButton();
    AddPageButton(378, kLogOutRect, kLogOutButtonId, 472, 471, 470, 471, &CKVTDlg::OnLogOut, 10);
    EndPage();
}
