#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QFontMetricsF>
#include <QImage>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/gdiplus/Gdiplus.h"
#include "platform/sys/LocalTime.h"
#include "platform/sys/TextConvert.h"
#include "platform/win/App.h"
#include "sharing/MapiMailSender.h"
#include "store/KvtDatabase.h"
#include "store/PackedDate.h"
#include "tests/support/ProcessFixtures.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/Calendar.h"
#include "ui/UIButton.h"
#include "ui/UIListBox.h"
#include "ui/UIStatic.h"

namespace
{
// The main dialog with the pages that Cancel goes back to replaced by records of the calls.
class PictureDlg : public CKVTDlg
{
  public:
    explicit PictureDlg(LANGID language) : CKVTDlg(language) {}

    std::vector<std::string> built;
    bool recordPages = false;
    // The mode of each rendering.
    std::vector<BOOL> renders;

    int RenderSharePicture(BOOL goalMode) override
    {
        renders.push_back(goalMode);
        return CKVTDlg::RenderSharePicture(goalMode);
    }

    void ShowRunsView() override
    {
        if (recordPages)
            built.push_back("runs");
        else
            CKVTDlg::ShowRunsView();
    }
    void ShowGoalView() override
    {
        built.push_back("goal");
        m_nCurrentView = KvtView::Goal;
    }

  protected:
    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(vxtest::FakeUlvexPath());
    }
};

int64_t LocalTime(int year, int month, int day, int hour = 12, int minute = 0)
{
    int64_t t = 0;
    EXPECT_TRUE(vxsys::LocalTimeFromFields({year, month, day, hour, minute, 0, 0}, &t));
    return t;
}

DateParts Day(int year, int month, int day)
{
    return DateParts{static_cast<uint8_t>(day), static_cast<uint8_t>(month), static_cast<uint16_t>(year)};
}

RunRecord MakeRun(DateParts date, uint32_t runDistance, uint32_t walkDistance, uint32_t duration,
                  uint32_t calories, uint8_t heartRateAfter, TimeParts time = {9, 0, 0})
{
    RunRecord run{};
    run.date = date;
    run.time = time;
    run.duration = duration;
    run.runSteps = runDistance;
    run.walkSteps = walkDistance / 2;
    run.runDistance = runDistance;
    run.walkDistance = walkDistance;
    run.calories = calories;
    run.heartRateBefore = 70;
    run.heartRateAfter = heartRateAfter;
    return run;
}

std::string Narrow(const std::u16string &text)
{
    return vxsys::Utf16ToUtf8(text);
}

// The texts of a picture by where they stand: "x,y" -> text.
std::map<std::string, std::u16string> ByPlace(const std::vector<SharePictureText> &texts)
{
    std::map<std::string, std::u16string> out;
    for (const SharePictureText &t : texts)
        out[std::to_string(t.x) + "," + std::to_string(t.y)] = t.text.str();
    return out;
}

class SharePictureTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        vxsys::SetCurrentTimeSource([this] { return now; });
        vxwin::SetSleepHook([](DWORD) {});
        vxwin::SetMessageBoxHook([this](const vxwin::MessageBoxRequest &request) {
            messages.push_back(Narrow(request.text));
            return IDOK;
        });
        // The mail program notes what it was asked to attach.
        vxtest::WriteScript(dir + "/mailer", "for a in \"$@\"; do printf '[%s]' \"$a\" >> '" + mailLog +
                                                 "'; done\necho >> '" + mailLog + "'\n");
        MapiMailSender::SetLauncher(vxsys::Utf8ToUtf16(dir + "/mailer"));
        Open(1033);
    }
    void TearDown() override
    {
        Close();
        MapiMailSender::SetLauncher(u"");
        vxwin::SetMessageBoxHook({});
        vxwin::SetSleepHook({});
        vxsys::SetCurrentTimeSource({});
    }

    void Open(LANGID language)
    {
        dlg = std::make_unique<PictureDlg>(language);
        ASSERT_TRUE(dlg->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = dlg.get();
        ASSERT_TRUE(dlg->m_pDatabase && dlg->m_pDatabase->IsOpen());
        dlg->m_bMetric = TRUE;
        picture = Narrow(dlg->m_strSharePicturePath.str());
        ASSERT_FALSE(picture.empty());
    }
    void Close()
    {
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxtest::ProcessEvents();
    }

    // A new user of the store, logged in and named in the dialog.
    void User(const std::u16string &id, const std::u16string &name = u"Ann Lee")
    {
        const DateParts dob = {1, 2, 1980};
        ASSERT_EQ(dlg->m_pDatabase->AddUser(id.c_str(), u"pw", u"", u"", 1, &dob, 40, 170, 0, 60, 0), 1);
        ASSERT_EQ(dlg->m_pDatabase->Login(id.c_str(), u"pw"), 1);
        dlg->m_szUserId.fill(0);
        std::copy(id.begin(), id.end(), dlg->m_szUserId.begin());
        dlg->m_szDisplayName.fill(0);
        std::copy(name.begin(), name.end(), dlg->m_szDisplayName.begin());
    }
    void Store(const std::vector<RunRecord> &runs)
    {
        for (const RunRecord &run : runs)
            ASSERT_EQ(dlg->m_pDatabase->AddRun(&run), 1);
        ASSERT_EQ(dlg->m_pDatabase->Commit(), 1);
    }

    // A goal list as the My Goal page keeps it, on a page of the dialog.
    UIListBox *GoalList()
    {
        if (auto *list = dynamic_cast<UIListBox *>(dlg->GetDlgItem(1183)))
            return list;
        auto list = std::make_unique<UIListBox>(dlg->m_nLanguage);
        EXPECT_TRUE(list->Create(nullptr, nullptr, WS_CHILD, CRect(370, 136, 651, 393), dlg.get(), 1183));
        return static_cast<UIListBox *>(dlg->AddPageControl(std::move(list)));
    }

    std::vector<SharePictureText> Texts(BOOL goalMode, BOOL *drawn = nullptr) const
    {
        std::vector<SharePictureText> texts;
        const BOOL result = dlg->BuildSharePictureTexts(goalMode, &texts);
        if (drawn)
            *drawn = result;
        return texts;
    }

    template <class T> T *Item(UINT id) const
    {
        return dynamic_cast<T *>(dlg->GetDlgItem(static_cast<int>(id)));
    }
    std::u16string Caption(UINT id) const
    {
        auto *label = Item<UIStatic>(id);
        return label ? std::u16string(label->GetText()) : u"<none>";
    }
    void Click(UINT id)
    {
        CWnd *item = dlg->GetDlgItem(static_cast<int>(id));
        ASSERT_TRUE(item && item->GetWidget()) << id;
        QTest::mouseClick(item->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
    }

    // One goal selected in the list: a goal of 10 km over one week from 16 March 2026, a fifth done.
    void SelectDistanceGoal()
    {
        UIListBox *list = GoalList();
        const uint32_t start = vxtime::PackDate(2026, 3, 16), end = vxtime::PackDate(2026, 3, 23);
        list->AddItem(4, 10000, 1, 0, 0, 1, 2, start, end, 2000, 0, 0);
        list->SetItem(0, 4, 10000, 1, 0, 0, 1, 2, start, end, 2000, 0, 0);
        list->SetCurSel(0);
    }

    std::vector<std::string> MailLog() const
    {
        std::vector<std::string> lines;
        std::ifstream in(mailLog);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    vxtest::ScopedTimeZone zone{"Europe/Berlin"};
    std::string dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv dataEnv{"XDG_DATA_HOME", dataHome.c_str()};
    std::string runtime = vxtest::MakeTempDir("run");
    vxtest::ScopedEnv runtimeEnv{"XDG_RUNTIME_DIR", runtime.c_str()};
    std::string dir = vxtest::MakeTempDir("share");
    std::string mailLog = dir + "/mailed";
    vxtest::FakeUlvexLibrary fake;
    CWinApp app;
    int64_t now = LocalTime(2026, 12, 10);
    std::vector<std::string> messages;
    std::string picture;
    std::unique_ptr<PictureDlg> dlg;
};

// ---- goal mode ---------------------------------------------------------------------------------

TEST_F(SharePictureTest, GoalModeTellsTargetPeriodStartAndWhatIsLeftOfTheSelectedGoal)
{
    struct Case
    {
        const char *name;
        UINT distance, time, calories;
        BOOL metric;
        UINT periodCount;
        BYTE periodUnit;
        UINT achievedDistance, achievedTime, achievedCalories;
        const char16_t *line, *left;
    };
    const Case cases[] = {
        // 10 km are 6.21 miles: the whole part after adding a half.
        {"miles", 10000, 0, 0, FALSE, 1, 2, 2000, 0, 0, u"Run 6 miles in 1 week", u"5miles to go"},
        {"km", 10000, 0, 0, TRUE, 2, 2, 2000, 0, 0, u"Run 10 km in 2 weeks", u"8km to go"},
        {"km rounded", 4500, 0, 0, TRUE, 3, 3, 100, 0, 0, u"Run 5 km in 3 months", u"4km to go"},
        {"reached", 5000, 0, 0, TRUE, 1, 3, 5200, 0, 0, u"Run 5 km in 1 month", u"Finished"},
        {"hours", 0, 36000, 0, TRUE, 14, 1, 0, 28000, 0, u"Run 10 hours in 14 days", u"2hrs to go"},
        {"hours nearly done", 0, 36000, 0, TRUE, 0, 1, 0, 35000, 0, u"Run 10 hours in 0 day", u"0hrs to go"},
        {"calories", 0, 0, 1000, TRUE, 1, 4, 0, 0, 250, u"Run 1000 cal in 1 year", u"750cal to go"},
        {"calories years", 0, 0, 1000, TRUE, 2, 4, 0, 0, 1000, u"Run 1000 cal in 2 years", u"Finished"},
        {"hour unit", 0, 7200, 0, TRUE, 2, 0, 0, 0, 0, u"Run 2 hours in 2 hours", u"2hrs to go"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        dlg->DestroyPageControls();
        dlg->m_bMetric = c.metric;
        UIListBox *list = GoalList();
        const uint32_t start = vxtime::PackDate(2026, 3, 6), end = vxtime::PackDate(2026, 3, 20);
        // Six goals before it: the picture names the goal by its place in the list.
        for (int i = 0; i < 6; ++i)
            list->AddItem(i, 1000, 1, 0, 0, 1, 1, start, end, 0, 0, 0);
        list->AddItem(6, c.distance, 1, c.time, c.calories, 0, 0, start, end, c.achievedDistance,
                      c.achievedTime, c.achievedCalories);
        list->SetItem(6, 6, c.distance, 1, c.time, c.calories, c.periodCount, c.periodUnit, start, end,
                      c.achievedDistance, c.achievedTime, c.achievedCalories);
        list->SetCurSel(6);

        BOOL drawn = FALSE;
        const std::vector<SharePictureText> texts = Texts(TRUE, &drawn);
        EXPECT_TRUE(drawn);
        const auto at = ByPlace(texts);
        EXPECT_EQ(at.at("20,10"), u"My Goal 007");
        EXPECT_EQ(at.at("35,72"), c.line);
        EXPECT_EQ(at.at("35,115"), u"Start at");
        EXPECT_EQ(at.at("115,115"), u"06-03-2026");
        EXPECT_EQ(at.at("225,115"), c.left);
    }
}

TEST_F(SharePictureTest, GoalModeColoursAndPlacesFollowTheLayout)
{
    User(u"ann");
    SelectDistanceGoal();
    const std::vector<SharePictureText> texts = Texts(TRUE);
    ASSERT_EQ(texts.size(), 6u);
    struct Want
    {
        int x, y, width, height;
        ARGB colour;
        int alignment;
        BOOL top;
    };
    const Want want[] = {
        {20, 10, 320, 24, 0xFFFFFFFF, 0, TRUE},    {200, 10, 220, 20, 0xFFFFFFFF, 2, FALSE},
        {35, 72, 450, 25, 0xFF4D4948, 0, FALSE},   {35, 115, 120, 20, 0xFF4D4948, 0, FALSE},
        {115, 115, 110, 20, 0xFF4D4948, 0, FALSE}, {225, 115, 200, 20, 0xFFDD137B, 0, FALSE},
    };
    for (std::size_t i = 0; i < texts.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(texts[i].x, want[i].x);
        EXPECT_EQ(texts[i].y, want[i].y);
        EXPECT_EQ(texts[i].width, want[i].width);
        EXPECT_EQ(texts[i].height, want[i].height);
        EXPECT_EQ(texts[i].colour, want[i].colour);
        EXPECT_EQ(texts[i].alignment, want[i].alignment);
        EXPECT_EQ(texts[i].top, want[i].top);
        // Only the four faces of the picture.
        EXPECT_TRUE((texts[i].fontSize == 12) || (texts[i].fontSize == 10 && texts[i].bold) ||
                    (texts[i].fontSize == 16 && texts[i].bold));
    }
    EXPECT_EQ(texts[1].text.str(), u"Ann Lee");
}

TEST_F(SharePictureTest, WithoutASelectedGoalThePictureIsDrawnWithEmptyTexts)
{
    User(u"ann");
    for (bool withList : {false, true})
    {
        SCOPED_TRACE(withList);
        dlg->DestroyPageControls();
        if (withList)
        {
            SelectDistanceGoal();
            GoalList()->SetCurSel(-1);
        }
        const auto at = ByPlace(Texts(TRUE));
        EXPECT_EQ(at.at("20,10"), u"");
        EXPECT_EQ(at.at("35,72"), u"Run  in ");
        EXPECT_EQ(at.at("115,115"), u"");
        EXPECT_EQ(at.at("225,115"), u"");
        dlg->RenderSharePicture(TRUE);
        EXPECT_TRUE(dlg->m_pSharePicture);
        EXPECT_TRUE(dlg->m_bSharePictureSaved);
    }
}

// ---- run mode ----------------------------------------------------------------------------------

TEST_F(SharePictureTest, RunModeShowsTheSumsOfTheCalendarsDayWeekOrMonth)
{
    User(u"ann");
    // Monday 7 and Wednesday 9 December 2026, and one in November that no December sum counts.
    Store({MakeRun(Day(2026, 12, 7), 3200, 1800, 2400, 300, 150),
           MakeRun(Day(2026, 12, 9), 1000, 0, 600, 100, 120),
           MakeRun(Day(2026, 11, 30), 7000, 0, 3600, 500, 130)});
    dlg->ShowRunsView();
    ASSERT_TRUE(dlg->m_pCalendar);
    struct Case
    {
        int period;
        int64_t selected;
        BOOL metric;
        const char16_t *title, *runs, *steps, *speed, *speedUnit, *duration, *distance, *distanceUnit,
            *calories;
    };
    const Case cases[] = {
        {0, LocalTime(2026, 12, 7), TRUE, u"12/07/2026", nullptr, u"4100", u"7.5", u"km/hour", u"0:40:00",
         u"5", u"km", u"300"},
        {0, LocalTime(2026, 12, 7), FALSE, u"12/07/2026", nullptr, u"4100", u"4.7", u"miles/hour", u"0:40:00",
         u"3", u"miles", u"300"},
        // A Thursday and the Sunday that ends the same week.
        {1, LocalTime(2026, 12, 10), TRUE, u"Week 50 07/12 - 13/12", u"2", u"5100", u"7.2", u"km/hour",
         u"0:50:00", u"6", u"km", u"400"},
        {1, LocalTime(2026, 12, 13), TRUE, u"Week 50 07/12 - 13/12", u"2", u"5100", u"7.2", u"km/hour",
         u"0:50:00", u"6", u"km", u"400"},
        {2, LocalTime(2026, 12, 20), TRUE, u"Dec 2026", u"2", u"5100", u"7.2", u"km/hour", u"0:50:00", u"6",
         u"km", u"400"},
        // A day without runs.
        {0, LocalTime(2026, 12, 8), TRUE, u"12/08/2026", nullptr, u"0", u"0.0", u"km/hour", u"0:00:00", u"0",
         u"km", u"0"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(Narrow(c.title));
        dlg->m_nGraphMeasure = 0;
        dlg->m_nGraphPeriod = c.period;
        dlg->m_bMetric = c.metric;
        dlg->m_pCalendar->m_tSelected = c.selected;
        BOOL drawn = FALSE;
        const auto at = ByPlace(Texts(FALSE, &drawn));
        EXPECT_TRUE(drawn);
        EXPECT_EQ(at.at("20,10"), c.title);
        EXPECT_EQ(at.at("200,10"), u"Ann Lee");
        if (c.runs)
        {
            EXPECT_EQ(at.at("20,55"), u"No. of runs");
            EXPECT_EQ(at.at("120,55"), c.runs);
        }
        else
        {
            EXPECT_EQ(at.count("20,55"), 0u);
        }
        EXPECT_EQ(at.at("20,78"), u"Steps");
        EXPECT_EQ(at.at("50,78"), c.steps);
        EXPECT_EQ(at.at("150,78"), u"Average Speed");
        EXPECT_EQ(at.at("295,78"), c.speed);
        EXPECT_EQ(at.at("340,78"), c.speedUnit);
        EXPECT_EQ(at.at("20,103"), u"Duration");
        EXPECT_EQ(at.at("50,103"), c.duration);
        EXPECT_EQ(at.at("20,128"), u"Distance");
        EXPECT_EQ(at.at("90,128"), c.distance);
        EXPECT_EQ(at.at("140,128"), c.distanceUnit);
        EXPECT_EQ(at.at("220,128"), u"Calories Consumed");
        EXPECT_EQ(at.at("335,128"), c.calories);
    }
}

TEST_F(SharePictureTest, CaloriesUseTheSummaryToo)
{
    User(u"ann");
    Store({MakeRun(Day(2026, 12, 7), 3200, 1800, 2400, 300, 150)});
    dlg->ShowRunsView();
    dlg->m_nGraphMeasure = 2;
    dlg->m_nGraphPeriod = 0;
    dlg->m_pCalendar->m_tSelected = LocalTime(2026, 12, 7);
    const auto at = ByPlace(Texts(FALSE));
    EXPECT_EQ(at.at("335,128"), u"300");
    EXPECT_EQ(at.at("20,78"), u"Steps");
}

TEST_F(SharePictureTest, HeartRateByDaysShowsTheDaysLastRunAndByWeeksOrMonthsNoPictureAtAll)
{
    User(u"ann");
    Store({MakeRun(Day(2026, 12, 7), 3200, 0, 2400, 300, 120, {8, 0, 0}),
           MakeRun(Day(2026, 12, 7), 3200, 0, 2400, 300, 155, {23, 50, 30})});
    dlg->ShowRunsView();
    dlg->m_pCalendar->m_tSelected = LocalTime(2026, 12, 7);
    dlg->m_nGraphMeasure = 1;
    dlg->m_nGraphPeriod = 0;
    BOOL drawn = FALSE;
    const std::vector<SharePictureText> texts = Texts(FALSE, &drawn);
    EXPECT_TRUE(drawn);
    const auto at = ByPlace(texts);
    EXPECT_EQ(at.at("40,78"), u"Time");
    // The last run ended at 00:30:30 of the next day.
    EXPECT_EQ(at.at("70,78"), u"00:30:30");
    EXPECT_EQ(at.at("190,78"), u"Heart Rate");
    EXPECT_EQ(at.at("275,78"), u"155");
    EXPECT_EQ(at.at("313,78"), u"Bpm"); // a space after the figure that ends at 310
    EXPECT_EQ(texts.size(), 7u);

    std::ofstream(picture) << "old picture";
    for (int period : {1, 2})
    {
        SCOPED_TRACE(period);
        dlg->m_nGraphPeriod = period;
        Texts(FALSE, &drawn);
        EXPECT_FALSE(drawn);
        // Also from the button: no picture and no confirmation page; the My Runs page stays.
        dlg->ShowRunsView();
        dlg->m_nGraphPeriod = period;
        EXPECT_NE(Item<CWnd>(1092), nullptr);
        Click(1092);
        EXPECT_FALSE(dlg->m_pSharePicture);
        EXPECT_FALSE(dlg->m_bSharePictureSaved);
        EXPECT_EQ(Item<CWnd>(1103), nullptr);
        EXPECT_NE(Item<CWnd>(1092), nullptr);
        EXPECT_EQ(vxtest::ReadWholeFile(picture), "old picture");
    }
}

TEST_F(SharePictureTest, LabelsAreSmallerInGermanAndEveryLanguageHasItsTexts)
{
    for (LANGID language : {1033, 1031, 1028, 2052})
    {
        SCOPED_TRACE(language);
        Close();
        Open(language);
        User(u"u" + std::u16string(1, static_cast<char16_t>(u'0' + language % 10)) +
             std::u16string(1, static_cast<char16_t>(u'0' + language / 10 % 10)));
        dlg->m_nGraphMeasure = 0;
        dlg->m_nGraphPeriod = 1;
        for (const SharePictureText &t : Texts(FALSE))
        {
            if (t.x == 200 && t.y == 10)
                continue;
            EXPECT_FALSE(t.text.IsEmpty()) << t.x << "," << t.y;
            // Labels are the bold texts below the header.
            if (t.bold && t.y > 10)
            {
                EXPECT_EQ(t.fontSize, language == 1031 ? 10 : 12) << t.x << "," << t.y;
            }
        }
        SelectDistanceGoal();
        const auto at = ByPlace(Texts(TRUE));
        for (const char *place : {"20,10", "35,72", "35,115", "225,115"})
        {
            EXPECT_FALSE(at.at(place).empty()) << place;
            EXPECT_EQ(at.at(place).find(u'%'), std::u16string::npos) << place;
        }
        EXPECT_NE(at.at("35,72").find(u"10"), std::u16string::npos);
    }
}

// ---- the file ----------------------------------------------------------------------------------

TEST_F(SharePictureTest, ThePictureIsWrittenAsAJpegOfItsOwnSizeWithTheTextsOnTheBackground)
{
    User(u"ann");
    SelectDistanceGoal();
    std::ofstream(picture) << "old picture";
    EXPECT_EQ(dlg->RenderSharePicture(TRUE), 1);
    ASSERT_TRUE(dlg->m_pSharePicture);
    EXPECT_TRUE(dlg->m_bSharePictureSaved);

    Gdiplus::Image *loaded = nullptr;
    ASSERT_TRUE(dlg->LoadImageFromResource(490, u"PNG", &loaded, 1033));
    const std::unique_ptr<Gdiplus::Image> background(loaded);
    const QImage ground = background->QtImage().convertToFormat(QImage::Format_RGB32);
    const QImage drawn = dlg->m_pSharePicture->QtImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(drawn.size(), ground.size());

    // The file is a JPEG (by its bytes, not its name) of the picture's size.
    const std::string bytes = vxtest::ReadWholeFile(picture);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xD8);
    QImage file;
    ASSERT_TRUE(file.loadFromData(reinterpret_cast<const uchar *>(bytes.data()),
                                  static_cast<int>(bytes.size()), "JPEG"));
    file = file.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(file.size(), drawn.size());

    // The file shows the drawn picture: over the whole header band and the pink remaining text, it
    // differs from the picture in memory by no more than JPEG's loss.
    auto meanDifference = [&](const QRect &r) {
        double sum = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
            {
                const QColor a = file.pixelColor(x, y), b = drawn.pixelColor(x, y);
                sum += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                       std::abs(a.blue() - b.blue());
            }
        return sum / (3.0 * r.width() * r.height());
    };
    EXPECT_LT(meanDifference(QRect(0, 0, drawn.width(), 40)), 12.0);
    EXPECT_LT(meanDifference(QRect(225, 115, 200, 20)), 12.0);

    // The texts are there: white letters on the pink band where the title stands, and pink ones on
    // the light card where the remaining amount stands; the bare background has neither.
    auto count = [](const QImage &image, const QRect &r, auto test) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += test(image.pixelColor(x, y)) ? 1 : 0;
        return n;
    };
    // Near white; and far redder than green, as nothing on the grey card is.
    const auto white = [](const QColor &c) { return c.green() > 200 && c.blue() > 200; };
    const auto pink = [](const QColor &c) { return c.red() - c.green() > 80; };
    const QRect title(20, 10, 120, 24), left(225, 115, 200, 20);
    EXPECT_EQ(count(ground, title, white), 0);
    EXPECT_GT(count(file, title, white), 100);
    EXPECT_EQ(count(ground, left, pink), 0);
    EXPECT_GT(count(file, left, pink), 50);
}

// ---- a save that fails -------------------------------------------------------------------------

TEST_F(SharePictureTest, WhenTheSaveFailsNoOlderPictureIsLeftToMailAndTheMailStepSendsNothing)
{
    User(u"ann");
    SelectDistanceGoal();
    const std::string folder = dir + "/pictures";
    struct Case
    {
        const char *name;
        std::string path;
        void (*make)(const std::string &path);
        bool (*after)(const std::string &path);
    };
    const Case cases[] = {
        {"no such folder", dir + "/missing/Vormatik.jpg", [](const std::string &) {},
         [](const std::string &p) { return !std::filesystem::exists(p); }},
        {"the folder is a file", dir + "/a file/Vormatik.jpg",
         [](const std::string &p) {
             std::ofstream(std::filesystem::path(p).parent_path()) << "not a folder";
         },
         [](const std::string &p) { return !std::filesystem::exists(p); }},
        {"the path is a folder", folder + "/Vormatik.jpg",
         [](const std::string &p) { std::filesystem::create_directories(p); },
         [](const std::string &p) { return std::filesystem::is_directory(p); }},
        // The disk fills up while the new picture is written: the old one goes.
        {"a full disk", folder + "/Vormatik.jpg",
         [](const std::string &p) { std::ofstream(p) << "old picture"; },
         [](const std::string &p) { return !std::filesystem::exists(p); }},
    };
    std::filesystem::create_directories(folder);
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder + "/Vormatik.jpg");
        std::filesystem::remove(mailLog);
        c.make(c.path);
        dlg->m_strSharePicturePath = CString(vxsys::Utf8ToUtf16(c.path));
        {
            // Small enough for the old picture, far too small for the new one.
            std::optional<vxtest::ScopedFileSizeLimit> limit;
            if (std::string(c.name) == "a full disk")
            {
                limit.emplace(200);
                ASSERT_TRUE(limit->Active());
            }
            EXPECT_EQ(dlg->RenderSharePicture(TRUE), 1);
        }
        // The page still shows the picture.
        EXPECT_TRUE(dlg->m_pSharePicture);
        EXPECT_FALSE(dlg->m_bSharePictureSaved);
        EXPECT_TRUE(c.after(c.path));
        CKVTDlg::OnShareOk();
        EXPECT_EQ(MailLog(), std::vector<std::string>{});
    }

    // With the same steps and a save that works, the picture is mailed: the checks above can see it.
    std::filesystem::remove_all(folder + "/Vormatik.jpg");
    dlg->m_strSharePicturePath = CString(vxsys::Utf8ToUtf16(folder + "/Vormatik.jpg"));
    dlg->RenderSharePicture(TRUE);
    EXPECT_TRUE(dlg->m_bSharePictureSaved);
    CKVTDlg::OnShareOk();
    EXPECT_EQ(MailLog(), std::vector<std::string>{"[--utf8][--attach][" + folder + "/Vormatik.jpg]"});
    EXPECT_EQ(messages, std::vector<std::string>{});
}

