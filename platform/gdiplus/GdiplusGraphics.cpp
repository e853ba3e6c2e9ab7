#include "platform/gdiplus/Gdiplus.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace Gdiplus
{
namespace
{
constexpr int kDotsPerMeter96 = 3780; // 96 dots per inch

QString TextOf(const char16_t *text, INT length)
{
    if (!text)
        return QString();
    const qsizetype n = length < 0 ? qsizetype(std::char_traits<char16_t>::length(text)) : qsizetype(length);
    return QString::fromUtf16(text, n);
}

// The font sized for the device it draws on, so that its em is the font's pixel size there.
QFont DeviceFont(const Font &font, const QPaintDevice *device)
{
    QFont f = font.ToQFont();
    const int dpi = device ? device->logicalDpiY() : 96;
    if (dpi > 0 && dpi != 96)
        f.setPointSizeF(std::max(0.1, double(font.PixelSize()) * 72.0 / dpi));
    return f;
}

int QtAlignment(const StringFormat *format)
{
    int flags = 0;
    switch (format ? format->GetAlignment() : StringAlignmentNear)
    {
    case StringAlignmentCenter:
        flags |= Qt::AlignHCenter;
        break;
    case StringAlignmentFar:
        flags |= Qt::AlignRight;
        break;
    default:
        flags |= Qt::AlignLeft;
        break;
    }
    switch (format ? format->GetLineAlignment() : StringAlignmentNear)
    {
    case StringAlignmentCenter:
        flags |= Qt::AlignVCenter;
        break;
    case StringAlignmentFar:
        flags |= Qt::AlignBottom;
        break;
    default:
        flags |= Qt::AlignTop;
        break;
    }
    if (!format || !(format->GetFormatFlags() & StringFormatFlagsNoWrap))
        flags |= Qt::TextWordWrap;
    return flags;
}

// Where a text of the given size sits inside (or, for an unbounded side, around) the layout.
QRectF PlaceText(const QRectF &layout, const QSizeF &size, const StringFormat *format, bool boundedW,
                 bool boundedH)
{
    const StringAlignment h = format ? format->GetAlignment() : StringAlignmentNear;
    const StringAlignment v = format ? format->GetLineAlignment() : StringAlignmentNear;
    qreal x = layout.x(), y = layout.y();
    const qreal w = boundedW ? std::min(size.width(), layout.width()) : size.width();
    const qreal hgt = boundedH ? std::min(size.height(), layout.height()) : size.height();
    const qreal spanW = boundedW ? layout.width() : 0.0;
    const qreal spanH = boundedH ? layout.height() : 0.0;
    if (h == StringAlignmentCenter)
        x += (spanW - w) / 2;
    else if (h == StringAlignmentFar)
        x += spanW - w;
    if (v == StringAlignmentCenter)
        y += (spanH - hgt) / 2;
    else if (v == StringAlignmentFar)
        y += spanH - hgt;
    return QRectF(x, y, w, hgt);
}

constexpr qreal kUnbounded = 1.0e6;

DrawnTextObserver &TextObserver()
{
    static DrawnTextObserver observer;
    return observer;
}
} // namespace

void SetDrawnTextObserver(DrawnTextObserver observer)
{
    TextObserver() = std::move(observer);
}

// ---- ImageAttributes ----------------------------------------------------------------------------------

ImageAttributes::ImageAttributes() = default;
ImageAttributes::~ImageAttributes() = default;

ImageAttributes *ImageAttributes::Clone() const
{
    auto *copy = new ImageAttributes();
    copy->m_keyOn = m_keyOn;
    copy->m_low = m_low;
    copy->m_high = m_high;
    return copy;
}

Status ImageAttributes::SetColorKey(const Color &colorLow, const Color &colorHigh, ColorAdjustType)
{
    m_keyOn = true;
    m_low = colorLow;
    m_high = colorHigh;
    return Ok;
}

Status ImageAttributes::ClearColorKey(ColorAdjustType)
{
    m_keyOn = false;
    return Ok;
}

const QImage &ImageAttributes::Apply(const Image &image) const
{
    if (!m_keyOn || image.QtImage().isNull())
        return image.QtImage();
    if (m_cacheValid && !image.BeingDrawn() && m_cachedSerial == image.Serial() &&
        m_cachedGeneration == image.Generation() && m_cachedLow == m_low.GetValue() &&
        m_cachedHigh == m_high.GetValue())
        return m_cached;
    // The key compares the straight colour channels; the alpha of the key is not used.
    QImage keyed = image.QtImage().convertToFormat(QImage::Format_ARGB32);
    const int lowR = m_low.GetR(), lowG = m_low.GetG(), lowB = m_low.GetB();
    const int highR = m_high.GetR(), highG = m_high.GetG(), highB = m_high.GetB();
    for (int y = 0; y < keyed.height(); ++y)
    {
        auto *line = reinterpret_cast<QRgb *>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x)
        {
            const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
            if (r >= lowR && r <= highR && g >= lowG && g <= highG && b >= lowB && b <= highB)
                line[x] = 0;
        }
    }
    m_cached = keyed.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_cachedSerial = image.Serial();
    m_cachedGeneration = image.Generation();
    m_cachedLow = m_low.GetValue();
    m_cachedHigh = m_high.GetValue();
    m_cacheValid = true;
    return m_cached;
}

