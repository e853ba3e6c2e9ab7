#pragma once

#include <memory>

#include "ui/UIFactory.h"

// The base of every dialog of the program. Once it has a background picture it is a
// borderless layered window shaped by the picture: one colour is both its fill and its
// transparent key, and a press anywhere on it (or on a label, which hands its presses on)
// drags it.
class UIDialog : public CDialog, public UIFactory
{
  public:
    UIDialog(UINT templateId, CWnd *parent);
    ~UIDialog() override;

    // Loads the PNG resource as the background picture. The first success makes the window
    // borderless and layered with the background colour as its key; every success moves and
    // sizes the window to the picture. 0, with nothing changed, when there is no such picture.
    BOOL SetBackgroundImage(UINT id, WORD language);
    void Draw(CDC *dc) override;

    Gdiplus::Image *GetBackgroundImage() const { return m_pBackground.get(); }

    // Where the window goes when a picture is set, and with stretch the size the picture is
    // drawn to; -1 is unset.
    CRect m_rcPosition{-1, -1, -1, -1};
    // 0x00ECE9D8 as a COLORREF (red D8, green E9, blue EC) fills the dialog and keys the
    // layered window; the same number read as ARGB (red EC, green E9, blue D8) is the
    // picture's colour key, so picture pixels of that colour let the fill show through.
    COLORREF m_crBackground = COLORREF{0x00ECE9D8};
    BOOL m_bStretch = FALSE;
    BOOL m_bColorKey = TRUE;

  protected:
    void OnLButtonDown(UINT flags, CPoint point) override;
    BOOL OnEraseBkgnd(CDC *dc) override;
    HBRUSH OnCtlColor(CDC *dc, CWnd *wnd, UINT ctlColor) override;

    std::unique_ptr<Gdiplus::Image> m_pBackground;
    CBrush m_brBackground;
    Gdiplus::ImageAttributes m_ImageAttributes;

  private:
    bool m_bLayeredSet = false;
};
