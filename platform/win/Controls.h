#pragma once

#include "platform/win/Wnd.h"

class QLineEdit;

// A static text control. Without SS_NOTIFY it lets the mouse through to what lies beneath.
class CStatic : public CWnd
{
  public:
    CStatic() = default;
    virtual BOOL Create(LPCWSTR text, DWORD style, const RECT &rect, CWnd *parent, UINT id = 0xFFFF);

  protected:
    LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    using CWnd::Create;
};

// A single-line edit control over QLineEdit. Styles: ES_CENTER, ES_RIGHT, ES_PASSWORD,
// ES_READONLY. Every change of its text, typed or set by the program, sends
// WM_COMMAND(EN_CHANGE) to the parent at once. Its background is painted by WM_ERASEBKGND
// (the default fills it with the background colour) before the text is drawn over it.
class CEdit : public CWnd
{
  public:
    CEdit() = default;
    virtual BOOL Create(DWORD style, const RECT &rect, CWnd *parent, UINT id);

    // Limits what the person types or pastes (0: 32767 characters); a text the program sets
    // is kept whole, and a limit below the present text cuts nothing.
    void LimitText(int maxChars = 0);
    void SetLimitText(UINT maxChars) { LimitText(static_cast<int>(maxChars)); }
    UINT GetLimitText() const;
    // Selection by character index; (0, -1) selects all, (-1, ...) removes the selection.
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void GetSel(int &start, int &end) const;
    DWORD GetSel() const;
    void ReplaceSel(LPCWSTR text, BOOL canUndo = FALSE);
    // The character index of the caret.
    int GetCaretIndex() const;
    // The caret's position in client coordinates, and the character nearest a point
    // (LOWORD: character index, HIWORD: line, always 0).
    CPoint GetCaretPos() const;
    int CharFromPos(CPoint point) const;
    void SetMargins(UINT left, UINT right);
    DWORD GetMargins() const;
    // The formatting rectangle: the client area less the margins.
    void GetRect(LPRECT rect) const;
    void SetRect(LPCRECT rect);
    void SetReadOnly(BOOL readOnly = TRUE);
    // Text and background colours (the background is what the default erase paints).
    void SetColors(COLORREF text, COLORREF background);
    COLORREF GetBackgroundColor() const { return m_background; }
    // A font of pointTenths tenths of a point at 96 pixels per inch.
    void SetPointFont(int pointTenths, LPCWSTR faceName, BOOL redraw = TRUE);
    // Lets text in only through typed characters (and so through a WM_CHAR filter): no
    // context-menu paste, no drops, no middle-click paste, no input-method text.
    void SetTypedInputOnly(BOOL typedOnly);
    BOOL IsTypedInputOnly() const { return m_typedOnly; }

    QLineEdit *GetLineEdit() const;

  protected:
    QWidget *CreateWidget(QWidget *parent) override;
    LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void SetTextOfWindow(const std::u16string &text) override;
    std::u16string GetTextOfWindow() const override;
    using CWnd::Create;

  private:
    friend class EditBridge;
    void NotifyChange();

    COLORREF m_background = RGB(255, 255, 255);
    COLORREF m_textColor = RGB(0, 0, 0);
    bool m_settingText = false;
    bool m_typedOnly = false;
};