// ---- Graphics -----------------------------------------------------------------------------------------

Graphics::Graphics(Image *image) : m_image(image)
{
    if (!image || image->m_image.isNull())
    {
        m_lastStatus = InvalidParameter;
        return;
    }
    image->m_image.setDotsPerMeterX(kDotsPerMeter96);
    image->m_image.setDotsPerMeterY(kDotsPerMeter96);
    image->Touch();
    ++image->m_activeGraphics;
    m_ownPainter = std::make_unique<QPainter>();
    if (!m_ownPainter->begin(&image->m_image))
    {
        --image->m_activeGraphics;
        m_ownPainter.reset();
        m_lastStatus = OutOfMemory;
        return;
    }
    m_painter = m_ownPainter.get();
    m_painter->setRenderHint(QPainter::Antialiasing, false);
    m_painter->setRenderHint(QPainter::TextAntialiasing, true);
    m_painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
}

Graphics::Graphics(QPainter *painter) : m_painter(painter)
{
    if (!painter || !painter->isActive())
    {
        m_painter = nullptr;
        m_lastStatus = InvalidParameter;
        return;
    }
    painter->save();
    m_base = painter->worldTransform();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setRenderHint(QPainter::TextAntialiasing, true);
    painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
}

Graphics::~Graphics()
{
    if (m_ownPainter)
    {
        m_ownPainter->end();
        --m_image->m_activeGraphics;
        m_image->Touch();
    }
    else if (m_painter)
    {
        m_painter->restore();
    }
}

bool Graphics::Usable() const
{
    return m_painter != nullptr;
}

Status Graphics::Clear(const Color &color)
{
    if (!Usable())
        return Fail(InvalidParameter);
    QPaintDevice *device = m_painter->device();
    m_painter->save();
    m_painter->resetTransform();
    m_painter->setCompositionMode(QPainter::CompositionMode_Source);
    m_painter->fillRect(QRect(0, 0, device->width(), device->height()), QColor::fromRgba(color.GetValue()));
    m_painter->restore();
    return Done();
}

Status Graphics::SetSmoothingMode(SmoothingMode mode)
{
    if (!Usable())
        return Fail(InvalidParameter);
    if (mode == SmoothingModeInvalid)
        return Fail(InvalidParameter);
    m_smoothing = mode;
    m_painter->setRenderHint(QPainter::Antialiasing,
                             mode == SmoothingModeAntiAlias || mode == SmoothingModeHighQuality);
    return Done();
}

