// Every page, prompt and dialog of the program in each of its four languages, painted offscreen with
// the fonts the program draws with: each text must show whole inside its control (neither cut nor
// wrapped past its height), no two texts may overprint each other, and on the main window nothing
// but the page title and the close button may stand on the title band of the background.
//
// With VORMATIK_SCREENSHOT_DIR set, each painted window is also written there as a PNG, with one
// contact sheet of thumbnails per language (scripts/screenshots).

#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/AboutDlg.h"
#include "platform/sys/LocalTime.h"
#include "sharing/FacebookInfoDlg.h"
#include "store/KvtDatabase.h"
#include "tests/app/layout/TextRecorder.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/ConnectStatusChangeDlg.h"
#include "ui/ContinueCancelDlg2.h"
#include "ui/DataGraph.h"
#include "ui/PromptDialogs.h"
#include "ui/UIButton.h"
#include "ui/UIEdit.h"
#include "ui/UIListBox.h"

using layouttest::Describe;
using layouttest::DrawnLabel;

namespace
{
constexpr int kBandBottom = 97; // page content begins here, below the title band of the background
constexpr int kWordGap = 3; // blank pixels two texts side by side need between them at least
constexpr int kLineGap = 1; // blank rows between two texts one above the other at least
// A text lying over a picture is read on its pale parts only; a few dark pixels of an edge are fine.
constexpr int kDarkPixelsUnderText = 6;
constexpr WORD kLanguages[] = {1033, 1031, 2052, 1028};
constexpr UINT kSharePictureId = 1102; // the share page's copy of the results picture

const char *LanguageTag(WORD language)
{
    switch (language)
    {
    case 1031:
        return "de";
    case 2052:
        return "zh-cn";
    case 1028:
        return "zh-tw";
    default:
        return "en";
    }
}

class LayoutDlg : public CKVTDlg
{
  public:
    using CKVTDlg::CKVTDlg;
    using CKVTDlg::ShowLoginView;

    // The pages are looked at, not used: nothing asks the network.
    int IsInternetReachable(int, int) override { return 0; }

  protected:
    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(vxtest::FakeUlvexPath());
    }
};

// Which user the page is shown to.
enum class Who
{
    Nobody,    // logged out
    Newcomer,  // a new account: no runs, no goal
    Runner,    // months of runs, a long name, goals of every kind, a run of the largest figures
};

struct Scene
{
    const char *name;
    Who who;
    std::function<void(LayoutDlg &)> show;
};

RunRecord MakeRun(int day, int month, int year, uint32_t metres, uint32_t seconds)
{
    RunRecord run{};
    run.date = DateParts{static_cast<uint8_t>(day), static_cast<uint8_t>(month), static_cast<uint16_t>(year)};
    run.time = TimeParts{6, 45, 0};
    run.duration = seconds;
    run.runDistance = metres;
    run.walkDistance = metres / 8;
    run.runSteps = metres * 13 / 10;
    run.walkSteps = metres / 6;
    run.calories = metres / 14;
    run.heartRateBefore = 71;
    run.heartRateAfter = 158;
    return run;
}

