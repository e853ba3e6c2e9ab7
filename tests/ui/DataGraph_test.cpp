#include <QFontMetricsF>
#include <QImage>
#include <QTest>
#include <cmath>
#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdiplus/Gdiplus.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/DataGraph.h"

using uitest::Host;

namespace
{
// Where the My Runs page puts its chart: 456 by 192 pixels.
const CRect kChartRect(24, 115, 480, 307);
constexpr UINT kChartId = 1012;
constexpr DWORD kChartStyle = WS_CHILD | WS_VISIBLE | SS_NOTIFY;

constexpr ARGB kOrange = 0xFFF0A46C;
constexpr ARGB kGreen = 0xFFABD32A;

std::vector<std::string> g_events;
CDataGraph *g_chart = nullptr;
// What the point callback saw of the chart's selection when it was called.
int g_selectedSeen = -99;
int g_previousSeen = -99;

void OnPoint(UINT id, int point)
{
    g_events.push_back("point " + std::to_string(id) + " " + std::to_string(point));
    if (g_chart)
    {
        g_selectedSeen = g_chart->GetSelectedPoint();
        g_previousSeen = g_chart->GetPrevSelectedPoint();
    }
}
void OnPrevious(UINT id)
{
    g_events.push_back("previous " + std::to_string(id));
}
void OnNext(UINT id)
{
    g_events.push_back("next " + std::to_string(id));
}

// Two series of seven bars: series 0 holds 1 to 7, series 1 holds 0.5, 0, 2, 0, 1, 0, 3. The
// largest value 7 makes the scale's top 10, so a unit is 147 / 10 = 14.7 pixels; each slot is
// (456 - 70 - 30) / 7 pixels wide with its two 10-pixel bars centred in it.
std::unique_ptr<GraphSettings> WeekOfBars()
{
    auto s = GraphSettings::CreateTwoSeriesWeek(1033);
    const float walk[7] = {0.5f, 0, 2, 0, 1, 0, 3};
    const char16_t *days[7] = {u"Sun", u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat"};
    for (int i = 0; i < 7; ++i)
    {
        s->m_series[0].m_points[i].m_fValue = static_cast<float>(i + 1);
        s->m_series[1].m_points[i].m_fValue = walk[i];
        s->m_series[0].m_points[i].m_strFirstLabel.Format(u"%d", i + 1);
        s->m_series[0].m_points[i].m_strSecondLabel = days[i];
    }
    return s;
}

constexpr float kSlot = 356.0f / 7.0f;
// The left edge of the bar of series k at point i in the week above.
float BarLeft(int i, int k)
{
    return 70.0f + static_cast<float>(i) * kSlot + (kSlot - 20.0f) / 2.0f + 10.0f * static_cast<float>(k);
}

// A line chart whose first point lies on the previous arrow: no plot start, a bottom band of 20
// (the arrow's own height) and two slots of 25 pixels, the first centred at x = 42.5 on the base
// line (value 0).
std::unique_ptr<GraphSettings> PointOnTheArrow()
{
    auto s = GraphSettings::CreateHeartRateStyle1(1033);
    s->m_nPlotStart = 0;
    s->m_nRightMargin = 456 - 30 - 50;
    s->m_nBottomBand = 20;
    s->m_series[0].m_points.resize(2);
    s->m_series[0].m_points[1].m_fValue = 100.0f;
    return s;
}
const CPoint kOnArrowAndPoint(40, 174);

ARGB Pixel(const Gdiplus::Bitmap *bitmap, int x, int y)
{
    Gdiplus::Color c;
    EXPECT_EQ(bitmap->GetPixel(x, y, &c), Gdiplus::Ok);
    return c.GetValue();
}

// Pixels of exactly that colour inside [left, right) x [top, bottom) of the back buffer.
int CountColour(const Gdiplus::Bitmap *bitmap, int left, int top, int right, int bottom, ARGB colour)
{
    int n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (Pixel(bitmap, x, y) == colour)
                ++n;
    return n;
}

// Rows and columns of the back buffer's region that are not white: (first row, last row,
// first column, last column), all -1 when there are none.
struct Ink
{
    int top = -1, bottom = -1, left = -1, right = -1;
};
Ink InkOf(const Gdiplus::Bitmap *bitmap, int left, int top, int right, int bottom)
{
    Ink ink;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (Pixel(bitmap, x, y) != 0xFFFFFFFF)
            {
                if (ink.top < 0)
                    ink.top = y;
                ink.bottom = y;
                ink.left = ink.left < 0 ? x : std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
            }
    return ink;
}

class DataGraphTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.Make(500, 330));
        g_events.clear();
        g_selectedSeen = g_previousSeen = -99;
        g_chart = chart = new CDataGraph(&OnPoint, &OnPrevious, &OnNext);
        ASSERT_TRUE(chart->Create(u"", kChartStyle, kChartRect, &host, kChartId));
        vxtest::ProcessEvents();
    }
    void TearDown() override
    {
        delete g_chart;
        g_chart = nullptr;
        host.DestroyWindow();
        vxtest::ProcessEvents();
    }
    // A left press and release at a point of the chart.
    void Click(CPoint p)
    {
        QTest::mousePress(g_chart->GetWidget(), Qt::LeftButton, {}, QPoint(p.x, p.y));
        if (g_chart)
            QTest::mouseRelease(g_chart->GetWidget(), Qt::LeftButton, {}, QPoint(p.x, p.y));
        vxtest::ProcessEvents();
    }
    // A press whose handler may end the chart.
    void Press(CPoint p)
    {
        QTest::mousePress(g_chart->GetWidget(), Qt::LeftButton, {}, QPoint(p.x, p.y));
        vxtest::ProcessEvents();
    }

    uitest::ProgramStrings strings;
    Host host;
    CDataGraph *chart = nullptr;
};

