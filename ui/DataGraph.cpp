#include "ui/DataGraph.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sys/TextConvert.h"

namespace
{
// The arrow pictures are stored once, under the language the tables use.
constexpr WORD kPictureLanguage = 1033;
constexpr float kGridWidth = 1.5f;
constexpr int kGridLines = 10;
constexpr float kMarkWidth = 5.0f;
constexpr float kMarkLength = 20.0f;
constexpr float kLineHitHalf = 5.0f;
constexpr float kZoneCaptionSize = 12.0f;
constexpr float kZoneCaptionGap = 6.0f; // between the widest value label and the zone caption

// Languages whose title stands upright, one character under the other.
bool UprightTitle(WORD language)
{
    return language == 2052 || language == 1028;
}

// A value as drawn: nothing below the base line, and no value the scale cannot place.
float Drawable(float value)
{
    return std::isfinite(value) && value > 0.0f ? value : 0.0f;
}

// One character per line, a surrogate pair kept together.
std::u16string OnePerLine(const CString &text)
{
    const std::u16string &s = text.str();
    std::u16string out;
    for (std::size_t i = 0; i < s.size();)
    {
        if (!out.empty())
            out.push_back(u'\n');
        const std::size_t units = vxsys::Utf16CharAt(s, i).units;
        out.append(s, i, units);
        i += units;
    }
    return out;
}

void Text(Gdiplus::Graphics &g, const CString &text, const CString &face, float size, int style, ARGB color,
          const Gdiplus::RectF &box, Gdiplus::StringAlignment align, Gdiplus::StringAlignment lineAlign,
          int flags = 0)
{
    if (text.IsEmpty())
        return;
    Gdiplus::Font font(face.GetString(), size, style, Gdiplus::UnitPoint);
    Gdiplus::StringFormat format(flags);
    format.SetAlignment(align);
    format.SetLineAlignment(lineAlign);
    Gdiplus::SolidBrush brush{Gdiplus::Color(color)};
    g.DrawString(text.GetString(), text.GetLength(), &font, box, &format, &brush);
}
// The preset's size for a point label, or a smaller one where the label would run into its
// neighbours' slots (the week names of some languages): half a point less at a time, down to the
// smallest size that is still read.
float FittedSize(Gdiplus::Graphics &g, const CString &text, const CString &face, float size, float width)
{
    constexpr float kSmallest = 6.0f;
    if (text.IsEmpty() || !(width > 0.0f))
        return size;
    Gdiplus::StringFormat format(Gdiplus::StringFormatFlagsNoWrap);
    for (float tried = size; tried > kSmallest; tried -= 0.5f)
    {
        Gdiplus::Font font(face.GetString(), tried, Gdiplus::FontStyleRegular, Gdiplus::UnitPoint);
        Gdiplus::RectF measured;
        if (g.MeasureString(text.GetString(), text.GetLength(), &font, Gdiplus::PointF(0.0f, 0.0f), &format,
                            &measured) != Gdiplus::Ok)
            return size;
        // Two pixels of white on each side keep neighbouring labels apart.
        if (measured.Width <= width - 4.0f)
            return tried;
    }
    return std::min(size, kSmallest);
}
} // namespace

CDataGraph::CDataGraph(GraphPointPickedCallback onPoint, GraphArrowCallback onPrevious,
                       GraphArrowCallback onNext)
    : m_pfnPoint(onPoint), m_pfnPrevious(onPrevious), m_pfnNext(onNext)
{
    m_lastSettings.m_series.clear();
}

CDataGraph::~CDataGraph()
{
    if (m_hWnd)
        DestroyWindow();
}

void CDataGraph::ClearHits()
{
    for (auto &row : m_rcPoints)
        for (Gdiplus::RectF &r : row)
            r = Gdiplus::RectF();
    m_rcPrevious = Gdiplus::RectF();
    m_rcNext = Gdiplus::RectF();
    m_nHitPoints = 0;
    m_nHitSeries = 0;
}