Status Graphics::SetPageUnit(Unit unit)
{
    // Drawing is always in device pixels.
    return Fail(unit == UnitPixel || unit == UnitDisplay ? Ok : NotImplemented);
}

Status Graphics::DrawImageQt(Image *image, const QRectF &dest, const QRectF &source,
                             const ImageAttributes *attributes)
{
    if (!Usable() || !image)
        return Fail(InvalidParameter);
    if (image->QtImage().isNull())
        return Fail(image->GetLastStatus() != Ok ? image->GetLastStatus() : InvalidParameter);
    if (dest.width() <= 0 || dest.height() <= 0 || source.width() <= 0 || source.height() <= 0)
        return Fail(InvalidParameter);
    if (image == m_image)
    {
        // Drawing an image into itself reads from a snapshot.
        const QImage snapshot = (attributes ? attributes->Apply(*image) : image->QtImage()).copy();
        m_painter->drawImage(dest, snapshot, source);
        return Done();
    }
    const QImage &pixels = attributes ? attributes->Apply(*image) : image->QtImage();
    m_painter->drawImage(dest, pixels, source);
    return Done();
}

Status Graphics::DrawImage(Image *image, INT x, INT y)
{
    return DrawImage(image, REAL(x), REAL(y));
}

Status Graphics::DrawImage(Image *image, REAL x, REAL y)
{
    if (!image)
        return Fail(InvalidParameter);
    const QRectF whole(0, 0, image->GetWidth(), image->GetHeight());
    return DrawImageQt(image, whole.translated(x, y), whole, nullptr);
}

Status Graphics::DrawImage(Image *image, INT x, INT y, INT width, INT height)
{
    return DrawImage(image, REAL(x), REAL(y), REAL(width), REAL(height));
}

Status Graphics::DrawImage(Image *image, REAL x, REAL y, REAL width, REAL height)
{
    if (!image)
        return Fail(InvalidParameter);
    return DrawImageQt(image, QRectF(x, y, width, height),
                       QRectF(0, 0, image->GetWidth(), image->GetHeight()), nullptr);
}

Status Graphics::DrawImage(Image *image, const Rect &rect)
{
    return DrawImage(image, rect.X, rect.Y, rect.Width, rect.Height);
}

Status Graphics::DrawImage(Image *image, const RectF &rect)
{
    return DrawImage(image, rect.X, rect.Y, rect.Width, rect.Height);
}

Status Graphics::DrawImage(Image *image, const Rect &destRect, INT srcX, INT srcY, INT srcWidth,
                           INT srcHeight, Unit srcUnit, const ImageAttributes *attributes)
{
    return DrawImage(image, RectF(destRect), REAL(srcX), REAL(srcY), REAL(srcWidth), REAL(srcHeight), srcUnit,
                     attributes);
}

Status Graphics::DrawImage(Image *image, const RectF &destRect, REAL srcX, REAL srcY, REAL srcWidth,
                           REAL srcHeight, Unit srcUnit, const ImageAttributes *attributes)
{
    // Images are 96 dots per inch, so the source units that matter here are pixels.
    if (srcUnit != UnitPixel && srcUnit != UnitWorld)
        return Fail(NotImplemented);
    return DrawImageQt(image, QRectF(destRect.X, destRect.Y, destRect.Width, destRect.Height),
                       QRectF(srcX, srcY, srcWidth, srcHeight), attributes);
}

Status Graphics::FillQt(const Brush *brush, const QPainterPath &path)
{
    if (!Usable() || !brush)
        return Fail(InvalidParameter);
    if (brush->GetLastStatus() != Ok)
        return Fail(brush->GetLastStatus());
    brush->FillQtPath(*m_painter, path);
    return Done();
}

Status Graphics::StrokeQt(const Pen *pen, const QPainterPath &path)
{
    if (!Usable() || !pen)
        return Fail(InvalidParameter);
    pen->StrokeQtPath(*m_painter, path);
    return Done();
}

