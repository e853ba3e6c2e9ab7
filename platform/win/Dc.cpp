#include "platform/win/Dc.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <unordered_map>

namespace
{
// Which object owns which handle, for FromHandle and for DeleteObject on a handle that an
// object still owns. Drawing objects belong to the UI thread.
std::unordered_map<HGDIOBJ, CGdiObject *> &Owners()
{
    static std::unordered_map<HGDIOBJ, CGdiObject *> owners;
    return owners;
}

// 96 dots per inch.
constexpr int kDotsPerMeter96 = 3780;

QImage BlankImage(int width, int height)
{
    QImage image(std::max(1, width), std::max(1, height), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDotsPerMeterX(kDotsPerMeter96);
    image.setDotsPerMeterY(kDotsPerMeter96);
    return image;
}

QColor ToQColor(COLORREF color)
{
    return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
}
} // namespace

HBITMAP__::~HBITMAP__()
{
    if (selectedInto)
        selectedInto->BitmapGone(this);
}

BOOL DeleteObject(HGDIOBJ object)
{
    if (!object)
        return FALSE;
    const auto it = Owners().find(object);
    if (it != Owners().end())
    {
        it->second->m_hObject = nullptr;
        Owners().erase(it);
    }
    delete object;
    return TRUE;
}

// ---- Drawing objects ------------------------------------------------------------------

CGdiObject::~CGdiObject()
{
    DeleteObject();
}

BOOL CGdiObject::Attach(HGDIOBJ object)
{
    if (!object || m_hObject)
        return FALSE;
    m_hObject = object;
    Owners()[object] = this;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach()
{
    HGDIOBJ object = m_hObject;
    if (object)
    {
        const auto it = Owners().find(object);
        if (it != Owners().end() && it->second == this)
            Owners().erase(it);
    }
    m_hObject = nullptr;
    return object;
}

BOOL CGdiObject::DeleteObject()
{
    HGDIOBJ object = Detach();
    if (!object)
        return FALSE;
    delete object;
    return TRUE;
}

CGdiObject *CGdiObject::FromHandle(HGDIOBJ object)
{
    if (!object)
        return nullptr;
    const auto it = Owners().find(object);
    return it == Owners().end() ? nullptr : it->second;
}

BOOL CBrush::CreateSolidBrush(COLORREF color)
{
    return Attach(::CreateSolidBrush(color));
}

CBrush *CBrush::FromHandle(HBRUSH brush)
{
    return dynamic_cast<CBrush *>(CGdiObject::FromHandle(brush));
}

BOOL CFont::CreatePointFont(int pointTenths, LPCWSTR faceName, CDC *)
{
    if (m_hObject)
        return FALSE;
    return Attach(new HFONT__(vxwin::MakePointFont(pointTenths, faceName)));
}

const QFont *CFont::QtFont() const
{
    return m_hObject ? &static_cast<HFONT>(m_hObject)->font : nullptr;
}

CFont *CFont::FromHandle(HFONT font)
{
    return dynamic_cast<CFont *>(CGdiObject::FromHandle(font));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC *, int width, int height)
{
    if (m_hObject)
        return FALSE;
    return Attach(new HBITMAP__(BlankImage(width, height)));
}

BOOL CBitmap::CreateFromImage(const QImage &image)
{
    if (m_hObject || image.isNull())
        return FALSE;
    QImage copy = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    copy.setDotsPerMeterX(kDotsPerMeter96);
    copy.setDotsPerMeterY(kDotsPerMeter96);
    return Attach(new HBITMAP__(std::move(copy)));
}

CSize CBitmap::GetSize() const
{
    const QImage *image = QtImage();
    return image ? CSize(image->width(), image->height()) : CSize();
}

const QImage *CBitmap::QtImage() const
{
    return vxwin::BitmapImage(static_cast<HBITMAP>(m_hObject));
}

CBitmap *CBitmap::FromHandle(HBITMAP bitmap)
{
    return dynamic_cast<CBitmap *>(CGdiObject::FromHandle(bitmap));
}

BOOL CRgn::CreateRectRgn(int left, int top, int right, int bottom)
{
    if (m_hObject)
        return FALSE;
    return Attach(::CreateRectRgn(left, top, right, bottom));
}

BOOL CRgn::CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height)
{
    if (m_hObject)
        return FALSE;
    return Attach(::CreateRoundRectRgn(left, top, right, bottom, width, height));
}

BOOL CRgn::PtInRegion(int x, int y) const
{
    return QtRegion().contains(QPoint(x, y)) ? TRUE : FALSE;
}

QRegion CRgn::QtRegion() const
{
    return m_hObject ? static_cast<HRGN>(m_hObject)->region : QRegion();
}

CRgn *CRgn::FromHandle(HRGN region)
{
    return dynamic_cast<CRgn *>(CGdiObject::FromHandle(region));
}

// ---- Device contexts ------------------------------------------------------------------

CDC::CDC() = default;

CDC::~CDC()
{
    Release();
}

void CDC::Release()
{
    if (m_bitmap)
    {
        m_bitmap->selectedInto = nullptr;
        m_bitmap = nullptr;
    }
    if (m_ownContext)
    {
        // The context must not delete this object: it does not own it.
        m_ownContext->SetDc(nullptr);
        m_ownContext.reset();
    }
    else if (m_ctx && m_ctx->CurrentDc() == this)
    {
        m_ctx->SetDc(nullptr);
    }
    m_ctx = nullptr;
    m_hDC = nullptr;
    m_scratch.reset();
    m_memory = false;
    m_stockBitmap.DeleteObject();
}

CDC *CDC::FromHandle(HDC dc)
{
    return vxwin::DcFromHandle(dc);
}

void CDC::AttachContext(vxwin::PaintContext *ctx)
{
    m_ctx = ctx;
    m_hDC = ctx ? ctx->Handle() : nullptr;
    if (ctx && !ctx->CurrentDc())
        ctx->SetDc(this);
}

void CDC::ContextGone()
{
    // The paint this context wrapped is over.
    if (m_bitmap)
    {
        m_bitmap->selectedInto = nullptr;
        m_bitmap = nullptr;
    }
    m_ctx = nullptr;
    m_hDC = nullptr;
}

void CDC::AttachToWindow(CWnd *wnd)
{
    if (vxwin::PaintContext *paint = wnd ? wnd->GetPaintContext() : nullptr)
    {
        AttachContext(paint);
        return;
    }
    CRect client;
    if (wnd)
        wnd->GetClientRect(&client);
    m_scratch = std::make_unique<QImage>(BlankImage(client.Width(), client.Height()));
    m_ownContext = std::make_unique<vxwin::PaintContext>(m_scratch.get(), nullptr, m_scratch->rect());
    AttachContext(m_ownContext.get());
}

BOOL CDC::CreateCompatibleDC(CDC *)
{
    if (m_hDC)
        return FALSE;
    if (!m_stockBitmap.CreateCompatibleBitmap(nullptr, 1, 1))
        return FALSE;
    m_memory = true;
    m_bitmap = m_stockBitmap;
    m_bitmap->selectedInto = this;
    m_ownContext = std::make_unique<vxwin::PaintContext>(&m_bitmap->image, nullptr, m_bitmap->image.rect());
    AttachContext(m_ownContext.get());
    return TRUE;
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC)
        return FALSE;
    Release();
    return TRUE;
}

