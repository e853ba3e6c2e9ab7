// The share picture: a results card drawn on image 490, of the goal selected on the My Goal page
// or of the period the My Runs page shows, saved as a JPEG in the data folder for the mail step.

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "app/KVTDlg.h"
#include "app/RunFigures.h"
#include "platform/sys/Files.h"
#include "platform/sys/LocalTime.h"
#include "platform/sys/TextConvert.h"
#include "store/DateTime.h"
#include "store/KvtDatabase.h"
#include "store/PackedDate.h"
#include "ui/Calendar.h"
#include "ui/UIListBox.h"
#include "ui/UIListBoxText.h"

namespace
{
constexpr UINT kBackgroundImage = 490;
constexpr WORD kImageLanguage = 1033;
constexpr UINT kGoalListId = 1183;

constexpr ARGB kHeaderColour = 0xFFFFFFFF;
constexpr ARGB kTextColour = 0xFF4D4948;
constexpr ARGB kToGoColour = 0xFFDD137B;

// A title longer than this many characters takes the smaller face.
constexpr int kLongTitle = 45;
// Each text stands on one line of its box: a wider one is drawn smaller, half a pixel at a time
// down to this size, and what still does not fit ends in an ellipsis.
constexpr float kSmallestText = 8.0f;

float TextWidth(Gdiplus::Graphics &graphics, const CString &text, const Gdiplus::Font &font,
                const Gdiplus::StringFormat &format)
{
    Gdiplus::RectF bounds;
    if (graphics.MeasureString(text.GetString(), text.GetLength(), &font, Gdiplus::PointF(0.0f, 0.0f), &format,
                               &bounds) != Gdiplus::Ok ||
        !std::isfinite(bounds.Width))
        return 0.0f;
    return bounds.Width;
}

// The size and the text to draw so that `t` fits its box on one line.
void FitOnOneLine(Gdiplus::Graphics &graphics, const SharePictureText &t, const Gdiplus::StringFormat &format,
                  float *size, CString *shown)
{
    const Gdiplus::FontStyle style = t.bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular;
    const auto width = [&](const CString &text, float pixels) {
        const Gdiplus::Font font(u"Arial", pixels, style, Gdiplus::UnitPixel);
        return TextWidth(graphics, text, font, format);
    };
    const float room = static_cast<float>(t.width);
    *size = static_cast<float>(t.fontSize);
    *shown = t.text;
    while (*size > kSmallestText && width(*shown, *size) > room)
        *size -= 0.5f;
    if (width(*shown, *size) <= room)
        return;
    std::u16string text = t.text.str();
    while (!text.empty())
    {
        text.pop_back();
        // Never leave half of a character of two units before the ellipsis.
        if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF)
            text.pop_back();
        const CString candidate((text + u"\u2026").c_str());
        if (width(candidate, *size) <= room)
        {
            *shown = candidate;
            return;
        }
    }
    *shown = CString(u"\u2026");
}


constexpr int kMeasureHeartRate = 1;
constexpr int kPeriodDays = 0;
constexpr int kPeriodWeeks = 1;
constexpr int kPeriodMonths = 2;

// The unit word of a period: singular for a count of 1 or less. Units: 0 hours, 1 days, 2 weeks,
// 3 months, 4 and above years.
UINT PeriodWord(int unit, UINT count)
{
    static const UINT kSingular[] = {229, 228, 230, 232, 234};
    static const UINT kPlural[] = {169, 167, 231, 233, 235};
    const int index = unit <= 0 ? 0 : unit >= 4 ? 4 : unit;
    return count <= 1 ? kSingular[index] : kPlural[index];
}

// A whole number of the user's distance unit, rounded half up.
int WholeDistance(UINT metres, BOOL metric)
{
    return static_cast<int>(static_cast<double>(metres) * (metric ? kKmPerMetre : kMilesPerMetre) + 0.5);
}

