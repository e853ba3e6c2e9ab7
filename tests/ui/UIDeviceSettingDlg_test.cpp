#include <QApplication>
#include <QFontMetricsF>
#include <QWidget>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdiplus/Gdiplus.h"
#include "platform/win/WndBridge.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/UIDeviceSettingDlg.h"
#include "ui/UnitsOwner.h"

using uitest::Host;
using Page = UIDeviceSettingDlg;

namespace
{
const CRect kPageRect(10, 20, 410, 320);

int g_saves = 0;
void CountSave()
{
    ++g_saves;
}

// A window that tells its units, as the main dialog does.
class UnitsHost : public Host, public UnitsOwner
{
  public:
    BOOL metric = TRUE;
    BOOL IsMetricUnits() const override { return metric; }
};

UserProfileSettings Profile(std::uint32_t metric, std::uint16_t walking, std::uint16_t running)
{
    return UserProfileSettings{0, metric, 0, 1, walking, running};
}

class DeviceSettingPage : public testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.Make(480, 360));
        g_saves = 0;
    }
    void TearDown() override
    {
        page.reset();
        host.DestroyWindow();
        vxtest::ProcessEvents();
    }

    // The page as the main dialog builds it: language list, window, both records.
    void Make(std::vector<std::uint8_t> languages = {0, 1}, WORD language = 1033)
    {
        page = std::make_unique<Page>(language);
        page->SetSaveCallback(&CountSave);
        page->SetOptionTable(static_cast<std::uint8_t>(languages.size()), languages.data());
        ASSERT_TRUE(page->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, kPageRect, &host, Page::kPageId));
        vxtest::ProcessEvents();
    }
    void Load(const UserProfileSettings &profile, const DeviceSettings &settings)
    {
        page->SetUserProfile(&profile);
        page->SetDeviceSettings(&settings);
    }

    std::u16string TextOf(UINT id)
    {
        CWnd *control = page->GetControl(id);
        if (!control)
            return u"<none>";
        if (auto *label = dynamic_cast<UIStatic *>(control))
            return label->GetText();
        CString text;
        control->GetWindowText(text);
        return text.str();
    }
    void Type(UINT editId, const char16_t *text) { page->GetControl(editId)->SetWindowText(text); }
    void Click(UINT id)
    {
        UIButton *button = page->GetButton(id);
        ASSERT_NE(button, nullptr) << id;
        button->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        button->SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }
    bool Checked(UINT id) { return page->GetButton(id) && page->GetButton(id)->GetCheck(); }
    UserProfileSettings ReadProfile(std::uint32_t callersMetric = 1)
    {
        UserProfileSettings out{};
        out.metric = callersMetric;
        page->GetUserProfile(&out);
        return out;
    }
    DeviceSettings ReadSettings()
    {
        DeviceSettings out{};
        page->GetDeviceSettings(&out);
        return out;
    }

    uitest::ProgramStrings strings;
    UnitsHost host;
    std::unique_ptr<Page> page;
};

TEST_F(DeviceSettingPage, StartsWithTheDefaultsInTheGeneralTab)
{
    Make();
    const UserProfileSettings &p = page->GetProfileCopy();
    EXPECT_EQ(p.placement, 0u);
    EXPECT_EQ(p.metric, 1u);
    EXPECT_EQ(p.doubleTapSpeed, 1u);
    EXPECT_EQ(p.walkingStep, 75);
    EXPECT_EQ(p.runningStep, 97);
    const DeviceSettings &d = page->GetDeviceCopy();
    EXPECT_EQ(d.showTime + d.showDistance + d.showSteps + d.showCalories, 4u);
    EXPECT_EQ(d.volume, 1u);
    EXPECT_EQ(d.language, 0);
    EXPECT_EQ(d.deviceValueA, 0u);
    EXPECT_EQ(d.deviceValueB, 1u);
    EXPECT_FALSE(page->m_bModified);

    EXPECT_EQ(TextOf(Page::kWalkingEditId), u"75");
    EXPECT_EQ(TextOf(Page::kRunningEditId), u"97");
    EXPECT_EQ(TextOf(Page::kWalkingUnitId), u"cm");
    EXPECT_EQ(TextOf(Page::kSaveId), u"Save");
    EXPECT_EQ(TextOf(Page::kDefaultId), u"Default");
    EXPECT_TRUE(Checked(Page::kGeneralTabId));
    EXPECT_FALSE(Checked(Page::kVoicePromptTabId));
    EXPECT_TRUE(page->GetControl(Page::kWalkingEditId)->IsWindowVisible());
    EXPECT_FALSE(page->GetControl(Page::kShowTimeBoxId)->IsWindowVisible());
    EXPECT_FALSE(page->GetControl(Page::kWaistRadioId)->IsWindowEnabled());
    EXPECT_FALSE(page->GetControl(Page::kArmbandRadioId)->IsWindowEnabled());
    EXPECT_EQ(CWnd::GetFocus(), page->GetControl(Page::kRunningEditId));
    EXPECT_EQ(Page::GetCurrentPage(), page.get());
}

