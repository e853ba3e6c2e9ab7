#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <QRegion>

#include "platform/win/WinTypes.h"

class QPaintDevice;
class QPainter;
class QWidget;
class CDC;

// Objects of the drawing layer behind the GDI handle types. A handle points to one of
// these; DeleteObject deletes it. The classes that own them (CBrush, CFont, CBitmap, CRgn)
// live in Dc.h.
struct HGDIOBJ__
{
    virtual ~HGDIOBJ__() = default;
};

struct HBRUSH__ : HGDIOBJ__
{
    explicit HBRUSH__(COLORREF c) : color(c) {}
    COLORREF color;
};

struct HFONT__ : HGDIOBJ__
{
    explicit HFONT__(const QFont &f) : font(f) {}
    QFont font;
};

// A bitmap: premultiplied ARGB pixels, transparent when made. A memory device context
// draws into the bitmap selected into it; a bitmap deleted while selected leaves that
// context with its own blank bitmap.
struct HBITMAP__ : HGDIOBJ__
{
    explicit HBITMAP__(QImage pixels) : image(std::move(pixels)) {}
    ~HBITMAP__() override;
    QImage image;
    CDC *selectedInto = nullptr;
};

// A region: a set of whole pixels (never anti-aliased).
struct HRGN__ : HGDIOBJ__
{
    explicit HRGN__(const QRegion &r) : region(r) {}
    QRegion region;
};

// An icon: straight ARGB pixels at the size its resource was drawn. It is no drawing-layer
// object: DestroyIcon, not DeleteObject, frees it.
struct HICON__
{
    explicit HICON__(QImage pixels) : image(std::move(pixels)) {}
    QImage image;
};

// An icon from the bits of an icon resource, which here are an encoded image (PNG); null when
// they do not decode. A desired size of 0 keeps the drawn size. `icon`, `version` and `flags`
// are taken as the caller's and change nothing.
HICON CreateIconFromResourceEx(const BYTE *bits, DWORD size, BOOL icon, DWORD version, int cxDesired,
                               int cyDesired, UINT flags);
BOOL DestroyIcon(HICON icon);
// Draws the icon at the system's icon size (SM_CXICON by SM_CYICON) with its top left at (x, y).
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);

HBRUSH CreateSolidBrush(COLORREF color);
HRGN CreateRectRgn(int left, int top, int right, int bottom);
// The rounded rectangle covers the pixels from (left, top) up to, but not including,
// (right - 1, bottom - 1), with corners cut along ellipses of width by height: (0, 0,
// w + 1, h + 1) covers a w by h client area.
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height);
BOOL DeleteObject(HGDIOBJ object);

namespace vxwin
{
// The colour of a solid brush; false for a null handle.
bool GetBrushColor(HBRUSH brush, COLORREF *color);

// The pixels of a bitmap (null for a null handle); they stay valid until it is deleted.
const QImage *BitmapImage(HBITMAP bitmap);

// The region of a rounded rectangle, as CreateRoundRectRgn makes it.
QRegion RoundRectRegion(int left, int top, int right, int bottom, int width, int height);

// The paint in progress on one window: the Qt paint device (the window itself, or an
// off-screen image for a colour-keyed window) and a painter begun on first use. Its address
// is the HDC that WM_ERASEBKGND carries; a device context of the drawing layer wraps it.
// Memory device contexts use a context of their own over their selected bitmap.
class PaintContext
{
  public:
    PaintContext(QPaintDevice *device, QWidget *widget, const QRect &dirty);
    ~PaintContext();
    PaintContext(const PaintContext &) = delete;
    PaintContext &operator=(const PaintContext &) = delete;

    // Begun on first use and again after End; the painter object stays the same for the
    // life of the context, so drawing code may hold on to it.
    QPainter *Painter();
    void End();
    // Ends the painting and paints on `device` from the next Painter() on.
    void Retarget(QPaintDevice *device);
    QPaintDevice *Device() const { return m_device; }
    QWidget *Widget() const { return m_widget; }
    QRect DirtyRect() const { return m_dirty; }
    // The size of what is painted on.
    QSize Size() const;
    HDC Handle() { return reinterpret_cast<HDC>(this); }
    static PaintContext *FromHandle(HDC dc) { return reinterpret_cast<PaintContext *>(dc); }

    // The device context over this paint: the one that made the context, or one made on
    // first use and owned here.
    CDC *Dc();
    void SetDc(CDC *dc) { m_dc = dc; }
    CDC *CurrentDc() const { return m_dc; }

  private:
    QPaintDevice *m_device;
    QWidget *m_widget;
    QRect m_dirty;
    QPainter *m_painter = nullptr;
    CDC *m_dc = nullptr;
    bool m_ownsDc = false;
};

// How a message handler gets its CDC* for an HDC: the device context of the paint, unless a
// factory is installed.
using DcFactory = CDC *(*)(HDC dc);
void SetDcFactory(DcFactory factory);
CDC *DcFromHandle(HDC dc);
} // namespace vxwin
