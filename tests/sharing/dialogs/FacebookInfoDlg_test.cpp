#include "sharing/FacebookInfoDlg.h"

#include "platform/win/App.h"
#include "tests/sharing/WebServiceTestSupport.h"
#include "tests/support/gui/GuiTestHelpers.h"

#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using vxtest::FakeXmlRpcService;

namespace
{
// The main dialog as the credential dialogs see it.
class FakeMain : public WebAppSeam
{
  public:
    CFacebookInfoDlg *first = nullptr;
    CFacebookInfoErrorDlg *second = nullptr;
    int reachable = 1;
    int storeResult = 1;
    std::vector<std::pair<int, int>> probes;
    std::vector<std::pair<std::u16string, std::u16string>> stored;
    int noInternetPosts = 0;
    // Wait-cursor depth seen by the probe.
    int cursorDuringProbe = -1;

    CFacebookInfoDlg *GetOpenFacebookInfoDlg() const override { return first; }
    CFacebookInfoErrorDlg *GetOpenFacebookInfoErrorDlg() const override { return second; }
    int IsInternetReachable(int pauseMs, int tries) override
    {
        probes.emplace_back(pauseMs, tries);
        cursorDuringProbe = vxwin::WaitCursorDepth();
        return reachable;
    }
    int SaveWebAppCredentials(const char16_t *email, const char16_t *password) override
    {
        stored.emplace_back(email, password);
        return storeResult;
    }
    void PostNoInternetMessage() override { ++noInternetPosts; }
};

class ModalScript
{
  public:
    explicit ModalScript(vxwin::ModalHook hook) { vxwin::SetModalHook(std::move(hook)); }
    ~ModalScript() { vxwin::SetModalHook({}); }
};

void Click(CWnd *wnd)
{
    ASSERT_TRUE(wnd && wnd->GetWidget());
    QTest::mouseClick(wnd->GetWidget(), Qt::LeftButton, {}, QPoint(10, 10));
}

std::u16string TextOf(const CWnd *wnd)
{
    CString text;
    wnd->GetWindowText(text);
    return text.str();
}

class CredentialDialogTest : public wstest::WebServiceTest
{
  protected:
    CredentialDialogTest() { vxsharing::SetWebAppSeam(&main); }
    ~CredentialDialogTest() override
    {
        vxsharing::SetWebAppSeam(nullptr);
        vxtest::ProcessEvents();
    }

    int CheckCalls() const
    {
        int n = 0;
        for (const auto &method : m_service.Methods())
            n += method == "CheckFacebookLogin";
        return n;
    }

    FakeMain main;
};
} // namespace

TEST_F(CredentialDialogTest, ControlsInTheDialogsLanguage)
{
    CFacebookInfoDlg first(1031, nullptr);
    CFacebookInfoErrorDlg second(1031, nullptr);
    main.first = &first;
    main.second = &second;
    ModalScript script([&](CDialog &d) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(d.GetWidget()));
        const bool isFirst = &d == &first;
        const UINT labelIds[] = {CFacebookInfoDlg::kEmailLabel, CFacebookInfoDlg::kPasswordLabel};
        const char16_t *labels[] = {u"E-Mail:", u"Kennwort:"};
        for (int i = 0; i < 2; ++i)
        {
            auto *label = dynamic_cast<UIStatic *>(d.GetDlgItem(labelIds[i]));
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(std::u16string(label->GetText()), labels[i]);
        }
        auto *cancel = dynamic_cast<UIButton *>(d.GetDlgItem(CFacebookInfoDlg::kCancelButton));
        auto *next = dynamic_cast<UIButton *>(d.GetDlgItem(CFacebookInfoDlg::kContinueButton));
        ASSERT_TRUE(cancel && next);
        EXPECT_EQ(std::u16string(cancel->GetText()), u"Abbrechen");
        EXPECT_EQ(std::u16string(next->GetText()), u"Weiter");
        auto *email = dynamic_cast<UIEdit *>(d.GetDlgItem(CFacebookInfoDlg::kEmailEdit));
        auto *password = dynamic_cast<UIEdit *>(d.GetDlgItem(CFacebookInfoDlg::kPasswordEdit));
        ASSERT_TRUE(email && password);
        EXPECT_EQ(email->GetLimitText(), 100u);
        EXPECT_EQ(password->GetLimitText(), 100u);
        EXPECT_NE(password->GetStyle() & ES_PASSWORD, 0u);
        EXPECT_EQ(email->GetStyle() & ES_PASSWORD, 0u);
        EXPECT_EQ(CWnd::GetFocus(), email);
        auto *message = dynamic_cast<UIStatic *>(d.GetDlgItem(CFacebookInfoErrorDlg::kMessageLabel));
        EXPECT_EQ(message != nullptr, !isFirst);
        if (message)
        {
            EXPECT_EQ(std::u16string(message->GetText()), u"E-Mail oder Kennwort falsch");
        }
        Click(cancel);
    });
    EXPECT_EQ(first.DoModal(), IDCANCEL);
    EXPECT_EQ(second.DoModal(), IDCANCEL);
    EXPECT_TRUE(main.probes.empty());
}