TEST_F(DeviceSettingPage, RowLabelsStandBesideTheirOwnRowInEveryLanguage)
{
    // English needs two lines for these labels, Chinese one: either way the text is centred on the
    // row of its buttons, not on the boundary with the row above.
    const struct
    {
        UINT label, rowControl;
    } rows[] = {{1270, 1278}, {1345, 1349}, {1350, 1354}, {1388, 1389}};
    for (WORD language : {WORD(1033), WORD(1031), WORD(2052)})
    {
        SCOPED_TRACE(language);
        page.reset();
        Make({0, 1}, language);
        std::vector<std::pair<QWidget *, QRectF>> drawn;
        Gdiplus::SetDrawnTextObserver([&drawn](const Gdiplus::DrawnText &t) {
            const QRectF ink = QFontMetricsF(t.font).boundingRect(t.box, t.flags, t.text);
            drawn.emplace_back(vxwin::WidgetInPaint(), t.transform.mapRect(ink));
        });
        (void)page->GetWidget()->grab();
        Gdiplus::SetDrawnTextObserver({});
        for (const auto &r : rows)
        {
            QWidget *label = page->GetControl(r.label)->GetWidget();
            QWidget *row = page->GetControl(r.rowControl)->GetWidget();
            const auto it = std::find_if(drawn.begin(), drawn.end(), [&](const auto &d) { return d.first == label; });
            ASSERT_NE(it, drawn.end()) << r.label;
            const double textMiddle = label->mapTo(page->GetWidget(), QPoint(0, 0)).y() + it->second.center().y();
            const double rowMiddle = row->mapTo(page->GetWidget(), QPoint(0, 0)).y() + row->height() / 2.0;
            EXPECT_NEAR(textMiddle, rowMiddle, 4.0) << r.label;
        }
    }
}

TEST_F(DeviceSettingPage, TheTabsShowOneGroupEach)
{
    Make({0, 1, 2});
    Click(Page::kVoicePromptTabId);
    EXPECT_TRUE(Checked(Page::kVoicePromptTabId));
    EXPECT_FALSE(Checked(Page::kGeneralTabId));
    for (UINT id : {Page::kShowTimeBoxId, Page::kHighRadioId, Page::kFirstLanguageRadioId + 2u,
                    Page::kFirstLanguageLabelId + 2u})
        EXPECT_TRUE(page->GetControl(id)->IsWindowVisible()) << id;
    for (UINT id : {Page::kWalkingEditId, Page::kTapOnRadioId, Page::kPlacementLabelId})
        EXPECT_FALSE(page->GetControl(id)->IsWindowVisible()) << id;
    EXPECT_TRUE(page->GetControl(Page::kSaveId)->IsWindowVisible());

    Click(Page::kGeneralTabId);
    EXPECT_TRUE(Checked(Page::kGeneralTabId));
    EXPECT_FALSE(Checked(Page::kVoicePromptTabId));
    EXPECT_TRUE(page->GetControl(Page::kWalkingEditId)->IsWindowVisible());
    EXPECT_FALSE(page->GetControl(Page::kShowTimeBoxId)->IsWindowVisible());
}