Status Graphics::FillRectangle(const Brush *brush, INT x, INT y, INT width, INT height)
{
    return FillRectangle(brush, REAL(x), REAL(y), REAL(width), REAL(height));
}

Status Graphics::FillRectangle(const Brush *brush, REAL x, REAL y, REAL width, REAL height)
{
    QPainterPath path;
    path.addRect(QRectF(x, y, width, height));
    return FillQt(brush, path);
}

Status Graphics::FillRectangle(const Brush *brush, const Rect &rect)
{
    return FillRectangle(brush, rect.X, rect.Y, rect.Width, rect.Height);
}

Status Graphics::FillRectangle(const Brush *brush, const RectF &rect)
{
    return FillRectangle(brush, rect.X, rect.Y, rect.Width, rect.Height);
}

Status Graphics::FillRectangles(const Brush *brush, const Rect *rects, INT count)
{
    if (!rects || count <= 0)
        return Fail(InvalidParameter);
    for (INT i = 0; i < count; ++i)
        if (FillRectangle(brush, rects[i]) != Ok)
            return m_lastStatus;
    return Done();
}

Status Graphics::FillRectangles(const Brush *brush, const RectF *rects, INT count)
{
    if (!rects || count <= 0)
        return Fail(InvalidParameter);
    for (INT i = 0; i < count; ++i)
        if (FillRectangle(brush, rects[i]) != Ok)
            return m_lastStatus;
    return Done();
}

Status Graphics::DrawRectangle(const Pen *pen, INT x, INT y, INT width, INT height)
{
    return DrawRectangle(pen, REAL(x), REAL(y), REAL(width), REAL(height));
}

Status Graphics::DrawRectangle(const Pen *pen, REAL x, REAL y, REAL width, REAL height)
{
    QPainterPath path;
    path.addRect(QRectF(x, y, width, height));
    return StrokeQt(pen, path);
}

Status Graphics::DrawRectangle(const Pen *pen, const Rect &rect)
{
    return DrawRectangle(pen, rect.X, rect.Y, rect.Width, rect.Height);
}

Status Graphics::DrawRectangle(const Pen *pen, const RectF &rect)
{
    return DrawRectangle(pen, rect.X, rect.Y, rect.Width, rect.Height);
}

Status Graphics::DrawLine(const Pen *pen, INT x1, INT y1, INT x2, INT y2)
{
    return DrawLine(pen, REAL(x1), REAL(y1), REAL(x2), REAL(y2));
}

Status Graphics::DrawLine(const Pen *pen, REAL x1, REAL y1, REAL x2, REAL y2)
{
    QPainterPath path;
    path.moveTo(x1, y1);
    path.lineTo(x2, y2);
    return StrokeQt(pen, path);
}

Status Graphics::DrawLine(const Pen *pen, const Point &p1, const Point &p2)
{
    return DrawLine(pen, p1.X, p1.Y, p2.X, p2.Y);
}

Status Graphics::DrawLine(const Pen *pen, const PointF &p1, const PointF &p2)
{
    return DrawLine(pen, p1.X, p1.Y, p2.X, p2.Y);
}

Status Graphics::DrawLines(const Pen *pen, const PointF *points, INT count)
{
    if (!points || count < 2)
        return Fail(InvalidParameter);
    QPainterPath path;
    path.moveTo(points[0].X, points[0].Y);
    for (INT i = 1; i < count; ++i)
        path.lineTo(points[i].X, points[i].Y);
    return StrokeQt(pen, path);
}

Status Graphics::DrawLines(const Pen *pen, const Point *points, INT count)
{
    if (!points || count < 2)
        return Fail(InvalidParameter);
    std::vector<PointF> asFloat(points, points + count);
    return DrawLines(pen, asFloat.data(), count);
}

Status Graphics::FillPath(const Brush *brush, const GraphicsPath *path)
{
    if (!path)
        return Fail(InvalidParameter);
    return FillQt(brush, path->QtPath());
}