TEST_F(CredentialDialogTest, ContinueOrEnterWithAnEmptyFieldDoesNothingInEitherDialog)
{
    m_service.Script("CheckFacebookLogin", {FakeXmlRpcService::Int(2)});
    const std::pair<const char16_t *, const char16_t *> empties[] = {
        {u"", u""}, {u"ann@example.com", u""}, {u"", u"pw"}};
    for (bool reentry : {false, true})
    {
        CFacebookInfoDlg first(1033, nullptr);
        CFacebookInfoErrorDlg second(1033, nullptr);
        main.first = &first;
        main.second = &second;
        CDialog &dialog = reentry ? static_cast<CDialog &>(second) : static_cast<CDialog &>(first);
        ModalScript script([&](CDialog &d) {
            CWnd *email = d.GetDlgItem(CFacebookInfoDlg::kEmailEdit);
            CWnd *password = d.GetDlgItem(CFacebookInfoDlg::kPasswordEdit);
            for (const auto &[emailText, passwordText] : empties)
            {
                email->SetWindowText(emailText);
                password->SetWindowText(passwordText);
                Click(d.GetDlgItem(CFacebookInfoDlg::kContinueButton));
                EXPECT_TRUE(d.IsWindowVisible()) << reentry;
                QTest::keyClick(email->GetWidget(), Qt::Key_Return);
                EXPECT_TRUE(d.IsWindowVisible()) << reentry;
            }
            // Enter with both fields filled: the first dialog ends with OK; the re-entry dialog
            // ends only through Continue, which checks and stores.
            email->SetWindowText(u"ann@example.com");
            password->SetWindowText(u"pw");
            QTest::keyClick(email->GetWidget(), Qt::Key_Return);
            EXPECT_EQ(d.IsWindowVisible(), reentry);
            if (reentry)
                Click(d.GetDlgItem(CFacebookInfoDlg::kCancelButton));
        });
        EXPECT_EQ(dialog.DoModal(), reentry ? IDCANCEL : IDOK);
        EXPECT_EQ(first.m_strEmail.str(), reentry ? u"" : u"ann@example.com");
    }
    EXPECT_TRUE(main.probes.empty());
    EXPECT_EQ(CheckCalls(), 0);
    EXPECT_TRUE(main.stored.empty());
}

TEST_F(CredentialDialogTest, FirstDialogKeepsTheTextsAsTyped)
{
    // Quotes, a backslash and a lone surrogate come back as they were.
    const std::u16string email = u"o'neil\"s\\@example.com";
    const std::u16string password = u"p\xD800w'\"";
    CFacebookInfoDlg first(1033, nullptr);
    main.first = &first;
    ModalScript script([&](CDialog &d) {
        first.GetEmailEdit()->SetWindowText(email.c_str());
        first.GetPasswordEdit()->SetWindowText(password.c_str());
        Click(first.GetContinueButton());
        EXPECT_FALSE(d.IsWindowVisible());
    });
    EXPECT_EQ(first.DoModal(), IDOK);
    EXPECT_EQ(first.m_strEmail.str(), email);
    EXPECT_EQ(first.m_strPassword.str(), password);
    // The first dialog only asks: checking and storing is the caller's.
    EXPECT_TRUE(main.probes.empty());
    EXPECT_EQ(CheckCalls(), 0);
}

