#pragma once

#include <memory>

#include "platform/win/Afx.h"
#include "ui/UIButton.h"
#include "ui/UIDialog.h"
#include "ui/UIEdit.h"
#include "ui/UIStatic.h"

class CFacebookInfoDlg;
class CFacebookInfoErrorDlg;

// What the credential dialogs need of the main dialog, which lives above this folder: the
// dialogs it is running (the button callbacks are plain functions and find their dialog
// there), the reachability probe, the credential store and the no-internet message.
class WebAppSeam
{
  public:
    virtual ~WebAppSeam() = default;

    virtual CFacebookInfoDlg *GetOpenFacebookInfoDlg() const = 0;
    virtual CFacebookInfoErrorDlg *GetOpenFacebookInfoErrorDlg() const = 0;
    // 1 when the social-site application page answers.
    virtual int IsInternetReachable(int pauseMs, int tries) = 0;
    // 1 when both texts were stored for the logged-in user.
    virtual int SaveWebAppCredentials(const char16_t *email, const char16_t *password) = 0;
    // Posts the no-internet message to the main dialog.
    virtual void PostNoInternetMessage() = 0;
};

namespace vxsharing
{
// The main dialog registers itself while it runs a credential dialog (null unregisters).
void SetWebAppSeam(WebAppSeam *seam);
WebAppSeam *GetWebAppSeam();
} // namespace vxsharing

// Asks for the e-mail and password of the social-site account. Continue ends it with OK once
// both fields hold something, Cancel with Cancel; the texts are kept when it ends with OK.
class CFacebookInfoDlg : public UIDialog
{
  public:
    static constexpr UINT kTemplate = 574;
    static constexpr UINT kEmailLabel = 1241;
    static constexpr UINT kPasswordLabel = 1222;
    static constexpr UINT kEmailEdit = 1023;
    static constexpr UINT kPasswordEdit = 1004;
    static constexpr UINT kCancelButton = 1104;
    static constexpr UINT kContinueButton = 1199;
    // Characters each field takes.
    static constexpr int kMaxText = 100;

    CFacebookInfoDlg(WORD language, CWnd *parent);
    ~CFacebookInfoDlg() override;

    BOOL OnInitDialog() override;
    // Keeps both fields' texts and ends the dialog with OK; Enter with an empty field does nothing,
    // as Continue does.
    void OnOK() override;

    // The button callbacks.
    static void OnContinue();
    static void OnCancelClicked();

    UIEdit *GetEmailEdit() const { return m_pEmailEdit.get(); }
    UIEdit *GetPasswordEdit() const { return m_pPasswordEdit.get(); }
    UIButton *GetContinueButton() const { return m_pContinue.get(); }
    UIButton *GetCancelButton() const { return m_pCancel.get(); }

    // The texts as entered, filled when the dialog ends with OK.
    CString m_strEmail;
    CString m_strPassword;

  private:
    WORD m_wLanguage;
    std::unique_ptr<UIStatic> m_pEmailLabel;
    std::unique_ptr<UIStatic> m_pPasswordLabel;
    std::unique_ptr<UIEdit> m_pEmailEdit;
    std::unique_ptr<UIEdit> m_pPasswordEdit;
    std::unique_ptr<UIButton> m_pContinue;
    std::unique_ptr<UIButton> m_pCancel;
};

// Asks again after the service refused the credentials. Continue (OnLogin) checks them with the
// service and stores them: accepted and stored ends it with OK; refused empties the fields for
// another try; a store that fails says so in the message line; no internet or a failed check
// ends it with Cancel.
class CFacebookInfoErrorDlg : public UIDialog
{
  public:
    static constexpr UINT kTemplate = 575;
    static constexpr UINT kMessageLabel = 1344;

    CFacebookInfoErrorDlg(WORD language, CWnd *parent);
    ~CFacebookInfoErrorDlg() override;

    BOOL OnInitDialog() override;
    // Enter does not end the dialog: OK means checked and stored, which only Continue does.
    void OnOK() override {}

    // The Continue callback.
    static void OnLogin();
    static void OnCancelClicked();

    UIStatic *GetMessageLabel() const { return m_pMessage.get(); }
    UIEdit *GetEmailEdit() const { return m_pEmailEdit.get(); }
    UIEdit *GetPasswordEdit() const { return m_pPasswordEdit.get(); }
    UIButton *GetContinueButton() const { return m_pContinue.get(); }
    UIButton *GetCancelButton() const { return m_pCancel.get(); }

  private:
    void Login(WebAppSeam &seam);

    WORD m_wLanguage;
    std::unique_ptr<UIStatic> m_pMessage;
    std::unique_ptr<UIStatic> m_pEmailLabel;
    std::unique_ptr<UIStatic> m_pPasswordLabel;
    std::unique_ptr<UIEdit> m_pEmailEdit;
    std::unique_ptr<UIEdit> m_pPasswordEdit;
    std::unique_ptr<UIButton> m_pContinue;
    std::unique_ptr<UIButton> m_pCancel;
};