QPainter *CDC::Painter()
{
    return m_ctx ? m_ctx->Painter() : nullptr;
}

CSize CDC::GetSurfaceSize() const
{
    if (!m_ctx)
        return CSize();
    const QSize size = m_ctx->Size();
    return CSize(size.width(), size.height());
}

CBitmap *CDC::SelectObject(CBitmap *bitmap)
{
    HGDIOBJ old = SelectObject(bitmap ? bitmap->GetSafeHandle() : nullptr);
    return old ? CBitmap::FromHandle(static_cast<HBITMAP>(old)) : nullptr;
}

CFont *CDC::SelectObject(CFont *font)
{
    HGDIOBJ old = SelectObject(font ? font->GetSafeHandle() : nullptr);
    return old ? CFont::FromHandle(static_cast<HFONT>(old)) : nullptr;
}

CBrush *CDC::SelectObject(CBrush *brush)
{
    HGDIOBJ old = SelectObject(brush ? brush->GetSafeHandle() : nullptr);
    return old ? CBrush::FromHandle(static_cast<HBRUSH>(old)) : nullptr;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ object)
{
    if (!object || !m_ctx)
        return nullptr;
    if (auto *bitmap = dynamic_cast<HBITMAP__ *>(object))
    {
        // Only a memory context has a bitmap, and a bitmap lives in one context at a time.
        if (!m_memory || (bitmap->selectedInto && bitmap->selectedInto != this))
            return nullptr;
        HBITMAP old = m_bitmap;
        if (old == bitmap)
            return old;
        if (old)
            old->selectedInto = nullptr;
        m_bitmap = bitmap;
        bitmap->selectedInto = this;
        m_ctx->Retarget(&bitmap->image);
        return old;
    }
    if (auto *font = dynamic_cast<HFONT__ *>(object))
    {
        HFONT old = m_font;
        m_font = font;
        return old;
    }
    if (auto *brush = dynamic_cast<HBRUSH__ *>(object))
    {
        HBRUSH old = m_brush;
        m_brush = brush;
        return old;
    }
    return nullptr;
}

