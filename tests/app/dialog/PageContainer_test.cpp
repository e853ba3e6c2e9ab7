#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

#include "platform/sys/InstanceLock.h"
#include "platform/sys/LocalTime.h"
#include "store/KvtDatabase.h"
#include "store/PackedDate.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/PromptDialogs.h"
#include "ui/UIButton.h"
#include "ui/UIEdit.h"
#include "ui/UIListBox.h"
#include "ui/UIStatic.h"

using vxtime::PackDate;

namespace
{
// The main dialog with the pages of later work replaced by records of the calls.
class PageDlg : public CKVTDlg
{
  public:
    explicit PageDlg(LANGID language) : CKVTDlg(language) {}

    std::vector<std::string> calls;
    BOOL modified = FALSE;
    int closes = 0;
    int confirmations = 0;
    int pagesBuilt = 0;

    void ShowHomeView() override
    {
        calls.push_back("home");
        CKVTDlg::ShowHomeView();
    }
    void ShowDeviceSettingView() override { calls.push_back("device setting"); }
    void ShowSupportView() override { calls.push_back("support"); }
    void ShowNewAccountView() override { calls.push_back("new account"); }
    BOOL IsChildPageModified() const override { return m_pChildPage && modified; }
    void SetChildPageModified(BOOL value) override
    {
        modified = value;
        calls.push_back(value ? "modified" : "not modified");
    }
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_KVT_CONFIRM_VIEW_SWITCH)
            ++confirmations;
        return CKVTDlg::WindowProc(msg, wParam, lParam);
    }

    // A page whose button, edit and list each build the page anew from their own callbacks.
    void BuildSelfReplacingPage()
    {
        ++pagesBuilt;
        BeginPage(TRUE, 261);
        AddPageLabel(358, CRect(100, 150, 400, 170), 1246, 0xFF838281, 12);
        AddPageButton(361, CRect(300, 300, 385, 323), 1195, 476, 476, 474, 475, &PageDlg::RebuildFromButton);
        auto edit = std::make_unique<UIEdit>();
        edit->Create(WS_CHILD | WS_VISIBLE, CRect(100, 200, 200, 230), this, 1501);
        AddPageControl(std::move(edit));
        auto list = std::make_unique<UIListBox>(m_nLanguage);
        list->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(100, 330, 600, 460), this, 1183);
        list->AddItem(1, 5000, 1, 0, 0, 1, 1, PackDate(2026, 12, 1), PackDate(2026, 12, 31), 100, 0, 0);
        list->SetSelChangeCallback(&PageDlg::RebuildFromList);
        AddPageControl(std::move(list));
        AddCloseButton();
        EndPage();
    }
    static void RebuildFromButton() { static_cast<PageDlg *>(FromMainWindow())->BuildSelfReplacingPage(); }
    static void RebuildFromList(int) { static_cast<PageDlg *>(FromMainWindow())->BuildSelfReplacingPage(); }

    using CKVTDlg::ShowLoginView;

  protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        if (HIWORD(wParam) == EN_CHANGE && LOWORD(wParam) == 1501)
        {
            BuildSelfReplacingPage();
            return TRUE;
        }
        if (HIWORD(wParam) == EN_CHANGE)
            enabledAtChange.push_back({IsEnabled(1118), IsEnabled(1119)});
        const BOOL handled = CKVTDlg::OnCommand(wParam, lParam);
        if (HIWORD(wParam) == EN_CHANGE)
            enabledAfterChange.push_back({IsEnabled(1118), IsEnabled(1119)});
        return handled;
    }
    void ShowLoginView() override { calls.push_back("login"); }
    void OnClose() override { ++closes; }
    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(vxtest::FakeUlvexPath());
    }
    bool ReservePageControls(std::size_t room) override
    {
        return !noMemory && CKVTDlg::ReservePageControls(room);
    }

  public:
    bool noMemory = false;

  public:
    bool IsEnabled(UINT id) const
    {
        CWnd *item = GetDlgItem(static_cast<int>(id));
        return item && item->IsWindowEnabled();
    }
    std::vector<std::pair<bool, bool>> enabledAtChange;
    std::vector<std::pair<bool, bool>> enabledAfterChange;
};

int64_t LocalTime(int year, int month, int day, int hour = 12)
{
    int64_t t = 0;
    EXPECT_TRUE(vxsys::LocalTimeFromFields({year, month, day, hour, 0, 0, 0}, &t));
    return t;
}

class PageTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        vxsys::SetCurrentTimeSource([this] { return now; });
        dlg = Make(1033);
    }
    void TearDown() override
    {
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxsys::SetCurrentTimeSource({});
        vxtest::ProcessEvents();
    }

    std::unique_ptr<PageDlg> Make(LANGID language)
    {
        auto made = std::make_unique<PageDlg>(language);
        EXPECT_TRUE(made->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = made.get();
        return made;
    }

    template <class T> T *Item(UINT id) const
    {
        return dynamic_cast<T *>(dlg->GetDlgItem(static_cast<int>(id)));
    }
    std::u16string Text(UINT id) const
    {
        CString text;
        if (CWnd *item = dlg->GetDlgItem(static_cast<int>(id)))
            item->GetWindowText(text);
        return text.str();
    }
    std::u16string Caption(UINT id) const
    {
        auto *label = Item<UIStatic>(id);
        return label ? std::u16string(label->GetText()) : u"<none>";
    }
    CRect RectOf(UINT id) const
    {
        CRect rect;
        CWnd *item = dlg->GetDlgItem(static_cast<int>(id));
        if (!item)
            return rect;
        item->GetWindowRect(&rect);
        dlg->ScreenToClient(&rect);
        return rect;
    }
    int Count(UINT id) const
    {
        int n = 0;
        for (std::size_t i = 0; i < dlg->PageControlCount(); ++i)
            n += dlg->PageControl(i) && dlg->PageControl(i)->GetDlgCtrlID() == static_cast<int>(id);
        return n;
    }

    // Form controls, each added to the page at a place of its own.
    UIEdit *Edit(UINT id)
    {
        auto edit = std::make_unique<UIEdit>();
        edit->Create(WS_CHILD | WS_VISIBLE, NextRect(), dlg.get(), id);
        return static_cast<UIEdit *>(dlg->AddPageControl(std::move(edit)));
    }
    UIButton *Radio(UINT id, ButtonClickCallback callback, bool checked = false)
    {
        UIButton *button = dlg->AddPageButton(0, NextRect(), id, 472, 471, 470, 471, callback);
        button->SetRadioMode(TRUE);
        if (checked)
            button->SetCheck(1);
        return button;
    }
    UIButton *Button(UINT id) { return dlg->AddPageButton(0, NextRect(), id, 472, 471, 470, 471, nullptr); }
    UIStatic *Label(UINT id) { return dlg->AddPageLabel(0, NextRect(), id, 0xFF838281, 12); }
    CRect NextRect()
    {
        const int n = m_placed++;
        const int left = 5 + (n % 8) * 88, top = 95 + (n / 8) * 30;
        return CRect(left, top, left + 85, top + 23);
    }

    void Click(UINT id)
    {
        CWnd *item = dlg->GetDlgItem(static_cast<int>(id));
        ASSERT_TRUE(item && item->GetWidget()) << id;
        QTest::mouseClick(item->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
    }

    vxtest::ScopedTimeZone zone{"Europe/Berlin"};
    std::string dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv dataEnv{"XDG_DATA_HOME", dataHome.c_str()};
    std::string runtime = vxtest::MakeTempDir("run");
    vxtest::ScopedEnv runtimeEnv{"XDG_RUNTIME_DIR", runtime.c_str()};
    vxtest::FakeUlvexLibrary fake;
    CWinApp app;
    int64_t now = LocalTime(2026, 12, 10);
    std::unique_ptr<PageDlg> dlg;

  private:
    int m_placed = 0;
};

// ---- page container --------------------------------------------------------------------------

TEST_F(PageTest, TheArrayGrowsByTwentyKeepsItsOrderAndItsRoomWhenThePageGoes)
{
    EXPECT_EQ(dlg->PageControlCount(), 0u);
    std::vector<CWnd *> added;
    for (UINT i = 0; i < 21; ++i)
    {
        added.push_back(dlg->AddPageLabel(0, CRect(0, 0, 10, 10), 2000 + i, 0xFF000000, 12));
        if (i == 0 || i == 19)
        {
            EXPECT_EQ(dlg->PageControlCapacity(), 20u) << i;
        }
    }
    EXPECT_EQ(dlg->PageControlCapacity(), 40u);
    ASSERT_EQ(dlg->PageControlCount(), 21u);
    for (std::size_t i = 0; i < added.size(); ++i)
        EXPECT_EQ(dlg->PageControl(i), added[i]) << i;

    dlg->m_pChildPage = dlg->PageControl(3);
    dlg->m_pfnEnterAction = [](CKVTDlg *) {};
    dlg->DestroyPageControls();
    EXPECT_EQ(dlg->PageControlCount(), 0u);
    EXPECT_EQ(dlg->PageControlCapacity(), 40u);
    EXPECT_EQ(dlg->GetDlgItem(2000), nullptr);
    EXPECT_EQ(dlg->GetDlgItem(2020), nullptr);
    EXPECT_EQ(dlg->m_pChildPage, nullptr);
    EXPECT_EQ(dlg->m_pfnEnterAction, nullptr);
    EXPECT_EQ(dlg->AddPageControl(nullptr), nullptr);
    EXPECT_EQ(dlg->PageControlCount(), 0u);
}

TEST_F(PageTest, WithoutMemoryForMoreRoomTheControlIsDeletedAndTheUserTold)
{
    std::vector<vxwin::MessageBoxRequest> boxes;
    vxwin::SetMessageBoxHook([&](const vxwin::MessageBoxRequest &box) {
        boxes.push_back(box);
        return IDOK;
    });
    dlg->noMemory = true;
    // The very first control needs room too.
    EXPECT_EQ(dlg->AddPageLabel(0, CRect(0, 0, 10, 10), 2100, 0xFF000000, 12), nullptr);
    EXPECT_EQ(dlg->GetDlgItem(2100), nullptr);
    EXPECT_EQ(dlg->PageControlCount(), 0u);
    dlg->noMemory = false;
    std::vector<CWnd *> added;
    for (UINT i = 0; i < 20; ++i)
        added.push_back(dlg->AddPageLabel(0, CRect(0, 0, 10, 10), 2000 + i, 0xFF000000, 12));
    dlg->noMemory = true;
    EXPECT_EQ(dlg->AddPageButton(361, CRect(0, 0, 10, 10), 2020, 476, 476, 474, 475, nullptr), nullptr);
    dlg->ShowStatusText(358); // a status line that finds no room is not left behind either
    vxwin::SetMessageBoxHook({});
    EXPECT_EQ(dlg->GetDlgItem(2020), nullptr);
    EXPECT_EQ(dlg->GetDlgItem(1187), nullptr);
    ASSERT_EQ(dlg->PageControlCount(), 20u);
    EXPECT_EQ(dlg->PageControlCapacity(), 20u);
    for (std::size_t i = 0; i < added.size(); ++i)
        EXPECT_EQ(dlg->PageControl(i), added[i]) << i;
    ASSERT_EQ(boxes.size(), 3u);
    for (const auto &box : boxes)
    {
        EXPECT_EQ(box.text, u"Memory Allocation Error");
        EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(box.language, 1033);
        EXPECT_EQ(box.owner, dlg->m_hWnd);
    }
}

TEST_F(PageTest, APageIsRebuiltFromItsOwnButtonEditAndList)
{
    dlg->BuildSelfReplacingPage();
    for (int round = 0; round < 3; ++round)
    {
        Click(1195);
        vxtest::ProcessEvents();
    }
    EXPECT_EQ(dlg->pagesBuilt, 4);
    // The edit's change notice deletes the edit while its text is being changed.
    auto *edit = Item<UIEdit>(1501);
    ASSERT_NE(edit, nullptr);
    QTest::keyClick(edit->GetWidget(), Qt::Key_A);
    vxtest::ProcessEvents();
    EXPECT_EQ(dlg->pagesBuilt, 5);
    // The list's selection callback deletes the list from inside its press.
    auto *list = Item<UIListBox>(1183);
    ASSERT_NE(list, nullptr);
    CRect box;
    ASSERT_TRUE(list->GetItemRect(0, &box));
    QTest::mouseClick(list->GetWidget(), Qt::LeftButton, {},
                      QPoint(box.CenterPoint().x, box.CenterPoint().y));
    vxtest::ProcessEvents();
    EXPECT_EQ(dlg->pagesBuilt, 6);
    // One page's controls, each once.
    EXPECT_EQ(Count(1195), 1);
    EXPECT_EQ(Count(1501), 1);
    EXPECT_EQ(Count(1183), 1);
    EXPECT_EQ(Count(1193), 1);
    EXPECT_EQ(dlg->PageControlCount(), 5u);
}

TEST_F(PageTest, APageBuilderSavesTheIgnoreFlagAndSetsTheTitle)
{
    dlg->m_bIgnoreDeviceArrival = FALSE;
    dlg->ShowLogOutErrorView();
    EXPECT_EQ(dlg->m_bSavedIgnoreDeviceArrival, FALSE);
    EXPECT_EQ(dlg->m_bIgnoreDeviceArrival, TRUE);
    EXPECT_EQ(std::u16string(dlg->m_pGreeting->GetText()), u"Log out error");
    EXPECT_EQ(dlg->m_pGreeting->GetFontSize(), 18);
    EXPECT_TRUE(dlg->m_pGreeting->IsWindowVisible());
    dlg->BeginPage(FALSE, 0);
    EXPECT_EQ(dlg->m_bSavedIgnoreDeviceArrival, TRUE);
    EXPECT_EQ(dlg->m_bIgnoreDeviceArrival, FALSE);
    EXPECT_FALSE(dlg->m_pGreeting->IsWindowVisible());
    EXPECT_EQ(dlg->PageControlCount(), 0u);
}

TEST_F(PageTest, TheLogOutErrorPageOffersOnlyExitAndCloseBothClosing)
{
    dlg->ShowLogOutErrorView();
    EXPECT_EQ(Caption(1246), u"Error Occurred");
    EXPECT_EQ(Caption(1187), u"Sorry!! Logout error occurred!");
    EXPECT_EQ(Item<UIStatic>(1187)->GetCurrentTextColor(), 0xFF838281u);
    EXPECT_EQ(Caption(1195), u"Exit");
    EXPECT_EQ(Item<UIStatic>(1194)->GetImageWidth(), 64);
    EXPECT_EQ(Item<UIStatic>(1008)->GetImageWidth(), 200);
    EXPECT_EQ(RectOf(1193), CRect(645, 64, 671, 90));
    EXPECT_EQ(dlg->PageControlCount(), 6u);
    for (UINT id : {1195u, 1193u})
    {
        const int before = dlg->closes;
        Click(id);
        vxtest::ProcessEvents();
        EXPECT_EQ(dlg->closes, before + 1) << id;
    }
}

// ---- status line -----------------------------------------------------------------------------

TEST_F(PageTest, EachStatusVariantMakesOneLineOfItsOwnShape)
{
    struct Case
    {
        const char *name;
        void (*show)(CKVTDlg &);
        std::u16string text;
        CRect rect;
        int alignment;
        BOOL multiLine;
    };
    const Case cases[] = {
        {"text", [](CKVTDlg &d) { d.ShowStatusText(358); }, u"Error Occurred", CRect(100, 98, 600, 118), 1,
         FALSE},
        {"wide", [](CKVTDlg &d) { d.ShowStatusTextWide(358); }, u"Error Occurred", CRect(50, 98, 650, 118), 1,
         FALSE},
        {"multi-line", [](CKVTDlg &d) { d.ShowStatusTextMultiLine(242); }, u"Sorry!! Logout error occurred!",
         CRect(230, 100, 630, 140), 0, TRUE},
        {"register device", [](CKVTDlg &d) { d.ShowRegisterDeviceFailed(); },
         u"Register device failed! Please exit the application and try again.", CRect(100, 98, 600, 118), 1,
         FALSE},
        {"erase account", [](CKVTDlg &d) { d.ShowEraseAccountFailed(); },
         u"Erase account failed! Please exit the application and try again.", CRect(100, 98, 600, 118), 1,
         FALSE},
        {"string", [](CKVTDlg &d) { d.ShowStatusString(u"it's \"quoted\" \xD800 text"); },
         u"it's \"quoted\" \xD800 text", CRect(100, 98, 600, 118), 1, FALSE},
        {"null string", [](CKVTDlg &d) { d.ShowStatusString(nullptr); }, u"", CRect(100, 98, 600, 118), 1,
         FALSE},
    };
    for (const Case &c : cases)
    {
        dlg->BeginPage(FALSE, 0);
        c.show(*dlg);
        auto *line = Item<UIStatic>(1187);
        ASSERT_NE(line, nullptr) << c.name;
        EXPECT_EQ(Count(1187), 1) << c.name;
        EXPECT_EQ(std::u16string(line->GetText()), c.text) << c.name;
        EXPECT_EQ(RectOf(1187), c.rect) << c.name;
        EXPECT_EQ(line->GetAlignment(), c.alignment) << c.name;
        EXPECT_EQ(line->IsMultiLine(), c.multiLine) << c.name;
        EXPECT_EQ(line->GetCurrentTextColor(), 0xFFDA251Du) << c.name;
        EXPECT_EQ(line->GetFontSize(), 12) << c.name;
        EXPECT_EQ(line->GetFontStyle(), 1) << c.name;
        EXPECT_TRUE(line->IsWindowVisible()) << c.name;
    }
}

TEST_F(PageTest, AStatusLineIsReusedOnItsPageAndGoesWithIt)
{
    dlg->BeginPage(FALSE, 0);
    dlg->ShowStatusText(358);
    UIStatic *first = Item<UIStatic>(1187);
    dlg->ShowStatusTextWide(361);
    EXPECT_EQ(Item<UIStatic>(1187), first);
    EXPECT_EQ(Count(1187), 1);
    EXPECT_EQ(Caption(1187), u"Exit");
    EXPECT_EQ(RectOf(1187), CRect(100, 98, 600, 118)); // the line stays where it was made
    dlg->ShowStatusTextMultiLine(242);
    EXPECT_EQ(Item<UIStatic>(1187), first);
    EXPECT_EQ(RectOf(1187), CRect(230, 100, 630, 140)); // only the multi-line variant moves it
    EXPECT_EQ(Caption(1187), u"Sorry!! Logout error occurred!");

    // A page whose own body text is control 1187: its text is replaced.
    dlg->ShowLogOutErrorView();
    dlg->ShowStatusText(361);
    EXPECT_EQ(Count(1187), 1);
    EXPECT_EQ(Caption(1187), u"Exit");
    EXPECT_EQ(Item<UIStatic>(1187)->GetCurrentTextColor(), 0xFF838281u);

    dlg->BeginPage(FALSE, 0);
    EXPECT_EQ(dlg->GetDlgItem(1187), nullptr);
}

TEST_F(PageTest, TraditionalChineseStatusLinesAreRegular)
{
    app.m_pMainWnd = nullptr;
    dlg.reset();
    dlg = Make(1028);
    dlg->ShowStatusText(361);
    ASSERT_NE(Item<UIStatic>(1187), nullptr);
    EXPECT_EQ(Item<UIStatic>(1187)->GetFontStyle(), 0);
    EXPECT_EQ(Caption(1187), u"結束");
}

// ---- profile form ----------------------------------------------------------------------------

struct ProfileForm
{
    UIButton *metric, *imperial;
    UIEdit *height, *inches, *weight;
};

class ProfileTest : public PageTest
{
  protected:
    ProfileForm Build(bool metric)
    {
        dlg->BeginPage(FALSE, 0);
        ProfileForm form{};
        form.metric = Radio(1216, &CKVTDlg::OnUnitsMetric, metric);
        form.imperial = Radio(1361, &CKVTDlg::OnUnitsImperial, !metric);
        form.height = Edit(1020);
        form.inches = Edit(1021);
        form.weight = Edit(1022);
        Label(1213);
        Label(1379);
        Label(1214);
        return form;
    }
};

TEST_F(ProfileTest, UnitsConvertBothWaysAndRoundTripsKeepWhatWasShown)
{
    struct Case
    {
        const char *name;
        const char16_t *feet, *inches, *pounds;
        int keptCm;
        const char16_t *cm, *kg;
        const char16_t *feetBack, *inchesBack, *poundsBack;
    };
    const Case cases[] = {
        {"150 lbs, 5'11\"", u"5", u"11", u"150", 0, u"180", u"68", u"5", u"11", u"150"},
        {"151 lbs keeps its pound", u"5", u"0", u"151", 0, u"152", u"68", u"5", u"0", u"151"},
        {"a kept 183 cm", u"6", u"0", u"", 183, u"183", u"", u"6", u"0", u""},
        {"a kept 182 cm", u"6", u"0", u"", 182, u"182", u"", u"6", u"0", u""},
        {"a kept value that no longer fits", u"5", u"0", u"", 183, u"152", u"", u"5", u"0", u""},
        {"inches only", u"", u"10", u"", 0, u"25", u"", u"0", u"10", u""},
        {"nothing entered", u"", u"", u"", 0, u"", u"", u"", u"", u""},
    };
    for (const Case &c : cases)
    {
        ProfileForm form = Build(false);
        dlg->m_nHeightCm = c.keptCm;
        dlg->m_nWeightLb = 0;
        form.height->SetWindowText(c.feet);
        form.inches->SetWindowText(c.inches);
        form.weight->SetWindowText(c.pounds);

        Click(1216);
        EXPECT_TRUE(form.metric->GetCheck()) << c.name;
        EXPECT_FALSE(form.imperial->GetCheck()) << c.name;
        EXPECT_EQ(Text(1020), c.cm) << c.name;
        EXPECT_EQ(Text(1022), c.kg) << c.name;
        EXPECT_FALSE(form.inches->IsWindowVisible()) << c.name;
        EXPECT_EQ(Caption(1213), u"cm") << c.name;
        EXPECT_EQ(Caption(1379), u"") << c.name;
        EXPECT_EQ(Caption(1214), u"kg") << c.name;

        Click(1361);
        EXPECT_FALSE(form.metric->GetCheck()) << c.name;
        EXPECT_TRUE(form.imperial->GetCheck()) << c.name;
        EXPECT_EQ(Text(1020), c.feetBack) << c.name;
        EXPECT_EQ(Text(1021), c.inchesBack) << c.name;
        EXPECT_EQ(Text(1022), c.poundsBack) << c.name;
        EXPECT_TRUE(form.inches->IsWindowVisible()) << c.name;
        EXPECT_EQ(Caption(1213), u"feet") << c.name;
        EXPECT_EQ(Caption(1379), u"inches") << c.name;
        EXPECT_EQ(Caption(1214), u"lbs") << c.name;
    }
}

TEST_F(ProfileTest, MetricEntriesBecomeFeetAndPoundsAndTheCentimetresAreKept)
{
    ProfileForm form = Build(true);
    form.height->SetWindowText(u"180");
    form.weight->SetWindowText(u"68");
    Click(1361);
    EXPECT_EQ(Text(1020), u"5");
    EXPECT_EQ(Text(1021), u"11");
    EXPECT_EQ(Text(1022), u"150");
    EXPECT_EQ(dlg->m_nHeightCm, 180);
    // The height field takes at most 7 feet.
    form.height->SetNumericOnly(TRUE);
    form.height->SetFocus();
    form.height->SetWindowText(u"");
    QTest::keyClicks(form.height->GetWidget(), "9");
    EXPECT_EQ(Text(1020), u"");
    QTest::keyClicks(form.height->GetWidget(), "7");
    EXPECT_EQ(Text(1020), u"7");
}

TEST_F(ProfileTest, PressingTheCheckedUnitChangesNothing)
{
    ProfileForm form = Build(true);
    form.height->SetWindowText(u"180");
    form.weight->SetWindowText(u"68");
    Click(1216);
    EXPECT_TRUE(form.metric->GetCheck());
    EXPECT_FALSE(form.imperial->GetCheck());
    EXPECT_EQ(Text(1020), u"180");
    EXPECT_EQ(Text(1022), u"68");
    EXPECT_EQ(Caption(1213), u"");
}

TEST_F(ProfileTest, TheAgeLabelShowsOnlyAPlausibleAgeOfAPastDate)
{
    struct Case
    {
        const char16_t *year, *month, *day;
        const char16_t *age;
    };
    // Today is 10 December 2026.
    const Case cases[] = {
        {u"1980", u"2", u"1", u"46"},    {u"1996", u"12", u"10", u"30"}, {u"1996", u"12", u"11", u"29"},
        {u"2025", u"12", u"10", u"1"},   {u"2025", u"12", u"11", u""}, // not yet a year old
        {u"2026", u"12", u"10", u""},                                  // today
        {u"2027", u"1", u"1", u""},                                    // in the future
        {u"1907", u"12", u"10", u"119"},                               // 119 years back is valid
        {u"1906", u"12", u"11", u""},                                  // 120 years back is not a valid year
        {u"1990", u"2", u"30", u""},     {u"1990", u"13", u"1", u""},    {u"1990", u"", u"1", u""},
        {u"67516", u"2", u"1", u""}, // would wrap to 1980 in the packed date
        {u"1980", u"258", u"1", u""},    {u"abc", u"2", u"1", u""},
    };
    for (const Case &c : cases)
    {
        dlg->BeginPage(FALSE, 0);
        UIEdit *year = Edit(1018);
        UIEdit *month = Edit(1017);
        UIEdit *day = Edit(1016);
        UIStatic *label = Label(1019);
        label->SetText(u"stale");
        year->SetWindowText(c.year);
        month->SetWindowText(c.month);
        day->SetWindowText(c.day);
        EXPECT_EQ(std::u16string(label->GetText()), c.age)
            << std::string(QString::fromStdU16String(c.year).toStdString()) << "-"
            << QString::fromStdU16String(c.month).toStdString() << "-"
            << QString::fromStdU16String(c.day).toStdString();
    }
}

TEST_F(ProfileTest, RadioPairsAndClearActOnThePageTheyFind)
{
    dlg->BeginPage(FALSE, 0);
    UIButton *first = Radio(1033, &CKVTDlg::OnRadioFirst, true);
    UIButton *second = Radio(1034, &CKVTDlg::OnRadioSecond);
    Click(1034);
    EXPECT_FALSE(first->GetCheck());
    EXPECT_TRUE(second->GetCheck());
    Click(1034);
    EXPECT_FALSE(first->GetCheck());
    EXPECT_TRUE(second->GetCheck());
    Click(1033);
    EXPECT_TRUE(first->GetCheck());
    EXPECT_FALSE(second->GetCheck());

    std::vector<UIEdit *> fields;
    for (UINT id : {1024u, 1004u, 1022u, 1020u, 1021u, 1018u, 1017u, 1016u, 1015u, 1014u})
    {
        fields.push_back(Edit(id));
        fields.back()->SetWindowText(u"x");
    }
    UIEdit *other = Edit(1023);
    other->SetWindowText(u"kept");
    dlg->ShowStatusText(358);
    Button(1162)->SetClickCallback(&CKVTDlg::OnProfileClear);
    Click(1162);
    for (UIEdit *field : fields)
        EXPECT_EQ(Text(static_cast<UINT>(field->GetDlgCtrlID())), u"") << field->GetDlgCtrlID();
    EXPECT_EQ(Text(1023), u"kept");
    EXPECT_EQ(Caption(1187), u"");

    // On a page without those controls nothing happens.
    dlg->BeginPage(FALSE, 0);
    CKVTDlg::OnProfileClear();
    CKVTDlg::OnRadioFirst();
    CKVTDlg::OnUnitsMetric();
    CKVTDlg::OnBirthDateChange();
    EXPECT_EQ(dlg->GetDlgItem(1187), nullptr);
}

// ---- goal form -------------------------------------------------------------------------------

class GoalTest : public PageTest
{
  protected:
    void Build()
    {
        dlg->BeginPage(FALSE, 0);
        kinds = {Radio(1163, &CKVTDlg::OnGoalKindDistance, true), Radio(1167, &CKVTDlg::OnGoalKindTime),
                 Radio(1169, &CKVTDlg::OnGoalKindCalories)};
        periods = {Radio(1201, &CKVTDlg::OnGoalPeriodDays, true), Radio(1202, &CKVTDlg::OnGoalPeriodWeeks),
                   Radio(1203, &CKVTDlg::OnGoalPeriodMonths)};
        for (UINT id : {1164u, 1168u, 1170u, 1172u, 1173u, 1174u, 1204u, 1205u, 1206u})
            Edit(id);
        for (UINT id : {1178u, 1179u, 1180u, 1207u, 1208u, 1209u, 1210u, 1211u, 1212u, 1114u})
            Label(id);
        for (UINT id : {1118u, 1119u, 1120u, 1092u})
            Button(id);
        auto made = std::make_unique<UIListBox>(dlg->m_nLanguage);
        made->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(20, 300, 680, 460), dlg.get(), 1183);
        made->SetSelChangeCallback(&CKVTDlg::OnGoalListSelect);
        list = static_cast<UIListBox *>(dlg->AddPageControl(std::move(made)));
        // A distance goal in kilometres over 2 weeks, a time goal over 3 months that has ended,
        // a reached calories goal over 5 days, a distance goal in miles.
        struct Goal
        {
            int id;
            UINT distance;
            BYTE unit;
            UINT time, calories, count;
            BYTE period;
            UINT start, end, achievedCalories;
        };
        const Goal goals[] = {
            {11, 12345, 1, 0, 0, 2, 2, PackDate(2026, 12, 1), PackDate(2026, 12, 15), 0},
            {12, 0, 1, 7200 * 3, 0, 3, 3, PackDate(1999, 1, 5), PackDate(1999, 4, 5), 0},
            {13, 0, 1, 0, 900, 5, 1, PackDate(2026, 12, 8), PackDate(2026, 12, 13), 1000},
            {14, 1609, 0, 0, 0, 1, 2, PackDate(2026, 12, 9), PackDate(2026, 12, 16), 0},
        };
        for (const Goal &g : goals)
            list->AddItem(g.id, g.distance, g.unit, g.time, g.calories, g.count, g.period, g.start, g.end, 0,
                          0, g.achievedCalories);
        // Adding counts the period in days; the page sets each item's own period afterwards.
        for (int n = 0; n < 4; ++n)
        {
            const Goal &g = goals[n];
            list->SetItem(n, g.id, g.distance, g.unit, g.time, g.calories, g.count, g.period, g.start, g.end,
                          0, 0, g.achievedCalories);
        }
    }
    bool Enabled(UINT id) const { return dlg->IsEnabled(id); }

    std::vector<UIButton *> kinds, periods;
    UIListBox *list = nullptr;
};