TEST_F(SharePictureTest, AnOldPictureThatAFailedSaveCannotRemoveIsNotMailed)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind root";
    User(u"ann");
    SelectDistanceGoal();
    const std::string folder = dir + "/locked";
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/Vormatik.jpg";
    std::ofstream(path) << "old picture";
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    dlg->m_strSharePicturePath = CString(vxsys::Utf8ToUtf16(path));
    dlg->RenderSharePicture(TRUE);
    EXPECT_FALSE(dlg->m_bSharePictureSaved);
    EXPECT_EQ(vxtest::ReadWholeFile(path), "old picture");
    CKVTDlg::OnShareOk();
    EXPECT_EQ(MailLog(), std::vector<std::string>{});
    ::chmod(folder.c_str(), 0755);
    ::chmod(path.c_str(), 0644);
}

// ---- the confirmation page, and back -----------------------------------------------------------

TEST_F(SharePictureTest, TheButtonShowsTheConfirmationPageWithACopyOfThePicture)
{
    User(u"ann");
    Store({MakeRun(Day(2026, 12, 7), 3200, 1800, 2400, 300, 150)});
    for (KvtView view : {KvtView::Runs, KvtView::Goal})
    {
        SCOPED_TRACE(static_cast<int>(view));
        dlg->ShowRunsView();
        dlg->m_nGraphMeasure = 0;
        dlg->m_nGraphPeriod = 0;
        if (view == KvtView::Goal)
        {
            // The My Goal page's list, with its share button.
            dlg->m_nCurrentView = KvtView::Goal;
            SelectDistanceGoal();
        }
        dlg->renders.clear();
        Click(1092);
        // Goal mode is chosen by the page.
        EXPECT_EQ(dlg->renders, std::vector<BOOL>{view == KvtView::Goal});
        ASSERT_TRUE(dlg->m_pSharePicture);
        auto *shown = Item<UIStatic>(1102);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->GetImageWidth(), static_cast<int>(dlg->m_pSharePicture->GetWidth()));
        EXPECT_EQ(shown->GetImageHeight(), static_cast<int>(dlg->m_pSharePicture->GetHeight()));
        EXPECT_EQ(Caption(1103), u"Ok");
        EXPECT_EQ(Caption(1104), u"Cancel");
        EXPECT_EQ(Caption(1093), u"Log Out");
        EXPECT_NE(Item<CWnd>(CKVTDlg::kCloseButtonId), nullptr);
        EXPECT_NE(Item<CWnd>(1027), nullptr);
        EXPECT_EQ(Item<CWnd>(1092), nullptr);
        // The page state stays that of the page the picture came from.
        EXPECT_EQ(dlg->m_nCurrentView, view);
        EXPECT_FALSE(dlg->m_pCalendar->IsWindowVisible());
    }
}