void Click(CWnd *wnd)
{
    if (wnd && wnd->GetWidget())
        QTest::mouseClick(wnd->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
    vxtest::ProcessEvents();
}

void TypeInto(CWnd *owner, UINT id, const char16_t *text)
{
    if (auto *edit = dynamic_cast<UIEdit *>(owner->GetDlgItem(id)))
        edit->SetWindowText(text);
}

const std::vector<Scene> &Pages()
{
    static const std::vector<Scene> scenes = {
        {"login", Who::Nobody, [](LayoutDlg &d) { d.ShowLoginView(); }},
        {"login-error", Who::Nobody, [](LayoutDlg &d) { d.ShowLoginErrorView(); }},
        {"relogin", Who::Nobody, [](LayoutDlg &d) { d.ShowReloginView(); }},
        {"new-account", Who::Nobody, [](LayoutDlg &d) { d.ShowNewAccountView(); }},
        {"new-account-fill-all", Who::Nobody,
         [](LayoutDlg &d) {
             d.ShowNewAccountView();
             d.ShowStatusTextWide(262);
         }},
        {"new-account-birth-date", Who::Nobody,
         [](LayoutDlg &d) {
             d.ShowNewAccountView();
             d.ShowStatusTextWide(246);
         }},
        {"new-account-refused", Who::Nobody,
         [](LayoutDlg &d) {
             d.ShowNewAccountView();
             d.ShowStatusTextWide(158);
         }},
        {"home-new-user", Who::Newcomer, [](LayoutDlg &d) { d.ShowHomeView(); }},
        {"home", Who::Runner, [](LayoutDlg &d) { d.ShowHomeView(); }},
        {"runs-new-user", Who::Newcomer, [](LayoutDlg &d) { d.ShowRunsView(); }},
        {"runs", Who::Runner, [](LayoutDlg &d) { d.ShowRunsView(); }},
        {"runs-weeks", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowRunsView();
             CKVTDlg::OnGraphWeeks();
         }},
        {"runs-months", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowRunsView();
             CKVTDlg::OnGraphMonths();
         }},
        {"runs-heart-rate", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowRunsView();
             CKVTDlg::OnGraphHeartRate();
         }},
        {"goal-new-user", Who::Newcomer, [](LayoutDlg &d) { d.ShowGoalView(); }},
        {"goal", Who::Runner, [](LayoutDlg &d) { d.ShowGoalView(); }},
        {"goal-weeks", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowGoalView();
             CKVTDlg::OnGoalKindTime();
             CKVTDlg::OnGoalPeriodWeeks();
         }},
        {"goal-months", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowGoalView();
             CKVTDlg::OnGoalKindCalories();
             CKVTDlg::OnGoalPeriodMonths();
         }},
        {"goal-errors", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowGoalView();
             for (UINT id : {250u, 251u, 252u, 248u, 241u, 238u, 237u, 225u})
                 d.ShowStatusText(id);
         }},
        {"profile", Who::Runner, [](LayoutDlg &d) { d.ShowProfileView(); }},
        {"profile-errors", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowProfileView();
             for (UINT id : {263u, 246u, 247u, 236u, 238u})
                 d.ShowStatusText(id);
         }},
        {"remove-account", Who::Runner, [](LayoutDlg &d) { d.ShowRemoveAccountView(); }},
        {"account-deleted", Who::Runner, [](LayoutDlg &d) { d.ShowAccountDeletedView(); }},
        {"support", Who::Runner, [](LayoutDlg &d) { d.ShowSupportView(); }},
        {"device-setting", Who::Runner, [](LayoutDlg &d) { d.ShowDeviceSettingView(); }},
        {"device-setting-failed", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowDeviceSettingView();
             d.ShowStatusText(552);
         }},
        {"upload-prompt", Who::Runner, [](LayoutDlg &d) { d.ShowUploadPromptView(); }},
        {"upload-wrong-credentials", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowUploadPromptView();
             d.ShowStatusText(579);
         }},
        {"device-mismatch", Who::Runner, [](LayoutDlg &d) { d.ShowDeviceMismatchView(); }},
        {"device-mismatch-failed", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowDeviceMismatchView();
             d.ShowRegisterDeviceFailed();
         }},
        {"abnormal-data", Who::Runner, [](LayoutDlg &d) { d.ShowAbnormalDataView(); }},
        {"erase-warning", Who::Runner, [](LayoutDlg &d) { d.ShowEraseWarningView(); }},
        {"erase-failed", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowEraseWarningView();
             d.ShowEraseAccountFailed();
         }},
        {"erase-disconnected", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowEraseWarningView();
             d.ShowStatusTextMultiLine(272);
         }},
        {"erase-not-done", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowEraseWarningView();
             d.ShowStatusTextMultiLine(273);
         }},
        {"log-out", Who::Runner, [](LayoutDlg &d) { d.ShowLogOutConfirmView(); }},
        {"log-out-error", Who::Runner, [](LayoutDlg &d) { d.ShowLogOutErrorView(); }},
        {"retrieve-error", Who::Runner, [](LayoutDlg &d) { d.ShowRetrieveErrorView(); }},
        {"upload-disconnected", Who::Runner, [](LayoutDlg &d) { d.ShowUploadDisconnectedView(); }},
        {"save-error", Who::Runner, [](LayoutDlg &d) { d.ShowSaveErrorView(); }},
        // The button's own step: the results picture is drawn, then the page shows it.
        {"share-confirm", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowRunsView();
             CKVTDlg::OnShareWithFriend();
         }},
        {"share-confirm-goal", Who::Runner,
         [](LayoutDlg &d) {
             d.ShowGoalView();
             if (auto *list = dynamic_cast<UIListBox *>(d.GetDlgItem(1183)))
                 list->SetCurSel(list->GetCount() - 1);
             CKVTDlg::OnShareWithFriend();
         }},
    };
    return scenes;
}