void CDC::BitmapGone(HBITMAP bitmap)
{
    if (m_bitmap != bitmap)
        return;
    // Back to the context's own blank bitmap, so that nothing paints into freed pixels.
    HBITMAP stock = m_stockBitmap;
    m_bitmap = stock;
    if (stock)
        stock->selectedInto = this;
    if (m_ctx)
        m_ctx->Retarget(stock ? &stock->image : nullptr);
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC *source, int xSource, int ySource, DWORD rop)
{
    if (rop != SRCCOPY || !m_ctx || !source)
        return FALSE;
    if (!source->m_memory || !source->m_bitmap)
        return TRUE; // nothing of a window can be read back; Qt composes what lies beneath
    if (width <= 0 || height <= 0)
        return TRUE;
    const QImage &image = source->m_bitmap->image;
    const QRect from = QRect(xSource, ySource, width, height).intersected(image.rect());
    if (from.isEmpty())
        return TRUE;
    QPainter *painter = Painter();
    if (!painter || !painter->isActive())
        return FALSE;
    painter->save();
    painter->setCompositionMode(m_memory ? QPainter::CompositionMode_Source
                                         : QPainter::CompositionMode_SourceOver);
    painter->drawImage(QPoint(x + from.x() - xSource, y + from.y() - ySource), image, from);
    painter->restore();
    return TRUE;
}

BOOL CDC::DrawIcon(int x, int y, HICON icon)
{
    QPainter *painter = Painter();
    if (!icon || icon->image.isNull() || !painter || !painter->isActive())
        return FALSE;
    const QRect target(x, y, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter->drawImage(target, icon->image);
    painter->restore();
    return TRUE;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon)
{
    CDC *context = dc ? CDC::FromHandle(dc) : nullptr;
    return context ? context->DrawIcon(x, y, icon) : FALSE;
}

HICON CreateIconFromResourceEx(const BYTE *bits, DWORD size, BOOL, DWORD, int cxDesired, int cyDesired, UINT)
{
    // 256 pixels a side is the largest an icon can be; a larger size asked for is refused
    // before anything is allocated for it.
    constexpr int kLargestIcon = 256;
    if (!bits || size == 0 || cxDesired > kLargestIcon || cyDesired > kLargestIcon)
        return nullptr;
    QImage image;
    if (!image.loadFromData(bits, static_cast<int>(std::min<DWORD>(size, 0x7FFFFFFF))) || image.isNull())
        return nullptr;
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (cxDesired > 0 && cyDesired > 0 && image.size() != QSize(cxDesired, cyDesired))
        image = image.scaled(cxDesired, cyDesired, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return new HICON__(std::move(image));
}

BOOL DestroyIcon(HICON icon)
{
    if (!icon)
        return FALSE;
    delete icon;
    return TRUE;
}

void CDC::FillSolidRect(const RECT *rect, COLORREF color)
{
    if (rect)
        FillSolidRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, color);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color)
{
    QPainter *painter = Painter();
    if (!painter || !painter->isActive() || cx <= 0 || cy <= 0)
        return;
    painter->fillRect(QRect(x, y, cx, cy), ToQColor(color));
}

void CDC::FillRect(const RECT *rect, CBrush *brush)
{
    COLORREF color{};
    if (rect && brush && vxwin::GetBrushColor(*brush, &color))
        FillSolidRect(rect, color);
}

BOOL CDC::FillRgn(CRgn *region, CBrush *brush)
{
    COLORREF color{};
    if (!region || !brush || !region->GetSafeHandle() || !vxwin::GetBrushColor(*brush, &color))
        return FALSE;
    QPainter *painter = Painter();
    if (!painter || !painter->isActive())
        return FALSE;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    const QColor fill = ToQColor(color);
    for (const QRect &r : region->QtRegion())
        painter->fillRect(r, fill);
    painter->restore();
    return TRUE;
}

COLORREF CDC::SetTextColor(COLORREF color)
{
    const COLORREF old = m_textColor;
    m_textColor = color;
    return old;
}

COLORREF CDC::SetBkColor(COLORREF color)
{
    const COLORREF old = m_bkColor;
    m_bkColor = color;
    return old;
}

int CDC::SetBkMode(int mode)
{
    const int old = m_bkMode;
    if (mode == TRANSPARENT || mode == OPAQUE)
        m_bkMode = mode;
    return old;
}

int CDC::GetDeviceCaps(int index) const
{
    switch (index)
    {
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    case HORZRES:
        return GetSurfaceSize().cx;
    case VERTRES:
        return GetSurfaceSize().cy;
    default:
        return 0;
    }
}

CPaintDC::CPaintDC(CWnd *wnd) : m_pWnd(wnd)
{
    AttachToWindow(wnd);
}

CClientDC::CClientDC(CWnd *wnd) : m_pWnd(wnd)
{
    AttachToWindow(wnd);
}

// ---- Window calls of the drawing layer -----------------------------------------------------

void CWnd::SetFont(CFont *font, BOOL redraw)
{
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font ? static_cast<HFONT>(*font) : nullptr), redraw);
}

CFont *CWnd::GetFont() const
{
    return CFont::FromHandle(m_font);
}

CDC *CWnd::GetDC()
{
    if (!m_widget)
        return nullptr;
    if (m_paint)
        return m_paint->Dc();
    auto *dc = new CDC;
    dc->AttachToWindow(this);
    dc->m_deleteOnRelease = true;
    return dc;
}

int CWnd::ReleaseDC(CDC *dc)
{
    if (!dc)
        return 0;
    if (dc->m_deleteOnRelease)
        delete dc;
    return 1;
}
