#pragma once

#include "ui/UIStatic.h"

// What a button calls when it is clicked. A plain function: its owner is reached through a
// global pointer (the main window, a page's own pointer).
using ButtonClickCallback = void (*)();

// The kit's push button, check box and radio button: a label whose state image and text
// colour follow the mouse. A push button goes normal -> hover -> pressed -> normal; a check
// box toggles on each press; a radio button is checked by a press and stays checked. The
// click callback runs when the left button is released.
class UIButton : public UIStatic
{
  public:
    UIButton();
    ~UIButton() override;

    // A hidden child window (WS_CHILD | SS_NOTIFY) at `rect` in the parent.
    virtual BOOL Create(LPCWSTR text, const RECT &rect, CWnd *parent, UINT id);

    // The four state images from the program's PNG resources; an id of 0 takes the normal
    // picture. Without stretch, the window takes the normal picture's size at its creation
    // position.
    void SetImages(UINT normalId, UINT disabledId, UINT pressedId, UINT hoverId, WORD language);
    void SetRadioMode(BOOL radio) { m_bRadioMode = radio; }
    void SetCheckMode(BOOL check) { m_bCheckMode = check; }
    BOOL GetRadioMode() const { return m_bRadioMode; }
    BOOL GetCheckMode() const { return m_bCheckMode; }
    // Shows state 0 or 1; a radio button or check box also becomes unchecked or checked.
    void SetCheck(int state);
    BOOL GetCheck() const { return m_bChecked; }
    // Null removes the callback.
    void SetClickCallback(ButtonClickCallback callback) { m_pfnClick = callback; }

  protected:
    // The label's creation with its style, also reached through a UIStatic pointer.
    BOOL Create(LPCWSTR text, const RECT &rect, CWnd *parent, UINT id, DWORD style) override;
    using CWnd::Create;

    void OnPaint() override;
    void OnEnable(BOOL enable) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnMouseHover(UINT flags, CPoint point) override;
    void OnMouseLeave() override;

    BOOL m_bTracking = FALSE;
    BOOL m_bRadioMode = FALSE;
    BOOL m_bCheckMode = FALSE;
    BOOL m_bChecked = FALSE;
    ButtonClickCallback m_pfnClick = nullptr;

  private:
    bool IsPlain() const { return !m_bRadioMode && !m_bCheckMode; }
    void RequestTracking();
};