// The prompts and dialogs: each is opened over the main window and painted inside its own loop,
// after `act` (when given) has run in it.
struct PromptScene
{
    const char *name;
    std::function<void(LayoutDlg &)> open;
    std::function<void(CDialog &)> act;
};

const std::vector<PromptScene> &Prompts()
{
    static const std::vector<PromptScene> scenes = {
        {"prompt-web-update-failed", [](LayoutDlg &d) { d.ShowWebAppUpdateFailed(); }, {}},
        {"prompt-no-internet", [](LayoutDlg &d) { d.ShowNoInternetMessage(); }, {}},
        {"prompt-other-app", [](LayoutDlg &d) { d.ShowOtherAppRunningMessage(); }, {}},
        {"prompt-device-not-detected", [](LayoutDlg &d) { d.PromptDeviceNotDetected(); }, {}},
        {"prompt-dongle-only", [](LayoutDlg &d) { d.PromptDongleOnly(); }, {}},
        {"prompt-device-not-ready", [](LayoutDlg &d) { d.PromptDeviceNotReady(); }, {}},
        {"prompt-date", [](LayoutDlg &d) { d.AskLastRunDate(); }, {}},
        {"prompt-date-error", [](LayoutDlg &d) { d.AskLastRunDate(); },
         [](CDialog &prompt) {
             TypeInto(&prompt, 1380, u"31");
             TypeInto(&prompt, 1381, u"2");
             TypeInto(&prompt, 1382, u"2026");
             Click(prompt.GetDlgItem(1199));
         }},
        {"prompt-save-changes",
         [](LayoutDlg &d) {
             CSaveChangesDlg prompt(d.m_nLanguage, &d);
             prompt.DoModal();
         },
         {}},
        {"prompt-connected",
         [](LayoutDlg &d) {
             CConnectStatusChangeDlg prompt(&d);
             prompt.m_nConnected = 1;
             prompt.DoModal();
         },
         {}},
        {"prompt-disconnected",
         [](LayoutDlg &d) {
             CConnectStatusChangeDlg prompt(&d);
             prompt.m_nConnected = 0;
             prompt.DoModal();
         },
         {}},
        {"about",
         [](LayoutDlg &d) {
             CAboutDlg about(d.m_nLanguage, &d);
             about.DoModal();
         },
         {}},
        {"social-login",
         [](LayoutDlg &d) {
             CFacebookInfoDlg dialog(d.m_nLanguage, &d);
             dialog.DoModal();
         },
         {}},
        {"social-login-again",
         [](LayoutDlg &d) {
             CFacebookInfoErrorDlg dialog(d.m_nLanguage, &d);
             dialog.DoModal();
         },
         {}},
    };
    return scenes;
}