// Replaces each placeholder of the pattern once, left to right; what a replacement brings in is
// not looked at again.
std::u16string FillPlaceholders(std::u16string_view pattern, std::u16string_view g, std::u16string_view p)
{
    std::u16string out;
    for (std::size_t i = 0; i < pattern.size(); ++i)
    {
        if (pattern[i] == u'%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == u'g' || pattern[i + 1] == u'p'))
        {
            out += pattern[i + 1] == u'g' ? g : p;
            ++i;
            continue;
        }
        out.push_back(pattern[i]);
    }
    return out;
}

template <std::size_t N> CString BufferText(const std::array<char16_t, N> &buffer)
{
    std::size_t length = 0;
    while (length < N && buffer[length])
        ++length;
    return CString(std::u16string(buffer.data(), length));
}

SharePictureText Text(CString text, int x, int y, int width, int height, int size, BOOL bold, ARGB colour,
                      int alignment = 0, BOOL top = FALSE)
{
    SharePictureText t;
    t.text = std::move(text);
    t.x = x;
    t.y = y;
    t.width = width;
    t.height = height;
    t.fontSize = size;
    t.bold = bold;
    t.colour = colour;
    t.alignment = alignment;
    t.top = top;
    return t;
}

// The local calendar day (days since 1970-01-01) of an instant.
bool LocalDay(int64_t seconds, int64_t *day, vxsys::LocalFields *fields)
{
    if (!vxsys::LocalFieldsFromTime(seconds, fields))
        return false;
    *day = vxtime::DaysFromCivil(fields->year, static_cast<unsigned>(fields->month),
                                 static_cast<unsigned>(fields->day));
    return true;
}

DateParts PartsOfDay(int64_t day)
{
    const vxtime::CivilDate c = vxtime::CivilFromDays(day);
    return DateParts{static_cast<uint8_t>(c.day), static_cast<uint8_t>(c.month),
                     static_cast<uint16_t>(c.year)};
}
} // namespace