TEST_F(SharePictureTest, CancelGoesBackToThePageOfThePageState)
{
    User(u"ann");
    dlg->recordPages = true;
    struct Case
    {
        KvtView view;
        std::vector<std::string> built;
    };
    const Case cases[] = {
        {KvtView::Runs, {"runs"}},
        {KvtView::Goal, {"goal"}},
        {KvtView::Home, {}},
        {KvtView::Profile, {}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.view));
        dlg->built.clear();
        dlg->m_nCurrentView = c.view;
        dlg->RenderSharePicture(FALSE);
        dlg->ShowShareConfirmView();
        Click(1104);
        vxtest::ProcessEvents();
        EXPECT_EQ(dlg->built, c.built);
    }
}

TEST_F(SharePictureTest, ALongNameStandsWholeOnOneLineAndAnOverlongOneEndsInAnEllipsis)
{
    User(u"ann");
    SelectDistanceGoal();
    std::vector<Gdiplus::DrawnText> drawn;
    Gdiplus::SetDrawnTextObserver([&drawn](const Gdiplus::DrawnText &t) { drawn.push_back(t); });
    const struct
    {
        std::u16string name;
        bool whole;
    } cases[] = {
        {u"Ann Lee", true},
        {u"Maximiliane-Alexandra Schwarzenberg-Lindqvist", true},
        {std::u16string(120, u'W'), false},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(Narrow(c.name.substr(0, 30)));
        dlg->m_szDisplayName.fill(0);
        std::copy(c.name.begin(), c.name.end(), dlg->m_szDisplayName.begin());
        for (BOOL goalMode : {TRUE, FALSE})
        {
            drawn.clear();
            EXPECT_EQ(dlg->RenderSharePicture(goalMode), 1);
            const QString name = QString::fromStdU16String(c.name);
            const auto it = std::find_if(drawn.begin(), drawn.end(), [&](const Gdiplus::DrawnText &t) {
                return t.box.left() == 200.0 && t.box.top() == 10.0;
            });
            ASSERT_NE(it, drawn.end());
            if (c.whole)
                EXPECT_EQ(it->text, name);
            else
            {
                EXPECT_TRUE(it->text.endsWith(QChar(0x2026))) << it->text.toStdString();
                EXPECT_TRUE(name.startsWith(it->text.chopped(1)));
            }
            // Every text of the picture fits its box on one line.
            for (const Gdiplus::DrawnText &t : drawn)
            {
                EXPECT_LE(QFontMetricsF(t.font).horizontalAdvance(t.text), t.box.width() + 0.5)
                    << t.text.toStdString();
                EXPECT_LE(QFontMetricsF(t.font).height(), t.box.height() + 0.5) << t.text.toStdString();
            }
        }
    }
    Gdiplus::SetDrawnTextObserver({});
}

