#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTest>
#include <string>
#include <vector>

#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/PromptDialogs.h"
#include "ui/UIDeviceSettingDlg.h"
#include "ui/UIStatic.h"

namespace
{
// The main dialog with the write to the monitor replaced by a record of the calls and a scripted answer.
class SaveDlg : public CKVTDlg
{
  public:
    explicit SaveDlg(LANGID language) : CKVTDlg(language) {}

    bool writeResult = true;
    std::vector<bool> writes; // the fresh-header argument of each call
    std::vector<UserProfileSettings> profilesWritten;
    std::vector<DeviceSettings> settingsWritten;
    bool cursorDuringWrite = false;

    bool WriteDeviceSettings(bool freshHeader) override
    {
        writes.push_back(freshHeader);
        profilesWritten.push_back(m_ProfileSettings);
        settingsWritten.push_back(m_DeviceSettings);
        cursorDuringWrite = QGuiApplication::overrideCursor() != nullptr;
        return writeResult;
    }

  protected:
    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(vxtest::FakeUlvexPath());
    }
};

const UserProfileSettings kStored{0, 1, 0, 1, 70, 90};
const DeviceSettings kStoredSettings{1, 1, 1, 1, 1, 0, 0x33, 0x44};

class DeviceSettingSave : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        dlg = std::make_unique<SaveDlg>(1033);
        ASSERT_TRUE(dlg->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = dlg.get();
        dlg->m_ProfileSettings = kStored;
        dlg->m_DeviceSettings = kStoredSettings;
        dlg->m_aLanguageList.codes = {0, 1, 4};
        dlg->m_aLanguageList.count = 3;
    }
    void TearDown() override
    {
        vxwin::SetModalHook({});
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxtest::ProcessEvents();
    }

    // The page with the user's profile in the given unit, the status line showing an earlier error.
    UIDeviceSettingDlg *ShowPage(bool metric)
    {
        dlg->BeginPage(FALSE, 0);
        dlg->m_ProfileSettings.metric = metric ? 1 : 0;
        dlg->m_bMetric = metric ? TRUE : FALSE;
        UIDeviceSettingDlg *page = dlg->CreateDeviceSettingPage();
        EXPECT_NE(page, nullptr);
        dlg->ShowStatusString(u"earlier");
        return page;
    }
    void Type(UIDeviceSettingDlg *page, UINT editId, const char16_t *text)
    {
        page->GetControl(editId)->SetWindowText(text);
    }
    std::u16string StatusLine() const
    {
        auto *line = dynamic_cast<UIStatic *>(dlg->GetDlgItem(CKVTDlg::kStatusLineId));
        return line ? std::u16string(line->GetText()) : u"<none>";
    }
    // Answers the next message prompts by recording their text and pressing their button.
    void RecordMessages()
    {
        vxwin::SetModalHook([this](CDialog &d) {
            auto *prompt = dynamic_cast<CMessageDlg *>(&d);
            if (!prompt)
            {
                d.EndDialog(IDABORT);
                return;
            }
            EXPECT_EQ(dlg->m_pMessageDlg, prompt) << "the prompt is kept while it is open";
            messages.push_back(prompt->GetMessageLabel()->GetText());
            QTest::mouseClick(prompt->GetButton()->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
        });
    }

    CWinApp app;
    std::unique_ptr<SaveDlg> dlg;
    std::vector<std::u16string> messages;
};

