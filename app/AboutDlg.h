#pragma once

// The About box of the system menu: the product's name and version, as the program's own
// version block gives them, and OK.

#include <memory>

#include "ui/UIButton.h"
#include "ui/UIDialog.h"
#include "ui/UIStatic.h"

class CAboutDlg : public UIDialog
{
  public:
    static constexpr UINT kTemplate = 100;
    static constexpr UINT kProductNameId = 1101;
    static constexpr UINT kVersionId = 1102;

    explicit CAboutDlg(WORD language, CWnd *parent = nullptr);
    ~CAboutDlg() override;

    BOOL OnInitDialog() override;

    UIStatic *GetProductNameLabel() const { return m_pProductName.get(); }
    UIStatic *GetVersionLabel() const { return m_pVersion.get(); }
    UIButton *GetOkButton() const { return m_pOk.get(); }

  protected:
    void OnDestroy() override;

  private:
    // The OK button's callback; it reaches the box that is up.
    static void OnOkClicked();

    WORD m_wLanguage;
    std::unique_ptr<UIStatic> m_pProductName;
    std::unique_ptr<UIStatic> m_pVersion;
    std::unique_ptr<UIButton> m_pOk;
};