// What the program's own English texts in their given rectangles force on every language, and
// the controls besides the title and the close button that stand on the title band. Each entry
// says why.
struct Tolerated
{
    const char *scenePrefix; // the scenes it applies to (null: all)
    unsigned id;
    const char *problem; // "cut", "hidden", "unreadable", "overlap", "band"
    int pixels;          // how far the text may reach outside (0: any distance)
    const char *why;
};
const Tolerated kTolerated[] = {
    // No place is given for it on these pages; it stands beside the close button, dark on its own
    // light picture, and is read as well there as on the body.
    {nullptr, 1093, "band", 0, "the Log Out button of the main pages sits beside the close button, on the band"},
    {"runs", 1051, "band", 0, "My Runs shows the lifetime totals in the band, white on its colour"},
    {"runs", 1052, "band", 0, "My Runs shows the lifetime totals in the band, white on its colour"},
    {"runs", 1053, "band", 0, "My Runs shows the lifetime totals in the band, white on its colour"},
    {"runs", 1054, "band", 0, "My Runs shows the lifetime totals in the band, white on its colour"},
    {"runs", 1055, "band", 0, "My Runs shows the lifetime totals in the band, white on its colour"},
    {"runs", 1056, "band", 0, "My Runs shows the lifetime totals in the band, white on its colour"},
    {"prompt", 1342, "cut", 1,
     "the prompt title is 14-px text in a 15-px row: a descender (\"Device Not Ready\") loses its last pixel"},
    {"social", 1222, "cut", 2,
     "\"password:\" in 16 px reaches two pixels left of its 70-px right-aligned label"},
};

// How far the glyphs reach outside where they can be seen, in pixels.
int Overhang(const DrawnLabel &t)
{
    return std::max({t.visible.left() - t.ink.left(), t.visible.top() - t.ink.top(),
                     t.ink.right() - t.visible.right(), t.ink.bottom() - t.visible.bottom(), 0});
}

bool IsTolerated(const std::string &scene, unsigned id, const std::string &problem, int pixels)
{
    for (const Tolerated &t : kTolerated)
        if (problem == t.problem && t.id == id && (!t.scenePrefix || scene.rfind(t.scenePrefix, 0) == 0) &&
            (t.pixels == 0 || pixels <= t.pixels))
            return true;
    return false;
}

bool HasCjk(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x2E80; });
}

// Every fault of one painted window, one line each.
std::vector<std::string> Check(const std::string &scene, const std::vector<DrawnLabel> &texts, bool mainWindow,
                               const std::vector<unsigned> &bandControls)
{
    std::vector<std::string> faults;
    auto note = [&](unsigned id, const char *problem, const std::string &what, int pixels = 0) {
        if (!IsTolerated(scene, id, problem, pixels))
            faults.push_back(scene + ": " + problem + ": " + what);
    };
    for (const DrawnLabel &t : texts)
    {
        if (!t.visible.contains(t.ink))
            note(t.id, "cut", Describe(t) + " shows only within " + std::to_string(t.visible.left()) + "," +
                                  std::to_string(t.visible.top()) + "-" + std::to_string(t.visible.right() + 1) +
                                  "," + std::to_string(t.visible.bottom() + 1),
                 Overhang(t));
        if (t.coveredBy)
            note(t.id, "hidden",
                 Describe(t) + " lies partly under the picture of control " + std::to_string(t.coveredBy));
        if (t.darkPixels >= kDarkPixelsUnderText)
            note(t.id, "unreadable",
                 Describe(t) + " stands on " + std::to_string(t.darkPixels) +
                     " dark or strongly coloured pixels of the picture of control " + std::to_string(t.standsOn));
        if (mainWindow && t.ink.top() < kBandBottom &&
            std::find(bandControls.begin(), bandControls.end(), t.id) == bandControls.end())
            note(t.id, "band", Describe(t) + " stands on the title band");
        // At eight pixels and less the strokes of a bold CJK face run into each other.
        if (t.bold && t.pixelSize <= 8 && HasCjk(t.text))
            note(t.id, "illegible", Describe(t) + " is bold at a size where its strokes merge");
    }
    for (std::size_t i = 0; i < texts.size(); ++i)
        for (std::size_t j = i + 1; j < texts.size(); ++j)
        {
            const QRect a = texts[i].ink & texts[i].visible;
            const QRect b = texts[j].ink & texts[j].visible;
            if (a.isEmpty() || b.isEmpty())
                continue;
            // Side by side, texts closer than a space in small type read as one word; one above the
            // other, they must not touch.
            if (a.adjusted(-kWordGap, -kLineGap, kWordGap, kLineGap).intersects(b))
                note(texts[i].id, "overlap", Describe(texts[i]) + " and " + Describe(texts[j]));
        }
    return faults;
}