// An inch user sees whole inches; what was not touched goes back as the exact centimetres, a changed
// value as its rounded centimetres. The unit is the one the page shows, not the reader's record.
TEST_F(DeviceSettingPage, InchesRoundTripToTheExactCentimetres)
{
    Make();
    Load(Profile(0, 75, 97), DeviceSettings{});
    EXPECT_EQ(TextOf(Page::kWalkingEditId), u"30");
    EXPECT_EQ(TextOf(Page::kRunningEditId), u"38");
    EXPECT_EQ(TextOf(Page::kWalkingUnitId), u"inches");
    EXPECT_EQ(TextOf(Page::kRunningUnitId), u"inches");
    EXPECT_FALSE(page->m_bModified);

    for (std::uint32_t callersMetric : {0u, 1u})
    {
        const UserProfileSettings back = ReadProfile(callersMetric);
        EXPECT_EQ(back.walkingStep, 75) << callersMetric;
        EXPECT_EQ(back.runningStep, 97) << callersMetric;
        EXPECT_EQ(back.metric, callersMetric) << "the reader's own field";
    }

    Type(Page::kWalkingEditId, u"31");
    EXPECT_TRUE(page->m_bModified);
    EXPECT_EQ(ReadProfile().walkingStep, 79);
    EXPECT_EQ(ReadProfile().runningStep, 97);

    // Back in centimetres nothing is remembered.
    Load(Profile(1, 80, 100), DeviceSettings{});
    EXPECT_EQ(TextOf(Page::kWalkingEditId), u"80");
    EXPECT_EQ(TextOf(Page::kWalkingUnitId), u"cm");
    EXPECT_EQ(ReadProfile(0).walkingStep, 80);
    Type(Page::kRunningEditId, u"x");
    EXPECT_EQ(ReadProfile().runningStep, 0) << "unparsable text reads as 0";
}

TEST_F(DeviceSettingPage, SteppersKeepTheShownNumberWithin10And255)
{
    Make();
    const struct
    {
        const char16_t *shown;
        bool plus;
        const char16_t *after;
    } cases[] = {
        {u"", true, u"10"},       {u"", false, u"10"},    {u"300", false, u"255"}, {u"300", true, u"255"},
        {u"9", true, u"10"},      {u"10", false, u"10"},  {u"11", false, u"10"},   {u"75", false, u"74"},
        {u"75", true, u"76"},     {u"254", true, u"255"}, {u"255", true, u"255"},  {u"256", false, u"255"},
        {u"1234", false, u"122"}, {u"7x", true, u"10"},
    };
    for (const auto &c : cases)
        for (bool walking : {true, false})
        {
            const UINT edit = walking ? Page::kWalkingEditId : Page::kRunningEditId;
            Type(edit, c.shown);
            Click(c.plus ? (walking ? Page::kWalkingPlusId : Page::kRunningPlusId)
                         : (walking ? Page::kWalkingMinusId : Page::kRunningMinusId));
            EXPECT_EQ(TextOf(edit), c.after)
                << (walking ? "walking " : "running ")
                << std::string(c.shown, c.shown + std::char_traits<char16_t>::length(c.shown))
                << (c.plus ? " plus" : " minus");
        }

    // In inches the limits bind the inches shown, and the step is one inch.
    Load(Profile(0, 75, 97), DeviceSettings{});
    page->m_bModified = FALSE;
    Click(Page::kWalkingPlusId);
    EXPECT_EQ(TextOf(Page::kWalkingEditId), u"31");
    EXPECT_TRUE(page->m_bModified) << "the stepped text runs the change check";
    EXPECT_EQ(ReadProfile().walkingStep, 79);
}

TEST_F(DeviceSettingPage, LanguageRadiosFollowTheDevicesListUpToSix)
{
    const struct
    {
        std::vector<std::uint8_t> codes;
        int radios;
        int perRow;
    } cases[] = {
        {{}, 0, 3},
        {{0}, 1, 3},
        {{0, 1, 2, 3}, 4, 2},
        {{0, 1, 2, 3, 4, 5}, 6, 3},
        {{0, 1, 2, 3, 4, 5, 6}, 6, 3},
    };
    std::size_t withoutLanguages = 0;
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.codes.size());
        Make(c.codes);
        Click(Page::kVoicePromptTabId);
        EXPECT_EQ(page->GetLanguageRadioCount(), c.radios);
        if (c.codes.empty())
            withoutLanguages = page->GetControlCount();
        EXPECT_EQ(page->GetControlCount(), withoutLanguages + 2 * static_cast<std::size_t>(c.radios))
            << "a radio and a label for each language shown, nothing more";
        for (int i = 0; i < Page::kMaxLanguageRadios; ++i)
        {
            CWnd *radio = page->GetControl(Page::kFirstLanguageRadioId + static_cast<UINT>(i));
            CWnd *label = page->GetControl(Page::kFirstLanguageLabelId + static_cast<UINT>(i));
            EXPECT_EQ(radio != nullptr, i < c.radios) << i;
            EXPECT_EQ(label != nullptr, i < c.radios) << i;
            if (!radio)
                continue;
            EXPECT_TRUE(radio->IsWindowVisible());
            CRect first, here;
            page->GetControl(Page::kFirstLanguageRadioId)->GetWindowRect(&first);
            radio->GetWindowRect(&here);
            const int columns[3] = {0, 90, 190};
            EXPECT_EQ(here.left - first.left, columns[i % c.perRow]) << i;
            EXPECT_EQ(here.top > first.top, i >= c.perRow) << i;
        }
        if (c.radios > 0)
        {
            EXPECT_EQ(TextOf(Page::kFirstLanguageLabelId), u"English");
        }
        if (c.radios > 3)
        {
            EXPECT_EQ(TextOf(Page::kFirstLanguageLabelId + 3), u"Spanish");
        }
        page.reset();
    }
}