TEST_F(GoalTest, SelectingAGoalFillsTheFormAndLeavesCreateNewAndEditDisabled)
{
    struct Case
    {
        int index;
        int kind;
        const char16_t *value;
        const char16_t *day, *month, *year;
        int period;
        const char16_t *count;
        const char16_t *heading;
    };
    const Case cases[] = {
        {0, 0, u"12.3", u"01", u"12", u"26", 1, u"2", u"My Goal 001"},
        {1, 1, u"6", u"05", u"01", u"99", 2, u"3", u"My Goal 002"},
        {2, 2, u"900", u"08", u"12", u"26", 0, u"5", u"My Goal 003"},
        // Entered in miles, shown in the user's kilometres.
        {3, 0, u"1.6", u"09", u"12", u"26", 1, u"1", u"My Goal 004"},
    };
    dlg->m_bMetric = TRUE;
    const UINT kindFields[] = {1164, 1168, 1170};
    const UINT kindLabels[] = {1178, 1179, 1180};
    const UINT periodFields[] = {1204, 1205, 1206};
    const UINT periodLabels[][2] = {{1207, 1208}, {1209, 1210}, {1211, 1212}};
    for (const Case &c : cases)
    {
        Build();
        dlg->ShowStatusText(358);
        dlg->enabledAfterChange.clear();
        list->SetCurSel(c.index);
        CKVTDlg::OnGoalListSelect(c.index);
        for (int k = 0; k < 3; ++k)
        {
            const bool own = k == c.kind;
            EXPECT_EQ(kinds[k]->GetCheck() != FALSE, own) << c.index << " kind " << k;
            EXPECT_EQ(Text(kindFields[k]), own ? c.value : u"") << c.index << " kind " << k;
            EXPECT_EQ(Enabled(kindFields[k]), own) << c.index << " kind " << k;
            EXPECT_EQ(Enabled(kindLabels[k]), own) << c.index << " kind " << k;
            const bool period = k == c.period;
            EXPECT_EQ(periods[k]->GetCheck() != FALSE, period) << c.index << " period " << k;
            EXPECT_EQ(Text(periodFields[k]), period ? c.count : u"") << c.index << " period " << k;
            EXPECT_EQ(Enabled(periodFields[k]), period) << c.index << " period " << k;
            EXPECT_EQ(Enabled(periodLabels[k][0]), period) << c.index << " period " << k;
            EXPECT_EQ(Enabled(periodLabels[k][1]), period) << c.index << " period " << k;
        }
        EXPECT_EQ(Text(1172), c.day) << c.index;
        EXPECT_EQ(Text(1173), c.month) << c.index;
        EXPECT_EQ(Text(1174), c.year) << c.index;
        EXPECT_EQ(Caption(1114), c.heading) << c.index;
        EXPECT_EQ(Caption(1187), u"") << c.index;
        // Each write sent its change notice at once, which enabled Create New; the last step
        // still leaves Create New and Edit disabled.
        ASSERT_FALSE(dlg->enabledAfterChange.empty()) << c.index;
        EXPECT_TRUE(dlg->enabledAfterChange.back().first) << c.index;
        EXPECT_FALSE(Enabled(1118)) << c.index;
        EXPECT_FALSE(Enabled(1119)) << c.index;
        EXPECT_TRUE(Enabled(1120)) << c.index;
        EXPECT_TRUE(Enabled(1092)) << c.index;
    }
}