TEST_F(DataGraphTest, ScaleTopIsOneTwoOrFiveTimesAPowerOfTen)
{
    const struct
    {
        float largest;
        double top;
    } cases[] = {{0.0f, 1},   {0.4f, 1},   {7.3f, 10},   {10.0f, 10},
                 {12.0f, 20}, {30.0f, 50}, {60.0f, 100}, {1000.0f, 1000}};
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.largest);
        EXPECT_EQ(CDataGraph::ScaleTop(c.largest), c.top);
        // The same through a drawing, with the largest value in the second series.
        auto s = GraphSettings::CreateTwoSeriesWeek(1033);
        s->m_series[0].m_points[3].m_fValue = c.largest / 2;
        s->m_series[1].m_points[5].m_fValue = c.largest;
        chart->Draw(s.get(), 1033);
        EXPECT_EQ(chart->GetScaleTop(), c.top);
    }
}

TEST_F(DataGraphTest, ValueLabelsCountDownFromTheTopWithTheUnit)
{
    auto s = GraphSettings::CreateDistance(1033);
    chart->Draw(s.get(), 1033);
    EXPECT_EQ(chart->GetScaleTop(), 1.0);
    const char16_t *zero[4] = {u"0.8miles", u"0.6miles", u"0.4miles", u"0.2miles"};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(chart->GetValueLabel(k).str(), zero[k]) << k;

    s = WeekOfBars();
    s->m_series[0].m_points[2].m_fValue = 60.0f;
    s->m_strUnit = u"km";
    chart->Draw(s.get(), 1033);
    const char16_t *sixty[4] = {u"80.0km", u"60.0km", u"40.0km", u"20.0km"};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(chart->GetValueLabel(k).str(), sixty[k]) << k;
    // Drawn in the title colour at the left margin, just above their grid lines.
    const Ink ink = InkOf(chart->GetBackBuffer(), 30, 15, 80, 30);
    EXPECT_GE(ink.top, 15);
    EXPECT_LE(ink.bottom, 30);
}

// The largest distances a chart can show (a 32-bit count of metres, in kilometres) make labels of
// seven digits and more, wider than the preset's 50 pixels: each is drawn whole, as wide as it
// measures, at the left margin.
TEST_F(DataGraphTest, LargeValueLabelsAreDrawnWhole)
{
    auto s = WeekOfBars();
    s->m_strUnit = u"km";
    s->m_series[0].m_points[6].m_fValue = 4294967.0f;
    chart->Draw(s.get(), 1033);
    EXPECT_EQ(chart->GetScaleTop(), 5000000.0);
    EXPECT_EQ(chart->GetValueLabel(0).str(), u"4000000.0km");
    EXPECT_EQ(chart->GetValueLabel(3).str(), u"1000000.0km");

    Gdiplus::Bitmap scratch(10, 10, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics g(&scratch);
    Gdiplus::Font font(u"Arial", 8.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPoint);
    Gdiplus::StringFormat format(Gdiplus::StringFormatFlagsNoWrap);
    const std::u16string label = u"4000000.0km";
    Gdiplus::RectF measured;
    ASSERT_EQ(g.MeasureString(label.c_str(), static_cast<INT>(label.size()), &font, Gdiplus::PointF(0, 0), &format,
                              &measured),
              Gdiplus::Ok);
    ASSERT_GT(measured.Width, 50.0f) << "the label is wider than the preset's box";
    // The first label's row lies between the first and the second grid line; the nearest bar
    // stands far to the right.
    const Ink ink = InkOf(chart->GetBackBuffer(), 30, 16, 300, 29);
    ASSERT_GE(ink.left, 30);
    EXPECT_LE(ink.left, 34);
    // Ink reaches the last letter: "km" ends near the measured width (less the layout's padding).
    EXPECT_GE(ink.right, 30 + static_cast<int>(measured.Width) - 6);
    EXPECT_LE(ink.right, 30 + static_cast<int>(measured.Width) + 2);
}

// The labels under the points of the weeks graph, in the longest words the languages have for
// them: each stays inside its own slot, with white between neighbours.
TEST_F(DataGraphTest, PointLabelsStayApartFromTheirNeighbours)
{
    const struct
    {
        const char16_t *week;
        const char16_t *first[6];
    } cases[] = {
        {u"Woche", {u"26-1", u"2-8", u"9-15", u"16-22", u"23-29", u"30-31"}},
        {u"Week", {u"26-1", u"2-8", u"9-15", u"16-22", u"23-29", u"30-31"}},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.week == cases[0].week ? "German" : "English");
        auto s = GraphSettings::CreateTwoSeriesMonth(1031);
        for (int i = 0; i < 6; ++i)
        {
            s->m_series[0].m_points[i].m_strFirstLabel = c.first[i];
            s->m_series[0].m_points[i].m_strSecondLabel.Format(u"%s %d", c.week, 48 + i);
        }
        chart->SetSelectedPoint(-1);
        chart->Draw(s.get(), 1031);
        const float slot = 356.0f / 6.0f;
        const Gdiplus::Bitmap *buffer = chart->GetBackBuffer();
        for (int i = 0; i < 6; ++i)
        {
            // Ink of each slot's labels, and white on both sides of the slot's edges.
            const int left = static_cast<int>(std::ceil(70.0f + static_cast<float>(i) * slot));
            const int right = static_cast<int>(70.0f + static_cast<float>(i + 1) * slot);
            EXPECT_GT(InkOf(buffer, left, 160, right, 192).right, 0) << i;
            for (int edge : {left, right - 1})
                EXPECT_EQ(InkOf(buffer, edge, 149, edge + 1, 192).left, -1) << "slot " << i << " column " << edge;
        }
    }
}

