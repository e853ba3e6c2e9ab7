#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "resources/Resources.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/GraphSettings.h"

namespace
{
using Factory = std::unique_ptr<GraphSettings> (*)(WORD);

struct Look
{
    ARGB color;
    float lineWidth;
    float pointSize;
};

struct PresetCase
{
    const char *name;
    Factory make;
    unsigned title, unit;
    std::size_t points;
    int style;
    std::vector<Look> series;
    int firstLabelSize, bottomBand;
};

constexpr ARGB kOrange = 0xFFF0A46C;
constexpr ARGB kGreen = 0xFFABD32A;
constexpr ARGB kLineGreen = 0xFF9DCD17;
constexpr ARGB kTeal = 0xFF00889F;

const PresetCase kPresets[] = {
    {"distance", &GraphSettings::CreateDistance, 175, 179, 0, 0, {{kOrange, 10.0f, 3.5f}}, 12, 45},
    {"two-series week",
     &GraphSettings::CreateTwoSeriesWeek,
     175,
     179,
     7,
     0,
     {{kOrange, 10.0f, 0.0f}, {kGreen, 10.0f, 0.0f}},
     12,
     45},
    {"two-series month",
     &GraphSettings::CreateTwoSeriesMonth,
     175,
     179,
     6,
     0,
     {{kOrange, 10.0f, 0.0f}, {kGreen, 10.0f, 0.0f}},
     12,
     45},
    {"two-series year",
     &GraphSettings::CreateTwoSeriesYear,
     175,
     179,
     12,
     0,
     {{kOrange, 10.0f, 0.0f}, {kGreen, 10.0f, 0.0f}},
     8,
     30},
    {"heart rate", &GraphSettings::CreateHeartRate, 183, 184, 7, 0, {{kOrange, 10.0f, 0.0f}}, 12, 45},
    {"calories", &GraphSettings::CreateCalories, 224, 227, 7, 0, {{kTeal, 10.0f, 3.5f}}, 12, 45},
    {"three-series week",
     &GraphSettings::CreateThreeSeriesWeek,
     175,
     179,
     7,
     1,
     {{kOrange, 10.0f, 3.5f}, {kLineGreen, 10.0f, 3.5f}, {kTeal, 10.0f, 3.5f}},
     12,
     45},
    {"three-series month",
     &GraphSettings::CreateThreeSeriesMonth,
     175,
     179,
     6,
     1,
     {{kOrange, 10.0f, 3.5f}, {kLineGreen, 10.0f, 3.5f}, {kTeal, 10.0f, 3.5f}},
     12,
     45},
    {"three-series year",
     &GraphSettings::CreateThreeSeriesYear,
     175,
     179,
     12,
     1,
     {{kOrange, 10.0f, 3.5f}, {kLineGreen, 10.0f, 3.5f}, {kTeal, 10.0f, 3.5f}},
     8,
     30},
    {"heart rate lines",
     &GraphSettings::CreateHeartRateStyle1,
     183,
     184,
     7,
     1,
     {{kOrange, 10.0f, 3.5f}},
     12,
     45},
    {"calories lines", &GraphSettings::CreateCaloriesStyle1, 224, 227, 7, 1, {{kTeal, 10.0f, 3.5f}}, 12, 45},
};

std::u16string Text(unsigned id, WORD language)
{
    std::u16string out;
    EXPECT_TRUE(vxres::LookupString(id, language, out)) << id << " in " << language;
    return out;
}

TEST(GraphSettings, PresetsInEveryLanguage)
{
    uitest::ProgramStrings strings;
    for (const PresetCase &c : kPresets)
    {
        for (WORD language : {WORD{1033}, WORD{1031}, WORD{1028}, WORD{2052}})
        {
            SCOPED_TRACE(std::string(c.name) + " in " + std::to_string(language));
            const std::unique_ptr<GraphSettings> s = c.make(language);
            ASSERT_NE(s, nullptr);
            EXPECT_FALSE(s->m_strTitle.IsEmpty());
            EXPECT_FALSE(s->m_strUnit.IsEmpty());
            EXPECT_EQ(s->m_strTitle.str(), Text(c.title, language));
            EXPECT_EQ(s->m_strUnit.str(), Text(c.unit, language));
            EXPECT_EQ(s->m_nStyle, c.style);
            EXPECT_EQ(s->m_nFirstLabelFontSize, c.firstLabelSize);
            EXPECT_EQ(s->m_nBottomBand, c.bottomBand);
            ASSERT_EQ(s->m_series.size(), c.series.size());
            for (std::size_t k = 0; k < c.series.size(); ++k)
            {
                const GraphSeries &series = s->m_series[k];
                EXPECT_EQ(series.m_crColor, c.series[k].color) << "series " << k;
                EXPECT_EQ(series.m_fLineWidth, c.series[k].lineWidth) << "series " << k;
                EXPECT_EQ(series.m_fPointSize, c.series[k].pointSize) << "series " << k;
                ASSERT_EQ(series.m_points.size(), c.points) << "series " << k;
                for (const GraphPoint &p : series.m_points)
                {
                    EXPECT_EQ(p.m_fValue, 0.0f);
                    EXPECT_TRUE(p.m_strFirstLabel.IsEmpty());
                    EXPECT_TRUE(p.m_strSecondLabel.IsEmpty());
                }
            }
            // Everything else is the base record's.
            EXPECT_EQ(s->m_nLeftMargin, 30);
            EXPECT_EQ(s->m_strTitleFont, u"Arial");
            EXPECT_EQ(s->m_nTitleFontSize, 12);
            EXPECT_EQ(s->m_crTitle, 0xFF72706Fu);
            EXPECT_EQ(s->m_nValueLabelWidth, 50);
            EXPECT_EQ(s->m_strUnitFont, u"Arial");
            EXPECT_EQ(s->m_nUnitFontSize, 8);
            EXPECT_EQ(s->m_crGrid, 0xFFC2C1C1u);
            EXPECT_EQ(s->m_strFirstLabelFont, u"Arial");
            EXPECT_EQ(s->m_crFirstLabel, 0xFF72706Fu);
            EXPECT_EQ(s->m_strSecondLabelFont, u"Arial");
            EXPECT_EQ(s->m_nSecondLabelFontSize, 10);
            EXPECT_EQ(s->m_crSecondLabel, 0xFF72706Fu);
            EXPECT_EQ(s->m_nPlotStart, 40);
            EXPECT_EQ(s->m_nRightMargin, 30);
            EXPECT_FALSE(s->m_bZone);
            EXPECT_TRUE(s->m_strZoneCaption.IsEmpty());
            EXPECT_EQ(s->m_fZoneUpper, 0.0f);
            EXPECT_EQ(s->m_fZoneLower, 0.0f);
        }
    }
}

TEST(GraphSettings, ANewSeriesIsBlackAndEmpty)
{
    const GraphSeries series;
    EXPECT_EQ(series.m_crColor, 0xFF000000u);
    EXPECT_EQ(series.m_fPointSize, 0.0f);
    EXPECT_EQ(series.m_fLineWidth, 0.0f);
    EXPECT_TRUE(series.m_points.empty());
}

TEST(GraphSettings, ALanguageWithoutTheTextsLeavesThemEmpty)
{
    uitest::ProgramStrings strings;
    const auto s = GraphSettings::CreateHeartRate(1036);
    EXPECT_TRUE(s->m_strTitle.IsEmpty());
    EXPECT_TRUE(s->m_strUnit.IsEmpty());
    EXPECT_EQ(s->m_series.size(), 1u);
}
} // namespace