TEST_F(GoalTest, NoGoalSelectedEmptiesTheFormAndKeepsTheCheckedRows)
{
    struct Case
    {
        const char *name;
        int kindChecked;   // -1: none checked
        int periodChecked; // -1: none checked
        int kindRow, periodRow;
    };
    for (const Case &c : {Case{"defaults", 0, 0, 0, 0}, Case{"time and months", 1, 2, 1, 2},
                          Case{"nothing checked", -1, -1, 0, 0}})
    {
        Build();
        for (int k = 0; k < 3; ++k)
        {
            kinds[k]->SetCheck(k == c.kindChecked ? 1 : 0);
            periods[k]->SetCheck(k == c.periodChecked ? 1 : 0);
        }
        for (UINT id : {1164u, 1168u, 1170u, 1204u, 1205u, 1206u})
            dlg->SetDlgItemText(static_cast<int>(id), u"9");
        CKVTDlg::OnGoalListSelect(-1);
        for (UINT id : {1164u, 1168u, 1170u, 1204u, 1205u, 1206u})
            EXPECT_EQ(Text(id), u"") << c.name << " " << id;
        const UINT kindFields[] = {1164, 1168, 1170};
        const UINT periodFields[] = {1204, 1205, 1206};
        for (int k = 0; k < 3; ++k)
        {
            EXPECT_EQ(kinds[k]->GetCheck() != FALSE, k == c.kindRow) << c.name << k;
            EXPECT_EQ(periods[k]->GetCheck() != FALSE, k == c.periodRow) << c.name << k;
            EXPECT_EQ(Enabled(kindFields[k]), k == c.kindRow) << c.name << k;
            EXPECT_EQ(Enabled(periodFields[k]), k == c.periodRow) << c.name << k;
        }
        EXPECT_EQ(Text(1172), u"10") << c.name;
        EXPECT_EQ(Text(1173), u"12") << c.name;
        EXPECT_EQ(Text(1174), u"26") << c.name;
        for (UINT id : {1118u, 1119u, 1120u, 1092u})
            EXPECT_FALSE(Enabled(id)) << c.name << " " << id;
        EXPECT_EQ(Caption(1114), u"My Goal") << c.name;
    }
}

