#include "platform/win/Gdi.h"

#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "platform/win/Dc.h"

HBRUSH CreateSolidBrush(COLORREF color)
{
    return new HBRUSH__(color);
}

HRGN CreateRectRgn(int left, int top, int right, int bottom)
{
    const QRect r = QRect(QPoint(std::min(left, right), std::min(top, bottom)),
                          QPoint(std::max(left, right) - 1, std::max(top, bottom) - 1));
    return new HRGN__(r.isValid() ? QRegion(r) : QRegion());
}

HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height)
{
    return new HRGN__(vxwin::RoundRectRegion(left, top, right, bottom, width, height));
}

namespace vxwin
{
namespace
{
DcFactory g_dcFactory = nullptr;
} // namespace

bool GetBrushColor(HBRUSH brush, COLORREF *color)
{
    if (!brush)
        return false;
    if (color)
        *color = brush->color;
    return true;
}

const QImage *BitmapImage(HBITMAP bitmap)
{
    return bitmap ? &bitmap->image : nullptr;
}

QRegion RoundRectRegion(int left, int top, int right, int bottom, int width, int height)
{
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    // The last row and column of the rectangle lie outside the region.
    const int w = right - left - 1;
    const int h = bottom - top - 1;
    if (w <= 0 || h <= 0)
        return QRegion();
    const double a = std::clamp(std::abs(width), 0, w) / 2.0; // corner radii
    const double b = std::clamp(std::abs(height), 0, h) / 2.0;
    QRegion region;
    for (int row = 0; row < h; ++row)
    {
        // Distance of the pixel row's centre into the corner zone, from the zone's inner edge.
        const double y = row + 0.5;
        double dy = 0;
        if (y < b)
            dy = b - y;
        else if (y > h - b)
            dy = y - (h - b);
        int inset = 0;
        if (b > 0 && dy > 0)
        {
            const double t = std::min(1.0, dy / b);
            inset = static_cast<int>(std::lround(a - a * std::sqrt(1.0 - t * t)));
        }
        if (w - 2 * inset > 0)
            region += QRect(left + inset, top + row, w - 2 * inset, 1);
    }
    return region;
}

PaintContext::PaintContext(QPaintDevice *device, QWidget *widget, const QRect &dirty)
    : m_device(device), m_widget(widget), m_dirty(dirty)
{
}

PaintContext::~PaintContext()
{
    End();
    if (m_dc)
    {
        CDC *dc = m_dc;
        m_dc = nullptr;
        dc->ContextGone();
        if (m_ownsDc)
            delete dc;
    }
    delete m_painter;
}

QPainter *PaintContext::Painter()
{
    if (!m_painter)
        m_painter = new QPainter;
    if (!m_painter->isActive() && m_device)
        m_painter->begin(m_device);
    return m_painter;
}

void PaintContext::End()
{
    if (m_painter && m_painter->isActive())
        m_painter->end();
}

void PaintContext::Retarget(QPaintDevice *device)
{
    End();
    m_device = device;
}

QSize PaintContext::Size() const
{
    return m_device ? QSize(m_device->width(), m_device->height()) : QSize();
}

CDC *PaintContext::Dc()
{
    if (!m_dc)
    {
        m_dc = new CDC;
        m_ownsDc = true;
        m_dc->AttachContext(this);
    }
    return m_dc;
}

void SetDcFactory(DcFactory factory)
{
    g_dcFactory = factory;
}

CDC *DcFromHandle(HDC dc)
{
    if (!dc)
        return nullptr;
    return g_dcFactory ? g_dcFactory(dc) : PaintContext::FromHandle(dc)->Dc();
}
} // namespace vxwin