TEST_F(DataGraphTest, TheZoneSetsTheScaleAndIsShaded)
{
    const struct
    {
        const char *name;
        float upper, lower;
    } cases[] = {{"upper above lower", 153.0f, 90.0f}, {"given the wrong way round", 90.0f, 153.0f}};
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        auto s = GraphSettings::CreateHeartRate(1033);
        s->m_series[0].m_points[0].m_fValue = 50.0f;
        s->m_series[0].m_points[1].m_fValue = 80.0f;
        s->m_bZone = TRUE;
        s->m_fZoneUpper = c.upper;
        s->m_fZoneLower = c.lower;
        s->m_strZoneCaption = u"Target HR Zone";
        chart->Draw(s.get(), 1033);
        // All values lie below the zone's top, 153: the scale reaches 200.
        EXPECT_EQ(chart->GetScaleTop(), 200.0);
        // 147 / 200 pixels a beat: the zone runs from y = 34.5 (153) to y = 80.85 (90).
        const Gdiplus::Bitmap *buffer = chart->GetBackBuffer();
        EXPECT_EQ(Pixel(buffer, 300, 40), CDataGraph::kZoneColor);
        EXPECT_EQ(Pixel(buffer, 300, 66), CDataGraph::kZoneColor);
        EXPECT_EQ(Pixel(buffer, 300, 79), CDataGraph::kZoneColor);
        EXPECT_EQ(Pixel(buffer, 300, 32), 0xFFFFFFFFu);
        EXPECT_EQ(Pixel(buffer, 300, 84), 0xFFFFFFFFu);
        // Its caption stands on the white above it, in the dark grey of the chart's texts: the
        // zone's own light grey would hardly show on the page.
        EXPECT_GT(CountColour(buffer, 80, 10, 250, 34, s->m_crTitle), 20);
        EXPECT_EQ(CountColour(buffer, 80, 10, 250, 34, CDataGraph::kZoneColor), 0);
    }
}

TEST_F(DataGraphTest, TheZoneCaptionBeginsClearOfTheValueLabels)
{
    struct Drawn
    {
        QString text;
        QRectF ink;
    };
    std::vector<Drawn> drawn;
    Gdiplus::SetDrawnTextObserver([&drawn](const Gdiplus::DrawnText &t) {
        const QRectF ink = QFontMetricsF(t.font).boundingRect(t.box, t.flags | Qt::TextDontClip, t.text);
        drawn.push_back({t.text, t.transform.mapRect(ink)});
    });
    // Zones near the top of the scale put the caption in the row of the topmost value label; a
    // long unit makes that label wider than its preset box.
    for (const char16_t *unit : {u"Bpm", u"/min", u"次/分"})
    {
        SCOPED_TRACE(QString::fromUtf16(unit).toStdString());
        drawn.clear();
        auto s = GraphSettings::CreateHeartRate(1033);
        s->m_strUnit = unit;
        s->m_series[0].m_points[0].m_fValue = 120.0f;
        s->m_bZone = TRUE;
        s->m_fZoneUpper = 154.7f; // 85 % of 220 - 38
        s->m_fZoneLower = 91.0f;
        s->m_strZoneCaption = u"Target HR Zone";
        chart->Draw(s.get(), 1033);
        const auto caption = std::find_if(drawn.begin(), drawn.end(),
                                          [](const Drawn &d) { return d.text == QLatin1String("Target HR Zone"); });
        ASSERT_NE(caption, drawn.end());
        int labels = 0;
        for (const Drawn &d : drawn)
        {
            if (!d.text.endsWith(QString::fromUtf16(unit)) || d.ink.bottom() < caption->ink.top() ||
                d.ink.top() > caption->ink.bottom())
                continue;
            ++labels;
            EXPECT_GE(caption->ink.left() - d.ink.right(), 3.0) << d.text.toStdString();
        }
        EXPECT_GE(labels, 1); // the caption does share a row with a value label
    }
    Gdiplus::SetDrawnTextObserver({});
}