// Codes past the table's last language name no other text of the program.
TEST_F(DeviceSettingPage, ALanguageCodeBeyondTheTableShowsItsNumber)
{
    Make({116, 117, 255});
    EXPECT_EQ(TextOf(Page::kFirstLanguageLabelId), u"Yoruba");
    EXPECT_EQ(TextOf(Page::kFirstLanguageLabelId + 1), u"117");
    EXPECT_EQ(TextOf(Page::kFirstLanguageLabelId + 2), u"255");
    DeviceSettings d{};
    d.language = 117;
    Load(Profile(1, 75, 97), d);
    EXPECT_TRUE(Checked(Page::kFirstLanguageRadioId + 1));
    EXPECT_EQ(ReadSettings().language, 117);
}

// The device's code may lie past the sixth entry (or the list may be empty): no radio is checked then,
// and reading back keeps the device's code rather than turn the monitor to English.
TEST_F(DeviceSettingPage, ALanguageWithoutARadioIsKeptOnReading)
{
    for (const std::vector<std::uint8_t> &codes :
         {std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 9}, std::vector<std::uint8_t>{}})
    {
        Make(codes);
        DeviceSettings d{};
        d.language = 9;
        Load(Profile(1, 75, 97), d);
        for (int i = 0; i < Page::kMaxLanguageRadios; ++i)
            EXPECT_FALSE(Checked(Page::kFirstLanguageRadioId + static_cast<UINT>(i)));
        EXPECT_EQ(ReadSettings().language, 9);
        page.reset();
    }
}

TEST_F(DeviceSettingPage, LoadsAndReadsEveryControl)
{
    Make({4, 2, 0});
    const UserProfileSettings profile{1, 1, 1, 2, 70, 90};
    const DeviceSettings settings{0, 1, 0, 1, 2, 2, 0x44, 0x55};
    Load(profile, settings);
    EXPECT_TRUE(Checked(Page::kArmbandRadioId));
    EXPECT_FALSE(Checked(Page::kWaistRadioId));
    EXPECT_TRUE(Checked(Page::kTapOffRadioId));
    EXPECT_FALSE(Checked(Page::kTapOnRadioId));
    EXPECT_TRUE(Checked(Page::kFastRadioId));
    EXPECT_FALSE(Checked(Page::kNormalRadioId));
    EXPECT_FALSE(Checked(Page::kShowTimeBoxId));
    EXPECT_TRUE(Checked(Page::kShowDistanceBoxId));
    EXPECT_TRUE(Checked(Page::kHighRadioId));
    EXPECT_FALSE(Checked(Page::kMidRadioId));
    EXPECT_TRUE(Checked(Page::kFirstLanguageRadioId + 1));
    EXPECT_FALSE(Checked(Page::kFirstLanguageRadioId));

    const UserProfileSettings p = ReadProfile();
    EXPECT_EQ(p.placement, 1u);
    EXPECT_EQ(p.doubleTapOff, 1u);
    EXPECT_EQ(p.doubleTapSpeed, 2u);
    EXPECT_EQ(p.walkingStep, 70);
    EXPECT_EQ(p.runningStep, 90);
    DeviceSettings d{};
    d.deviceValueA = 7;
    d.deviceValueB = 8;
    page->GetDeviceSettings(&d);
    EXPECT_EQ(d.showTime, 0u);
    EXPECT_EQ(d.showDistance, 1u);
    EXPECT_EQ(d.showSteps, 0u);
    EXPECT_EQ(d.showCalories, 1u);
    EXPECT_EQ(d.volume, 2u);
    EXPECT_EQ(d.language, 2);
    EXPECT_EQ(d.deviceValueA, 7u) << "the reader's device values stay";
    EXPECT_EQ(d.deviceValueB, 8u);
    EXPECT_FALSE(page->m_bModified) << "loading is not a change";

    // Values the controls cannot show read as their nearest choice.
    Load(UserProfileSettings{5, 1, 7, 9, 70, 90}, DeviceSettings{3, 0, 0, 0, 9, 0, 0, 0});
    EXPECT_EQ(ReadProfile().placement, 0u);
    EXPECT_EQ(ReadProfile().doubleTapOff, 1u);
    EXPECT_EQ(ReadProfile().doubleTapSpeed, 1u);
    EXPECT_EQ(ReadSettings().volume, 0u);
    EXPECT_EQ(ReadSettings().showTime, 1u);

    // A null record changes nothing.
    page->SetUserProfile(nullptr);
    page->SetDeviceSettings(nullptr);
    page->GetUserProfile(nullptr);
    page->GetDeviceSettings(nullptr);
    EXPECT_EQ(page->GetProfileCopy().placement, 5u);
}

