#include "ui/UIStatic.h"

UIStatic::UIStatic() = default;

UIStatic::~UIStatic()
{
    // The window goes first; the images, the cache and the attributes after it.
    if (m_hWnd)
        DestroyWindow();
}

void UIStatic::CopyText(LPCWSTR text)
{
    std::size_t n = 0;
    while (text[n] && n < static_cast<std::size_t>(kMaxText))
        ++n;
    // A cut never splits a surrogate pair.
    if (n == static_cast<std::size_t>(kMaxText) && text[n] && n > 0 && text[n - 1] >= 0xD800 &&
        text[n - 1] <= 0xDBFF)
        --n;
    std::copy_n(text, n, m_szText);
    m_szText[n] = 0;
    m_nTextLength = static_cast<int>(n);
}

BOOL UIStatic::Create(LPCWSTR text, const RECT &rect, CWnd *parent, UINT id, DWORD style)
{
    m_rcCreate = rect;
    CopyText(text ? text : u"");
    if (m_bTransparent)
        m_ImageAttributes.SetColorKey(Gdiplus::Color(m_crColorKey), Gdiplus::Color(m_crColorKey));
    return CWnd::Create(nullptr, nullptr, style ? style : WS_CHILD, rect, parent, id);
}

std::unique_ptr<Gdiplus::Image> UIStatic::LoadPng(UINT id, WORD language)
{
    Gdiplus::Image *image = nullptr;
    if (!LoadImageFromResource(id, u"PNG", &image, language))
        return nullptr;
    return std::unique_ptr<Gdiplus::Image>(image);
}

void UIStatic::ReplaceImages(std::unique_ptr<Gdiplus::Image> normal, std::unique_ptr<Gdiplus::Image> disabled,
                             std::unique_ptr<Gdiplus::Image> pressed, std::unique_ptr<Gdiplus::Image> hover)
{
    m_pCurrentImage = nullptr;
    m_pNormalImage = std::move(normal);
    m_pDisabledImage = std::move(disabled);
    m_pPressedImage = std::move(pressed);
    m_pHoverImage = std::move(hover);
    m_nImageWidth = m_pNormalImage ? static_cast<int>(m_pNormalImage->GetWidth()) : 0;
    m_nImageHeight = m_pNormalImage ? static_cast<int>(m_pNormalImage->GetHeight()) : 0;
    m_pCurrentImage = m_pNormalImage.get();
    // Without a picture to measure, the window keeps its size rather than shrink to nothing.
    if (!m_bStretch && m_hWnd && m_nImageWidth > 0 && m_nImageHeight > 0)
        MoveWindow(m_rcCreate.left, m_rcCreate.top, m_nImageWidth, m_nImageHeight, TRUE);
}

void UIStatic::SetImage(HBITMAP normal, HBITMAP disabled)
{
    auto fromBitmap = [](HBITMAP bitmap) -> std::unique_ptr<Gdiplus::Image> {
        const auto *pixels = vxwin::BitmapImage(bitmap);
        if (!pixels)
            return nullptr;
        return std::make_unique<Gdiplus::Bitmap>(*pixels);
    };
    ReplaceImages(fromBitmap(normal), fromBitmap(disabled ? disabled : normal));
}

void UIStatic::SetImageCopy(Gdiplus::Bitmap *normal, Gdiplus::Bitmap *disabled)
{
    auto copy = [](Gdiplus::Bitmap *bitmap) -> std::unique_ptr<Gdiplus::Image> {
        if (!bitmap)
            return nullptr;
        const Gdiplus::Rect whole(0, 0, static_cast<int>(bitmap->GetWidth()),
                                  static_cast<int>(bitmap->GetHeight()));
        return std::unique_ptr<Gdiplus::Image>(bitmap->Clone(whole, bitmap->GetPixelFormat()));
    };
    ReplaceImages(copy(normal), copy(disabled ? disabled : normal));
}

void UIStatic::SetImageResource(UINT normalId, UINT disabledId, WORD language)
{
    ReplaceImages(LoadPng(normalId, language), LoadPng(disabledId ? disabledId : normalId, language));
    Invalidate();
}

Gdiplus::Image *UIStatic::ImageForState() const
{
    if (!IsWindowEnabled())
        return m_pDisabledImage.get();
    if (m_nState == 1 && m_pPressedImage)
        return m_pPressedImage.get();
    if (m_nState == 2 && m_pHoverImage)
        return m_pHoverImage.get();
    return m_pNormalImage.get();
}

ARGB UIStatic::TextColorForState() const
{
    if (!IsWindowEnabled())
        return m_crTextDisabled;
    if (m_nState == 1 && m_pPressedImage)
        return m_crTextPressed;
    if (m_nState == 2 && m_pHoverImage)
        return m_crTextHover;
    return m_crTextNormal;
}