BOOL CKVTDlg::BuildSharePictureTexts(BOOL goalMode, std::vector<SharePictureText> *texts) const
{
    if (!texts)
        return FALSE;
    texts->clear();
    const bool german = m_nLanguage == 1031;

    // The second header line: the user's name as the dialog keeps it, else the user id.
    CString name = BufferText(m_szDisplayName);
    name.Trim();
    if (name.IsEmpty())
        name = BufferText(m_szUserId);

    auto header = [&](const CString &title) {
        const bool longTitle = title.GetLength() > kLongTitle;
        texts->push_back(Text(title, 20, 10, 320, 24, longTitle ? 12 : 16, TRUE, kHeaderColour, 0, TRUE));
        texts->push_back(Text(name, 200, 10, 220, 20, 12, FALSE, kHeaderColour, 2));
    };

    if (goalMode)
    {
        CString title, target, period, start, remaining;
        const auto *list = dynamic_cast<const UIListBox *>(GetDlgItem(static_cast<int>(kGoalListId)));
        const int selected = list ? list->GetCurSel() : -1;
        int kind = 0, periodUnit = 0, number = 0;
        UINT goal = 0, periodCount = 0, startDate = 0, achieved = 0;
        BOOL reached = FALSE;
        if (selected >= 0 && list->GetItem(selected, nullptr, &kind, &goal, nullptr, &periodUnit,
                                           &periodCount, &startDate, nullptr, &achieved, &reached, &number))
        {
            title = LoadStringText(187);
            title.AppendFormat(u" %03d", number);
            const UINT missing = goal > achieved ? goal - achieved : 0;
            const CString distanceUnit = LoadStringText(m_bMetric ? 166 : 179);
            CString left;
            if (kind == 1)
            {
                target.Format(u"%d %s", goal / 3600, LoadStringText(169).GetString());
                left.Format(LoadStringText(278).GetString(), missing / 3600, LoadStringText(226).GetString());
            }
            else if (kind == 2)
            {
                target.Format(u"%d %s", goal, LoadStringText(227).GetString());
                left.Format(LoadStringText(278).GetString(), missing, LoadStringText(227).GetString());
            }
            else
            {
                target.Format(u"%d %s", WholeDistance(goal, m_bMetric), distanceUnit.GetString());
                left.Format(LoadStringText(278).GetString(), WholeDistance(missing, m_bMetric),
                            distanceUnit.GetString());
            }
            period.Format(u"%d ", periodCount);
            period += LoadStringText(PeriodWord(periodUnit, periodCount));
            start.Format(u"%02d-%02d-%04d", vxtime::PackedDay(startDate), vxtime::PackedMonth(startDate),
                         vxtime::PackedYear(startDate));
            remaining = reached ? LoadStringText(279) : left;
        }
        header(title);
        texts->push_back(
            Text(CString(FillPlaceholders(LoadStringText(417).str(), target.str(), period.str())), 35, 72,
                 450, 25, 16, TRUE, kTextColour));
        texts->push_back(Text(LoadStringText(290), 35, 115, 120, 20, 12, TRUE, kTextColour));
        texts->push_back(Text(start, 115, 115, 110, 20, 12, FALSE, kTextColour));
        texts->push_back(Text(remaining, 225, 115, 200, 20, 12, TRUE, kToGoColour));
        return TRUE;
    }

    const bool heartRate = m_nGraphMeasure == kMeasureHeartRate;
    if (heartRate && m_nGraphPeriod != kPeriodDays)
        return FALSE;

    // The period the My Runs page shows: the calendar's day, or its Monday-Sunday week, or its month.
    const int64_t selected = m_pCalendar ? m_pCalendar->m_tSelected : vxsys::CurrentTime();
    vxsys::LocalFields fields{};
    int64_t day = 0;
    if (!LocalDay(selected, &day, &fields))
    {
        fields = vxsys::LocalFields{1970, 1, 1, 0, 0, 0, 4};
        day = 0;
    }
    const DateParts date = PartsOfDay(day);
    const int period = heartRate ? kPeriodDays : m_nGraphPeriod;

    CString title;
    uint32_t duration = 0, walkSteps = 0, runSteps = 0, runDistance = 0, walkDistance = 0, calories = 0,
             count = 0;
    bool read = false;
    if (period == kPeriodWeeks)
    {
        // A Sunday belongs to the week that ends on it.
        const int64_t monday = day - (fields.weekday + 6) % 7;
        const DateParts first = PartsOfDay(monday);
        const DateParts last = PartsOfDay(monday + 6);
        // The week of the year counted from the year's first Monday, from 1; its 53rd is the next
        // year's first.
        const int64_t yearDay = day - vxtime::DaysFromCivil(fields.year, 1, 1);
        int week = static_cast<int>((yearDay + 7 - (fields.weekday + 6) % 7) / 7) + 1;
        if (week > 52)
            week = 1;
        title.Format(u"%s %d %02d/%02d - %02d/%02d", LoadStringText(319).GetString(), week, first.day,
                     first.month, last.day, last.month);
        read = m_pDatabase && m_pDatabase->GetRangeStats(&first, 7, &duration, &walkSteps, &runSteps,
                                                         &runDistance, &walkDistance, &calories, &count);
    }
    else if (period == kPeriodMonths)
    {
        const uint32_t packed = vxtime::PackDate(fields.year, fields.month, 1);
        const CString monthName = LoadStringText(306 + static_cast<UINT>(fields.month));
        title = CString(vxui::FillDatePattern(LoadStringText(586).str(), packed, monthName.str()));
        read = m_pDatabase &&
               m_pDatabase->GetMonthStats(fields.month, fields.year, &duration, &walkSteps, &runSteps,
                                          &runDistance, &walkDistance, &calories, &count);
    }
    else
    {
        title = CString(vxui::FormatPackedDate(vxtime::PackDate(date), m_nLanguage));
        read = heartRate || (m_pDatabase && m_pDatabase->GetDayStats(&date, &duration, &walkSteps, &runSteps,
                                                                     &runDistance, &walkDistance, &calories));
    }
    // A failed read shows nothing rather than part of one.
    if (!read)
        duration = walkSteps = runSteps = runDistance = walkDistance = calories = count = 0;
    header(title);

    const int labelSize = german ? 10 : 12;
    if (heartRate)
    {
        // The day's last run: when it ended, and the heart rate after it.
        const DayLastRun last = ReadDayLastRun(m_pDatabase.get(), date);
        const CString time = TimeOfDayText(last.endSecondOfDay);
        CString rate;
        rate.Format(u"%d", last.heartRateAfter);
        texts->push_back(Text(LoadStringText(182), 40, 78, 100, 20, labelSize, TRUE, kTextColour));
        texts->push_back(Text(time, 70, 78, 115, 20, 12, FALSE, kTextColour, 1));
        texts->push_back(Text(LoadStringText(183), 190, 78, 100, 20, labelSize, TRUE, kTextColour));
        texts->push_back(Text(rate, 275, 78, 35, 20, 12, FALSE, kTextColour, 2));
        // The unit stands a space after the right-aligned figure, not against it.
        texts->push_back(Text(LoadStringText(184), 313, 78, 100, 20, labelSize, TRUE, kTextColour));
        return TRUE;
    }

    const double factor = m_bMetric ? kKmPerMetre : kMilesPerMetre;
    const double distance = (static_cast<double>(runDistance) + static_cast<double>(walkDistance)) * factor;
    CString runs, steps, speed, time, distanceText, caloriesText;
    // Counts are unsigned, and the two step counts may together pass what 32 bits hold.
    runs.Format(u"%u", count);
    steps.Format(u"%llu", static_cast<unsigned long long>(runSteps) + walkSteps);
    // Distance per hour of exercise; without a duration there is no speed to tell.
    if (distance > 0.0 && duration > 0)
        speed.Format(u"%.1f", distance / (static_cast<double>(duration) / 60.0 / 60.0));
    else
        speed = u"0.0";
    time.Format(u"%d:%02d:%02d", duration / 3600, duration % 3600 / 60, duration % 60);
    distanceText.Format(u"%.0f", distance);
    caloriesText.Format(u"%u", calories);
    if (period == kPeriodWeeks || period == kPeriodMonths)
    {
        texts->push_back(Text(LoadStringText(170), 20, 55, 200, 20, labelSize, TRUE, kTextColour));
        texts->push_back(Text(runs, 120, 55, 200, 20, 12, FALSE, kTextColour));
    }
    texts->push_back(Text(LoadStringText(173), 20, 78, 200, 20, labelSize, TRUE, kTextColour));
    texts->push_back(Text(steps, 50, 78, 130, 20, 12, FALSE, kTextColour, 1));
    texts->push_back(Text(LoadStringText(176), 150, 78, 155, 20, labelSize, TRUE, kTextColour, 2));
    texts->push_back(Text(speed, 295, 78, 55, 20, 12, FALSE, kTextColour, 1));
    texts->push_back(Text(LoadStringText(m_bMetric ? 181 : 180), 340, 78, 200, 20, 12, FALSE, kTextColour));
    texts->push_back(Text(LoadStringText(174), 20, 103, 200, 20, labelSize, TRUE, kTextColour));
    texts->push_back(Text(time, 50, 103, 130, 20, 12, FALSE, kTextColour, 1));
    texts->push_back(Text(LoadStringText(175), 20, 128, 200, 20, labelSize, TRUE, kTextColour));
    texts->push_back(Text(distanceText, 90, 128, 50, 20, 12, FALSE, kTextColour, 1));
    texts->push_back(Text(LoadStringText(m_bMetric ? 166 : 179), 140, 128, 200, 20, 12, FALSE, kTextColour));
    texts->push_back(Text(LoadStringText(178), 220, 128, 200, 20, labelSize, TRUE, kTextColour));
    texts->push_back(Text(caloriesText, 335, 128, 85, 20, 12, FALSE, kTextColour, 1));
    return TRUE;
}