TEST_F(DeviceSettingSave, ThePageIsMadeFromTheDialogsRecords)
{
    dlg->m_DeviceSettings.language = 4;
    UIDeviceSettingDlg *page = ShowPage(false);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(dlg->m_pChildPage, page);
    EXPECT_EQ(dlg->GetDlgItem(UIDeviceSettingDlg::kPageId), page);
    EXPECT_TRUE(page->IsWindowVisible());
    CRect r;
    page->GetWindowRect(&r);
    dlg->ScreenToClient(&r);
    EXPECT_EQ(r, CRect(79, 120, 79 + 470, 120 + 320)) << "placed at 79,120 and sized by its picture";
    EXPECT_EQ(page->GetLanguageRadioCount(), 3);
    EXPECT_TRUE(page->GetButton(UIDeviceSettingDlg::kFirstLanguageRadioId + 2)->GetCheck());
    CString walking;
    page->GetControl(UIDeviceSettingDlg::kWalkingEditId)->GetWindowText(walking);
    EXPECT_EQ(walking.str(), u"28") << "70 cm in inches";

    EXPECT_FALSE(dlg->IsChildPageModified());
    page->m_bModified = TRUE;
    EXPECT_TRUE(dlg->IsChildPageModified());
    dlg->SetChildPageModified(FALSE);
    EXPECT_FALSE(page->m_bModified);

    // The next page deletes it.
    dlg->BeginPage(FALSE, 0);
    EXPECT_EQ(dlg->m_pChildPage, nullptr);
    EXPECT_EQ(UIDeviceSettingDlg::GetCurrentPage(), nullptr);
    EXPECT_FALSE(dlg->IsChildPageModified());

    // A list whose count promises more codes than it holds offers the codes it holds.
    dlg->m_aLanguageList.count = 6;
    page = ShowPage(true);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->GetLanguageRadioCount(), 3);
}

// Step lengths outside 10 to 255 cm are refused with message 560, in the bounds of the unit the user
// typed in, from either Save; nothing is written and the dialog's settings stay.
TEST_F(DeviceSettingSave, StepLengthsOutOfRangeAreRefusedInTheShownUnit)
{
    const struct
    {
        const char *what;
        bool metric;
        const char16_t *walking;
        const char16_t *running;
        void (*save)();
        const char16_t *message; // null: accepted
    } cases[] = {
        {"9 cm walking", true, u"9", u"97", &CKVTDlg::OnDeviceSettingSave,
         u"Sorry, please enter a value for step distance between 10 and 255"},
        {"256 cm running", true, u"75", u"256", &CKVTDlg::OnDeviceSettingSave,
         u"Sorry, please enter a value for step distance between 10 and 255"},
        {"3 inches", false, u"3", u"38", &CKVTDlg::OnDeviceSettingSave,
         u"Sorry, please enter a value for step distance between 4 and 100"},
        {"3 inches from the prompt", false, u"3", u"38", &CKVTDlg::OnSaveChangesSave,
         u"Sorry, please enter a value for step distance between 4 and 100"},
        {"9 cm from the prompt", true, u"9", u"97", &CKVTDlg::OnSaveChangesSave,
         u"Sorry, please enter a value for step distance between 10 and 255"},
        {"101 inches", false, u"30", u"101", &CKVTDlg::OnDeviceSettingSave,
         u"Sorry, please enter a value for step distance between 4 and 100"},
        {"10 and 255 cm", true, u"10", u"255", &CKVTDlg::OnDeviceSettingSave, nullptr},
        {"4 and 100 inches", false, u"4", u"100", &CKVTDlg::OnDeviceSettingSave, nullptr},
    };
    dlg->m_bDeviceFound = TRUE;
    dlg->m_bImported = TRUE;
    RecordMessages();
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        UIDeviceSettingDlg *page = ShowPage(c.metric);
        Type(page, UIDeviceSettingDlg::kWalkingEditId, c.walking);
        Type(page, UIDeviceSettingDlg::kRunningEditId, c.running);
        const UserProfileSettings before = dlg->m_ProfileSettings;
        messages.clear();
        dlg->writes.clear();
        c.save();
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the wait cursor is gone";
        if (c.message)
        {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0], c.message);
            EXPECT_TRUE(dlg->writes.empty());
            EXPECT_EQ(dlg->m_ProfileSettings.walkingStep, before.walkingStep);
            EXPECT_EQ(dlg->m_ProfileSettings.runningStep, before.runningStep);
            EXPECT_TRUE(page->m_bModified);
            EXPECT_EQ(StatusLine(), u"earlier");
        }
        else
        {
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(dlg->writes, std::vector<bool>{false});
            EXPECT_FALSE(page->m_bModified);
        }
        EXPECT_EQ(dlg->m_pMessageDlg, nullptr);
    }
}