TEST_F(CredentialDialogTest, ReentryOutcomesOfTheServiceAnswer)
{
    struct Case
    {
        const char *name;
        int reachable;
        FakeXmlRpcService::Answer answer;
        int storeResult;
        INT_PTR result; // how the dialog ends; 0: it stays open
        bool storeTried;
        bool fieldsEmptied;
        const char16_t *message;
    };
    const char16_t *incorrect = u"Incorrect Email/Password Confirmation";
    const Case cases[] = {
        {"2 accepted and stored", 1, FakeXmlRpcService::Int(2), 1, IDOK, true, false, incorrect},
        {"7 accepted and stored", 1, FakeXmlRpcService::Int(7), 1, IDOK, true, false, incorrect},
        {"2 accepted, store fails", 1, FakeXmlRpcService::Int(2), 0, 0, true, false, u"Error saving profile"},
        {"1 refused", 1, FakeXmlRpcService::Int(1), 1, 0, false, true, incorrect},
        {"0 refused", 1, FakeXmlRpcService::Int(0), 1, 0, false, true, incorrect},
        {"-1 cancels", 1, FakeXmlRpcService::Int(-1), 1, IDCANCEL, false, false, incorrect},
        {"a fault cancels", 1, FakeXmlRpcService::Fault(), 1, IDCANCEL, false, false, incorrect},
        {"no answer cancels", 1, FakeXmlRpcService::Drop(), 1, IDCANCEL, false, false, incorrect},
        {"unreachable", 0, FakeXmlRpcService::Int(2), 1, IDCANCEL, false, false, incorrect},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        vxtest::FakeXmlRpcService service;
        wstest::SetServiceHost(service.Host());
        service.Script("CheckFacebookLogin", {c.answer});
        main = FakeMain{};
        main.reachable = c.reachable;
        main.storeResult = c.storeResult;
        CFacebookInfoErrorDlg dlg(1033, nullptr);
        main.second = &dlg;
        bool open = false;
        std::u16string email, password, message;
        ModalScript script([&](CDialog &d) {
            dlg.GetEmailEdit()->SetWindowText(u"ann@example.com");
            dlg.GetPasswordEdit()->SetWindowText(u"secret");
            Click(dlg.GetContinueButton());
            open = d.IsWindowVisible();
            if (!open)
                return;
            email = TextOf(dlg.GetEmailEdit());
            password = TextOf(dlg.GetPasswordEdit());
            message = dlg.GetMessageLabel()->GetText();
            Click(dlg.GetCancelButton());
        });
        const INT_PTR result = dlg.DoModal();
        EXPECT_EQ(result, c.result ? c.result : IDCANCEL);
        EXPECT_EQ(open, c.result == 0);
        if (open)
        {
            EXPECT_EQ(email, c.fieldsEmptied ? u"" : u"ann@example.com");
            EXPECT_EQ(password, c.fieldsEmptied ? u"" : u"secret");
            EXPECT_EQ(message, c.message);
        }
        ASSERT_EQ(main.probes.size(), 1u);
        EXPECT_EQ(main.probes[0], std::make_pair(0, 1));
        EXPECT_EQ(main.cursorDuringProbe, 1);
        EXPECT_EQ(vxwin::WaitCursorDepth(), 0);
        EXPECT_EQ(main.noInternetPosts, c.reachable ? 0 : 1);
        const auto calls = service.Calls();
        EXPECT_EQ(calls.size(), c.reachable ? 1u : 0u);
        if (!calls.empty())
        {
            EXPECT_EQ(calls[0].params[0], "ann@example.com");
        }
        if (c.storeTried)
        {
            EXPECT_EQ(main.stored, (decltype(main.stored){{u"ann@example.com", u"secret"}}));
        }
        else
        {
            EXPECT_TRUE(main.stored.empty());
        }
    }
}

TEST_F(CredentialDialogTest, ReentryTakesAnotherTryAfterARefusal)
{
    m_service.Script("CheckFacebookLogin", {FakeXmlRpcService::Int(0), FakeXmlRpcService::Int(2)});
    CFacebookInfoErrorDlg dlg(1033, nullptr);
    main.second = &dlg;
    ModalScript script([&](CDialog &d) {
        dlg.GetEmailEdit()->SetWindowText(u"ann@example.com");
        dlg.GetPasswordEdit()->SetWindowText(u"wrong");
        Click(dlg.GetContinueButton());
        EXPECT_TRUE(d.IsWindowVisible());
        dlg.GetEmailEdit()->SetWindowText(u"ann@example.com");
        dlg.GetPasswordEdit()->SetWindowText(u"right");
        Click(dlg.GetContinueButton());
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(main.stored, (decltype(main.stored){{u"ann@example.com", u"right"}}));
    EXPECT_EQ(CheckCalls(), 2);
}

TEST_F(CredentialDialogTest, ButtonsOfADialogThatIsNotRunningDoNothing)
{
    m_service.Script("CheckFacebookLogin", {FakeXmlRpcService::Int(2)});
    // No dialog registered, then none at all behind the main dialog.
    CFacebookInfoDlg::OnContinue();
    CFacebookInfoDlg::OnCancelClicked();
    CFacebookInfoErrorDlg::OnLogin();
    CFacebookInfoErrorDlg::OnCancelClicked();
    vxsharing::SetWebAppSeam(nullptr);
    CFacebookInfoDlg::OnContinue();
    CFacebookInfoErrorDlg::OnLogin();
    EXPECT_TRUE(main.probes.empty());
    EXPECT_EQ(CheckCalls(), 0);
}