BOOL CDataGraph::Create(LPCWSTR text, DWORD style, const RECT &rect, CWnd *parent, UINT id)
{
    m_nWidth = rect.right - rect.left;
    m_nHeight = rect.bottom - rect.top;
    m_pBuffer.reset();
    if (m_nWidth > 0 && m_nHeight > 0)
    {
        m_pBuffer = std::make_unique<Gdiplus::Bitmap>(m_nWidth, m_nHeight, Gdiplus::PixelFormat32bppARGB);
        Gdiplus::Graphics g(m_pBuffer.get());
        g.Clear(Gdiplus::Color(m_crBackground));
    }
    // A new window shows nothing yet, so nothing of it can be hit.
    ClearHits();
    m_ImageAttributes.SetColorKey(Gdiplus::Color(m_crBackground), Gdiplus::Color(m_crBackground));
    return CStatic::Create(text, style, rect, parent, id);
}

void CDataGraph::Draw(CDC *)
{
    // The chart paints in its own paint handler.
}

Gdiplus::RectF CDataGraph::GetPointRect(UINT point, UINT series) const
{
    if (point >= GraphSettings::kMaxPoints || series >= GraphSettings::kMaxSeries)
        return Gdiplus::RectF();
    return m_rcPoints[point][series];
}

CString CDataGraph::GetValueLabel(int k) const
{
    return k >= 0 && k < 4 ? m_strValueLabels[k] : CString();
}

double CDataGraph::ScaleTop(double largest)
{
    if (!std::isfinite(largest) || largest <= 0.0)
        return 1.0;
    const double p = std::pow(10.0, std::floor(std::log10(largest)));
    double top = 10.0 * p;
    if (p >= largest)
        top = p;
    else if (2.0 * p >= largest)
        top = 2.0 * p;
    else if (5.0 * p >= largest)
        top = 5.0 * p;
    return top < 1.0 ? 1.0 : top;
}

float CDataGraph::PlotHeight(const GraphSettings &s) const
{
    return static_cast<float>(static_cast<std::int64_t>(m_nHeight) - s.m_nBottomBand);
}

float CDataGraph::ValueY(float value) const
{
    return static_cast<float>((m_dScaleTop - static_cast<double>(value)) * m_fPixelsPerUnit);
}

