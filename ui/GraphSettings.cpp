#include "ui/GraphSettings.h"

#include <initializer_list>

namespace
{
constexpr UINT kDistanceTitle = 175;
constexpr UINT kMilesUnit = 179;
constexpr UINT kHeartRateTitle = 183;
constexpr UINT kBeatsUnit = 184;
constexpr UINT kCaloriesTitle = 224;
constexpr UINT kCaloriesUnit = 227;

constexpr ARGB kOrange = 0xFFF0A46C;
constexpr ARGB kGreen = 0xFFABD32A;
constexpr ARGB kLineGreen = 0xFF9DCD17;
constexpr ARGB kTeal = 0xFF00889F;

struct SeriesLook
{
    ARGB color;
    float lineWidth;
    float pointSize;
};

CString Load(UINT id, WORD language)
{
    CString text;
    text.LoadString(nullptr, id, language);
    return text;
}

// The base record with its series replaced by `looks`, each of `points` empty points.
std::unique_ptr<GraphSettings> Build(WORD language, std::initializer_list<SeriesLook> looks,
                                     std::size_t points, int style)
{
    auto settings = GraphSettings::CreateDistance(language);
    settings->m_series.clear();
    for (const SeriesLook &look : looks)
    {
        GraphSeries series;
        series.m_points.resize(points);
        series.m_crColor = look.color;
        series.m_fLineWidth = look.lineWidth;
        series.m_fPointSize = look.pointSize;
        settings->m_series.push_back(std::move(series));
    }
    settings->m_nStyle = style;
    return settings;
}

void Titled(GraphSettings &settings, UINT title, UINT unit, WORD language)
{
    settings.m_strTitle = Load(title, language);
    settings.m_strUnit = Load(unit, language);
}

// Twelve months need smaller first labels and leave no second label to make room for.
void YearLabels(GraphSettings &settings)
{
    settings.m_nFirstLabelFontSize = 8;
    settings.m_nBottomBand = 30;
}
} // namespace

std::unique_ptr<GraphSettings> GraphSettings::CreateDistance(WORD language)
{
    auto settings = std::make_unique<GraphSettings>();
    Titled(*settings, kDistanceTitle, kMilesUnit, language);
    GraphSeries &series = settings->m_series.front();
    series.m_crColor = kOrange;
    series.m_fLineWidth = 10.0f;
    series.m_fPointSize = 3.5f;
    return settings;
}

std::unique_ptr<GraphSettings> GraphSettings::CreateTwoSeriesWeek(WORD language)
{
    return Build(language, {{kOrange, 10.0f, 0.0f}, {kGreen, 10.0f, 0.0f}}, 7, kBarStyle);
}

std::unique_ptr<GraphSettings> GraphSettings::CreateTwoSeriesMonth(WORD language)
{
    return Build(language, {{kOrange, 10.0f, 0.0f}, {kGreen, 10.0f, 0.0f}}, 6, kBarStyle);
}

std::unique_ptr<GraphSettings> GraphSettings::CreateTwoSeriesYear(WORD language)
{
    auto settings = Build(language, {{kOrange, 10.0f, 0.0f}, {kGreen, 10.0f, 0.0f}}, 12, kBarStyle);
    YearLabels(*settings);
    return settings;
}

std::unique_ptr<GraphSettings> GraphSettings::CreateHeartRate(WORD language)
{
    auto settings = Build(language, {{kOrange, 10.0f, 0.0f}}, 7, kBarStyle);
    Titled(*settings, kHeartRateTitle, kBeatsUnit, language);
    return settings;
}

std::unique_ptr<GraphSettings> GraphSettings::CreateCalories(WORD language)
{
    auto settings = Build(language, {{kTeal, 10.0f, 3.5f}}, 7, kBarStyle);
    Titled(*settings, kCaloriesTitle, kCaloriesUnit, language);
    return settings;
}

std::unique_ptr<GraphSettings> GraphSettings::CreateThreeSeriesWeek(WORD language)
{
    return Build(language, {{kOrange, 10.0f, 3.5f}, {kLineGreen, 10.0f, 3.5f}, {kTeal, 10.0f, 3.5f}}, 7,
                 kLineStyle);
}

std::unique_ptr<GraphSettings> GraphSettings::CreateThreeSeriesMonth(WORD language)
{
    return Build(language, {{kOrange, 10.0f, 3.5f}, {kLineGreen, 10.0f, 3.5f}, {kTeal, 10.0f, 3.5f}}, 6,
                 kLineStyle);
}

std::unique_ptr<GraphSettings> GraphSettings::CreateThreeSeriesYear(WORD language)
{
    auto settings = Build(language, {{kOrange, 10.0f, 3.5f}, {kLineGreen, 10.0f, 3.5f}, {kTeal, 10.0f, 3.5f}},
                          12, kLineStyle);
    YearLabels(*settings);
    return settings;
}

std::unique_ptr<GraphSettings> GraphSettings::CreateHeartRateStyle1(WORD language)
{
    auto settings = Build(language, {{kOrange, 10.0f, 3.5f}}, 7, kLineStyle);
    Titled(*settings, kHeartRateTitle, kBeatsUnit, language);
    return settings;
}

std::unique_ptr<GraphSettings> GraphSettings::CreateCaloriesStyle1(WORD language)
{
    auto settings = Build(language, {{kTeal, 10.0f, 3.5f}}, 7, kLineStyle);
    Titled(*settings, kCaloriesTitle, kCaloriesUnit, language);
    return settings;
}
