#pragma once

#include <memory>

#include "ui/UIFactory.h"

// The kit's owner-drawn label and picture, and the base of its buttons. Each paint draws
// the whole control off screen (state image, then caption) and copies it to the window in
// one go; a transparent control leaves unpainted pixels to what lies beneath.
//
// Visual states: 0 normal, 1 pressed or checked, 2 hover, 3 disabled.
class UIStatic : public CWnd, public UIFactory
{
  public:
    // The longest caption; a longer text is cut to it.
    static constexpr int kMaxText = 255;

    UIStatic();
    ~UIStatic() override;

    // A child window (style 0 means WS_CHILD alone) at `rect` in the parent; a null text
    // is an empty caption.
    virtual BOOL Create(LPCWSTR text, const RECT &rect, CWnd *parent, UINT id, DWORD style = 0);
    // Images from bitmap handles, copies of bitmaps, or the program's PNG resources; a null
    // or 0 disabled image takes the normal one. Each replaces all four state images (pressed
    // and hover become empty) and, without stretch, sizes the window to the normal image at
    // the creation position.
    virtual void SetImage(HBITMAP normal, HBITMAP disabled);
    virtual void SetImageCopy(Gdiplus::Bitmap *normal, Gdiplus::Bitmap *disabled);
    virtual void SetImageResource(UINT normalId, UINT disabledId, WORD language);

    void Draw(CDC *dc) override;

    void SetState(int state);
    int GetState() const { return m_nState; }
    int GetImageWidth() const { return m_nImageWidth; }
    int GetImageHeight() const { return m_nImageHeight; }
    void SetText(LPCWSTR text);
    LPCWSTR GetText() const { return m_szText; }
    int GetTextLength() const { return m_nTextLength; }
    void SetTextColor(ARGB color);
    void SetTextColors(ARGB normal, ARGB hover, ARGB pressed, ARGB disabled);
    ARGB GetCurrentTextColor() const { return m_crText; }
    // These store the value and leave redrawing to the caller.
    void SetBkColor(ARGB color) { m_crBackground = color; }
    void SetAlignment(int alignment) { m_nAlignment = alignment; }
    void SetLineAlignment(int alignment) { m_nLineAlignment = alignment; }
    void SetTransparent(BOOL transparent) { m_bTransparent = transparent; }
    void SetFontSize(int pixels) { m_nFontSize = pixels; }
    void SetFontStyle(int style) { m_nFontStyle = style; }
    int GetFontSize() const { return m_nFontSize; }
    int GetFontStyle() const { return m_nFontStyle; }
    int GetAlignment() const { return m_nAlignment; }
    void SetMultiLine(BOOL multiLine) { m_bMultiLine = multiLine; }
    BOOL IsMultiLine() const { return m_bMultiLine; }
    void SetVCenter(BOOL center) { m_bVCenter = center; }
    // Pixels of this colour (red, green and blue) in the images are not drawn.
    void SetColorKey(ARGB key);
    // Replaces the cached background by a copy of what the context holds over the client area.
    void CaptureBackground(CDC *dc);

    // Set by the owner before the first paint: keep a copy of what lies under the control
    // and paint over that copy.
    BOOL m_bCacheBackground = FALSE;
    // Draw the state image.
    BOOL m_bShowImage = TRUE;
    // Draw the image into the creation rectangle and leave the window at its creation size.
    BOOL m_bStretch = FALSE;

  protected:
    void OnPaint() override;
    void OnEnable(BOOL enable) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    using CWnd::Create;

    // The program's PNG resource `id` in `language`, or null when there is none.
    std::unique_ptr<Gdiplus::Image> LoadPng(UINT id, WORD language);
    // Replaces all four state images, takes the size of the normal one, makes it current
    // and, without stretch, sizes the window to it at the creation position.
    void ReplaceImages(std::unique_ptr<Gdiplus::Image> normal, std::unique_ptr<Gdiplus::Image> disabled,
                       std::unique_ptr<Gdiplus::Image> pressed = nullptr,
                       std::unique_ptr<Gdiplus::Image> hover = nullptr);
    // The image and the text colour that the present state shows.
    Gdiplus::Image *ImageForState() const;
    ARGB TextColorForState() const;

    int m_nState = 0;
    WCHAR m_szText[kMaxText + 1] = {};
    int m_nTextLength = 0;
    BOOL m_bBackgroundCaptured = FALSE;
    std::unique_ptr<CBitmap> m_pCachedBackground;
    Gdiplus::Image *m_pCurrentImage = nullptr; // one of the four below
    std::unique_ptr<Gdiplus::Image> m_pNormalImage;
    std::unique_ptr<Gdiplus::Image> m_pPressedImage;
    std::unique_ptr<Gdiplus::Image> m_pHoverImage;
    std::unique_ptr<Gdiplus::Image> m_pDisabledImage;
    int m_nImageWidth = 0;
    int m_nImageHeight = 0;
    Gdiplus::ImageAttributes m_ImageAttributes;
    ARGB m_crBackground = 0xFFFFFFFF;
    ARGB m_crText = 0xFF000000;
    // Alpha 0: the caption of a new control stays invisible until a colour is set.
    ARGB m_crTextNormal = 0x00FF0000;
    ARGB m_crTextHover = 0xFF000000;
    ARGB m_crTextPressed = 0xFF000000;
    ARGB m_crTextDisabled = 0xFF000000;
    ARGB m_crColorKey = 0x0000FF00;
    BOOL m_bTransparent = TRUE;
    Gdiplus::FontFamily m_FontFamily{u"Arial"};
    int m_nFontSize = 16;
    int m_nFontStyle = 0;
    int m_nAlignment = 0;
    int m_nLineAlignment = 0;
    BOOL m_bMultiLine = FALSE;
    BOOL m_bVCenter = TRUE;
    CRect m_rcCreate;

  private:
    void CopyText(LPCWSTR text);
};