void CDataGraph::Draw(const GraphSettings *settings, WORD language)
{
    // Whatever was hit-testable belonged to the last drawing; nothing of it may stay clickable.
    ClearHits();
    for (CString &label : m_strValueLabels)
        label.Empty();
    m_lastSettings = settings ? *settings : GraphSettings();
    if (!settings)
        m_lastSettings.m_series.clear();
    const GraphSettings &s = m_lastSettings;

    if (m_pBuffer)
    {
        Gdiplus::Graphics g(m_pBuffer.get());
        g.Clear(Gdiplus::Color(m_crBackground));
        if (settings)
        {
            DrawTitle(g, s, language);
            DrawArrows(g, s);

            const GraphSeries *first = s.m_series.empty() ? nullptr : &s.m_series.front();
            float slot = 0.0f;
            if (first && !first->m_points.empty())
            {
                m_nHitSeries =
                    static_cast<UINT>(std::min<std::size_t>(s.m_series.size(), GraphSettings::kMaxSeries));
                m_nHitPoints = static_cast<UINT>(
                    std::min<std::size_t>(first->m_points.size(), GraphSettings::kMaxPoints));
                const double room =
                    static_cast<double>(m_nWidth) - s.m_nPlotStart - s.m_nLeftMargin - s.m_nRightMargin;
                slot = std::max(0.0f, static_cast<float>(room) / static_cast<float>(m_nHitPoints));
                DrawPointLabels(g, s, slot);
            }

            // The scale covers every value drawn and, with the zone on, the zone's top.
            const float zoneLower = std::min(Drawable(s.m_fZoneLower), Drawable(s.m_fZoneUpper));
            const float zoneUpper = std::max(Drawable(s.m_fZoneLower), Drawable(s.m_fZoneUpper));
            double largest = 0.0;
            for (UINT k = 0; k < m_nHitSeries; ++k)
            {
                const auto &points = s.m_series[k].m_points;
                for (std::size_t i = 0; i < std::min<std::size_t>(points.size(), m_nHitPoints); ++i)
                    largest = std::max(largest, static_cast<double>(Drawable(points[i].m_fValue)));
            }
            if (s.m_bZone && zoneUpper > largest)
                largest = zoneUpper;
            m_dScaleTop = ScaleTop(largest);
            const float plotHeight = PlotHeight(s);
            m_fPixelsPerUnit = static_cast<float>(plotHeight / m_dScaleTop);
            const float gridStep = plotHeight / kGridLines;

            const float valueLabelsWidth = LayOutValueLabels(g, s);
            if (s.m_bZone)
            {
                const float top = ValueY(zoneUpper);
                const float bottom = ValueY(zoneLower);
                const float left = static_cast<float>(s.m_nLeftMargin);
                const float width = static_cast<float>(m_nWidth) - left;
                Gdiplus::SolidBrush fill{Gdiplus::Color(kZoneColor)};
                g.FillRectangle(&fill, Gdiplus::RectF(left, top, width, bottom - top));
                // The caption stands on the page just above the zone's left end, or just below
                // it when the zone reaches the top, in the colour of the chart's other texts: in
                // the zone's own light grey it could hardly be read on the light page. It begins
                // a space after the value labels, which share those rows.
                const float captionHeight = kZoneCaptionSize * 96.0f / 72.0f + 4.0f;
                const bool above = top >= captionHeight;
                const float captionLeft = left + valueLabelsWidth + kZoneCaptionGap;
                const Gdiplus::RectF box(captionLeft, above ? top - captionHeight : bottom,
                                         static_cast<float>(m_nWidth) - captionLeft, captionHeight);
                Text(g, s.m_strZoneCaption, s.m_strUnitFont, kZoneCaptionSize, Gdiplus::FontStyleBold,
                     s.m_crTitle, box, Gdiplus::StringAlignmentNear,
                     above ? Gdiplus::StringAlignmentFar : Gdiplus::StringAlignmentNear,
                     Gdiplus::StringFormatFlagsNoWrap);
            }

            Gdiplus::Pen grid(Gdiplus::Color(s.m_crGrid), kGridWidth);
            for (int k = 1; k <= kGridLines; ++k)
            {
                const float y = static_cast<float>(k) * gridStep;
                g.DrawLine(&grid, static_cast<float>(s.m_nLeftMargin), y, static_cast<float>(m_nWidth), y);
            }

            if (m_nHitPoints > 0)
                DrawSeries(g, s, slot);
            DrawValueLabels(g, s);
        }
    }
    if (m_hWnd)
        Invalidate(TRUE);
}

void CDataGraph::DrawTitle(Gdiplus::Graphics &g, const GraphSettings &s, WORD language)
{
    const Gdiplus::RectF box(0.0f, 0.0f, static_cast<float>(s.m_nLeftMargin), static_cast<float>(m_nHeight));
    const float size = static_cast<float>(s.m_nTitleFontSize);
    if (UprightTitle(language))
    {
        Text(g, CString(OnePerLine(s.m_strTitle)), s.m_strTitleFont, size, Gdiplus::FontStyleBold,
             s.m_crTitle, box, Gdiplus::StringAlignmentCenter, Gdiplus::StringAlignmentCenter);
        return;
    }
    // Vertical text runs down the page; turned half a turn inside its own column it runs up
    // the left edge, read from the bottom.
    g.RotateTransform(180.0f);
    g.TranslateTransform(-box.Width, -box.Height);
    Text(g, s.m_strTitle, s.m_strTitleFont, size, Gdiplus::FontStyleBold, s.m_crTitle, box,
         Gdiplus::StringAlignmentCenter, Gdiplus::StringAlignmentCenter,
         Gdiplus::StringFormatFlagsDirectionVertical | Gdiplus::StringFormatFlagsNoWrap);
    g.ResetTransform();
}