TEST_F(DataGraphTest, BarsStandSideBySideInTheirSlots)
{
    chart->Draw(WeekOfBars().get(), 1033);
    EXPECT_EQ(chart->GetHitPointCount(), 7u);
    EXPECT_EQ(chart->GetHitSeriesCount(), 2u);
    const struct
    {
        int i, k;
        float value;
    } bars[] = {{0, 0, 1}, {0, 1, 0.5f}, {2, 1, 2}, {6, 0, 7}, {6, 1, 3}, {3, 1, 0}};
    for (const auto &b : bars)
    {
        SCOPED_TRACE(std::to_string(b.i) + "/" + std::to_string(b.k));
        const Gdiplus::RectF r = chart->GetPointRect(b.i, b.k);
        EXPECT_NEAR(r.X, BarLeft(b.i, b.k), 1e-3);
        EXPECT_NEAR(r.Y, (10.0f - b.value) * 14.7f, 1e-3);
        EXPECT_EQ(r.Width, 10.0f);
        EXPECT_NEAR(r.GetBottom(), 147.0f, 1e-3);
    }
    EXPECT_EQ(chart->GetPreviousArrowRect().X, 30.0f);
    EXPECT_EQ(chart->GetPreviousArrowRect().Y, 159.0f);
    EXPECT_EQ(chart->GetPreviousArrowRect().Width, 20.0f);
    EXPECT_EQ(chart->GetNextArrowRect().X, 436.0f);
    EXPECT_EQ(chart->GetNextArrowRect().Y, 159.0f);
    EXPECT_EQ(chart->GetNextArrowRect().Height, 20.0f);

    const Gdiplus::Bitmap *buffer = chart->GetBackBuffer();
    EXPECT_EQ(Pixel(buffer, static_cast<int>(BarLeft(6, 0)) + 5, 100), kOrange);
    EXPECT_EQ(Pixel(buffer, static_cast<int>(BarLeft(6, 1)) + 5, 120), kGreen);
    EXPECT_EQ(Pixel(buffer, static_cast<int>(BarLeft(6, 1)) + 5, 90), 0xFFFFFFFFu); // above the 3
    // Grid lines every 14.7 pixels, the tenth the bars' base line.
    EXPECT_EQ(Pixel(buffer, 250, 147), 0xFFC2C1C1u);
    EXPECT_EQ(Pixel(buffer, 250, 22), 0xFFFFFFFFu);
}

TEST_F(DataGraphTest, PressesHitBarsAndArrows)
{
    chart->Draw(WeekOfBars().get(), 1033);
    const auto at = [](int i, int k, int y) { return CPoint(static_cast<int>(BarLeft(i, k)) + 5, y); };
    const struct
    {
        const char *name;
        CPoint where;
        std::vector<std::string> events;
    } cases[] = {
        {"first bar", at(0, 0, 144), {"point 1012 0"}},
        {"walk bar of the last day", at(6, 1, 140), {"point 1012 6"}},
        {"top row of a bar", at(4, 0, static_cast<int>(std::ceil(5 * 14.7f))), {"point 1012 4"}},
        {"just above a bar", at(4, 0, static_cast<int>(5 * 14.7f) - 1), {}},
        {"a bar of zero", at(3, 1, 146), {}},
        {"between two slots' bars", CPoint(120, 140), {}},
        {"previous arrow", CPoint(40, 169), {"previous 1012"}},
        {"next arrow", CPoint(446, 169), {"next 1012"}},
        {"bottom band between the arrows", CPoint(200, 185), {}},
        {"title column", CPoint(10, 100), {}},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        g_events.clear();
        Click(c.where);
        EXPECT_EQ(g_events, c.events);
    }
}

TEST_F(DataGraphTest, APickMovesTheSelectionBeforeTheOwnerHearsOfIt)
{
    chart->Draw(WeekOfBars().get(), 1033);
    EXPECT_EQ(chart->GetSelectedPoint(), -1);
    chart->SetSelectedPoint(6);
    Click(CPoint(static_cast<int>(BarLeft(2, 0)) + 5, 140));
    EXPECT_EQ(g_events, (std::vector<std::string>{"point 1012 2"}));
    EXPECT_EQ(g_selectedSeen, 2);
    EXPECT_EQ(g_previousSeen, 6);
    // The chart is not redrawn by the press: the owner does that.
    EXPECT_EQ(chart->GetSelectedPoint(), 2);
    EXPECT_EQ(chart->GetPrevSelectedPoint(), 6);
    // A press on nothing changes neither.
    Click(CPoint(120, 20));
    EXPECT_EQ(chart->GetSelectedPoint(), 2);
    EXPECT_EQ(chart->GetPrevSelectedPoint(), 6);
}

TEST_F(DataGraphTest, APressOnAnArrowAndAPointCallsBoth)
{
    chart->Draw(PointOnTheArrow().get(), 1033);
    Click(kOnArrowAndPoint);
    EXPECT_EQ(g_events, (std::vector<std::string>{"previous 1012", "point 1012 0"}));
}

TEST_F(DataGraphTest, TheSelectedPointIsMarkedUnderItsLabels)
{
    for (int selected : {-1, 3})
    {
        SCOPED_TRACE(selected);
        chart->SetSelectedPoint(selected);
        chart->Draw(WeekOfBars().get(), 1033);
        const Gdiplus::Bitmap *buffer = chart->GetBackBuffer();
        for (int i = 0; i < 7; ++i)
        {
            const int left = static_cast<int>(70 + i * kSlot);
            const int marks = CountColour(buffer, left, 147, static_cast<int>(left + kSlot), 192,
                                          CDataGraph::kSelectionMark);
            if (i == selected)
                EXPECT_GT(marks, 30) << i;
            else
                EXPECT_EQ(marks, 0) << i;
        }
        // Each slot shows its labels in the band.
        const Ink labels = InkOf(buffer, 70, 147, 70 + static_cast<int>(kSlot), 190);
        EXPECT_GE(labels.top, 147);
        EXPECT_GT(labels.bottom - labels.top, 20) << "two lines of labels";
    }
}

