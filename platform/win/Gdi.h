#pragma once

#include <QRect>

#include "platform/win/WinTypes.h"

class QPaintDevice;
class QPainter;
class QWidget;
class CDC;

// Objects of the drawing layer behind the GDI handle types. Only what the window layer
// itself needs lives here (solid brushes for the dialog background); device contexts,
// fonts, bitmaps and regions build on the same base.
struct HGDIOBJ__
{
    virtual ~HGDIOBJ__() = default;
};

struct HBRUSH__ : HGDIOBJ__
{
    explicit HBRUSH__(COLORREF c) : color(c) {}
    COLORREF color;
};

HBRUSH CreateSolidBrush(COLORREF color);
BOOL DeleteObject(HGDIOBJ object);

namespace vxwin
{
// The colour of a solid brush; false for a null handle.
bool GetBrushColor(HBRUSH brush, COLORREF *color);

// The paint in progress on one window: the Qt paint device (the window itself, or an
// off-screen image for a colour-keyed window) and a painter begun on first use. Its address
// is the HDC that WM_ERASEBKGND carries; a device context of the drawing layer wraps it.
class PaintContext
{
  public:
    PaintContext(QPaintDevice *device, QWidget *widget, const QRect &dirty);
    ~PaintContext();
    PaintContext(const PaintContext &) = delete;
    PaintContext &operator=(const PaintContext &) = delete;

    QPainter *Painter();
    void End();
    QPaintDevice *Device() const { return m_device; }
    QWidget *Widget() const { return m_widget; }
    QRect DirtyRect() const { return m_dirty; }
    HDC Handle() { return reinterpret_cast<HDC>(this); }
    static PaintContext *FromHandle(HDC dc) { return reinterpret_cast<PaintContext *>(dc); }

  private:
    QPaintDevice *m_device;
    QWidget *m_widget;
    QRect m_dirty;
    QPainter *m_painter = nullptr;
};

// How a message handler gets its CDC* for an HDC. The drawing layer installs its factory;
// until then handlers receive a null CDC*.
using DcFactory = CDC *(*)(HDC dc);
void SetDcFactory(DcFactory factory);
CDC *DcFromHandle(HDC dc);
} // namespace vxwin
