#pragma once

#include <memory>

#include "ui/UIDialog.h"
#include "ui/UIStatic.h"

// Tells the user for a moment that the monitor was connected or disconnected, then closes itself
// as cancelled. It cannot be dragged; Enter and Escape end it as any dialog.
class CConnectStatusChangeDlg : public UIDialog
{
  public:
    static constexpr UINT kTemplate = 268;
    static constexpr UINT_PTR kCloseTimer = 1;

    explicit CConnectStatusChangeDlg(CWnd *parent);
    ~CConnectStatusChangeDlg() override;

    BOOL OnInitDialog() override;

    UIStatic *GetImageControl() const { return m_pImage.get(); }
    UIStatic *GetCaptionControl() const { return m_pCaption.get(); }
    UIStatic *GetTitleControl() const { return m_pTitle.get(); }

    // Milliseconds before the prompt closes itself.
    UINT m_nDisplayTime = 2000;
    // 1 connected, 0 disconnected; set before the prompt runs.
    int m_nConnected = 0;

  protected:
    void OnTimer(UINT_PTR id) override;
    // Pressing the prompt (or one of its labels, which hand presses on) does not move it.
    void OnLButtonDown(UINT, CPoint) override {}

  private:
    std::unique_ptr<UIStatic> m_pImage;
    std::unique_ptr<UIStatic> m_pCaption;
    std::unique_ptr<UIStatic> m_pTitle;
};