Status Graphics::DrawPath(const Pen *pen, const GraphicsPath *path)
{
    if (!path)
        return Fail(InvalidParameter);
    return StrokeQt(pen, path->QtPath());
}

Status Graphics::FillEllipse(const Brush *brush, REAL x, REAL y, REAL width, REAL height)
{
    QPainterPath path;
    path.addEllipse(QRectF(x, y, width, height));
    return FillQt(brush, path);
}

Status Graphics::DrawEllipse(const Pen *pen, REAL x, REAL y, REAL width, REAL height)
{
    QPainterPath path;
    path.addEllipse(QRectF(x, y, width, height));
    return StrokeQt(pen, path);
}

// ---- Text ---------------------------------------------------------------------------------------------

Status Graphics::DrawString(const char16_t *text, INT length, const Font *font, const RectF &layoutRect,
                            const StringFormat *format, const Brush *brush)
{
    if (!Usable() || !text || !font || !brush)
        return Fail(InvalidParameter);
    if (font->GetLastStatus() != Ok)
        return Fail(font->GetLastStatus());
    const QString s = TextOf(text, length);
    if (s.isEmpty())
        return Done();
    const bool vertical = format && (format->GetFormatFlags() & StringFormatFlagsDirectionVertical);
    const bool noClip = format && (format->GetFormatFlags() & StringFormatFlagsNoClip);
    const QFont qfont = DeviceFont(*font, m_painter->device());
    int flags = QtAlignment(format);

    // Vertical text runs down the page, its lines advancing from the right edge to the left:
    // the layout is turned a quarter clockwise about its top right corner.
    QRectF layout(layoutRect.X, layoutRect.Y, layoutRect.Width, layoutRect.Height);
    m_painter->save();
    if (vertical)
    {
        m_painter->translate(layout.x() + layout.width(), layout.y());
        m_painter->rotate(90);
        layout = QRectF(0, 0, layoutRect.Height, layoutRect.Width);
    }
    const bool boundedW = layout.width() > 0;
    const bool boundedH = layout.height() > 0;
    QRectF box = layout;
    if (!boundedW || !boundedH)
    {
        const QFontMetricsF metrics(qfont, m_painter->device());
        const QRectF probe(0, 0, boundedW ? layout.width() : kUnbounded,
                           boundedH ? layout.height() : kUnbounded);
        const QSizeF size = metrics.boundingRect(probe, flags, s).size();
        box = PlaceText(layout, size, format, boundedW, boundedH);
        if (!boundedW)
            box.setWidth(size.width() + 1);
        if (!boundedH)
            box.setHeight(size.height() + 1);
    }
    else if (!noClip)
    {
        m_painter->setClipRect(layout, Qt::IntersectClip);
    }
    if (const DrawnTextObserver &observer = TextObserver())
        observer(DrawnText{s, qfont, layout, box, flags, boundedW && boundedH && !noClip, m_painter->worldTransform(),
                           m_painter->device()});
    m_painter->setFont(qfont);
    m_painter->setPen(QColor::fromRgba(brush->RepresentativeColor()));
    m_painter->drawText(box, flags | Qt::TextDontClip, s);
    m_painter->restore();
    return Done();
}

Status Graphics::DrawString(const char16_t *text, INT length, const Font *font, const PointF &origin,
                            const Brush *brush)
{
    return DrawString(text, length, font, RectF(origin.X, origin.Y, 0, 0), nullptr, brush);
}

Status Graphics::DrawString(const char16_t *text, INT length, const Font *font, const PointF &origin,
                            const StringFormat *format, const Brush *brush)
{
    return DrawString(text, length, font, RectF(origin.X, origin.Y, 0, 0), format, brush);
}

