#pragma once

// Device contexts and the drawing objects that go with them, over QPainter.
//
// A device context over a window paints with the painter of the paint in progress (Qt
// paints a window only inside its paint event; outside one, a window's context draws into
// a scratch image that nobody sees). A memory device context paints into the bitmap
// selected into it: transparent ARGB pixels. Qt keeps no copy of what lies under a window
// and paints a child that leaves pixels transparent over its parent, so a copy from a
// window into memory leaves the memory as it was, and a copy from memory to a window draws
// over what is there (source over); a copy from memory to memory replaces the pixels.

#include <memory>

#include "platform/win/Gdi.h"
#include "platform/win/Wnd.h"

class QPainter;
class CDC;

// The owner of one drawing-layer object; deleting the owner deletes the object.
class CGdiObject
{
  public:
    CGdiObject() = default;
    virtual ~CGdiObject();
    CGdiObject(const CGdiObject &) = delete;
    CGdiObject &operator=(const CGdiObject &) = delete;

    HGDIOBJ m_hObject = nullptr;

    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    operator HGDIOBJ() const { return m_hObject; }
    BOOL Attach(HGDIOBJ object);
    HGDIOBJ Detach();
    BOOL DeleteObject();
    // The object that owns a handle, or null when none does.
    static CGdiObject *FromHandle(HGDIOBJ object);
};

class CBrush : public CGdiObject
{
  public:
    CBrush() = default;
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
    BOOL CreateSolidBrush(COLORREF color);
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
    static CBrush *FromHandle(HBRUSH brush);
};

class CFont : public CGdiObject
{
  public:
    // A font of `pointTenths` tenths of a point, at 96 pixels per inch whatever the screen
    // says (120 is 12 points, 16 pixels). The device context is not consulted.
    BOOL CreatePointFont(int pointTenths, LPCWSTR faceName, CDC *dc = nullptr);
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }
    // The Qt font (null without a font).
    const QFont *QtFont() const;
    static CFont *FromHandle(HFONT font);
};

class CBitmap : public CGdiObject
{
  public:
    // A transparent bitmap; a width or height of 0 or less gives 1 by 1 pixel.
    BOOL CreateCompatibleBitmap(CDC *dc, int width, int height);
    // A bitmap holding a copy of the image.
    BOOL CreateFromImage(const QImage &image);
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
    CSize GetSize() const;
    // The pixels (null without a bitmap).
    const QImage *QtImage() const;
    static CBitmap *FromHandle(HBITMAP bitmap);
};

class CRgn : public CGdiObject
{
  public:
    BOOL CreateRectRgn(int left, int top, int right, int bottom);
    BOOL CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height);
    BOOL PtInRegion(int x, int y) const;
    operator HRGN() const { return static_cast<HRGN>(m_hObject); }
    // The pixels of the region (empty without a region).
    QRegion QtRegion() const;
    static CRgn *FromHandle(HRGN region);
};

class CDC
{
  public:
    CDC();
    virtual ~CDC();
    CDC(const CDC &) = delete;
    CDC &operator=(const CDC &) = delete;

    HDC m_hDC = nullptr;

    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }
    // The device context of a handle (the handles of this layer all belong to one).
    static CDC *FromHandle(HDC dc);

    // A memory device context with a 1 by 1 blank bitmap selected. `dc` may be null.
    BOOL CreateCompatibleDC(CDC *dc);
    BOOL DeleteDC();
    bool IsMemoryDC() const { return m_memory; }

    // The painter of this context, active, for the drawing facade
    // (Gdiplus::Graphics(dc->Painter())); null when the context is gone.
    QPainter *Painter();
    // The size of what the context paints on.
    CSize GetSurfaceSize() const;

    // Selection: each returns the object selected before (null when no owner of it is known,
    // or when selection failed). A bitmap may be selected into one memory context at a time.
    CBitmap *SelectObject(CBitmap *bitmap);
    CFont *SelectObject(CFont *font);
    CBrush *SelectObject(CBrush *brush);
    HGDIOBJ SelectObject(HGDIOBJ object);
    HBITMAP GetCurrentBitmap() const { return m_bitmap; }
    HFONT GetCurrentFont() const { return m_font; }
    HBRUSH GetCurrentBrush() const { return m_brush; }

    // Only SRCCOPY. See the top of this file for what a copy does between windows and memory.
    BOOL BitBlt(int x, int y, int width, int height, CDC *source, int xSource, int ySource, DWORD rop);

    // The icon at the system's icon size, its top left at (x, y).
    BOOL DrawIcon(int x, int y, HICON icon);
    void FillSolidRect(const RECT *rect, COLORREF color);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
    void FillRect(const RECT *rect, CBrush *brush);
    BOOL FillRgn(CRgn *region, CBrush *brush);

    COLORREF SetTextColor(COLORREF color);
    COLORREF GetTextColor() const { return m_textColor; }
    COLORREF SetBkColor(COLORREF color);
    COLORREF GetBkColor() const { return m_bkColor; }
    int SetBkMode(int mode);
    int GetBkMode() const { return m_bkMode; }
    int GetDeviceCaps(int index) const;

  protected:
    // Paints into the paint in progress on the window, or into a scratch image of its
    // client size when there is none.
    void AttachToWindow(CWnd *wnd);

  private:
    friend class vxwin::PaintContext;
    friend class CWnd;
    friend struct HBITMAP__;
    void AttachContext(vxwin::PaintContext *ctx);
    void ContextGone();
    void BitmapGone(HBITMAP bitmap);
    void Release();

    vxwin::PaintContext *m_ctx = nullptr;
    std::unique_ptr<vxwin::PaintContext> m_ownContext;
    std::unique_ptr<QImage> m_scratch;
    bool m_memory = false;
    bool m_deleteOnRelease = false;
    HBITMAP m_bitmap = nullptr;
    CBitmap m_stockBitmap;
    HFONT m_font = nullptr;
    HBRUSH m_brush = nullptr;
    COLORREF m_textColor = RGB(0, 0, 0);
    COLORREF m_bkColor = RGB(255, 255, 255);
    int m_bkMode = OPAQUE;
};

// The device context of a window's paint; outside WM_PAINT, one whose drawing is not shown.
class CPaintDC : public CDC
{
  public:
    explicit CPaintDC(CWnd *wnd);
    CWnd *m_pWnd;
};

// The device context of a window's client area: during a paint that paint's, otherwise one
// whose drawing is not shown (Qt paints windows only in their paint events).
class CClientDC : public CDC
{
  public:
    explicit CClientDC(CWnd *wnd);
    CWnd *m_pWnd;
};