class ContactSheet
{
  public:
    void Add(const std::string &name, const QImage &shot) { m_shots.push_back({name, shot}); }
    bool Empty() const { return m_shots.empty(); }

    QImage Render() const
    {
        constexpr int kWidth = 240, kHeight = 180, kCaption = 14, kColumns = 6;
        const int rows = (static_cast<int>(m_shots.size()) + kColumns - 1) / kColumns;
        QImage sheet(kColumns * kWidth, rows * (kHeight + kCaption), QImage::Format_RGB32);
        sheet.fill(QColor(0x70, 0x70, 0x70));
        QPainter painter(&sheet);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(11);
        painter.setFont(font);
        for (std::size_t i = 0; i < m_shots.size(); ++i)
        {
            const int x = static_cast<int>(i % kColumns) * kWidth;
            const int y = static_cast<int>(i / kColumns) * (kHeight + kCaption);
            const QImage &shot = m_shots[i].second;
            // A small dialog keeps its size beside the scaled-down main window.
            const QImage thumb = shot.width() <= kWidth - 6 && shot.height() <= kHeight - 4
                                     ? shot
                                     : shot.scaled(kWidth - 6, kHeight - 4, Qt::KeepAspectRatio,
                                                   Qt::SmoothTransformation);
            painter.drawImage(x + (kWidth - thumb.width()) / 2, y + 2 + (kHeight - 4 - thumb.height()) / 2,
                              thumb);
            painter.setPen(Qt::white);
            painter.drawText(QRect(x, y + kHeight, kWidth, kCaption), Qt::AlignCenter,
                             QString::fromStdString(m_shots[i].first));
        }
        return sheet;
    }

  private:
    std::vector<std::pair<std::string, QImage>> m_shots;
};

// One sheet per language, filled by both tests of that language.
ContactSheet &SheetFor(WORD language)
{
    static std::map<WORD, ContactSheet> sheets;
    return sheets[language];
}

