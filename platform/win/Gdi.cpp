#include "platform/win/Gdi.h"

#include <QPainter>

HBRUSH CreateSolidBrush(COLORREF color)
{
    return new HBRUSH__(color);
}

BOOL DeleteObject(HGDIOBJ object)
{
    if (!object)
        return FALSE;
    delete object;
    return TRUE;
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

PaintContext::PaintContext(QPaintDevice *device, QWidget *widget, const QRect &dirty)
    : m_device(device), m_widget(widget), m_dirty(dirty)
{
}

PaintContext::~PaintContext()
{
    End();
}

QPainter *PaintContext::Painter()
{
    if (!m_painter)
        m_painter = new QPainter(m_device);
    return m_painter;
}

void PaintContext::End()
{
    if (m_painter)
    {
        m_painter->end();
        delete m_painter;
        m_painter = nullptr;
    }
}

void SetDcFactory(DcFactory factory)
{
    g_dcFactory = factory;
}

CDC *DcFromHandle(HDC dc)
{
    return (g_dcFactory && dc) ? g_dcFactory(dc) : nullptr;
}
} // namespace vxwin