TEST_F(DataGraphTest, LinesJoinThePointsAndTheirSquaresAreHit)
{
    auto s = GraphSettings::CreateThreeSeriesWeek(1033);
    for (int i = 0; i < 7; ++i)
    {
        s->m_series[0].m_points[i].m_fValue = 2.0f;
        s->m_series[1].m_points[i].m_fValue = 6.0f;
        s->m_series[2].m_points[i].m_fValue = 8.0f;
    }
    chart->Draw(s.get(), 1033);
    EXPECT_EQ(chart->GetHitSeriesCount(), 3u);
    // Slot centres, at the y of each value (top 10, 14.7 pixels a unit).
    const float x3 = 70.0f + 3.5f * kSlot;
    const Gdiplus::RectF r = chart->GetPointRect(3, 1);
    EXPECT_NEAR(r.X, x3 - 5.0f, 1e-3);
    EXPECT_NEAR(r.Y, 4.0f * 14.7f - 5.0f, 1e-3);
    EXPECT_EQ(r.Width, 10.0f);
    EXPECT_EQ(r.Height, 10.0f);
    const Gdiplus::Bitmap *buffer = chart->GetBackBuffer();
    // The line between two points, and no marker at a point beyond the pen's width.
    EXPECT_EQ(Pixel(buffer, static_cast<int>(x3 + kSlot / 2), static_cast<int>(4 * 14.7f)), 0xFF9DCD17u);
    EXPECT_EQ(Pixel(buffer, static_cast<int>(x3), static_cast<int>(4 * 14.7f) - 4), 0xFFFFFFFFu);

    Click(CPoint(static_cast<int>(x3) + 3, static_cast<int>(4 * 14.7f) + 3));
    EXPECT_EQ(g_events, (std::vector<std::string>{"point 1012 3"}));
}

// A line series of one point has no segment to draw: the point shows as a round dot as wide as
// the pen, where it can be picked; a series of two points shows no dot beyond its line.
TEST_F(DataGraphTest, ALineOfOnePointIsADotAsWideAsThePen)
{
    auto s = GraphSettings::CreateHeartRateStyle1(1033);
    s->m_series[0].m_points.resize(1);
    // Top 5, 29.4 pixels a unit: the point lies at y 66.15, between two grid lines.
    s->m_series[0].m_points[0].m_fValue = 2.75f;
    s->m_series[0].m_fPointSize = 8.0f;
    chart->Draw(s.get(), 1033);
    ASSERT_EQ(chart->GetHitPointCount(), 1u);
    // One slot over the whole plot (456 - 70 - 30 pixels), the point at its centre.
    const float x = 70.0f + 356.0f / 2.0f;
    const float y = 2.25f * 29.4f;
    const Gdiplus::RectF hit = chart->GetPointRect(0, 0);
    EXPECT_NEAR(hit.X + 5.0f, x, 1e-3);
    EXPECT_NEAR(hit.Y + 5.0f, y, 1e-3);
    const Gdiplus::Bitmap *buffer = chart->GetBackBuffer();
    const int cx = static_cast<int>(x), cy = static_cast<int>(y);
    EXPECT_EQ(Pixel(buffer, cx, cy), 0xFFF0A46Cu);
    // Round and as wide as the pen, each way (the grid lines lie at y 58.8 and 73.5).
    const Ink across = InkOf(buffer, cx - 10, cy, cx + 11, cy + 1);
    const Ink down = InkOf(buffer, cx, cy - 5, cx + 1, cy + 6);
    EXPECT_GE(across.right - across.left + 1, 7);
    EXPECT_LE(across.right - across.left + 1, 10);
    EXPECT_GE(down.bottom - down.top + 1, 7);
    EXPECT_LE(down.bottom - down.top + 1, 10);
    EXPECT_EQ(Pixel(buffer, across.left, down.top), 0xFFFFFFFFu) << "a corner of a square";
    Click(CPoint(cx, cy));
    EXPECT_EQ(g_events, (std::vector<std::string>{"point 1012 0"}));

    s->m_series[0].m_points.resize(2);
    s->m_series[0].m_points[1].m_fValue = 2.75f;
    chart->Draw(s.get(), 1033);
    const float x0 = 70.0f + 356.0f / 4.0f;
    // The joined line runs level at the points' height; nothing lies left of the first point
    // beyond the pen's round cap.
    EXPECT_EQ(Pixel(buffer, static_cast<int>(x0) + 30, cy), 0xFFF0A46Cu);
    EXPECT_EQ(InkOf(buffer, 81, cy - 1, static_cast<int>(x0) - 6, cy + 2).left, -1);
}