void CDataGraph::DrawArrows(Gdiplus::Graphics &g, const GraphSettings &s)
{
    for (const bool previous : {true, false})
    {
        Gdiplus::Image *loaded = nullptr;
        if (!LoadImageFromResource(previous ? kPreviousArrow : kNextArrow, u"BITMAP", &loaded,
                                   kPictureLanguage))
            continue;
        const std::unique_ptr<Gdiplus::Image> picture(loaded);
        const int width = static_cast<int>(picture->GetWidth());
        const int height = static_cast<int>(picture->GetHeight());
        if (width <= 0 || height <= 0)
            continue;
        const std::int64_t band = s.m_nBottomBand;
        const float top = static_cast<float>(m_nHeight - band + (band - height) / 2);
        const float left = static_cast<float>(previous ? s.m_nLeftMargin : m_nWidth - width);
        const Gdiplus::RectF place(left, top, static_cast<float>(width), static_cast<float>(height));
        g.DrawImage(picture.get(), place);
        (previous ? m_rcPrevious : m_rcNext) = place;
    }
}

void CDataGraph::DrawPointLabels(Gdiplus::Graphics &g, const GraphSettings &s, float slot)
{
    const auto &points = s.m_series.front().m_points;
    const float band = static_cast<float>(s.m_nBottomBand);
    const float bandTop = static_cast<float>(m_nHeight) - band;
    for (UINT i = 0; i < m_nHitPoints; ++i)
    {
        const GraphPoint &point = points[i];
        const float left = static_cast<float>(s.m_nLeftMargin) + static_cast<float>(s.m_nPlotStart) +
                           static_cast<float>(i) * slot;
        const Gdiplus::RectF firstBox(left, bandTop, slot, band * 2.0f / 3.0f);
        const float firstSize = FittedSize(g, point.m_strFirstLabel, s.m_strFirstLabelFont,
                                           static_cast<float>(s.m_nFirstLabelFontSize), slot);
        Text(g, point.m_strFirstLabel, s.m_strFirstLabelFont, firstSize, Gdiplus::FontStyleRegular,
             s.m_crFirstLabel, firstBox, Gdiplus::StringAlignmentCenter, Gdiplus::StringAlignmentNear);

        // The second label starts a little above where the first one ends.
        float firstBottom = bandTop;
        if (!point.m_strFirstLabel.IsEmpty())
        {
            Gdiplus::Font font(s.m_strFirstLabelFont.GetString(), firstSize, Gdiplus::FontStyleRegular,
                               Gdiplus::UnitPoint);
            Gdiplus::StringFormat format;
            format.SetAlignment(Gdiplus::StringAlignmentCenter);
            Gdiplus::RectF measured;
            if (g.MeasureString(point.m_strFirstLabel.GetString(), point.m_strFirstLabel.GetLength(), &font,
                                firstBox, &format, &measured) == Gdiplus::Ok)
                firstBottom = measured.GetBottom();
        }
        const Gdiplus::RectF secondBox(left, firstBottom - 5.0f, slot, band / 3.0f);
        Text(g, point.m_strSecondLabel, s.m_strSecondLabelFont,
             FittedSize(g, point.m_strSecondLabel, s.m_strSecondLabelFont,
                        static_cast<float>(s.m_nSecondLabelFontSize), slot),
             Gdiplus::FontStyleRegular, s.m_crSecondLabel, secondBox, Gdiplus::StringAlignmentCenter,
             Gdiplus::StringAlignmentNear);

        if (static_cast<int>(i) == m_nSelectedPoint)
        {
            Gdiplus::Pen mark(Gdiplus::Color(kSelectionMark), kMarkWidth);
            mark.SetStartCap(Gdiplus::LineCapRound);
            mark.SetEndCap(Gdiplus::LineCapRound);
            const float centre = left + slot / 2.0f;
            // Under the labels, but never below the chart's own bottom edge.
            const float y = std::min(secondBox.GetBottom() + kMarkWidth / 2.0f,
                                     static_cast<float>(m_nHeight) - kMarkWidth / 2.0f);
            g.DrawLine(&mark, centre - kMarkLength / 2.0f, y, centre + kMarkLength / 2.0f, y);
        }
    }
}