TEST_F(GoalTest, ClickingAGoalInTheListFillsTheForm)
{
    Build();
    CRect box;
    ASSERT_TRUE(list->GetItemRect(list->GetFirstShown(), &box));
    QTest::mouseClick(list->GetWidget(), Qt::LeftButton, {},
                      QPoint(box.CenterPoint().x, box.CenterPoint().y));
    vxtest::ProcessEvents();
    EXPECT_EQ(list->GetCurSel(), list->GetFirstShown());
    EXPECT_EQ(Caption(1114), u"My Goal 004");
    EXPECT_EQ(Text(1164), u"1.0");
}

TEST_F(GoalTest, EditingEnablesCreateNewAndEditOnlyForAGoalStillRunning)
{
    struct Case
    {
        int selected;
        bool edit;
    };
    // 0 runs until 15 December; 1 ended in 1999; 2 is reached; -1 is none.
    for (const Case &c : {Case{0, true}, Case{1, false}, Case{2, false}, Case{-1, false}})
    {
        Build();
        list->SetCurSel(c.selected);
        CKVTDlg::OnGoalListSelect(c.selected);
        ASSERT_FALSE(Enabled(1118));
        dlg->SetDlgItemText(1205, u"4");
        EXPECT_TRUE(Enabled(1118)) << c.selected;
        EXPECT_EQ(Enabled(1119), c.edit) << c.selected;
    }
}