TEST_F(DataGraphTest, WhiteIsKeyedOutOverTheParent)
{
    host.fill = RGB(40, 90, 160);
    chart->Draw(WeekOfBars().get(), 1033);
    vxtest::ProcessEvents();
    const QImage shot = host.Grab();
    const QColor page(40, 90, 160);
    const auto at = [&](float x, int y) {
        return vxtest::PixelAt(shot, kChartRect.left + static_cast<int>(x), kChartRect.top + y);
    };
    EXPECT_EQ(at(250, 22), page) << "blank plot";
    EXPECT_EQ(at(BarLeft(6, 0) + 5, 100), QColor(0xF0, 0xA4, 0x6C)) << "series 0 bar";
    EXPECT_EQ(at(BarLeft(6, 1) + 5, 120), QColor(0xAB, 0xD3, 0x2A)) << "series 1 bar";
    EXPECT_EQ(at(250, 147), QColor(0xC2, 0xC1, 0xC1)) << "base line";
    // The arrow pictures: their white corners show the page, their arrow does not.
    EXPECT_EQ(at(31, 160), page);
    EXPECT_NE(at(40, 169), page);
    EXPECT_EQ(at(455, 178), page);
    // Outside the chart the page is untouched.
    EXPECT_EQ(vxtest::PixelAt(shot, kChartRect.left - 2, kChartRect.top + 50), page);
}

TEST_F(DataGraphTest, TheTitleRunsUpTheEdgeOrStandsUpright)
{
    const struct
    {
        WORD language;
        int minHeight, maxHeight;
    } cases[] = {{1033, 45, 120}, {1031, 45, 120}, {2052, 28, 60}, {1028, 28, 60}};
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.language);
        chart->Draw(GraphSettings::CreateDistance(c.language).get(), c.language);
        const Ink ink = InkOf(chart->GetBackBuffer(), 0, 0, 30, 147);
        ASSERT_GE(ink.top, 0) << "a title is drawn";
        const int height = ink.bottom - ink.top + 1;
        const int width = ink.right - ink.left + 1;
        EXPECT_GE(height, c.minHeight);
        EXPECT_LE(height, c.maxHeight);
        // One line of text up the edge, or one character a line: either way a narrow column.
        EXPECT_LE(width, 22);
        EXPECT_GT(height, width);
        // Centred along the left edge.
        EXPECT_NEAR((ink.top + ink.bottom) / 2, 96, 12);
    }
}

// ---- A drawing describes only itself -----------------------------------------------------

TEST_F(DataGraphTest, EachDrawForgetsWhatTheLastOneMadeClickable)
{
    const CPoint walkBar(static_cast<int>(BarLeft(4, 1)) + 5, 145);
    const CPoint runBar(static_cast<int>(BarLeft(4, 0)) + 5, 145);
    const struct
    {
        const char *name;
        std::unique_ptr<GraphSettings> (*make)();
        UINT points, series;
        std::vector<std::string> walkEvents, runEvents;
    } cases[] = {
        {"no series",
         [] {
             auto s = WeekOfBars();
             s->m_series.clear();
             return s;
         },
         0,
         0,
         {},
         {}},
        {"an empty series 0",
         [] {
             auto s = WeekOfBars();
             s->m_series[0].m_points.clear();
             return s;
         },
         0,
         0,
         {},
         {}},
        {"no record", [] { return std::unique_ptr<GraphSettings>(); }, 0, 0, {}, {}},
        {"a shorter series 1",
         [] {
             auto s = WeekOfBars();
             s->m_series[1].m_points.resize(3);
             return s;
         },
         7,
         2,
         {},
         {"point 1012 4"}},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        chart->Draw(WeekOfBars().get(), 1033);
        g_events.clear();
        Click(walkBar);
        ASSERT_EQ(g_events, (std::vector<std::string>{"point 1012 4"}));

        const auto next = c.make();
        chart->Draw(next.get(), 1033);
        EXPECT_EQ(chart->GetHitPointCount(), c.points);
        EXPECT_EQ(chart->GetHitSeriesCount(), c.series);
        for (UINT i = 3; i < 7; ++i)
            EXPECT_TRUE(chart->GetPointRect(i, 1).IsEmptyArea()) << i;
        g_events.clear();
        Click(walkBar);
        EXPECT_EQ(g_events, c.walkEvents);
        g_events.clear();
        Click(runBar);
        EXPECT_EQ(g_events, c.runEvents);
        // The arrows belong to every drawing with a record.
        EXPECT_EQ(chart->GetPreviousArrowRect().IsEmptyArea(), next == nullptr);
    }
}

TEST_F(DataGraphTest, ANewWindowHasNothingToHit)
{
    chart->Draw(WeekOfBars().get(), 1033);
    chart->DestroyWindow();
    ASSERT_TRUE(chart->Create(u"", kChartStyle, kChartRect, &host, kChartId));
    vxtest::ProcessEvents();
    EXPECT_EQ(chart->GetHitPointCount(), 0u);
    EXPECT_EQ(chart->GetHitSeriesCount(), 0u);
    EXPECT_TRUE(chart->GetPreviousArrowRect().IsEmptyArea());
    Click(CPoint(static_cast<int>(BarLeft(6, 0)) + 5, 140));
    Click(CPoint(40, 169));
    EXPECT_TRUE(g_events.empty());
    EXPECT_EQ(CountColour(chart->GetBackBuffer(), 0, 0, 456, 192, 0xFFFFFFFF), 456 * 192);
}