// Each action marks the page modified exactly when the new choice differs from the copy last loaded;
// once set, the page never clears the flag.
TEST_F(DeviceSettingPage, ModifiedFollowsTheCopyAndIsNeverCleared)
{
    const UserProfileSettings profile{0, 1, 0, 1, 75, 97};
    const DeviceSettings settings{1, 0, 1, 0, 1, 2, 0, 1};
    const struct
    {
        const char *what;
        std::vector<UINT> clicks;
        const char16_t *walking;
        bool modified;
    } cases[] = {
        {"On again", {Page::kTapOnRadioId}, nullptr, false},
        {"Off", {Page::kTapOffRadioId}, nullptr, true},
        {"Off then On", {Page::kTapOffRadioId, Page::kTapOnRadioId}, nullptr, true},
        {"Normal again", {Page::kNormalRadioId}, nullptr, false},
        {"Fast", {Page::kFastRadioId}, nullptr, true},
        {"Mid again", {Page::kMidRadioId}, nullptr, false},
        {"Low", {Page::kLowRadioId}, nullptr, true},
        {"High", {Page::kHighRadioId}, nullptr, true},
        {"Time off", {Page::kShowTimeBoxId}, nullptr, true},
        {"Distance on", {Page::kShowDistanceBoxId}, nullptr, true},
        {"Steps off and on", {Page::kShowStepsBoxId, Page::kShowStepsBoxId}, nullptr, true},
        {"the same language", {Page::kFirstLanguageRadioId + 2}, nullptr, false},
        {"another language", {Page::kFirstLanguageRadioId}, nullptr, true},
        {"the same step", {}, u"75", false},
        {"another step", {}, u"76", true},
        {"a step and back", {}, u"76", true},
        {"a disabled placement", {Page::kArmbandRadioId}, nullptr, false},
        {"the tabs", {Page::kVoicePromptTabId, Page::kGeneralTabId}, nullptr, false},
        {"Default", {Page::kDefaultId}, nullptr, true},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        Make({0, 1, 2});
        Load(profile, settings);
        for (UINT id : c.clicks)
            Click(id);
        if (c.walking)
            Type(Page::kWalkingEditId, c.walking);
        if (std::string(c.what) == "a step and back")
            Type(Page::kWalkingEditId, u"75");
        EXPECT_EQ(page->m_bModified != FALSE, c.modified);
        EXPECT_FALSE(Checked(Page::kArmbandRadioId));
        page.reset();
    }
}