TEST_F(GoalTest, AKindOrPeriodButtonMakesItsRowTheOnlyOneEnabled)
{
    Build();
    dlg->SetForegroundWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg->GetWidget()));
    CKVTDlg::OnGoalListSelect(-1);
    Click(1167);
    EXPECT_FALSE(kinds[0]->GetCheck());
    EXPECT_TRUE(kinds[1]->GetCheck());
    EXPECT_FALSE(kinds[2]->GetCheck());
    EXPECT_FALSE(Enabled(1164));
    EXPECT_TRUE(Enabled(1168));
    EXPECT_FALSE(Enabled(1170));
    EXPECT_FALSE(Enabled(1178));
    EXPECT_TRUE(Enabled(1179));
    EXPECT_EQ(CWnd::GetFocus(), dlg->GetDlgItem(1168));

    Click(1203);
    EXPECT_FALSE(periods[0]->GetCheck());
    EXPECT_TRUE(periods[2]->GetCheck());
    EXPECT_TRUE(Enabled(1206));
    EXPECT_TRUE(Enabled(1211));
    EXPECT_TRUE(Enabled(1212));
    EXPECT_FALSE(Enabled(1204));
    EXPECT_FALSE(Enabled(1207));
    EXPECT_FALSE(Enabled(1208));
    EXPECT_EQ(CWnd::GetFocus(), dlg->GetDlgItem(1206));

    // The checked button again: nothing changes.
    Click(1203);
    EXPECT_TRUE(periods[2]->GetCheck());
    EXPECT_FALSE(periods[0]->GetCheck());
    EXPECT_TRUE(Enabled(1206));
    EXPECT_FALSE(Enabled(1205));
}

