#pragma once

#include <memory>
#include <vector>

#include "platform/win/Afx.h"

// One point of a chart series: its value in the chart's unit and the two labels under it.
// The chart shows the labels of series 0 for every series.
struct GraphPoint
{
    float m_fValue = 0.0f;
    CString m_strFirstLabel;
    CString m_strSecondLabel;
};

// One series: its points, its colour, the pen width of a line series and the width of a bar.
struct GraphSeries
{
    std::vector<GraphPoint> m_points;
    ARGB m_crColor = 0xFF000000;
    float m_fPointSize = 0.0f;
    float m_fLineWidth = 0.0f;
};

// Everything a chart shows: texts, fonts, colours, margins, series and the shaded zone.
// A preset gives the frame of one kind of chart; the owner fills in values and labels and
// hands the record to CDataGraph::Draw.
class GraphSettings
{
  public:
    // The chart holds at most this many series and points per series; more are not drawn.
    static constexpr unsigned kMaxSeries = 10;
    static constexpr unsigned kMaxPoints = 20;

    static constexpr int kBarStyle = 0;
    static constexpr int kLineStyle = 1;

    // The base: "Distance" in "miles", one empty bar series, texts in the given language.
    static std::unique_ptr<GraphSettings> CreateDistance(WORD language);
    static std::unique_ptr<GraphSettings> CreateTwoSeriesWeek(WORD language);
    static std::unique_ptr<GraphSettings> CreateTwoSeriesMonth(WORD language);
    static std::unique_ptr<GraphSettings> CreateTwoSeriesYear(WORD language);
    static std::unique_ptr<GraphSettings> CreateHeartRate(WORD language);
    static std::unique_ptr<GraphSettings> CreateCalories(WORD language);
    static std::unique_ptr<GraphSettings> CreateThreeSeriesWeek(WORD language);
    static std::unique_ptr<GraphSettings> CreateThreeSeriesMonth(WORD language);
    static std::unique_ptr<GraphSettings> CreateThreeSeriesYear(WORD language);
    static std::unique_ptr<GraphSettings> CreateHeartRateStyle1(WORD language);
    static std::unique_ptr<GraphSettings> CreateCaloriesStyle1(WORD language);

    // The title runs up the left edge, in the title column.
    CString m_strTitle;
    int m_nLeftMargin = 30;
    CString m_strTitleFont = u"Arial";
    int m_nTitleFontSize = 12;   // points, bold
    ARGB m_crTitle = 0xFF72706F; // also the value labels
    // Appended to every value label.
    CString m_strUnit;
    int m_nValueLabelWidth = 50;
    CString m_strUnitFont = u"Arial"; // value labels and zone caption
    int m_nUnitFontSize = 8;
    ARGB m_crGrid = 0xFFC2C1C1;
    // Pixels under the plot for the point labels and the arrows.
    int m_nBottomBand = 45;
    CString m_strFirstLabelFont = u"Arial";
    int m_nFirstLabelFontSize = 12;
    ARGB m_crFirstLabel = 0xFF72706F;
    CString m_strSecondLabelFont = u"Arial";
    int m_nSecondLabelFontSize = 10;
    ARGB m_crSecondLabel = 0xFF72706F;
    // From the left margin to the first point's slot, and right of the last slot.
    int m_nPlotStart = 40;
    int m_nRightMargin = 30;
    std::vector<GraphSeries> m_series = std::vector<GraphSeries>(1);
    int m_nStyle = kBarStyle;
    BOOL m_bZone = FALSE;
    CString m_strZoneCaption;
    float m_fZoneUpper = 0.0f;
    float m_fZoneLower = 0.0f;
};
