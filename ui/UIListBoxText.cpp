#include "ui/UIListBoxText.h"

#include "store/PackedDate.h"

namespace vxui
{
namespace
{
constexpr UINT kDatePattern = 587;
constexpr UINT kFirstMonthName = 307; // "Jan" .. "Dec" at 307-318
constexpr UINT kStartFrom = 721;
constexpr UINT kOn = 723;
constexpr UINT kLessThanOne = 277;
constexpr UINT kWholeToGo = 278;
constexpr UINT kLessThanTenth = 729;
constexpr UINT kTenthsToGo = 730;
constexpr UINT kHours = 169;
constexpr UINT kCalories = 227;
constexpr UINT kMiles = 179;
constexpr UINT kKilometres = 166;

constexpr double kMetresToMiles = 0.000621371192;
constexpr double kMetresToKilometres = 0.001;

constexpr std::size_t kStatusLine = 16;

std::u16string Load(UINT id, WORD language)
{
    CString text;
    text.LoadString(nullptr, id, language);
    return text.str();
}

template <typename... Args> std::u16string Format(const std::u16string &format, const Args &...args)
{
    return vxwin::FormatW(format, args...);
}

double DistanceInUnit(UINT metres, int distanceUnit)
{
    return metres * (distanceUnit == 0 ? kMetresToMiles : kMetresToKilometres);
}

UINT DistanceWord(int distanceUnit)
{
    return distanceUnit == 0 ? kMiles : kKilometres;
}

// The unit word of a period: singular below 2, plural otherwise.
UINT PeriodWord(int unit, UINT count)
{
    static const UINT kSingular[] = {229, 228, 230, 232, 234};
    static const UINT kPlural[] = {169, 167, 231, 233, 235};
    const int index = unit <= 0 ? 0 : unit >= 4 ? 4 : unit;
    return count < 2 ? kSingular[index] : kPlural[index];
}
} // namespace

std::u16string FillDatePattern(std::u16string_view pattern, uint32_t packedDate,
                               std::u16string_view monthName, bool twoDigits)
{
    const char16_t *number = twoDigits ? u"%02d" : u"%d";
    std::u16string out;
    for (std::size_t i = 0; i < pattern.size(); ++i)
    {
        if (pattern[i] != u'%' || i + 1 == pattern.size())
        {
            out.push_back(pattern[i]);
            continue;
        }
        switch (pattern[i + 1])
        {
        case u'Y':
            out += vxwin::FormatW(u"%d", vxtime::PackedYear(packedDate));
            break;
        case u'm':
            out += vxwin::FormatW(number, vxtime::PackedMonth(packedDate));
            break;
        case u'd':
            out += vxwin::FormatW(number, vxtime::PackedDay(packedDate));
            break;
        case u'b':
            out += monthName;
            break;
        case u'%':
            out.push_back(u'%');
            break;
        default:
            out.push_back(pattern[i]);
            continue;
        }
        ++i;
    }
    return out;
}

std::u16string FormatPackedDate(uint32_t packedDate, WORD language)
{
    const int month = vxtime::PackedMonth(packedDate);
    const std::u16string monthName =
        month >= 1 && month <= 12 ? Load(kFirstMonthName + static_cast<UINT>(month) - 1, language) : u"";
    return FillDatePattern(Load(kDatePattern, language), packedDate, monthName);
}

namespace
{
std::u16string GoalDescription(const UIListBox::CListBoxItem &item, WORD language, const char16_t *figureAndUnit)
{
    std::u16string number;
    UINT unit = 0;
    switch (item.m_nKind)
    {
    case 0:
        number = vxwin::FormatW(u"%.1f", DistanceInUnit(item.m_nTarget, item.m_nDistanceUnit));
        unit = DistanceWord(item.m_nDistanceUnit);
        break;
    case 1:
        number = vxwin::FormatW(u"%u", item.m_nTarget / 3600);
        unit = kHours;
        break;
    default:
        number = vxwin::FormatW(u"%u", item.m_nTarget);
        unit = kCalories;
        break;
    }
    const std::u16string target = vxwin::FormatW(figureAndUnit, number, Load(unit, language));
    const std::u16string period =
        vxwin::FormatW(figureAndUnit, vxwin::FormatW(u"%u", item.m_nPeriodCount),
                       Load(PeriodWord(item.m_nPeriodUnit, item.m_nPeriodCount), language));
    const std::u16string start =
        vxwin::FormatW(u"%s %s", Load(kStartFrom, language), FormatPackedDate(item.m_nStartDate, language));
    return vxwin::FormatW(u"%s\n%s", vxwin::FormatW(u"%s %s", target, period), start);
}
} // namespace

std::u16string GoalDescriptionText(const UIListBox::CListBoxItem &item, WORD language)
{
    return GoalDescription(item, language, u"%s %s");
}

std::u16string GoalDescriptionToDraw(const UIListBox::CListBoxItem &item, WORD language)
{
    return GoalDescription(item, language, u"%s\u00A0%s");
}

std::u16string GoalToGoText(const UIListBox::CListBoxItem &item, WORD language)
{
    if (item.m_nAchieved >= item.m_nTarget)
        return {};
    const UINT remainder = item.m_nTarget - item.m_nAchieved;
    if (item.m_nKind == 0)
    {
        const double left = DistanceInUnit(remainder, item.m_nDistanceUnit);
        const std::u16string unit = Load(DistanceWord(item.m_nDistanceUnit), language);
        if (left < 0.1)
            return Format(Load(kLessThanTenth, language), unit);
        return Format(Load(kTenthsToGo, language), left, unit);
    }
    // "less than 1" only while not even one whole unit is left.
    const UINT whole = item.m_nKind == 1 ? remainder / 3600 : remainder;
    const std::u16string unit = Load(item.m_nKind == 1 ? kHours : kCalories, language);
    if (whole == 0)
        return Format(Load(kLessThanOne, language), unit);
    return Format(Load(kWholeToGo, language), whole, unit);
}

std::u16string GoalReachedText(const UIListBox::CListBoxItem &item, WORD language)
{
    const std::u16string on = Load(kOn, language);
    // The end date is the first day after the goal: it was reached by the calendar day before.
    uint32_t lastDay = 0;
    if (!vxtime::ShiftPackedDate(item.m_nEndDate, -1, &lastDay))
        return on;
    return vxwin::FormatW(u"%s %s", on, FormatPackedDate(lastDay, language));
}

std::u16string BreakStatusText(std::u16string_view text)
{
    std::u16string out(text);
    if (out.size() <= kStatusLine)
        return out;
    std::size_t at = out.rfind(u' ', kStatusLine);
    if (at == std::u16string::npos)
        at = out.find(u' ');
    if (at != std::u16string::npos)
        out[at] = u'\n';
    return out;
}
} // namespace vxui
