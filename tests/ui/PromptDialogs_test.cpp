#include <QEvent>
#include <QObject>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include "tests/ui/UiTestSupport.h"
#include "ui/PromptDialogs.h"
#include "ui/PromptOwner.h"

using uitest::ModalHook;

namespace
{
// The main window as the message prompt's button sees it.
class FakeOwner : public CWnd, public PromptOwner
{
  public:
    CDialog *open = nullptr;
    CDialog *GetOpenMessagePrompt() const override { return open; }
};

class PromptDialogsTest : public testing::Test
{
  protected:
    void TearDown() override
    {
        app.m_pMainWnd = nullptr;
        vxtest::ProcessEvents();
    }

    uitest::ProgramStrings strings;
    CWinApp app;
    FakeOwner owner;
};

void Click(CWnd *wnd)
{
    ASSERT_TRUE(wnd && wnd->GetWidget());
    QTest::mouseClick(wnd->GetWidget(), Qt::LeftButton, {}, QPoint(10, 10));
}

std::u16string TextOf(const UIStatic *label)
{
    return label ? std::u16string(label->GetText()) : std::u16string(u"<none>");
}

CRect RectIn(CWnd *parent, CWnd *child)
{
    CRect rect;
    child->GetWindowRect(&rect);
    parent->ScreenToClient(&rect);
    return rect;
}

int g_first = 0;
int g_second = 0;
void CountFirst()
{
    ++g_first;
}
void CountSecond()
{
    ++g_second;
}

TEST_F(PromptDialogsTest, TheMessagePromptShowsItsTextsAndItsButtonEndsTheOwnersOpenPrompt)
{
    app.m_pMainWnd = &owner;
    CMessageDlg dlg(1033, nullptr);
    dlg.m_nTitleId = 516;
    dlg.m_nMessageId = 711;
    owner.open = &dlg;
    ModalHook hook([&](CDialog &) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg.GetWidget()));
        EXPECT_EQ(TextOf(dlg.GetTitleLabel()), u"Save Changes?");
        EXPECT_EQ(TextOf(dlg.GetMessageLabel()), u"Error in Date Entry!");
        EXPECT_EQ(TextOf(dlg.GetButton()), u"Cancel");
        EXPECT_EQ(dlg.GetTitleLabel()->GetDlgCtrlID(), 1342);
        EXPECT_EQ(dlg.GetMessageLabel()->GetDlgCtrlID(), 1344);
        EXPECT_EQ(dlg.GetButton()->GetDlgCtrlID(), 1103);
        EXPECT_EQ(dlg.GetTitleLabel()->GetFontSize(), 14);
        EXPECT_EQ(dlg.GetMessageLabel()->GetFontSize(), 18);
        EXPECT_TRUE(dlg.GetMessageLabel()->IsMultiLine());
        EXPECT_EQ(dlg.GetButton()->GetFontSize(), 11);
        EXPECT_EQ(RectIn(&dlg, dlg.GetButton()).TopLeft(), CPoint(220, 305));
        EXPECT_EQ(dlg.GetButton()->GetImageWidth(), 85);
        CRect client;
        dlg.GetClientRect(&client);
        EXPECT_EQ(client.Width(), 530); // sized to its picture
        Click(dlg.GetButton());
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST_F(PromptDialogsTest, TheMessagePromptsButtonActsOnlyThroughTheMainWindow)
{
    struct Case
    {
        const char *name;
        bool mainWindow;
        bool promptKept;
    };
    for (const Case &c : {Case{"no main window", false, false}, Case{"no prompt kept", true, false}})
    {
        app.m_pMainWnd = c.mainWindow ? &owner : nullptr;
        owner.open = nullptr;
        CMessageDlg dlg(1033, nullptr);
        bool open = false;
        ModalHook hook([&](CDialog &d) {
            Click(dlg.GetButton());
            vxtest::ProcessEvents();
            open = d.IsModalLoopRunning();
            d.EndDialog(IDABORT);
        });
        EXPECT_EQ(dlg.DoModal(), IDABORT) << c.name;
        EXPECT_TRUE(open) << c.name;
    }
}

TEST_F(PromptDialogsTest, EnterAndEscapeEndTheMessagePromptButNotTheTwoButtonPrompts)
{
    const struct
    {
        Qt::Key key;
        INT_PTR result;
    } keys[] = {{Qt::Key_Return, IDOK}, {Qt::Key_Escape, IDCANCEL}};
    for (const auto &k : keys)
    {
        CMessageDlg message(1033, nullptr);
        ModalHook hook([&](CDialog &d) { QTest::keyClick(d.GetWidget(), k.key); });
        EXPECT_EQ(message.DoModal(), k.result);
    }
    for (const auto &k : keys)
    {
        CReloginContinueDlg relogin(1033, nullptr);
        CSaveChangesDlg save(1033, nullptr);
        for (CDialog *dlg : {static_cast<CDialog *>(&relogin), static_cast<CDialog *>(&save)})
        {
            bool open = false;
            ModalHook hook([&](CDialog &d) {
                QTest::keyClick(d.GetWidget(), k.key);
                vxtest::ProcessEvents();
                open = d.IsModalLoopRunning() && d.IsWindowVisible();
                d.EndDialog(IDABORT);
            });
            EXPECT_EQ(dlg->DoModal(), IDABORT);
            EXPECT_TRUE(open) << k.key;
        }
    }
}

TEST_F(PromptDialogsTest, EachButtonOfTheTwoButtonPromptsCallsItsOwnCallback)
{
    struct Case
    {
        const char *name;
        bool relogin;
        bool firstButton;
        int first, second;
    };
    for (const Case &c : {Case{"Re-login", true, true, 1, 0}, Case{"Continue", true, false, 0, 1},
                          Case{"Save", false, true, 1, 0}, Case{"Don't Save", false, false, 0, 1}})
    {
        g_first = g_second = 0;
        CReloginContinueDlg relogin(1033, nullptr);
        CSaveChangesDlg save(1033, nullptr);
        CDialog *dlg = c.relogin ? static_cast<CDialog *>(&relogin) : &save;
        relogin.SetFirstButtonCallback(&CountFirst);
        relogin.SetSecondButtonCallback(&CountSecond);
        save.SetFirstButtonCallback(&CountFirst);
        save.SetSecondButtonCallback(&CountSecond);
        bool open = false;
        ModalHook hook([&](CDialog &d) {
            UIButton *button = c.relogin
                                   ? (c.firstButton ? relogin.GetFirstButton() : relogin.GetSecondButton())
                                   : (c.firstButton ? save.GetSaveButton() : save.GetDiscardButton());
            Click(button);
            vxtest::ProcessEvents();
            // A callback that does not end the prompt leaves it open.
            open = d.IsModalLoopRunning();
            d.EndDialog(IDABORT);
        });
        EXPECT_EQ(dlg->DoModal(), IDABORT) << c.name;
        EXPECT_EQ(g_first, c.first) << c.name;
        EXPECT_EQ(g_second, c.second) << c.name;
        EXPECT_TRUE(open) << c.name;
    }
}

TEST_F(PromptDialogsTest, TheTwoButtonPromptsAreLaidOutWithTheirTexts)
{
    CReloginContinueDlg relogin(1033, nullptr);
    relogin.m_nTitleId = 711;
    relogin.m_nFirstMessageId = 709;
    relogin.m_nSecondMessageId = 517;
    ModalHook hook([&](CDialog &d) {
        EXPECT_EQ(TextOf(relogin.GetTitleLabel()), u"Error in Date Entry!");
        EXPECT_EQ(TextOf(relogin.GetFirstMessage()), u"Date on device is not set correctly!");
        EXPECT_EQ(TextOf(relogin.GetSecondMessage()), u"Don't Save");
        EXPECT_EQ(TextOf(relogin.GetFirstButton()), u"Re-login");
        EXPECT_EQ(TextOf(relogin.GetSecondButton()), u"Continue");
        EXPECT_EQ(relogin.GetFirstButton()->GetDlgCtrlID(), 1196);
        EXPECT_EQ(relogin.GetSecondButton()->GetDlgCtrlID(), 1199);
        EXPECT_EQ(RectIn(&d, relogin.GetFirstButton()).TopLeft(), CPoint(220, 145));
        EXPECT_EQ(RectIn(&d, relogin.GetSecondButton()).TopLeft(), CPoint(220, 305));
        EXPECT_EQ(relogin.GetFirstMessage()->GetFontSize(), 12);
        d.EndDialog(IDOK);
    });
    EXPECT_EQ(relogin.DoModal(), IDOK);

    CSaveChangesDlg save(1033, nullptr);
    ModalHook saveHook([&](CDialog &d) {
        CRect client;
        d.GetClientRect(&client);
        EXPECT_EQ(client.Size(), CSize(380, 190));
        EXPECT_EQ(TextOf(save.GetMessageLabel()), u"Save Changes?");
        EXPECT_EQ(TextOf(save.GetDiscardButton()), u"Don't Save");
        EXPECT_EQ(TextOf(save.GetSaveButton()), u"Save");
        EXPECT_EQ(save.GetMessageLabel()->GetDlgCtrlID(), 1264);
        EXPECT_EQ(save.GetDiscardButton()->GetDlgCtrlID(), 1265);
        EXPECT_EQ(save.GetSaveButton()->GetDlgCtrlID(), 1151);
        EXPECT_EQ(RectIn(&d, save.GetDiscardButton()).TopLeft(), CPoint(35, 150));
        EXPECT_EQ(RectIn(&d, save.GetSaveButton()).TopLeft(), CPoint(260, 150));
        d.EndDialog(IDOK);
    });
    EXPECT_EQ(save.DoModal(), IDOK);
}

TEST_F(PromptDialogsTest, FontsFollowTheLanguage)
{
    struct Case
    {
        WORD language;
        int style;
        int reloginSize;
        const char16_t *relogin;
    };
    for (const Case &c : {Case{1033, 1, 11, u"Re-login"}, Case{1031, 1, 9, nullptr},
                          Case{1028, 0, 11, nullptr}, Case{2052, 1, 11, nullptr}})
    {
        CReloginContinueDlg relogin(c.language, nullptr);
        CSaveChangesDlg save(c.language, nullptr);
        CMessageDlg message(c.language, nullptr);
        std::vector<UIStatic *> texts;
        ModalHook hook([&](CDialog &d) {
            if (&d == &relogin)
            {
                EXPECT_EQ(relogin.GetFirstButton()->GetFontSize(), c.reloginSize) << c.language;
                EXPECT_EQ(relogin.GetSecondButton()->GetFontSize(), 11) << c.language;
                if (c.relogin)
                {
                    EXPECT_EQ(TextOf(relogin.GetFirstButton()), c.relogin);
                }
                EXPECT_FALSE(TextOf(relogin.GetFirstButton()).empty()) << c.language;
                texts = {relogin.GetTitleLabel(), relogin.GetFirstMessage(), relogin.GetFirstButton(),
                         relogin.GetSecondMessage(), relogin.GetSecondButton()};
            }
            else if (&d == &save)
                texts = {save.GetMessageLabel(), save.GetDiscardButton(), save.GetSaveButton()};
            else
                texts = {message.GetTitleLabel(), message.GetMessageLabel(), message.GetButton()};
            for (UIStatic *text : texts)
                EXPECT_EQ(text->GetFontStyle(), c.style) << c.language << " " << text->GetDlgCtrlID();
            d.EndDialog(IDOK);
        });
        relogin.DoModal();
        save.DoModal();
        message.DoModal();
    }
}
// Counts the paints of a window and of everything in it.
class PaintCounter : public QObject
{
  public:
    int paints = 0;

  protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Each button raises itself from its paint to stay above the pictures of its page; a prompt with
// two buttons that do not overlap must come to rest once drawn, not repaint for ever with its
// buttons taking turns on top (which kept a real screen from ever showing the prompt).
TEST_F(PromptDialogsTest, AShownTwoButtonPromptComesToRest)
{
    CReloginContinueDlg relogin(1033, nullptr);
    CSaveChangesDlg save(1033, nullptr);
    for (CDialog *dlg : {static_cast<CDialog *>(&relogin), static_cast<CDialog *>(&save)})
    {
        int late = -1;
        ModalHook hook([&](CDialog &d) {
            PaintCounter counter;
            QWidget *window = d.GetWidget();
            window->installEventFilter(&counter);
            for (QWidget *child : window->findChildren<QWidget *>())
                child->installEventFilter(&counter);
            window->repaint();
            for (int i = 0; i < 20; ++i)
                vxtest::ProcessEvents();
            counter.paints = 0;
            for (int i = 0; i < 20; ++i)
                vxtest::ProcessEvents();
            late = counter.paints;
            window->removeEventFilter(&counter);
            for (QWidget *child : window->findChildren<QWidget *>())
                child->removeEventFilter(&counter);
            d.EndDialog(IDABORT);
        });
        EXPECT_EQ(dlg->DoModal(), IDABORT);
        EXPECT_EQ(late, 0) << "paints after the prompt was drawn and left alone";
    }
}

} // namespace