int CKVTDlg::RenderSharePicture(BOOL goalMode)
{
    m_pSharePicture.reset();
    m_bSharePictureSaved = FALSE;
    std::vector<SharePictureText> texts;
    if (!BuildSharePictureTexts(goalMode, &texts))
        return 1;

    Gdiplus::Image *loaded = nullptr;
    if (!LoadImageFromResource(kBackgroundImage, u"PNG", &loaded, kImageLanguage) || !loaded)
        return 1;
    const std::unique_ptr<Gdiplus::Image> background(loaded);
    if (background->GetLastStatus() != Gdiplus::Ok || background->GetWidth() == 0 ||
        background->GetHeight() == 0)
        return 1;
    auto picture = std::make_unique<Gdiplus::Bitmap>(background->QtImage());
    if (picture->GetLastStatus() != Gdiplus::Ok)
        return 1;
    {
        Gdiplus::Graphics graphics(picture.get());
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        for (const SharePictureText &t : texts)
        {
            if (t.text.IsEmpty())
                continue;
            Gdiplus::StringFormat format(Gdiplus::StringFormatFlagsNoWrap);
            format.SetAlignment(t.alignment == 1   ? Gdiplus::StringAlignmentCenter
                                : t.alignment == 2 ? Gdiplus::StringAlignmentFar
                                                   : Gdiplus::StringAlignmentNear);
            format.SetLineAlignment(t.top ? Gdiplus::StringAlignmentNear : Gdiplus::StringAlignmentCenter);
            float size = 0.0f;
            CString shown;
            FitOnOneLine(graphics, t, format, &size, &shown);
            const Gdiplus::Font font(u"Arial", size, t.bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular,
                                     Gdiplus::UnitPixel);
            const Gdiplus::SolidBrush brush{Gdiplus::Color(t.colour)};
            graphics.DrawString(
                shown.GetString(), shown.GetLength(), &font,
                Gdiplus::RectF(static_cast<Gdiplus::REAL>(t.x), static_cast<Gdiplus::REAL>(t.y),
                               static_cast<Gdiplus::REAL>(t.width), static_cast<Gdiplus::REAL>(t.height)),
                &format, &brush);
        }
    }
    m_pSharePicture = std::move(picture);

    const std::u16string path = m_strSharePicturePath.str();
    // A name that no file can carry is a save that failed.
    const bool nameable = !path.empty() && !vxsys::HasUnpairedSurrogate(path);
    Gdiplus::CLSID jpeg;
    if (nameable && UIFactory::GetEncoderClsid(u"image/jpeg", &jpeg) >= 0 &&
        m_pSharePicture->Save(path.c_str(), &jpeg, nullptr) == Gdiplus::Ok)
    {
        m_bSharePictureSaved = TRUE;
        return 1;
    }
    // The page still shows the picture, but what is at the path is an older one (or a cut-short
    // one): it goes, so the mail step finds nothing to send rather than the wrong picture. A folder
    // of that name is left alone.
    if (nameable)
    {
        const std::string file = vxsys::Utf16ToUtf8(path);
        if (vxsys::IsRegularFile(file))
            vxsys::DeleteFile(file);
    }
    return 1;
}
