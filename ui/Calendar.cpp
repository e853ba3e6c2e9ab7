#include "ui/Calendar.h"

#include <algorithm>

#include "platform/sys/LocalTime.h"
#include "store/DateTime.h"
#include "store/PackedDate.h"
#include "ui/UIListBoxText.h"

namespace
{
constexpr UINT kWeekdayNames[7] = {282, 283, 284, 285, 286, 287, 281}; // Monday .. Sunday
constexpr UINT kTodayCaption = 288;
constexpr UINT kFirstMonthName = 307;
constexpr UINT kMonthCaption = 586;
constexpr UINT kStepBackBitmap = 149;
constexpr UINT kStepForwardBitmap = 150;
constexpr UINT kPrevMonthBitmap = 151;
constexpr UINT kNextMonthBitmap = 152;
constexpr WORD kImageLanguage = 1033;

constexpr ARGB kHeaderFill = 0xFFA7A9AC;
constexpr ARGB kGridFrame = 0xFFB1B3B6;
constexpr ARGB kWeekdayText = 0xFFFFFFFF;
constexpr ARGB kDayFill = 0xFFFFFFFF;
constexpr ARGB kDayOutline = 0xFFE8E8E9;
constexpr ARGB kDayText = 0xFF919294;
constexpr ARGB kTodayMark = 0xFFF7A157;
constexpr ARGB kSelection = 0xFF8DD8F8;
constexpr ARGB kTodayText = 0xFF919294;
constexpr ARGB kCaptionText = 0xFF919294;
constexpr float kWeekdayFontSize = 7.0f;
constexpr float kDayFontSize = 8.0f;
constexpr float kCaptionFontSize = 10.0f;

using Gdiplus::REAL;
using Gdiplus::RectF;

std::u16string Load(UINT id, WORD language)
{
    CString text;
    text.LoadString(nullptr, id, language);
    return text.str();
}

// Monday 1 .. Sunday 7 of a calendar date (1970-01-01 was a Thursday).
int IsoWeekday(int year, int month, int day)
{
    const int64_t days =
        vxtime::DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const int64_t fromMonday = ((days + 3) % 7 + 7) % 7;
    return static_cast<int>(fromMonday) + 1;
}

int DaysInMonth(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && vxtime::IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool LocalMidnight(int year, int month, int day, int64_t *out)
{
    return vxsys::LocalTimeFromFields(vxsys::LocalFields{year, month, day, 0, 0, 0, 0}, out);
}

std::unique_ptr<Gdiplus::Image> LoadBitmapResource(UIFactory &factory, UINT id)
{
    Gdiplus::Image *image = nullptr;
    if (!factory.LoadImageFromResource(id, u"BITMAP", &image, kImageLanguage))
        return nullptr;
    return std::unique_ptr<Gdiplus::Image>(image);
}

REAL Width(const std::unique_ptr<Gdiplus::Image> &image)
{
    return image ? static_cast<REAL>(image->GetWidth()) : 0.0f;
}

REAL Height(const std::unique_ptr<Gdiplus::Image> &image)
{
    return image ? static_cast<REAL>(image->GetHeight()) : 0.0f;
}

Gdiplus::StringFormat Centred()
{
    Gdiplus::StringFormat format;
    format.SetAlignment(Gdiplus::StringAlignmentCenter);
    format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
    return format;
}

void DrawCentred(Gdiplus::Graphics &g, const std::u16string &text, float points, ARGB colour,
                 const RectF &box)
{
    Gdiplus::FontFamily family(u"Arial");
    Gdiplus::Font font(&family, points, Gdiplus::FontStyleRegular, Gdiplus::UnitPoint);
    Gdiplus::SolidBrush brush{Gdiplus::Color(colour)};
    const Gdiplus::StringFormat format = Centred();
    g.DrawString(text.c_str(), static_cast<Gdiplus::INT>(text.size()), &font, box, &format, &brush);
}

void Outline(Gdiplus::Graphics &g, ARGB colour, REAL width, const RectF &r)
{
    Gdiplus::Pen pen(Gdiplus::Color(colour), width);
    g.DrawRectangle(&pen, r);
}

void Fill(Gdiplus::Graphics &g, ARGB colour, const RectF &r)
{
    Gdiplus::SolidBrush brush{Gdiplus::Color(colour)};
    g.FillRectangle(&brush, r);
}
} // namespace

namespace vxui
{
std::u16string CalendarCaption(WORD language, int year, int month)
{
    const std::u16string name =
        month >= 1 && month <= 12 ? Load(kFirstMonthName + static_cast<UINT>(month) - 1, language) : u"";
    return FillDatePattern(Load(kMonthCaption, language), vxtime::PackDate(year, month, 1), name, false);
}
} // namespace vxui

CCalendar::CCalendar(WORD language)
    : m_wLanguage(language), m_fTodayFontSize(language == 2052 || language == 1028 ? 9.0f : 7.0f)
{
    m_tSelected = vxsys::CurrentTime();
    m_tShown = m_tSelected;
    for (int i = 0; i < 7; ++i)
        m_strWeekdays[i] = Load(kWeekdayNames[i], language);
    m_strToday = Load(kTodayCaption, language);
    for (int i = 0; i < 12; ++i)
        m_strMonths[i] = Load(kFirstMonthName + static_cast<UINT>(i), language);
}

CCalendar::~CCalendar()
{
    if (m_hWnd)
        DestroyWindow();
}

BOOL CCalendar::Create(LPCWSTR text, DWORD style, const RECT &rect, CWnd *parent, UINT id)
{
    m_nFullWidth = std::max<int>(0, rect.right - rect.left);
    m_nFullHeight = std::max<int>(0, rect.bottom - rect.top);
    m_pBackBuffer = std::make_unique<Gdiplus::Bitmap>(std::max(1, m_nFullWidth), std::max(1, m_nFullHeight),
                                                      Gdiplus::PixelFormat32bppARGB);
    {
        Gdiplus::Graphics g(m_pBackBuffer.get());
        g.Clear(Gdiplus::Color(0xFFFFFFFF));
    }
    m_nWidth = m_nFullWidth - 4;
    m_nHeight = m_nFullHeight - 4;
    return CStatic::Create(text, style, rect, parent, id);
}

void CCalendar::SetViewMode(int mode)
{
    m_nViewMode = mode == 1 ? 1 : 0;
    Redraw();
}

std::u16string CCalendar::GetMonthName(int month) const
{
    if (month < 1 || month > 12)
        return {};
    return m_strMonths[month - 1];
}

float CCalendar::CellHeight() const
{
    return static_cast<float>(m_nHeight - kTopBar - kBottomBar) / 7.0f;
}

RectF CCalendar::GetDayCellRect(int64_t date) const
{
    vxsys::LocalFields f{};
    if (!vxsys::LocalFieldsFromTime(date, &f))
        return RectF();
    const int first = IsoWeekday(f.year, f.month, 1);
    const int row = (f.day + first - 2) / 7 + 1;
    const int column = IsoWeekday(f.year, f.month, f.day) - 1;
    const REAL columnWidth = static_cast<REAL>(m_nWidth) / 7.0f;
    const REAL c = CellHeight();
    return RectF(static_cast<REAL>(column) * columnWidth, static_cast<REAL>(row) * c + kTopBar, columnWidth,
                 c);
}

RectF CCalendar::GetDayCell(int day) const
{
    if (day < 1 || day > 31)
        return RectF();
    return m_rcDays[day - 1];
}

void CCalendar::DrawDayNumber(Gdiplus::Graphics &g, int day, const RectF &cell) const
{
    DrawCentred(g, vxwin::FormatW(u"%d", day), kDayFontSize, kDayText, cell);
}

void CCalendar::Redraw()
{
    if (!m_pBackBuffer)
        return;
    const REAL W = static_cast<REAL>(m_nWidth);
    const REAL H = static_cast<REAL>(m_nHeight);
    const REAL columnWidth = W / 7.0f;
    const REAL c = CellHeight();
    {
        Gdiplus::Graphics g(m_pBackBuffer.get());
        g.Clear(Gdiplus::Color(0xFFFFFFFF));

        // Top bar: the step arrows and "Today" between them.
        auto back = LoadBitmapResource(*this, kStepBackBitmap);
        auto forward = LoadBitmapResource(*this, kStepForwardBitmap);
        const int backTop = (kTopBar - static_cast<int>(Height(back))) / 2;
        const int forwardTop = (kTopBar - static_cast<int>(Height(forward))) / 2;
        m_rcStepBack = RectF(0.0f, static_cast<REAL>(backTop), Width(back), Height(back));
        m_rcStepForward =
            RectF(W - Width(forward), static_cast<REAL>(forwardTop), Width(forward), Height(forward));
        if (back)
            g.DrawImage(back.get(), m_rcStepBack);
        if (forward)
            g.DrawImage(forward.get(), m_rcStepForward);
        const REAL todayInset = Width(forward) + 30.0f;
        m_rcToday = RectF(todayInset, 0.0f, W - 2.0f * todayInset, static_cast<REAL>(kTopBar));
        DrawCentred(g, m_strToday, m_fTodayFontSize, kTodayText, m_rcToday);

        // Bottom bar: the month arrows and the month on show.
        auto prev = LoadBitmapResource(*this, kPrevMonthBitmap);
        auto next = LoadBitmapResource(*this, kNextMonthBitmap);
        m_rcPrevMonth =
            RectF(5.0f, (kBottomBar - Height(prev)) * 0.5f + (H - kBottomBar), Width(prev), Height(prev));
        m_rcNextMonth = RectF(W - Width(next) - 5.0f, (kBottomBar - Height(next)) * 0.5f + (H - kBottomBar),
                              Width(next), Height(next));
        if (prev)
            g.DrawImage(prev.get(), m_rcPrevMonth);
        if (next)
            g.DrawImage(next.get(), m_rcNextMonth);
        vxsys::LocalFields shown{};
        const bool shownKnown = vxsys::LocalFieldsFromTime(m_tShown, &shown);
        m_strMonthCaption = shownKnown ? vxui::CalendarCaption(m_wLanguage, shown.year, shown.month) : u"";
        const REAL captionInset = Width(next) + 30.0f;
        DrawCentred(
            g, m_strMonthCaption, kCaptionFontSize, kCaptionText,
            RectF(captionInset, H - kBottomBar, W - 2.0f * captionInset, static_cast<REAL>(kBottomBar)));

        // The grid over its shadow.
        {
            const RectF area(0.0f, static_cast<REAL>(kTopBar), static_cast<REAL>(m_nFullWidth),
                             static_cast<REAL>(m_nFullHeight - kTopBar - kBottomBar));
            Gdiplus::GraphicsPath path;
            path.AddRectangle(area);
            Gdiplus::PathGradientBrush shadow(&path);
            shadow.SetWrapMode(Gdiplus::WrapModeClamp);
            const Gdiplus::Color colours[3] = {Gdiplus::Color(0x00FFFFFF), Gdiplus::Color(0xB4696969),
                                               Gdiplus::Color(0xB4696969)};
            const REAL positions[3] = {0.0f, 0.1f, 1.0f};
            shadow.SetInterpolationColors(colours, positions, 3);
            g.FillRectangle(&shadow, area);
        }
        for (int column = 0; column < 7; ++column)
        {
            const RectF cell(static_cast<REAL>(column) * columnWidth, static_cast<REAL>(kTopBar), columnWidth,
                             c);
            Fill(g, kHeaderFill, cell);
            Outline(g, kGridFrame, 1.0f, cell);
            DrawCentred(g, m_strWeekdays[column], kWeekdayFontSize, kWeekdayText, cell);
        }
        for (int row = 1; row <= 6; ++row)
            for (int column = 0; column < 7; ++column)
            {
                const RectF cell(static_cast<REAL>(column) * columnWidth,
                                 static_cast<REAL>(row) * c + kTopBar, columnWidth, c);
                Fill(g, kDayFill, cell);
                Outline(g, kDayOutline, 1.0f, cell);
            }

        // The days of the month on show, counted on the calendar.
        for (RectF &cell : m_rcDays)
            cell = RectF();
        if (shownKnown)
        {
            const int first = IsoWeekday(shown.year, shown.month, 1);
            for (int day = 1; day <= DaysInMonth(shown.year, shown.month); ++day)
            {
                const int row = (day + first - 2) / 7 + 1;
                const int column = IsoWeekday(shown.year, shown.month, day) - 1;
                const RectF cell(static_cast<REAL>(column) * columnWidth,
                                 static_cast<REAL>(row) * c + kTopBar, columnWidth, c);
                Fill(g, kDayFill, cell);
                DrawDayNumber(g, day, cell);
                Outline(g, kDayOutline, 1.0f, cell);
                m_rcDays[day - 1] = cell;
            }
        }

        vxsys::LocalFields selected{};
        const bool selectionShown = shownKnown && vxsys::LocalFieldsFromTime(m_tSelected, &selected) &&
                                    selected.year == shown.year && selected.month == shown.month;
        vxsys::LocalFields today{};
        const int64_t now = vxsys::CurrentTime();
        const bool todayShown = shownKnown && vxsys::LocalFieldsFromTime(now, &today) &&
                                today.year == shown.year && today.month == shown.month;

        auto drawSelection = [&] {
            if (!selectionShown)
                return;
            const RectF cell = GetDayCellRect(m_tSelected);
            if (m_nViewMode == 0)
            {
                Fill(g, kSelection, cell);
                DrawDayNumber(g, selected.day, cell);
                Outline(g, kDayOutline, 1.0f, cell);
            }
            else
            {
                Outline(g, kSelection, 2.0f, RectF(1.0f, cell.Y + 1.0f, W - 2.0f, c - 2.0f));
            }
        };
        auto drawFrame = [&] {
            Outline(g, kGridFrame, 1.0f,
                    RectF(0.5f, static_cast<REAL>(kTopBar), W, H - kTopBar - kBottomBar));
        };
        auto drawToday = [&] {
            if (!todayShown)
                return;
            RectF cell = GetDayCellRect(now);
            if (m_nViewMode == 1)
            {
                cell.X = 0.0f;
                cell.Width = W;
            }
            Outline(g, kTodayMark, 2.0f,
                    RectF(cell.X + 1.0f, cell.Y + 1.0f, cell.Width - 2.0f, cell.Height - 2.0f));
        };
        if (m_nViewMode == 0)
        {
            drawSelection();
            drawFrame();
            drawToday();
        }
        else
        {
            drawFrame();
            drawToday();
            drawSelection();
        }
    }
    if (m_hWnd)
        Invalidate(TRUE);
}

BOOL CCalendar::OnEraseBkgnd(CDC *)
{
    // The back buffer covers the whole window.
    return TRUE;
}

void CCalendar::OnPaint()
{
    CPaintDC dc(this);
    if (!m_pBackBuffer)
        return;
    // Only the update region reaches the screen; the copy is the same pixels wherever it is cut.
    Gdiplus::Graphics g(dc.Painter());
    g.DrawImage(m_pBackBuffer.get(), 0, 0);
}

bool CCalendar::Step(int days)
{
    vxsys::LocalFields f{};
    if (!vxsys::LocalFieldsFromTime(m_tSelected, &f))
        return false;
    const vxtime::CivilDate date = vxtime::CivilFromDays(
        vxtime::DaysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day)) + days);
    if (date.year < 1970 || (date.year == 1970 && date.month < 3) || date.year >= 2038)
        return false;
    vxsys::LocalFields target{static_cast<int>(date.year),
                              static_cast<int>(date.month),
                              static_cast<int>(date.day),
                              f.hour,
                              f.minute,
                              f.second,
                              0};
    int64_t candidate = 0;
    if (!vxsys::LocalTimeFromFields(target, &candidate))
        return false;
    m_tSelected = candidate;
    m_tShown = candidate;
    Redraw();
    return true;
}