// ---- navigation and prompts ------------------------------------------------------------------

TEST_F(PageTest, NavigationCallbacksReachTheirPages)
{
    struct Case
    {
        const char *name;
        ButtonClickCallback callback;
        KvtView view;
        bool childModified;
        const char *page; // null: none built
        int confirmations;
    };
    const Case cases[] = {
        {"home", &CKVTDlg::OnNavHome, KvtView::Runs, false, "home", 0},
        {"home from unmodified settings", &CKVTDlg::OnNavHome, KvtView::DeviceSetting, false, "home", 0},
        {"home from modified settings", &CKVTDlg::OnNavHome, KvtView::DeviceSetting, true, nullptr, 1},
        {"home with a modified page elsewhere", &CKVTDlg::OnNavHome, KvtView::Goal, true, "home", 0},
        {"device setting", &CKVTDlg::OnNavDeviceSetting, KvtView::DeviceSetting, true, "device setting", 0},
        {"remove account cancel", &CKVTDlg::OnRemoveAccountCancel, KvtView::Support, false, "support", 0},
        {"register now", &CKVTDlg::OnRegisterNow, KvtView::Home, false, "new account", 0},
        {"register later", &CKVTDlg::OnRegisterLater, KvtView::Home, false, "login", 0},
    };
    for (const Case &c : cases)
    {
        dlg->BeginPage(FALSE, 0);
        Label(115);
        dlg->m_pChildPage = dlg->GetDlgItem(115);
        dlg->modified = c.childModified;
        dlg->m_nCurrentView = c.view;
        dlg->calls.clear();
        dlg->confirmations = 0;
        Button(1300)->SetClickCallback(c.callback);
        Click(1300);
        vxtest::ProcessEvents();
        if (c.page)
        {
            EXPECT_EQ(dlg->calls, std::vector<std::string>{c.page}) << c.name;
        }
        else
        {
            EXPECT_TRUE(dlg->calls.empty()) << c.name;
            EXPECT_EQ(dlg->m_nCurrentView, KvtView::Home) << c.name; // the target
        }
        EXPECT_EQ(dlg->confirmations, c.confirmations) << c.name;
    }
    // Without a main window the callbacks do nothing.
    app.m_pMainWnd = nullptr;
    dlg->calls.clear();
    for (const Case &c : cases)
        c.callback();
    CKVTDlg::OnCloseButton();
    vxtest::ProcessEvents();
    EXPECT_TRUE(dlg->calls.empty());
    EXPECT_EQ(dlg->closes, 0);
}