TEST_F(DataGraphTest, ShorterSeriesDrawOnlyTheirOwnPoints)
{
    for (int style : {GraphSettings::kBarStyle, GraphSettings::kLineStyle})
    {
        SCOPED_TRACE(style);
        auto s = WeekOfBars();
        s->m_nStyle = style;
        s->m_series[1].m_points.resize(2);
        s->m_series.push_back(GraphSeries()); // a third series without points
        s->m_series[2].m_fLineWidth = 10.0f;
        chart->Draw(s.get(), 1033);
        EXPECT_EQ(chart->GetHitPointCount(), 7u);
        EXPECT_EQ(chart->GetHitSeriesCount(), 3u);
        // A rectangle that was laid out has the bar's or the square's width, even for a zero.
        for (UINT i = 0; i < 7; ++i)
        {
            EXPECT_GT(chart->GetPointRect(i, 0).Width, 0.0f) << i;
            EXPECT_EQ(chart->GetPointRect(i, 1).Width > 0.0f, i < 2) << i;
            EXPECT_EQ(chart->GetPointRect(i, 2).Width, 0.0f) << i;
        }
    }
}

TEST_F(DataGraphTest, MorePointsAndSeriesThanTheChartHoldsAreLeftOut)
{
    for (int style : {GraphSettings::kBarStyle, GraphSettings::kLineStyle})
    {
        SCOPED_TRACE(style);
        auto s = GraphSettings::CreateDistance(1033);
        s->m_nStyle = style;
        s->m_series.resize(12);
        for (std::size_t k = 0; k < 12; ++k)
        {
            GraphSeries &series = s->m_series[k];
            series.m_points.resize(25);
            series.m_fLineWidth = 1.0f;
            series.m_fPointSize = 2.0f;
            series.m_crColor = 0xFF000000 | static_cast<ARGB>(0x101010 * (k + 1));
            for (std::size_t i = 0; i < 25; ++i)
            {
                series.m_points[i].m_fValue = static_cast<float>(i + 1);
                series.m_points[i].m_strFirstLabel = std::u16string(u"\"q\0x\xD800", 5);
                series.m_points[i].m_strSecondLabel = u"\xDC00'";
            }
        }
        // A point that is not drawn does not set the scale.
        s->m_series[0].m_points[24].m_fValue = 1.0e6f;
        s->m_series[11].m_points[0].m_fValue = 1.0e6f;
        chart->SetSelectedPoint(24);
        chart->Draw(s.get(), 1033);
        EXPECT_EQ(chart->GetHitPointCount(), 20u);
        EXPECT_EQ(chart->GetHitSeriesCount(), 10u);
        EXPECT_EQ(chart->GetScaleTop(), 20.0);
        EXPECT_FALSE(chart->GetPointRect(19, 9).IsEmptyArea());
        // The copy keeps the record as it was given.
        EXPECT_EQ(chart->GetLastSettings().m_series.size(), 12u);
        EXPECT_EQ(chart->GetLastSettings().m_series[11].m_points.size(), 25u);

        const Gdiplus::RectF last = chart->GetPointRect(19, 9);
        g_events.clear();
        Click(CPoint(static_cast<int>(last.X + last.Width / 2), static_cast<int>(last.Y + last.Height / 2)));
        EXPECT_EQ(g_events, (std::vector<std::string>{"point 1012 19"}));
    }
}

TEST_F(DataGraphTest, ValuesTheScaleCannotPlaceLieOnTheBaseLine)
{
    auto s = WeekOfBars();
    s->m_series[0].m_points[0].m_fValue = std::numeric_limits<float>::quiet_NaN();
    s->m_series[0].m_points[1].m_fValue = std::numeric_limits<float>::infinity();
    s->m_series[0].m_points[2].m_fValue = -5.0f;
    s->m_bZone = TRUE;
    s->m_fZoneUpper = std::numeric_limits<float>::infinity();
    s->m_fZoneLower = -1.0f;
    chart->Draw(s.get(), 1033);
    EXPECT_EQ(chart->GetScaleTop(), 10.0);
    for (UINT i = 0; i < 3; ++i)
    {
        EXPECT_NEAR(chart->GetPointRect(i, 0).Y, 147.0f, 1e-3) << i;
        EXPECT_EQ(chart->GetPointRect(i, 0).Height, 0.0f) << i;
    }
    for (double odd :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), -3.0})
        EXPECT_EQ(CDataGraph::ScaleTop(odd), 1.0) << odd;
}

TEST_F(DataGraphTest, ExtremeLayoutNumbersAndTitlesAreDrawnWithoutFault)
{
    constexpr int kMax = std::numeric_limits<int>::max();
    constexpr int kMin = std::numeric_limits<int>::min();
    const int values[] = {kMax, kMin, 0, -1};
    for (int v : values)
    {
        SCOPED_TRACE(v);
        auto s = WeekOfBars();
        s->m_nLeftMargin = v;
        s->m_nPlotStart = v;
        s->m_nRightMargin = v;
        s->m_nBottomBand = v;
        s->m_nValueLabelWidth = v;
        s->m_nTitleFontSize = v < 0 ? v : 12;
        // Lone halves of surrogate pairs, a whole pair and a NUL, upright and up the edge.
        s->m_strTitle = std::u16string(u"a\xD800\0\xDC00\xD83D\xDE00\xD800", 7);
        s->m_bZone = TRUE;
        s->m_fZoneUpper = 5.0f;
        chart->SetSelectedPoint(1);
        chart->Draw(s.get(), 2052);
        chart->Draw(s.get(), 1033);
        EXPECT_EQ(chart->GetHitPointCount(), 7u);
        EXPECT_GE(chart->GetScaleTop(), 1.0);
        Click(CPoint(100, 100));
    }
}