void CDataGraph::DrawSeries(Gdiplus::Graphics &g, const GraphSettings &s, float slot)
{
    const float base = PlotHeight(s);
    const float plotLeft = static_cast<float>(s.m_nLeftMargin) + static_cast<float>(s.m_nPlotStart);
    if (s.m_nStyle == GraphSettings::kBarStyle)
    {
        float total = 0.0f;
        for (UINT k = 0; k < m_nHitSeries; ++k)
            total += s.m_series[k].m_fLineWidth;
        float before = 0.0f;
        for (UINT k = 0; k < m_nHitSeries; ++k)
        {
            const GraphSeries &series = s.m_series[k];
            // A series shorter than series 0 has bars only for its own points.
            const UINT count = static_cast<UINT>(std::min<std::size_t>(series.m_points.size(), m_nHitPoints));
            std::vector<Gdiplus::RectF> bars;
            for (UINT i = 0; i < count; ++i)
            {
                const float x = plotLeft + static_cast<float>(i) * slot + (slot - total) / 2.0f + before;
                const float y = ValueY(Drawable(series.m_points[i].m_fValue));
                m_rcPoints[i][k] = Gdiplus::RectF(x, y, series.m_fLineWidth, base - y);
                bars.push_back(m_rcPoints[i][k]);
            }
            if (!bars.empty())
            {
                Gdiplus::SolidBrush fill{Gdiplus::Color(series.m_crColor)};
                g.FillRectangles(&fill, bars.data(), static_cast<INT>(bars.size()));
            }
            before += series.m_fLineWidth;
        }
        return;
    }

    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    for (UINT k = 0; k < m_nHitSeries; ++k)
    {
        const GraphSeries &series = s.m_series[k];
        const UINT count = static_cast<UINT>(std::min<std::size_t>(series.m_points.size(), m_nHitPoints));
        std::vector<Gdiplus::PointF> line;
        for (UINT i = 0; i < count; ++i)
        {
            const float x = plotLeft + static_cast<float>(i) * slot + slot / 2.0f;
            const float y = ValueY(Drawable(series.m_points[i].m_fValue));
            m_rcPoints[i][k] =
                Gdiplus::RectF(x - kLineHitHalf, y - kLineHitHalf, 2 * kLineHitHalf, 2 * kLineHitHalf);
            line.emplace_back(x, y);
        }
        if (line.empty())
            continue;
        if (line.size() == 1)
        {
            // A line of one point has no length: it shows as a dot as wide as the pen, where the
            // point can be picked.
            const float d = series.m_fPointSize;
            if (d > 0.0f)
            {
                Gdiplus::SolidBrush dot{Gdiplus::Color(series.m_crColor)};
                g.FillEllipse(&dot, line[0].X - d / 2.0f, line[0].Y - d / 2.0f, d, d);
            }
            continue;
        }
        Gdiplus::Pen pen(Gdiplus::Color(series.m_crColor), series.m_fPointSize);
        pen.SetStartCap(Gdiplus::LineCapRound);
        pen.SetEndCap(Gdiplus::LineCapRound);
        pen.SetLineJoin(Gdiplus::LineJoinRound);
        g.DrawLines(&pen, line.data(), static_cast<INT>(line.size()));
    }
    g.SetSmoothingMode(Gdiplus::SmoothingModeNone);
}