class PageLayout : public testing::TestWithParam<WORD>
{
  protected:
    void SetUp() override
    {
        int64_t now = 0;
        ASSERT_TRUE(vxsys::LocalTimeFromFields({2026, 12, 10, 18, 0, 0, 0}, &now));
        vxsys::SetCurrentTimeSource([now] { return now; });
        if (const char *folder = std::getenv("VORMATIK_SCREENSHOT_DIR"))
        {
            shots = QString::fromLocal8Bit(folder);
            QDir().mkpath(shots);
        }
        dataHome = std::make_unique<vxtest::ScopedEnv>("XDG_DATA_HOME", vxtest::MakeTempDir("xdg").c_str());
        runtime = std::make_unique<vxtest::ScopedEnv>("XDG_RUNTIME_DIR", vxtest::MakeTempDir("run").c_str());
        dlg = std::make_unique<LayoutDlg>(GetParam());
        ASSERT_TRUE(dlg->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = dlg.get();
        KvtDatabase &db = *dlg->m_pDatabase;
        const DateParts dob = {29, 2, 1988};
        ASSERT_EQ(db.AddUser(u"newcomer", u"pw", u"", u"", 0, &dob, 38, 152, 0, 48, 0), 1);
        ASSERT_EQ(db.AddUser(u"maximiliane.schwarzenberg", u"pw", u"Maximiliane-Alexandra",
                             u"Schwarzenberg-Lindqvist", 1, &dob, 38, 199, 3, 120, 5),
                  1);
        ASSERT_EQ(db.Login(u"maximiliane.schwarzenberg", u"pw"), 1);
        for (int month = 9; month <= 12; ++month)
            for (int day = 1; day <= 28; day += (month == 12 ? 1 : 3))
            {
                if (month == 12 && day > 10)
                    break;
                const RunRecord run = MakeRun(day, month, 2026, 3000u + 417u * static_cast<uint32_t>(day),
                                              1500u + 53u * static_cast<uint32_t>(day));
                ASSERT_EQ(db.AddRun(&run), 1);
            }
        // Today's run holds the largest figures the detail panel shows: almost a day of running.
        const RunRecord big = MakeRun(10, 12, 2026, 199999u, 86399u);
        ASSERT_EQ(db.AddRun(&big), 1);
        ASSERT_EQ(db.Commit(), 1);
        const DateParts start = {1, 12, 2026}, end = {1, 1, 2027}, weekEnd = {8, 12, 2026},
                        earlier = {1, 11, 2026};
        ASSERT_EQ(db.AddDistanceGoal(999000, 1, &start, &end), 1);
        ASSERT_EQ(db.AddTimeGoal(359999, &start, &weekEnd), 1);
        ASSERT_EQ(db.AddCaloriesGoal(65535, &earlier, &start), 1);
        dlg->m_bMetric = TRUE;
        dlg->ShowWindow(SW_SHOW);
        vxtest::ProcessEvents();
    }

    void TearDown() override
    {
        vxwin::SetModalHook({});
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxsys::SetCurrentTimeSource({});
        vxtest::ProcessEvents();
        if (!shots.isEmpty() && !SheetFor(GetParam()).Empty())
        {
            // Thumbnails lose nothing in a palette of 256 colours, and the file a good deal.
            const QImage sheet =
                SheetFor(GetParam()).Render().convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
            EXPECT_TRUE(sheet.save(shots + "/contact-sheet-" + LanguageTag(GetParam()) + ".png"));
        }
    }

    void BeUser(Who who)
    {
        auto set = [](auto &field, const std::u16string &text) {
            field.fill(0);
            std::copy(text.begin(), text.end(), field.begin());
        };
        if (who == Who::Nobody)
        {
            dlg->m_bLoggedIn = FALSE;
            set(dlg->m_szUserId, u"");
            set(dlg->m_szFirstName, u"");
            set(dlg->m_szLastName, u"");
            set(dlg->m_szDisplayName, u"");
            return;
        }
        const bool runner = who == Who::Runner;
        const std::u16string id = runner ? u"maximiliane.schwarzenberg" : u"newcomer";
        ASSERT_EQ(dlg->m_pDatabase->Login(id.c_str(), u"pw"), 1);
        set(dlg->m_szUserId, id);
        set(dlg->m_szFirstName, runner ? u"Maximiliane-Alexandra" : u"");
        set(dlg->m_szLastName, runner ? u"Schwarzenberg-Lindqvist" : u"");
        set(dlg->m_szDisplayName, runner ? u"Maximiliane-Alexandra Schwarzenberg-Lindqvist" : u"newcomer");
        // The stored profile, as the log-in reads it: My Profile shows these.
        dlg->m_nGender = runner ? 1 : 0;
        dlg->m_BirthDate = DateParts{29, 2, 1988};
        dlg->m_nAge = 38;
        dlg->m_nUserHeightCm = runner ? 199 : 152;
        dlg->m_nWeightKg = runner ? 120 : 48;
        dlg->m_nHeightUnit = 3;
        dlg->m_nWeightUnit = 5;
        dlg->m_bLoggedIn = TRUE;
        dlg->m_bImported = runner ? TRUE : FALSE;
    }

    void Record(const std::string &scene, QWidget *window, bool mainWindow)
    {
        ASSERT_NE(window, nullptr);
        // The chart draws its picture when it is built, not when it is painted.
        QWidget *chart = nullptr;
        if (mainWindow && dlg->m_pRunGraph && dlg->m_pRunGraph->m_hWnd && dlg->m_pRunGraph->GetWidget() &&
            dlg->m_pRunGraph->GetWidget()->isVisible())
            chart = dlg->m_pRunGraph->GetWidget();
        std::function<void()> redraw = [this] { dlg->BuildRunGraph(); };
        // So does the results picture of the share page, which its picture control shows as drawn.
        CWnd *sharePicture = mainWindow ? dlg->GetDlgItem(kSharePictureId) : nullptr;
        if (sharePicture && sharePicture->GetWidget() && sharePicture->GetWidget()->isVisible())
        {
            chart = sharePicture->GetWidget();
            const BOOL goalMode = dlg->m_nCurrentView == KvtView::Goal ? TRUE : FALSE;
            redraw = [this, goalMode] { dlg->RenderSharePicture(goalMode); };
        }
        const std::vector<DrawnLabel> texts = recorder.Paint(window, chart, redraw);
        EXPECT_FALSE(texts.empty()) << scene << " drew no text";
        const std::vector<unsigned> bandControls = {CKVTDlg::kGreetingId, CKVTDlg::kCloseButtonId};
        for (const std::string &fault : Check(scene, texts, mainWindow, bandControls))
            ADD_FAILURE() << "[" << GetParam() << "] " << fault;
        if (!shots.isEmpty())
        {
            const QImage shot = vxtest::GrabWidget(window);
            const QString file = shots + "/" + QString::fromStdString(scene) + "-" + LanguageTag(GetParam()) + ".png";
            EXPECT_TRUE(shot.save(file));
            SheetFor(GetParam()).Add(scene, shot);
            // The README's pictures, at three quarters of their size to keep them small.
            if (GetParam() == 1033 && (scene == "login" || scene == "runs" || scene == "goal"))
            {
                QDir().mkpath(shots + "/readme");
                const QImage small = shot.scaledToWidth(shot.width() * 3 / 4, Qt::SmoothTransformation)
                                         .convertToFormat(QImage::Format_RGB32);
                EXPECT_TRUE(small.save(shots + "/readme/" + QString::fromStdString(scene) + "-en.png"));
            }
        }
    }

    vxtest::ScopedTimeZone zone{"Europe/Berlin"};
    std::unique_ptr<vxtest::ScopedEnv> dataHome, runtime;
    vxtest::FakeUlvexLibrary fake;
    CWinApp app;
    std::unique_ptr<LayoutDlg> dlg;
    layouttest::TextRecorder recorder;
    QString shots;
};

TEST_P(PageLayout, EveryPageShowsEachTextWholeApartAndBelowTheTitleBand)
{
    for (const Scene &scene : Pages())
    {
        BeUser(scene.who);
        scene.show(*dlg);
        vxtest::ProcessEvents();
        Record(scene.name, dlg->GetWidget(), true);
    }
}

TEST_P(PageLayout, EveryPromptAndDialogShowsEachTextWholeAndApart)
{
    BeUser(Who::Runner);
    dlg->ShowHomeView();
    for (const PromptScene &scene : Prompts())
    {
        bool painted = false;
        vxwin::SetModalHook([&](CDialog &prompt) {
            if (painted)
            {
                // A prompt opened by the one being looked at (none should) is closed unseen.
                prompt.EndDialog(IDCANCEL);
                return;
            }
            painted = true;
            EXPECT_TRUE(QTest::qWaitForWindowExposed(prompt.GetWidget()));
            if (scene.act)
                scene.act(prompt);
            vxtest::ProcessEvents();
            Record(scene.name, prompt.GetWidget(), false);
            prompt.EndDialog(IDCANCEL);
        });
        scene.open(*dlg);
        vxwin::SetModalHook({});
        vxtest::ProcessEvents();
        EXPECT_TRUE(painted) << scene.name << " did not open";
    }
}

INSTANTIATE_TEST_SUITE_P(FourLanguages, PageLayout, testing::ValuesIn(kLanguages),
                         [](const testing::TestParamInfo<WORD> &info) { return std::to_string(info.param); });
} // namespace