TEST_F(DeviceSettingPage, DefaultLoadsTheDefaultsInTheMainDialogsUnits)
{
    for (BOOL metric : {TRUE, FALSE})
    {
        SCOPED_TRACE(metric);
        host.metric = metric;
        Make({3, 0});
        Load(UserProfileSettings{1, 1, 1, 2, 60, 60}, DeviceSettings{0, 0, 0, 0, 2, 3, 0x44, 0x55});
        Click(Page::kDefaultId);
        EXPECT_TRUE(page->m_bModified);
        const UserProfileSettings &p = page->GetProfileCopy();
        EXPECT_EQ(p.metric, metric ? 1u : 0u);
        EXPECT_EQ(p.doubleTapOff, 0u);
        EXPECT_EQ(p.doubleTapSpeed, 1u);
        EXPECT_EQ(p.walkingStep, 75);
        EXPECT_EQ(p.runningStep, 97);
        EXPECT_EQ(TextOf(Page::kWalkingEditId), metric ? u"75" : u"30");
        EXPECT_EQ(TextOf(Page::kRunningEditId), metric ? u"97" : u"38");
        EXPECT_TRUE(Checked(Page::kTapOnRadioId));
        EXPECT_TRUE(Checked(Page::kWaistRadioId));
        EXPECT_TRUE(Checked(Page::kMidRadioId));
        EXPECT_TRUE(Checked(Page::kShowTimeBoxId));
        EXPECT_TRUE(Checked(Page::kFirstLanguageRadioId + 1)) << "code 0 is the list's second entry";

        const UserProfileSettings back = ReadProfile();
        EXPECT_EQ(back.walkingStep, 75);
        EXPECT_EQ(back.runningStep, 97);
        DeviceSettings d{};
        d.deviceValueA = 0x44;
        d.deviceValueB = 0x55;
        page->GetDeviceSettings(&d);
        EXPECT_EQ(d.language, 0);
        EXPECT_EQ(d.volume, 1u);
        EXPECT_EQ(d.deviceValueA, 0x44u);
        EXPECT_EQ(d.deviceValueB, 0x55u);
        page.reset();
    }
    // Without code 0 in the device's list no language radio is checked.
    Make({3, 4});
    Click(Page::kDefaultId);
    EXPECT_FALSE(Checked(Page::kFirstLanguageRadioId));
    EXPECT_FALSE(Checked(Page::kFirstLanguageRadioId + 1));
}

TEST_F(DeviceSettingPage, SaveCallsTheMainDialogsHandler)
{
    Make();
    Click(Page::kSaveId);
    EXPECT_EQ(g_saves, 1);
}

// Callbacks that arrive after the page is gone find no page.
TEST_F(DeviceSettingPage, TheCurrentPageGoesWithThePage)
{
    Make();
    EXPECT_EQ(Page::GetCurrentPage(), page.get());
    page->DestroyWindow();
    EXPECT_EQ(Page::GetCurrentPage(), nullptr) << "its window is gone";
    page.reset();
    Make();
    page.reset();
    EXPECT_EQ(Page::GetCurrentPage(), nullptr);
    Page::OnDefault();
}

TEST_F(DeviceSettingPage, ThePictureSizesTheWindowAndPressesGoToTheParent)
{
    Make();
    page->SetBackgroundImage(Page::kBackgroundImage);
    CRect r;
    page->GetWindowRect(&r);
    host.ScreenToClient(&r);
    EXPECT_EQ(r.left, kPageRect.left);
    EXPECT_EQ(r.top, kPageRect.top);
    EXPECT_EQ(r.Width(), 470);
    EXPECT_EQ(r.Height(), 320);
    vxtest::ProcessEvents();

    page->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 300));
    ASSERT_EQ(host.presses.size(), 1u);
    EXPECT_EQ(host.presses[0], CPoint(5, 300));
    // A press on a label reaches the main dialog through the page.
    page->GetControl(Page::kSpeedLabelId)->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
    EXPECT_EQ(host.presses.size(), 2u);
}

TEST_F(DeviceSettingPage, PaintsItsPicture)
{
    Make();
    page->SetBackgroundImage(Page::kBackgroundImage);
    host.fill = RGB(0, 0, 255);
    host.Invalidate();
    vxtest::ProcessEvents();
    const QImage shot = host.Grab();
    // A spot of the page with no control on it shows the panel, not the host's blue.
    const QColor spot = vxtest::PixelAt(shot, kPageRect.left + 440, kPageRect.top + 150);
    EXPECT_NE(spot, QColor(0, 0, 255));
    EXPECT_GT(spot.red(), 200);
}

TEST_F(DeviceSettingPage, CaptionsComeInThePagesLanguage)
{
    Make({0, 1}, 1031);
    EXPECT_EQ(TextOf(Page::kDefaultId), u"Standard");
    EXPECT_EQ(TextOf(Page::kWalkingUnitId), u"cm");
    EXPECT_EQ(TextOf(Page::kFirstLanguageLabelId), u"Englisch");
    EXPECT_EQ(TextOf(Page::kTapOffLabelId), u"Aus");
    page.reset();
    Make({1}, 2052);
    EXPECT_EQ(TextOf(Page::kFirstLanguageLabelId), u"中文(普通话)");
    page.reset();
    Make({1}, 1028);
    EXPECT_EQ(TextOf(Page::kFirstLanguageLabelId), u"中文(國語)");
}
} // namespace
