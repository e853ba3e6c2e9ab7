#pragma once

#include <memory>

#include "ui/UIButton.h"
#include "ui/UIDialog.h"
#include "ui/UIStatic.h"

// The small modal prompts of the program: picture dialogs with a white title, grey-brown
// messages and picture buttons. The owner sets the string ids and callbacks, keeps a pointer to
// the prompt while it runs it modally, and reads nothing back but the modal result.

// What the three prompts share: the language, the font style that follows it, and how their
// labels and buttons are made.
class UIPromptDialog : public UIDialog
{
  public:
    UIPromptDialog(UINT templateId, WORD language, CWnd *parent);
    ~UIPromptDialog() override;

    WORD GetLanguage() const { return m_wLanguage; }

  protected:
    std::unique_ptr<UIStatic> MakeLabel(UINT textId, const CRect &rect, UINT id, ARGB colour, int size,
                                        BOOL multiLine = FALSE);
    // Pictures in the order normal, disabled, pressed, hover.
    std::unique_ptr<UIButton> MakeButton(UINT textId, const CRect &rect, UINT id, int size, UINT normal,
                                         UINT disabled, UINT pressed, UINT hover,
                                         ButtonClickCallback callback);

    WORD m_wLanguage;
    // Bold, except in Traditional Chinese.
    int m_nFontStyle;
};

// A title, a message and one button, which ends the prompt the main window keeps as its open
// message prompt. Enter and Escape end it too (with IDOK and IDCANCEL).
class CMessageDlg : public UIPromptDialog
{
  public:
    static constexpr UINT kTemplate = 581;
    static constexpr UINT kTitleId = 1342;
    static constexpr UINT kMessageId = 1344;
    static constexpr UINT kButtonId = 1103;

    CMessageDlg(WORD language, CWnd *parent);
    ~CMessageDlg() override;

    BOOL OnInitDialog() override;

    // The button's callback: ends the main window's open message prompt with IDOK.
    static void OnButtonClicked();

    UIStatic *GetTitleLabel() const { return m_pTitle.get(); }
    UIStatic *GetMessageLabel() const { return m_pMessage.get(); }
    UIButton *GetButton() const { return m_pButton.get(); }

    // String ids; set before the prompt runs.
    UINT m_nTitleId = 0;
    UINT m_nMessageId = 0;

  private:
    std::unique_ptr<UIStatic> m_pTitle;
    std::unique_ptr<UIStatic> m_pMessage;
    std::unique_ptr<UIButton> m_pButton;
};

// A title and two messages, each with its button ("Re-login" and "Continue"). Only the
// callbacks end it: Enter and Escape do nothing.
class CReloginContinueDlg : public UIPromptDialog
{
  public:
    static constexpr UINT kTemplate = 116;
    static constexpr UINT kTitleId = 1342;
    static constexpr UINT kFirstMessageId = 1343;
    static constexpr UINT kFirstButtonId = 1196;
    static constexpr UINT kSecondMessageId = 1344;
    static constexpr UINT kSecondButtonId = 1199;

    CReloginContinueDlg(WORD language, CWnd *parent);
    ~CReloginContinueDlg() override;

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}

    // The "Re-login" and the "Continue" button.
    void SetFirstButtonCallback(ButtonClickCallback callback) { m_pfnFirst = callback; }
    void SetSecondButtonCallback(ButtonClickCallback callback) { m_pfnSecond = callback; }

    UIStatic *GetTitleLabel() const { return m_pTitle.get(); }
    UIStatic *GetFirstMessage() const { return m_pFirstMessage.get(); }
    UIStatic *GetSecondMessage() const { return m_pSecondMessage.get(); }
    UIButton *GetFirstButton() const { return m_pFirstButton.get(); }
    UIButton *GetSecondButton() const { return m_pSecondButton.get(); }

    // String ids; set before the prompt runs.
    UINT m_nTitleId = 0;
    UINT m_nFirstMessageId = 0;
    UINT m_nSecondMessageId = 0;

  private:
    ButtonClickCallback m_pfnFirst = nullptr;
    ButtonClickCallback m_pfnSecond = nullptr;
    std::unique_ptr<UIStatic> m_pTitle;
    std::unique_ptr<UIStatic> m_pFirstMessage;
    std::unique_ptr<UIButton> m_pFirstButton;
    std::unique_ptr<UIStatic> m_pSecondMessage;
    std::unique_ptr<UIButton> m_pSecondButton;
};

// "Save Changes?" with "Don't Save" and "Save". Only the callbacks end it: Enter and Escape
// do nothing.
class CSaveChangesDlg : public UIPromptDialog
{
  public:
    static constexpr UINT kTemplate = 511;
    static constexpr UINT kMessageId = 1264;
    static constexpr UINT kDiscardButtonId = 1265;
    static constexpr UINT kSaveButtonId = 1151;

    CSaveChangesDlg(WORD language, CWnd *parent);
    ~CSaveChangesDlg() override;

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}

    // The "Save" and the "Don't Save" button.
    void SetFirstButtonCallback(ButtonClickCallback callback) { m_pfnFirst = callback; }
    void SetSecondButtonCallback(ButtonClickCallback callback) { m_pfnSecond = callback; }

    UIStatic *GetMessageLabel() const { return m_pMessage.get(); }
    UIButton *GetDiscardButton() const { return m_pDiscard.get(); }
    UIButton *GetSaveButton() const { return m_pSave.get(); }

  private:
    ButtonClickCallback m_pfnFirst = nullptr;
    ButtonClickCallback m_pfnSecond = nullptr;
    std::unique_ptr<UIStatic> m_pMessage;
    std::unique_ptr<UIButton> m_pDiscard;
    std::unique_ptr<UIButton> m_pSave;
};