// What the page shows goes to the monitor; the device values A and B and the units of the dialog's
// record are the dialog's own.
TEST_F(DeviceSettingSave, ASaveWritesThePagesSettingsToAnImportedMonitor)
{
    dlg->m_bDeviceFound = TRUE;
    dlg->m_bImported = TRUE;
    UIDeviceSettingDlg *page = ShowPage(false);
    Type(page, UIDeviceSettingDlg::kWalkingEditId, u"31");
    page->GetButton(UIDeviceSettingDlg::kHighRadioId)->SetCheck(1);
    page->GetButton(UIDeviceSettingDlg::kMidRadioId)->SetCheck(0);
    CKVTDlg::OnDeviceSettingSave();

    ASSERT_EQ(dlg->writes, std::vector<bool>{false});
    EXPECT_TRUE(dlg->cursorDuringWrite);
    EXPECT_EQ(dlg->profilesWritten[0].walkingStep, 79);
    EXPECT_EQ(dlg->profilesWritten[0].runningStep, 90) << "untouched: the exact centimetres";
    EXPECT_EQ(dlg->settingsWritten[0].volume, 2u);
    EXPECT_EQ(dlg->settingsWritten[0].deviceValueA, 0x33u);
    EXPECT_EQ(dlg->settingsWritten[0].deviceValueB, 0x44u);
    EXPECT_EQ(dlg->m_ProfileSettings.walkingStep, 79);
    EXPECT_EQ(StatusLine(), u"");
    EXPECT_FALSE(page->m_bModified);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// Without a monitor whose workouts were imported in this connection the settings stay in the dialog.
TEST_F(DeviceSettingSave, WithoutAnImportedMonitorTheSettingsStayInTheDialog)
{
    for (const auto &[found, imported] :
         {std::pair{FALSE, FALSE}, std::pair{TRUE, FALSE}, std::pair{FALSE, TRUE}})
    {
        dlg->m_bDeviceFound = found;
        dlg->m_bImported = imported;
        dlg->writes.clear();
        UIDeviceSettingDlg *page = ShowPage(true);
        Type(page, UIDeviceSettingDlg::kRunningEditId, u"120");
        CKVTDlg::OnDeviceSettingSave();
        EXPECT_TRUE(dlg->writes.empty());
        EXPECT_EQ(dlg->m_ProfileSettings.runningStep, 120);
        EXPECT_FALSE(page->m_bModified);
        EXPECT_EQ(StatusLine(), u"");
    }
}

// A failed write shows 552 in the status line and puts the old settings back; from the save-changes
// prompt the user also stays on the page, whose prompt is left open.
TEST_F(DeviceSettingSave, AFailedWriteRestoresTheOldSettings)
{
    dlg->m_bDeviceFound = TRUE;
    dlg->m_bImported = TRUE;
    dlg->writeResult = false;
    for (bool fromPrompt : {false, true})
    {
        SCOPED_TRACE(fromPrompt);
        UIDeviceSettingDlg *page = ShowPage(true);
        Type(page, UIDeviceSettingDlg::kWalkingEditId, u"80");
        page->GetButton(UIDeviceSettingDlg::kLowRadioId)->SetCheck(1);
        const UserProfileSettings before = dlg->m_ProfileSettings;
        dlg->m_nCurrentView = KvtView::Home; // where the user asked to go
        if (fromPrompt)
        {
            CSaveChangesDlg prompt(1033, dlg.get());
            prompt.SetFirstButtonCallback(&CKVTDlg::OnSaveChangesSave);
            dlg->m_pSaveChangesDlg = &prompt;
            vxwin::SetModalHook([&](CDialog &d) {
                QTest::mouseClick(prompt.GetSaveButton()->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
                vxtest::ProcessEvents();
                d.EndDialog(IDABORT); // still open after the Save
            });
            EXPECT_EQ(prompt.DoModal(), IDABORT);
            vxwin::SetModalHook({});
            dlg->m_pSaveChangesDlg = nullptr;
            EXPECT_EQ(dlg->m_nCurrentView, KvtView::DeviceSetting);
        }
        else
        {
            CKVTDlg::OnDeviceSettingSave();
            EXPECT_EQ(dlg->m_nCurrentView, KvtView::Home);
        }
        EXPECT_EQ(dlg->writes.size(), 1u);
        dlg->writes.clear();
        EXPECT_EQ(StatusLine(), u"Error saving data to Vormatik device");
        EXPECT_EQ(dlg->m_ProfileSettings.walkingStep, before.walkingStep);
        EXPECT_EQ(dlg->m_ProfileSettings.runningStep, before.runningStep);
        EXPECT_EQ(dlg->m_DeviceSettings.volume, kStoredSettings.volume);
        EXPECT_TRUE(page->m_bModified);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
}

TEST_F(DeviceSettingSave, TheSaveChangesPromptEndsAfterASuccessfulSave)
{
    dlg->m_bDeviceFound = TRUE;
    dlg->m_bImported = TRUE;
    UIDeviceSettingDlg *page = ShowPage(true);
    Type(page, UIDeviceSettingDlg::kWalkingEditId, u"80");
    dlg->m_nCurrentView = KvtView::Goal;
    CSaveChangesDlg prompt(1033, dlg.get());
    prompt.SetFirstButtonCallback(&CKVTDlg::OnSaveChangesSave);
    dlg->m_pSaveChangesDlg = &prompt;
    vxwin::SetModalHook([&](CDialog &) {
        QTest::mouseClick(prompt.GetSaveButton()->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
    });
    EXPECT_EQ(prompt.DoModal(), IDOK);
    dlg->m_pSaveChangesDlg = nullptr;
    EXPECT_EQ(dlg->writes, std::vector<bool>{false});
    EXPECT_EQ(dlg->m_ProfileSettings.walkingStep, 80);
    EXPECT_EQ(dlg->m_nCurrentView, KvtView::Goal) << "the page the user asked for comes next";
    EXPECT_FALSE(page->m_bModified);
}

TEST_F(DeviceSettingSave, WithoutThePageOrTheMainWindowNothingHappens)
{
    dlg->m_bDeviceFound = TRUE;
    dlg->m_bImported = TRUE;
    CKVTDlg::OnDeviceSettingSave();
    CKVTDlg::OnSaveChangesSave();
    EXPECT_TRUE(dlg->writes.empty());

    ShowPage(true);
    app.m_pMainWnd = nullptr;
    CKVTDlg::OnDeviceSettingSave();
    CKVTDlg::OnSaveChangesSave();
    EXPECT_TRUE(dlg->writes.empty());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// Default on the page takes the main dialog's units, whatever unit the page was showing.
TEST_F(DeviceSettingSave, DefaultTakesTheDialogsUnits)
{
    for (const BOOL metric : {FALSE, TRUE})
    {
        UIDeviceSettingDlg *page = ShowPage(!metric);
        dlg->m_bMetric = metric;
        UIButton *defaults = page->GetButton(UIDeviceSettingDlg::kDefaultId);
        defaults->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        defaults->SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        EXPECT_EQ(page->GetProfileCopy().metric, metric ? 1u : 0u);
        EXPECT_TRUE(dlg->IsChildPageModified());
    }
}

// The page's own Save button reaches the main dialog's save step.
TEST_F(DeviceSettingSave, ThePagesSaveButtonSaves)
{
    dlg->m_bDeviceFound = TRUE;
    dlg->m_bImported = TRUE;
    UIDeviceSettingDlg *page = ShowPage(true);
    UIButton *save = page->GetButton(UIDeviceSettingDlg::kSaveId);
    save->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    save->SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(dlg->writes, std::vector<bool>{false});
}
} // namespace