float CDataGraph::LayOutValueLabels(Gdiplus::Graphics &g, const GraphSettings &s)
{
    float widest = 0.0f;
    int n = 0;
    for (int k = 2; k <= 8; k += 2, ++n)
    {
        const double value = m_dScaleTop - k * m_dScaleTop / kGridLines;
        m_strValueLabels[n].Format(u"%.1f%s", value, s.m_strUnit.GetString());
        // A label's box is the preset's width, or as wide as the label where a large scale (seven
        // digits and more) would cut the number.
        float width = static_cast<float>(s.m_nValueLabelWidth);
        Gdiplus::Font font(s.m_strUnitFont.GetString(), static_cast<float>(s.m_nUnitFontSize),
                           Gdiplus::FontStyleRegular, Gdiplus::UnitPoint);
        Gdiplus::StringFormat format(Gdiplus::StringFormatFlagsNoWrap);
        Gdiplus::RectF measured;
        if (g.MeasureString(m_strValueLabels[n].GetString(), m_strValueLabels[n].GetLength(), &font,
                            Gdiplus::PointF(0.0f, 0.0f), &format, &measured) == Gdiplus::Ok &&
            std::isfinite(measured.Width))
            width = std::max(width, std::ceil(measured.Width) + 1.0f);
        m_fValueLabelWidths[n] = width;
        widest = std::max(widest, width);
    }
    return widest;
}

void CDataGraph::DrawValueLabels(Gdiplus::Graphics &g, const GraphSettings &s)
{
    const float gridStep = PlotHeight(s) / kGridLines;
    int n = 0;
    for (int k = 2; k <= 8; k += 2, ++n)
    {
        // Each label sits on its own grid line.
        const Gdiplus::RectF box(static_cast<float>(s.m_nLeftMargin), static_cast<float>(k - 1) * gridStep,
                                 m_fValueLabelWidths[n], gridStep);
        Text(g, m_strValueLabels[n], s.m_strUnitFont, static_cast<float>(s.m_nUnitFontSize),
             Gdiplus::FontStyleRegular, s.m_crTitle, box, Gdiplus::StringAlignmentNear,
             Gdiplus::StringAlignmentFar, Gdiplus::StringFormatFlagsNoWrap);
    }
}

void CDataGraph::OnPaint()
{
    CPaintDC dc(this);
    if (!m_pBuffer || !dc.Painter())
        return;
    Gdiplus::Graphics g(dc.Painter());
    // The white of the buffer is keyed out: the page shows through wherever the chart is blank.
    // The paint itself keeps the copy to the update rectangle.
    const Gdiplus::Rect whole(0, 0, m_nWidth, m_nHeight);
    g.DrawImage(m_pBuffer.get(), whole, 0, 0, m_nWidth, m_nHeight, Gdiplus::UnitPixel, &m_ImageAttributes);
}

bool CDataGraph::StillHere(const std::weak_ptr<int> &life, const CDataGraph *self, HWND window)
{
    return !life.expired() && self->m_hWnd == window;
}

void CDataGraph::OnLButtonDown(UINT, CPoint point)
{
    // Every callback may rebuild the chart (a new window, new rectangles) or delete it: after
    // each one the press goes on only while this chart still lives in the window it came to.
    const std::weak_ptr<int> life = LifeToken();
    const HWND window = m_hWnd;
    const UINT id = static_cast<UINT>(GetDlgCtrlID());
    const float x = static_cast<float>(point.x);
    const float y = static_cast<float>(point.y);

    if (m_rcPrevious.Contains(x, y) && m_pfnPrevious)
    {
        m_pfnPrevious(id);
        if (!StillHere(life, this, window))
            return;
    }
    if (m_rcNext.Contains(x, y) && m_pfnNext)
    {
        m_pfnNext(id);
        if (!StillHere(life, this, window))
            return;
    }
    for (UINT i = 0; i < std::min<UINT>(m_nHitPoints, GraphSettings::kMaxPoints); ++i)
    {
        for (UINT k = 0; k < std::min<UINT>(m_nHitSeries, GraphSettings::kMaxSeries); ++k)
        {
            if (!m_rcPoints[i][k].Contains(x, y))
                continue;
            m_nPrevSelectedPoint = m_nSelectedPoint;
            m_nSelectedPoint = static_cast<int>(i);
            if (m_pfnPoint)
            {
                m_pfnPoint(id, static_cast<int>(i));
                if (!StillHere(life, this, window))
                    return;
            }
            break;
        }
    }
    Default();
}