TEST_F(PageTest, DontSaveEndsTheSaveChangesPromptAndRestoresTheIgnoreFlag)
{
    struct Case
    {
        const char *name;
        bool childPage;
        bool promptKept;
        INT_PTR result;
    };
    for (const Case &c :
         {Case{"child page and prompt", true, true, IDCANCEL}, Case{"no child page", false, true, IDABORT},
          Case{"no prompt kept", true, false, IDABORT}})
    {
        dlg->BeginPage(FALSE, 0);
        if (c.childPage)
        {
            Label(115);
            dlg->m_pChildPage = dlg->GetDlgItem(115);
        }
        dlg->modified = TRUE;
        dlg->calls.clear();
        dlg->m_bSavedIgnoreDeviceArrival = FALSE;
        dlg->m_bIgnoreDeviceArrival = TRUE;
        CSaveChangesDlg prompt(1033, dlg.get());
        prompt.SetSecondButtonCallback(&CKVTDlg::OnSaveChangesDiscard);
        if (c.promptKept)
            dlg->m_pSaveChangesDlg = &prompt;
        vxwin::SetModalHook([&](CDialog &d) {
            QTest::mouseClick(prompt.GetDiscardButton()->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
            vxtest::ProcessEvents();
            if (dlg->modified)
                d.EndDialog(IDABORT);
        });
        EXPECT_EQ(prompt.DoModal(), c.result) << c.name;
        vxwin::SetModalHook({});
        dlg->m_pSaveChangesDlg = nullptr;
        const bool acted = c.result == IDCANCEL;
        EXPECT_EQ(dlg->modified, acted ? FALSE : TRUE) << c.name;
        EXPECT_EQ(dlg->m_bIgnoreDeviceArrival, acted ? FALSE : TRUE) << c.name;
    }
}

TEST_F(PageTest, TheMessagePromptsButtonEndsThePromptTheMainDialogKeeps)
{
    CMessageDlg prompt(1033, dlg.get());
    prompt.m_nTitleId = 358;
    prompt.m_nMessageId = 242;
    dlg->m_pMessageDlg = &prompt;
    vxwin::SetModalHook([&](CDialog &) {
        EXPECT_EQ(std::u16string(prompt.GetTitleLabel()->GetText()), u"Error Occurred");
        QTest::mouseClick(prompt.GetButton()->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
    });
    EXPECT_EQ(prompt.DoModal(), IDOK);
    vxwin::SetModalHook({});
    dlg->m_pMessageDlg = nullptr;
}

// ---- credentials and the other program -----------------------------------------------------

TEST_F(PageTest, WebAppCredentialsAreStoredOnlyForALoggedInUserWithBothTexts)
{
    ASSERT_TRUE(dlg->m_pDatabase && dlg->m_pDatabase->IsOpen());
    EXPECT_EQ(dlg->SaveWebAppCredentials(u"a@b.c", u"pw"), 0); // nobody logged in
    const DateParts dob = {1, 2, 1980};
    ASSERT_EQ(dlg->m_pDatabase->AddUser(u"ann", u"abc", u"Ann", u"Lee", 1, &dob, 46, 170, 0, 60, 0), 1);
    ASSERT_EQ(dlg->m_pDatabase->Login(u"ann", u"abc"), 1);
    EXPECT_EQ(dlg->SaveWebAppCredentials(u"a@b.c", u"pw"), 0); // the dialog knows no user yet
    dlg->m_szUserId[0] = u'a';
    dlg->m_szUserId[1] = u'n';
    dlg->m_szUserId[2] = u'n';

    struct Case
    {
        const char16_t *email, *password;
        int result;
    };
    const Case cases[] = {
        {nullptr, u"pw", 0},
        {u"a@b.c", nullptr, 0},
        {u"", u"pw", 0},
        {u"a@b.c", u"", 0},
        {u"lone \xDC00 surrogate", u"pw", 0},
        {u"o'brien@\"x\".c", u"p'w\"", 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(dlg->SaveWebAppCredentials(c.email, c.password), c.result);
    char16_t email[260] = {}, password[260] = {};
    ASSERT_EQ(dlg->m_pDatabase->GetFacebookInfo(email, 260, password, 260), 1);
    EXPECT_EQ(std::u16string(email), u"o'brien@\"x\".c");
    EXPECT_EQ(std::u16string(password), u"p'w\"");
}

TEST_F(PageTest, TheOtherProgramRunsWhileItsTitleLockIsHeld)
{
    EXPECT_EQ(dlg->IsOtherAppRunning(), 0);
    ASSERT_EQ(vxsys::AcquireInstanceLock(u"Vormatik"), vxsys::InstanceLockResult::First);
    EXPECT_EQ(dlg->IsOtherAppRunning(), 0); // another title
    ASSERT_EQ(vxsys::AcquireInstanceLock(u"TX Conduit"), vxsys::InstanceLockResult::First);
    EXPECT_EQ(dlg->IsOtherAppRunning(), 1);
}
} // namespace