TEST_F(SharePictureTest, HostileNamesAreDrawnAsTheyAre)
{
    const std::u16string names[] = {
        u"O'Brien \"the\" 'quoted' %s %d %g %p",
        std::u16string(u"lone ") + char16_t(0xD800) + u" high",
        std::u16string(u"lone ") + char16_t(0xDFFF) + u" low at the end" + char16_t(0xDBFF),
        std::u16string(200, u'W') + u"\u202Eright to left",
        u"\u4F60\u597D \U0001F3C3",
    };
    int n = 0;
    User(u"ann");
    SelectDistanceGoal();
    Store({MakeRun(Day(2026, 12, 10), 3200, 1800, 2400, 300, 150)});
    for (const std::u16string &name : names)
    {
        SCOPED_TRACE(n++);
        dlg->m_szDisplayName.fill(0);
        std::copy(name.begin(), name.end(), dlg->m_szDisplayName.begin());
        for (BOOL goalMode : {TRUE, FALSE})
        {
            const std::vector<SharePictureText> texts = Texts(goalMode);
            ASSERT_GE(texts.size(), 2u);
            EXPECT_EQ(texts[1].text.str(), name);
            EXPECT_EQ(dlg->RenderSharePicture(goalMode), 1);
            EXPECT_TRUE(dlg->m_pSharePicture);
            EXPECT_TRUE(dlg->m_bSharePictureSaved);
        }
    }
    // A blank name gives way to the user id.
    dlg->m_szDisplayName.fill(0);
    dlg->m_szDisplayName[0] = u' ';
    EXPECT_EQ(Texts(FALSE)[1].text.str(), u"ann");
}
} // namespace

TEST_F(SharePictureTest, StepsNearTheTopOfTheirRangeAreNotWrappedOrNegative)
{
    User(u"ann");
    RunRecord run = MakeRun(Day(2026, 12, 7), 1000, 0, 600, 100, 120);
    run.runSteps = 3000000000u;
    run.walkSteps = 2000000000u;
    Store({run});
    dlg->ShowRunsView();
    ASSERT_TRUE(dlg->m_pCalendar);
    dlg->m_nGraphMeasure = 0;
    dlg->m_nGraphPeriod = 0;
    dlg->m_pCalendar->m_tSelected = LocalTime(2026, 12, 7);
    EXPECT_EQ(Narrow(ByPlace(Texts(FALSE)).at("50,78")), "5000000000");
    dlg->UpdateRunDetails();
    EXPECT_EQ(Narrow(dlg->m_strDetailRunSteps.str()), "3000000000");
}