TEST_F(DataGraphTest, TheLastRecordDrawnIsKept)
{
    {
        auto s = WeekOfBars();
        s->m_strTitle = u"My \"runs\"";
        chart->Draw(s.get(), 1031);
    }
    const GraphSettings &kept = chart->GetLastSettings();
    EXPECT_EQ(kept.m_strTitle, u"My \"runs\"");
    ASSERT_EQ(kept.m_series.size(), 2u);
    EXPECT_EQ(kept.m_series[0].m_points[6].m_fValue, 7.0f);
    EXPECT_EQ(kept.m_series[0].m_points[6].m_strSecondLabel, u"Sat");
    chart->Draw(nullptr, 1033);
    EXPECT_TRUE(chart->GetLastSettings().m_series.empty());
}

// ---- Callbacks --------------------------------------------------------------------------

TEST_F(DataGraphTest, WithoutCallbacksAPressOnlySelects)
{
    delete g_chart;
    g_chart = chart = new CDataGraph(nullptr, nullptr, nullptr);
    ASSERT_TRUE(chart->Create(u"", kChartStyle, kChartRect, &host, kChartId));
    chart->Draw(PointOnTheArrow().get(), 1033);
    vxtest::ProcessEvents();
    Click(kOnArrowAndPoint);
    Click(CPoint(446, 180));
    EXPECT_EQ(chart->GetSelectedPoint(), 0);
    EXPECT_TRUE(g_events.empty());
}

// The owner ends the chart from its callback.
void EndTheChartAtPoint(UINT, int point)
{
    g_events.push_back("end at " + std::to_string(point));
    delete g_chart;
    g_chart = nullptr;
}
void EndTheChartFromArrow(UINT)
{
    g_events.push_back("end by arrow");
    delete g_chart;
    g_chart = nullptr;
}

// The owner re-creates the chart's window and draws it again, as the My Runs page does: the
// new drawing has a point under the press that the old one had not.
void RebuildOnPoint(UINT, int point)
{
    g_events.push_back("rebuild at " + std::to_string(point));
    CWnd *parent = g_chart->GetParent();
    g_chart->DestroyWindow();
    g_chart->Create(u"", kChartStyle, kChartRect, parent, kChartId);
    // Twenty bars 16 pixels wide: bar 1 covers the press on the old bar 0.
    auto s = GraphSettings::CreateDistance(1033);
    s->m_series[0].m_points.resize(20);
    s->m_series[0].m_fLineWidth = 16.0f;
    for (GraphPoint &p : s->m_series[0].m_points)
        p.m_fValue = 5.0f;
    g_chart->Draw(s.get(), 1033);
}
void RebuildFromArrow(UINT)
{
    g_events.push_back("rebuild by arrow");
    CWnd *parent = g_chart->GetParent();
    g_chart->DestroyWindow();
    g_chart->Create(u"", kChartStyle, kChartRect, parent, kChartId);
    g_chart->Draw(PointOnTheArrow().get(), 1033);
}

TEST_F(DataGraphTest, ACallbackMayEndOrRebuildTheChart)
{
    struct Case
    {
        const char *name;
        GraphPointPickedCallback onPoint;
        GraphArrowCallback onPrevious;
        CPoint where;
        std::vector<std::string> events;
        bool survives;
    };
    const Case cases[] = {
        {"a pick ends it",
         &EndTheChartAtPoint,
         &OnPrevious,
         CPoint(static_cast<int>(BarLeft(0, 0)) + 5, 144),
         {"end at 0"},
         false},
        {"an arrow ends it", &OnPoint, &EndTheChartFromArrow, kOnArrowAndPoint, {"end by arrow"}, false},
        {"a pick rebuilds it",
         &RebuildOnPoint,
         &OnPrevious,
         CPoint(static_cast<int>(BarLeft(0, 0)) + 5, 144),
         {"rebuild at 0"},
         true},
        {"an arrow rebuilds it", &OnPoint, &RebuildFromArrow, kOnArrowAndPoint, {"rebuild by arrow"}, true},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        delete g_chart;
        g_chart = chart = new CDataGraph(c.onPoint, c.onPrevious, &OnNext);
        ASSERT_TRUE(chart->Create(u"", kChartStyle, kChartRect, &host, kChartId));
        // The week's bars, whose previous arrow holds the press on the arrow.
        chart->Draw(WeekOfBars().get(), 1033);
        vxtest::ProcessEvents();
        g_events.clear();
        Press(c.where);
        EXPECT_EQ(g_events, c.events);
        EXPECT_EQ(g_chart != nullptr, c.survives);
        if (g_chart)
        {
            // The rebuilt chart works as any other.
            QTest::mouseRelease(g_chart->GetWidget(), Qt::LeftButton, {}, QPoint(c.where.x, c.where.y));
            vxtest::ProcessEvents();
            EXPECT_GT(g_chart->GetHitPointCount(), 0u);
        }
    }
    EXPECT_EQ(host.GetWidget()->findChildren<QWidget *>().size(), g_chart ? 1 : 0);
}
} // namespace