void UIStatic::Draw(CDC *dc)
{
    if (!dc || !m_hWnd)
        return;
    CRect client;
    GetClientRect(&client);
    const int width = client.Width();
    const int height = client.Height();

    CDC mem;
    if (!mem.CreateCompatibleDC(dc))
        return;
    CBitmap bitmap;
    if (!bitmap.CreateCompatibleBitmap(dc, width, height))
        return;
    CBitmap *old = mem.SelectObject(&bitmap);
    if (!m_bCacheBackground || !m_pCachedBackground)
    {
        mem.BitBlt(0, 0, width, height, dc, 0, 0, SRCCOPY);
    }
    else
    {
        // The paint starts from a copy of the cache, which itself stays what lay beneath.
        CDC cache;
        if (cache.CreateCompatibleDC(dc))
        {
            CBitmap *cacheOld = cache.SelectObject(m_pCachedBackground.get());
            mem.BitBlt(0, 0, width, height, &cache, 0, 0, SRCCOPY);
            cache.SelectObject(cacheOld);
        }
    }
    if (m_bCacheBackground && !m_bBackgroundCaptured)
    {
        CaptureBackground(dc);
        m_bBackgroundCaptured = TRUE;
    }

    {
        Gdiplus::Graphics graphics(mem.Painter());
        if (!m_bTransparent)
            graphics.Clear(Gdiplus::Color(m_crBackground));

        if (m_bShowImage && m_pCurrentImage)
        {
            if (Gdiplus::Image *image = ImageForState())
            {
                m_pCurrentImage = image;
                const int iw = static_cast<int>(image->GetWidth());
                const int ih = static_cast<int>(image->GetHeight());
                const Gdiplus::Rect dest = m_bStretch
                                               ? Gdiplus::Rect(0, 0, m_rcCreate.Width(), m_rcCreate.Height())
                                               : Gdiplus::Rect(0, 0, iw, ih);
                if (m_bTransparent)
                    graphics.DrawImage(image, dest, 0, 0, iw, ih, Gdiplus::UnitPixel, &m_ImageAttributes);
                else if (m_bStretch)
                    graphics.DrawImage(image, dest);
                else
                    graphics.DrawImage(image, 0, 0);
            }
        }

        if (m_nTextLength > 0)
        {
            m_crText = TextColorForState();
            Gdiplus::SolidBrush brush{Gdiplus::Color(m_crText)};
            Gdiplus::Font font(&m_FontFamily, static_cast<Gdiplus::REAL>(m_nFontSize), m_nFontStyle,
                               Gdiplus::UnitPixel);
            Gdiplus::StringFormat format;
            format.SetAlignment(static_cast<Gdiplus::StringAlignment>(m_nAlignment));

            const float size = static_cast<float>(m_nFontSize);
            const float em = m_FontFamily.GetEmHeight(m_nFontStyle);
            const float lineHeight = em > 0 ? m_FontFamily.GetCellAscent(m_nFontStyle) * size / em +
                                                  m_FontFamily.GetCellDescent(m_nFontStyle) * size / em
                                            : size;
            if (!m_bMultiLine)
            {
                Gdiplus::RectF box;
                graphics.MeasureString(m_szText, m_nTextLength, &font, Gdiplus::PointF(0, 0), &format, &box);
                // Once too wide, the caption is laid out over the whole client area for good.
                if (box.Width > static_cast<float>(width))
                    m_bMultiLine = TRUE;
            }
            if (static_cast<float>(height) <= lineHeight || m_bMultiLine || !m_bVCenter)
            {
                format.SetLineAlignment(static_cast<Gdiplus::StringAlignment>(m_nLineAlignment));
                graphics.DrawString(
                    m_szText, m_nTextLength, &font,
                    Gdiplus::RectF(0, 0, static_cast<float>(width), static_cast<float>(height)), &format,
                    &brush);
            }
            else
            {
                graphics.DrawString(m_szText, m_nTextLength, &font,
                                    Gdiplus::RectF(0, (static_cast<float>(height) - lineHeight) / 2,
                                                   static_cast<float>(width), lineHeight),
                                    &format, &brush);
            }
        }
    }

    dc->BitBlt(0, 0, width, height, &mem, 0, 0, SRCCOPY);
    mem.SelectObject(old);
}

void UIStatic::SetState(int state)
{
    m_nState = state;
    Invalidate(TRUE);
}

void UIStatic::SetText(LPCWSTR text)
{
    if (!text)
        return;
    CopyText(text);
    Invalidate(TRUE);
}

void UIStatic::SetTextColor(ARGB color)
{
    m_crText = m_crTextNormal = m_crTextHover = m_crTextPressed = m_crTextDisabled = color;
}

void UIStatic::SetTextColors(ARGB normal, ARGB hover, ARGB pressed, ARGB disabled)
{
    m_crTextNormal = normal;
    m_crTextHover = hover;
    m_crTextPressed = pressed;
    m_crTextDisabled = disabled;
}

void UIStatic::SetColorKey(ARGB key)
{
    m_crColorKey = key;
    m_ImageAttributes.SetColorKey(Gdiplus::Color(key), Gdiplus::Color(key));
}

void UIStatic::CaptureBackground(CDC *dc)
{
    if (!dc || !m_hWnd)
        return;
    CRect client;
    GetClientRect(&client);
    auto cached = std::make_unique<CBitmap>();
    if (!cached->CreateCompatibleBitmap(dc, client.Width(), client.Height()))
        return;
    CDC mem;
    if (mem.CreateCompatibleDC(dc))
    {
        CBitmap *old = mem.SelectObject(cached.get());
        mem.BitBlt(0, 0, client.Width(), client.Height(), dc, 0, 0, SRCCOPY);
        mem.SelectObject(old);
    }
    m_pCachedBackground = std::move(cached);
}

void UIStatic::OnPaint()
{
    CPaintDC dc(this);
    Draw(&dc);
}

void UIStatic::OnEnable(BOOL enable)
{
    const std::weak_ptr<int> life = LifeToken();
    Default();
    if (life.expired() || !m_hWnd)
        return;
    m_nState = enable ? 0 : 3;
    Invalidate(TRUE);
}

void UIStatic::OnLButtonDown(UINT flags, CPoint point)
{
    // A press on a label belongs to what the label lies on (a dialog is dragged by it); the
    // point stays in the label's own coordinates.
    if (CWnd *parent = GetParent())
    {
        parent->SendMessage(WM_LBUTTONDOWN, flags, MAKELPARAM(point.x, point.y));
        return;
    }
    Default();
}