Status Graphics::MeasureString(const char16_t *text, INT length, const Font *font, const RectF &layoutRect,
                               const StringFormat *format, RectF *boundingBox, INT *codepointsFitted,
                               INT *linesFilled) const
{
    if (!text || !font || !boundingBox)
        return Fail(InvalidParameter);
    if (font->GetLastStatus() != Ok)
        return Fail(font->GetLastStatus());
    const QString s = TextOf(text, length);
    const bool vertical = format && (format->GetFormatFlags() & StringFormatFlagsDirectionVertical);
    const QPaintDevice *device = m_painter ? m_painter->device() : nullptr;
    const QFont qfont = DeviceFont(*font, device);
    const QFontMetricsF metrics = device ? QFontMetricsF(qfont, device) : QFontMetricsF(qfont);
    const qreal w = vertical ? layoutRect.Height : layoutRect.Width;
    const qreal h = vertical ? layoutRect.Width : layoutRect.Height;
    const QRectF probe(0, 0, w > 0 ? w : kUnbounded, h > 0 ? h : kUnbounded);
    QSizeF size = s.isEmpty() ? QSizeF(0, 0) : metrics.boundingRect(probe, QtAlignment(format), s).size();
    const QRectF placed = PlaceText(QRectF(0, 0, w, h), size, format, w > 0, h > 0);
    if (vertical)
        *boundingBox = RectF(layoutRect.X + REAL(h > 0 ? h - placed.bottom() : 0),
                             layoutRect.Y + REAL(placed.x()), REAL(placed.height()), REAL(placed.width()));
    else
        *boundingBox = RectF(layoutRect.X + REAL(placed.x()), layoutRect.Y + REAL(placed.y()),
                             REAL(placed.width()), REAL(placed.height()));
    if (codepointsFitted)
        *codepointsFitted = INT(s.size());
    if (linesFilled)
    {
        const qreal line = metrics.lineSpacing();
        *linesFilled = s.isEmpty() || line <= 0 ? 0 : std::max(1, INT(std::lround(size.height() / line)));
    }
    return Done();
}

Status Graphics::MeasureString(const char16_t *text, INT length, const Font *font, const PointF &origin,
                               const StringFormat *format, RectF *boundingBox) const
{
    return MeasureString(text, length, font, RectF(origin.X, origin.Y, 0, 0), format, boundingBox);
}

Status Graphics::MeasureString(const char16_t *text, INT length, const Font *font, const PointF &origin,
                               RectF *boundingBox) const
{
    return MeasureString(text, length, font, RectF(origin.X, origin.Y, 0, 0), nullptr, boundingBox);
}

Status Graphics::MeasureString(const char16_t *text, INT length, const Font *font, const RectF &layoutRect,
                               RectF *boundingBox) const
{
    return MeasureString(text, length, font, layoutRect, nullptr, boundingBox);
}

// ---- Transforms ---------------------------------------------------------------------------------------

void Graphics::ApplyTransform()
{
    m_painter->setWorldTransform(m_user * m_base);
}

Status Graphics::RotateTransform(REAL angle, MatrixOrder order)
{
    if (!Usable())
        return Fail(InvalidParameter);
    const QTransform t = QTransform().rotate(angle);
    m_user = order == MatrixOrderAppend ? m_user * t : t * m_user;
    ApplyTransform();
    return Done();
}

Status Graphics::TranslateTransform(REAL dx, REAL dy, MatrixOrder order)
{
    if (!Usable())
        return Fail(InvalidParameter);
    const QTransform t = QTransform::fromTranslate(dx, dy);
    m_user = order == MatrixOrderAppend ? m_user * t : t * m_user;
    ApplyTransform();
    return Done();
}

Status Graphics::ScaleTransform(REAL sx, REAL sy, MatrixOrder order)
{
    if (!Usable())
        return Fail(InvalidParameter);
    const QTransform t = QTransform::fromScale(sx, sy);
    m_user = order == MatrixOrderAppend ? m_user * t : t * m_user;
    ApplyTransform();
    return Done();
}

Status Graphics::ResetTransform()
{
    if (!Usable())
        return Fail(InvalidParameter);
    m_user = QTransform();
    ApplyTransform();
    return Done();
}
} // namespace Gdiplus