void CCalendar::NotifyPicked()
{
    if (m_pfnDatePicked)
        m_pfnDatePicked(GetDlgCtrlID(), m_tSelected);
}

void CCalendar::StepBack()
{
    if (Step(m_nViewMode == 1 ? -7 : -1))
        NotifyPicked();
}

void CCalendar::StepForward()
{
    if (Step(m_nViewMode == 1 ? 7 : 1))
        NotifyPicked();
}

bool CCalendar::Click(CPoint point)
{
    const REAL x = static_cast<REAL>(point.x);
    const REAL y = static_cast<REAL>(point.y);
    if (m_rcStepBack.Contains(x, y))
        return Step(m_nViewMode == 1 ? -7 : -1);
    if (m_rcStepForward.Contains(x, y))
        return Step(m_nViewMode == 1 ? 7 : 1);
    if (m_rcToday.Contains(x, y))
    {
        m_tShown = vxsys::CurrentTime();
        Redraw();
        return false;
    }
    if (m_rcPrevMonth.Contains(x, y))
    {
        int64_t limit = 0;
        vxsys::LocalFields f{};
        if (LocalMidnight(1970, 4, 1, &limit) && m_tShown >= limit &&
            vxsys::LocalFieldsFromTime(m_tShown, &f))
        {
            const int year = f.month == 1 ? f.year - 1 : f.year;
            const int month = f.month == 1 ? 12 : f.month - 1;
            int64_t first = 0;
            if (LocalMidnight(year, month, 1, &first))
            {
                m_tShown = first;
                Redraw();
            }
        }
        return false;
    }
    if (m_rcNextMonth.Contains(x, y))
    {
        int64_t limit = 0;
        vxsys::LocalFields f{};
        if (LocalMidnight(2037, 12, 1, &limit) && m_tShown < limit &&
            vxsys::LocalFieldsFromTime(m_tShown, &f))
        {
            const int year = f.month == 12 ? f.year + 1 : f.year;
            const int month = f.month == 12 ? 1 : f.month + 1;
            int64_t first = 0;
            if (LocalMidnight(year, month, 1, &first))
            {
                m_tShown = first;
                Redraw();
            }
        }
        return false;
    }
    for (int day = 1; day <= 31; ++day)
    {
        const RectF &cell = m_rcDays[day - 1];
        if (cell.IsEmptyArea() || !cell.Contains(x, y))
            continue;
        vxsys::LocalFields shown{};
        int64_t picked = 0;
        if (!vxsys::LocalFieldsFromTime(m_tShown, &shown) ||
            !LocalMidnight(shown.year, shown.month, day, &picked))
            return false;
        m_tSelected = picked;
        Redraw();
        return true;
    }
    return false;
}

void CCalendar::OnLButtonDown(UINT, CPoint point)
{
    const bool picked = Click(point);
    const std::weak_ptr<int> life = LifeToken();
    Default();
    // The owner may rebuild its page on hearing of the new date: the callback comes last.
    if (picked && !life.expired())
        NotifyPicked();
}

void CCalendar::OnLButtonDblClk(UINT, CPoint point)
{
    const bool picked = Click(point);
    const std::weak_ptr<int> life = LifeToken();
    Default();
    if (picked && !life.expired())
        NotifyPicked();
}
