#pragma once

#include <memory>
#include <string>

#include "ui/UIFactory.h"

// The kit's text box: an edit control with its own point font, text and background colours
// that follow the focus, an optional rounded frame on a surrounding colour, and an optional
// filter that lets only whole numbers within limits be typed or pasted.
//
// Colours are COLORREF values. The edit takes them through its colour setters (there is no
// colour request to answer here): the current background fills the box (or its rounded
// frame) behind the text, in the text colour.
class UIEdit : public CEdit, public UIFactory
{
  public:
    // A pasted text this long or longer is refused whole.
    static constexpr std::size_t kMaxPaste = 260;

    UIEdit();
    ~UIEdit() override;

    void Draw(CDC *) override {}

    // The background with and without the focus; the box shows it from the next focus change.
    void SetBkColor(COLORREF color);
    void SetTextColor(COLORREF color);
    // What lies outside the rounded frame.
    void SetOuterColor(COLORREF color) { m_crOuter = color; }
    COLORREF GetCurrentBkColor() const { return m_crCurrentBackground; }
    COLORREF GetTextColor() const { return m_crText; }

    // The filter: typed and pasted text must keep the box a whole number no greater than the
    // maximum; a paste must also leave it no smaller than the minimum; with no leading zero,
    // the text may not begin with "0". Turning it on also shuts the ways in that pass no
    // character through the filter (context menu, middle click, drops).
    void SetNumericOnly(BOOL numeric);
    void SetMaxValue(UINT value) { m_nMaxValue = value; }
    void SetMinValue(UINT value) { m_nMinValue = value; }
    void SetNoLeadingZero(BOOL noLeadingZero) { m_bNoLeadingZero = noLeadingZero; }
    BOOL IsNumericOnly() const { return m_bNumericOnly; }

    // Rounded corners of this ellipse size; (0, 0) turns the frame off and changes nothing else.
    void SetRoundFrame(int cornerWidth, int cornerHeight);
    // A new point font of the face "Arial" when the size differs from the present one.
    void SetFontSize(int points);
    int GetFontSize() const { return m_nPointSize; }
    BOOL HasSelection() const;
    // Replaces the cached background by a copy of what the context holds over the client area.
    void CaptureBackground(CDC *dc);

    // The number at the start of `text`: decimal digits up to the first other character,
    // saturating at the largest 64-bit value (a long run of digits never wraps to a small one).
    static unsigned long long LeadingNumber(std::u16string_view text);
    static bool IsDigit(UINT ch) { return ch >= u'0' && ch <= u'9'; }

    // Set by the owner before the first paint: keep a copy of what lies under the box.
    BOOL m_bCacheBackground = FALSE;

  protected:
    int OnCreate(LPCREATESTRUCT createStruct) override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnChar(UINT ch, UINT repeatCount, UINT flags) override;
    void OnSetFocus(CWnd *oldWnd) override;
    void OnKillFocus(CWnd *newWnd) override;
    BOOL OnEraseBkgnd(CDC *dc) override;

    // The text the box would hold with `inserted` in place of the selection, or at the caret.
    std::u16string WouldBeText(std::u16string_view inserted) const;
    // Whether a number text passes the maximum and the leading-zero rule.
    bool PassesLimits(std::u16string_view wouldBe) const;
    // The control-character part of the filter (Ctrl+V, Shift+Insert): TRUE when the
    // character may take the default handling.
    bool AcceptControlCharacter(UINT ch);
    // Whether a paste of digits that gives `wouldBe` is acceptable.
    virtual bool AcceptPaste(std::u16string_view wouldBe) const;
    // Applies the text colour and the current background to the edit.
    void ApplyColors();
    void ApplyFrameMargins();

    std::unique_ptr<CFont> m_pFont;
    int m_nPointSize = 12;
    WCHAR m_szFaceName[20] = u"Arial";
    COLORREF m_crCurrentBackground = RGB(255, 255, 255);
    COLORREF m_crText = RGB(0, 0, 0);
    COLORREF m_crOuter = RGB(255, 255, 255);
    COLORREF m_crBackgroundNormal = RGB(255, 255, 255);
    COLORREF m_crBackgroundFocused = RGB(255, 255, 255);
    BOOL m_bRoundFrame = FALSE;
    int m_nCornerWidth = 0;
    int m_nCornerHeight = 0;
    BOOL m_bNumericOnly = FALSE;
    UINT m_nMaxValue = 65535;
    UINT m_nMinValue = 0;
    BOOL m_bNoLeadingZero = FALSE;
    BOOL m_bBackgroundCaptured = FALSE;
    std::unique_ptr<CBitmap> m_pCachedBackground;
    CRect m_rcWindow;
};

// A text box for numbers with one decimal: its filter also takes one decimal point, in a
// text that is not empty, and one digit behind it. A typed character is judged against what
// stays of the text once it replaces the selection. The maximum and the leading-zero rule
// bind the whole-number part.
class UINumericEdit : public UIEdit
{
  public:
    UINumericEdit();
    ~UINumericEdit() override;

    WCHAR m_chDecimal = u'.';

  protected:
    void OnChar(UINT ch, UINT repeatCount, UINT flags) override;
    bool AcceptPaste(std::u16string_view wouldBe) const override;

    // Whether `text` has at most one character behind its decimal point.
    bool OneDecimalAtMost(std::u16string_view text) const;
};
