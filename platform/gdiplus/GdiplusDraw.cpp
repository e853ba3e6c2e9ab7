#include "platform/gdiplus/Gdiplus.h"

#include <QBrush>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace Gdiplus
{
namespace
{
QColor ToQColor(const Color &c)
{
    return QColor::fromRgba(c.GetValue());
}

BYTE Mix(BYTE a, BYTE b, REAL t)
{
    return BYTE(std::lround(REAL(a) + (REAL(b) - REAL(a)) * t));
}

ARGB Interpolate(const Color &a, const Color &b, REAL t)
{
    return Color::MakeARGB(Mix(a.GetA(), b.GetA(), t), Mix(a.GetR(), b.GetR(), t), Mix(a.GetG(), b.GetG(), t),
                           Mix(a.GetB(), b.GetB(), t));
}
} // namespace

// ---- SolidBrush ---------------------------------------------------------------------------------------

Status SolidBrush::GetColor(Color *color) const
{
    if (!color)
        return m_lastStatus = InvalidParameter;
    *color = m_color;
    return m_lastStatus = Ok;
}

Status SolidBrush::SetColor(const Color &color)
{
    m_color = color;
    return m_lastStatus = Ok;
}

void SolidBrush::FillQtPath(QPainter &painter, const QPainterPath &path) const
{
    painter.fillPath(path, QBrush(ToQColor(m_color)));
}

// ---- LinearGradientBrush ------------------------------------------------------------------------------

LinearGradientBrush::LinearGradientBrush(const RectF &rect, const Color &color1, const Color &color2,
                                         LinearGradientMode mode)
    : m_colors{color1, color2}
{
    switch (mode)
    {
    case LinearGradientModeVertical:
        m_start = PointF(rect.X, rect.Y);
        m_end = PointF(rect.X, rect.Y + rect.Height);
        break;
    case LinearGradientModeForwardDiagonal:
        m_start = PointF(rect.X, rect.Y);
        m_end = PointF(rect.X + rect.Width, rect.Y + rect.Height);
        break;
    case LinearGradientModeBackwardDiagonal:
        m_start = PointF(rect.X + rect.Width, rect.Y);
        m_end = PointF(rect.X, rect.Y + rect.Height);
        break;
    case LinearGradientModeHorizontal:
    default:
        m_start = PointF(rect.X, rect.Y);
        m_end = PointF(rect.X + rect.Width, rect.Y);
        break;
    }
    if (rect.Width <= 0 || rect.Height <= 0)
        m_lastStatus = OutOfMemory; // what GDI+ reports for an empty gradient rectangle
}

LinearGradientBrush::LinearGradientBrush(const Rect &rect, const Color &color1, const Color &color2,
                                         LinearGradientMode mode)
    : LinearGradientBrush(RectF(rect), color1, color2, mode)
{
}

LinearGradientBrush::LinearGradientBrush(const PointF &point1, const PointF &point2, const Color &color1,
                                         const Color &color2)
    : m_start(point1), m_end(point2), m_colors{color1, color2}
{
    if (point1.X == point2.X && point1.Y == point2.Y)
        m_lastStatus = OutOfMemory;
}

LinearGradientBrush::LinearGradientBrush(const Point &point1, const Point &point2, const Color &color1,
                                         const Color &color2)
    : LinearGradientBrush(PointF(point1), PointF(point2), color1, color2)
{
}

Status LinearGradientBrush::GetLinearColors(Color *colors) const
{
    if (!colors)
        return m_lastStatus = InvalidParameter;
    colors[0] = m_colors[0];
    colors[1] = m_colors[1];
    return m_lastStatus = Ok;
}

Status LinearGradientBrush::SetLinearColors(const Color &color1, const Color &color2)
{
    m_colors[0] = color1;
    m_colors[1] = color2;
    return m_lastStatus = Ok;
}

Status LinearGradientBrush::SetWrapMode(WrapMode mode)
{
    m_wrap = mode;
    return m_lastStatus = Ok;
}

void LinearGradientBrush::FillQtPath(QPainter &painter, const QPainterPath &path) const
{
    QLinearGradient gradient(QPointF(m_start.X, m_start.Y), QPointF(m_end.X, m_end.Y));
    gradient.setColorAt(0.0, ToQColor(m_colors[0]));
    gradient.setColorAt(1.0, ToQColor(m_colors[1]));
    switch (m_wrap)
    {
    case WrapModeClamp:
        gradient.setSpread(QGradient::PadSpread);
        break;
    case WrapModeTile:
        gradient.setSpread(QGradient::RepeatSpread);
        break;
    default:
        gradient.setSpread(QGradient::ReflectSpread);
        break;
    }
    painter.fillPath(path, QBrush(gradient));
}

// ---- PathGradientBrush --------------------------------------------------------------------------------

PathGradientBrush::PathGradientBrush(const GraphicsPath *path)
{
    if (!path)
    {
        m_lastStatus = InvalidParameter;
        return;
    }
    const QRectF b = path->QtPath().boundingRect();
    m_bounds = RectF(REAL(b.x()), REAL(b.y()), REAL(b.width()), REAL(b.height()));
    if (m_bounds.IsEmptyArea())
        m_lastStatus = OutOfMemory;
}

PathGradientBrush::PathGradientBrush(const PointF *points, INT count, WrapMode wrapMode) : m_wrap(wrapMode)
{
    if (!points || count < 2)
    {
        m_lastStatus = OutOfMemory;
        return;
    }
    InitFromPoints(std::vector<PointF>(points, points + count));
}

PathGradientBrush::PathGradientBrush(const Point *points, INT count, WrapMode wrapMode) : m_wrap(wrapMode)
{
    if (!points || count < 2)
    {
        m_lastStatus = OutOfMemory;
        return;
    }
    InitFromPoints(std::vector<PointF>(points, points + count));
}

void PathGradientBrush::InitFromPoints(const std::vector<PointF> &points)
{
    REAL minX = points[0].X, maxX = points[0].X, minY = points[0].Y, maxY = points[0].Y;
    for (const PointF &p : points)
    {
        minX = std::min(minX, p.X);
        maxX = std::max(maxX, p.X);
        minY = std::min(minY, p.Y);
        maxY = std::max(maxY, p.Y);
    }
    m_bounds = RectF(minX, minY, maxX - minX, maxY - minY);
    if (m_bounds.IsEmptyArea())
        m_lastStatus = OutOfMemory;
}

Status PathGradientBrush::SetCenterColor(const Color &color)
{
    m_center = color;
    return m_lastStatus = Ok;
}

Status PathGradientBrush::GetCenterColor(Color *color) const
{
    if (!color)
        return m_lastStatus = InvalidParameter;
    *color = m_center;
    return m_lastStatus = Ok;
}

Status PathGradientBrush::SetSurroundColors(const Color *colors, INT *count)
{
    if (!colors || !count || *count < 1)
        return m_lastStatus = InvalidParameter;
    // The brush is a rectangle: one colour for the whole boundary.
    m_surround = colors[0];
    *count = 1;
    return m_lastStatus = Ok;
}

Status PathGradientBrush::SetInterpolationColors(const Color *presetColors, const REAL *blendPositions,
                                                 INT count)
{
    if (!presetColors || !blendPositions || count < 2 || blendPositions[0] != 0.0f ||
        blendPositions[count - 1] != 1.0f)
        return m_lastStatus = InvalidParameter;
    for (INT i = 1; i < count; ++i)
        if (blendPositions[i] < blendPositions[i - 1])
            return m_lastStatus = InvalidParameter;
    m_presetColors.assign(presetColors, presetColors + count);
    m_presetPositions.assign(blendPositions, blendPositions + count);
    return m_lastStatus = Ok;
}

Status PathGradientBrush::SetWrapMode(WrapMode mode)
{
    m_wrap = mode;
    return m_lastStatus = Ok;
}

Status PathGradientBrush::GetRectangle(RectF *rect) const
{
    if (!rect)
        return m_lastStatus = InvalidParameter;
    *rect = m_bounds;
    return m_lastStatus = Ok;
}

ARGB PathGradientBrush::ColorAtPosition(REAL position) const
{
    position = std::clamp(position, 0.0f, 1.0f);
    if (m_presetColors.empty())
        return Interpolate(m_surround, m_center, position);
    for (std::size_t i = 1; i < m_presetPositions.size(); ++i)
    {
        if (position <= m_presetPositions[i])
        {
            const REAL span = m_presetPositions[i] - m_presetPositions[i - 1];
            const REAL t = span > 0 ? (position - m_presetPositions[i - 1]) / span : 1.0f;
            return Interpolate(m_presetColors[i - 1], m_presetColors[i], t);
        }
    }
    return m_presetColors.back().GetValue();
}

void PathGradientBrush::FillQtPath(QPainter &painter, const QPainterPath &path) const
{
    if (m_bounds.IsEmptyArea())
        return;
    // Qt has no such gradient: the colours are computed per pixel of the brush
    // rectangle, and nothing is painted outside it (the brush clamps).
    const int x0 = int(std::floor(m_bounds.X));
    const int y0 = int(std::floor(m_bounds.Y));
    const int w = std::max(1, int(std::ceil(m_bounds.X + m_bounds.Width)) - x0);
    const int h = std::max(1, int(std::ceil(m_bounds.Y + m_bounds.Height)) - y0);
    const double cx = m_bounds.X + m_bounds.Width / 2.0 - x0;
    const double cy = m_bounds.Y + m_bounds.Height / 2.0 - y0;
    // Half extents measured to the centres of the outermost pixels, so those pixels lie at position 0.
    const double hw = std::max(0.5, m_bounds.Width / 2.0 - 0.5);
    const double hh = std::max(0.5, m_bounds.Height / 2.0 - 0.5);
    QImage texture(w, h, QImage::Format_ARGB32);
    for (int j = 0; j < h; ++j)
    {
        auto *line = reinterpret_cast<QRgb *>(texture.scanLine(j));
        const double dy = std::fabs(j + 0.5 - cy) / hh;
        for (int i = 0; i < w; ++i)
        {
            const double dx = std::fabs(i + 0.5 - cx) / hw;
            const double position = 1.0 - std::max(dx, dy);
            line[i] = position < 0 ? 0u : ColorAtPosition(REAL(position));
        }
    }
    QBrush brush(texture);
    brush.setTransform(QTransform::fromTranslate(x0, y0));
    QPainterPath area;
    area.addRect(QRectF(m_bounds.X, m_bounds.Y, m_bounds.Width, m_bounds.Height));
    painter.fillPath(path.intersected(area), brush);
}

// ---- Pen ----------------------------------------------------------------------------------------------

Pen::Pen(const Color &color, REAL width) : m_color(color), m_width(width) {}

Pen::Pen(const Brush *brush, REAL width)
    : m_color(brush ? brush->RepresentativeColor() : Color::Black), m_width(width)
{
    if (!brush)
        m_lastStatus = InvalidParameter;
}

Status Pen::SetWidth(REAL width)
{
    m_width = width;
    return m_lastStatus = Ok;
}

Status Pen::SetColor(const Color &color)
{
    m_color = color;
    return m_lastStatus = Ok;
}

Status Pen::GetColor(Color *color) const
{
    if (!color)
        return InvalidParameter;
    *color = m_color;
    return Ok;
}

Status Pen::SetStartCap(LineCap cap)
{
    m_startCap = cap;
    return m_lastStatus = Ok;
}

Status Pen::SetEndCap(LineCap cap)
{
    m_endCap = cap;
    return m_lastStatus = Ok;
}

Status Pen::SetLineCap(LineCap startCap, LineCap endCap, DashCap)
{
    m_startCap = startCap;
    m_endCap = endCap;
    return m_lastStatus = Ok;
}

Status Pen::SetLineJoin(LineJoin join)
{
    m_join = join;
    return m_lastStatus = Ok;
}

void Pen::StrokeQtPath(QPainter &painter, const QPainterPath &path) const
{
    QPen pen(ToQColor(m_color));
    // A width of 0 still draws one pixel, as a 1-pixel pen does.
    pen.setWidthF(m_width > 0 ? m_width : 1.0);
    // Qt has one cap for both ends: a round end on either side wins, else the start cap.
    const LineCap cap = (m_startCap == LineCapRound || m_endCap == LineCapRound) ? LineCapRound : m_startCap;
    pen.setCapStyle(cap == LineCapRound ? Qt::RoundCap : cap == LineCapSquare ? Qt::SquareCap : Qt::FlatCap);
    switch (m_join)
    {
    case LineJoinBevel:
        pen.setJoinStyle(Qt::BevelJoin);
        break;
    case LineJoinRound:
        pen.setJoinStyle(Qt::RoundJoin);
        break;
    case LineJoinMiterClipped:
        pen.setJoinStyle(Qt::SvgMiterJoin);
        break;
    default:
        pen.setJoinStyle(Qt::MiterJoin);
        break;
    }
    painter.strokePath(path, pen);
}

// ---- GraphicsPath -------------------------------------------------------------------------------------

GraphicsPath::GraphicsPath(FillMode fillMode) : m_path(std::make_unique<QPainterPath>())
{
    m_path->setFillRule(fillMode == FillModeWinding ? Qt::WindingFill : Qt::OddEvenFill);
}

GraphicsPath::~GraphicsPath() = default;

GraphicsPath *GraphicsPath::Clone() const
{
    auto *copy = new GraphicsPath();
    *copy->m_path = *m_path;
    copy->m_figureOpen = m_figureOpen;
    return copy;
}

void GraphicsPath::LineToOrStart(const PointF &p)
{
    if (!m_figureOpen)
    {
        m_path->moveTo(p.X, p.Y);
        m_figureOpen = true;
    }
    else
    {
        m_path->lineTo(p.X, p.Y);
    }
}

Status GraphicsPath::AddLine(REAL x1, REAL y1, REAL x2, REAL y2)
{
    LineToOrStart(PointF(x1, y1));
    m_path->lineTo(x2, y2);
    return m_lastStatus = Ok;
}

Status GraphicsPath::AddLine(INT x1, INT y1, INT x2, INT y2)
{
    return AddLine(REAL(x1), REAL(y1), REAL(x2), REAL(y2));
}

Status GraphicsPath::AddLine(const PointF &p1, const PointF &p2)
{
    return AddLine(p1.X, p1.Y, p2.X, p2.Y);
}

Status GraphicsPath::AddLines(const PointF *points, INT count)
{
    if (!points || count < 1)
        return m_lastStatus = InvalidParameter;
    for (INT i = 0; i < count; ++i)
        LineToOrStart(points[i]);
    return m_lastStatus = Ok;
}

Status GraphicsPath::AddLines(const Point *points, INT count)
{
    if (!points || count < 1)
        return m_lastStatus = InvalidParameter;
    for (INT i = 0; i < count; ++i)
        LineToOrStart(PointF(points[i]));
    return m_lastStatus = Ok;
}

Status GraphicsPath::AddArc(REAL x, REAL y, REAL width, REAL height, REAL startAngle, REAL sweepAngle)
{
    if (width <= 0 || height <= 0)
        return m_lastStatus = InvalidParameter;
    const QRectF rect(x, y, width, height);
    // Clockwise angles on a y-down surface are Qt's angles with the sign turned.
    if (!m_figureOpen)
    {
        m_path->arcMoveTo(rect, -startAngle);
        m_figureOpen = true;
    }
    m_path->arcTo(rect, -startAngle, -sweepAngle);
    return m_lastStatus = Ok;
}

Status GraphicsPath::AddArc(INT x, INT y, INT width, INT height, REAL startAngle, REAL sweepAngle)
{
    return AddArc(REAL(x), REAL(y), REAL(width), REAL(height), startAngle, sweepAngle);
}

Status GraphicsPath::AddArc(const RectF &rect, REAL startAngle, REAL sweepAngle)
{
    return AddArc(rect.X, rect.Y, rect.Width, rect.Height, startAngle, sweepAngle);
}

Status GraphicsPath::AddArc(const Rect &rect, REAL startAngle, REAL sweepAngle)
{
    return AddArc(RectF(rect), startAngle, sweepAngle);
}

Status GraphicsPath::AddRectangle(const RectF &rect)
{
    m_path->addRect(QRectF(rect.X, rect.Y, rect.Width, rect.Height));
    m_figureOpen = false;
    return m_lastStatus = Ok;
}

Status GraphicsPath::AddRectangle(const Rect &rect)
{
    return AddRectangle(RectF(rect));
}

Status GraphicsPath::AddEllipse(const RectF &rect)
{
    m_path->addEllipse(QRectF(rect.X, rect.Y, rect.Width, rect.Height));
    m_figureOpen = false;
    return m_lastStatus = Ok;
}

Status GraphicsPath::AddEllipse(REAL x, REAL y, REAL width, REAL height)
{
    return AddEllipse(RectF(x, y, width, height));
}

Status GraphicsPath::StartFigure()
{
    m_figureOpen = false;
    return m_lastStatus = Ok;
}

Status GraphicsPath::CloseFigure()
{
    if (m_figureOpen)
        m_path->closeSubpath();
    m_figureOpen = false;
    return m_lastStatus = Ok;
}

Status GraphicsPath::CloseAllFigures()
{
    return CloseFigure();
}

Status GraphicsPath::Reset()
{
    const Qt::FillRule rule = m_path->fillRule();
    *m_path = QPainterPath();
    m_path->setFillRule(rule);
    m_figureOpen = false;
    return m_lastStatus = Ok;
}

Status GraphicsPath::GetBounds(RectF *bounds) const
{
    if (!bounds)
        return InvalidParameter;
    const QRectF b = m_path->boundingRect();
    *bounds = RectF(REAL(b.x()), REAL(b.y()), REAL(b.width()), REAL(b.height()));
    return Ok;
}

Status GraphicsPath::GetBounds(Rect *bounds) const
{
    if (!bounds)
        return InvalidParameter;
    const QRect b = m_path->boundingRect().toAlignedRect();
    *bounds = Rect(b.x(), b.y(), b.width(), b.height());
    return Ok;
}

INT GraphicsPath::GetPointCount() const
{
    return INT(m_path->elementCount());
}
} // namespace Gdiplus
