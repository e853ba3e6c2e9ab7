#pragma once

#include <memory>

#include "ui/GraphSettings.h"
#include "ui/UIFactory.h"

// What the chart calls when a point is clicked: the chart's control id and the point's index.
using GraphPointPickedCallback = void (*)(UINT id, int point);
// What the chart calls when one of its arrows is clicked: the chart's control id.
using GraphArrowCallback = void (*)(UINT id);

// The bar or line chart of the My Runs page: an upright title, a value scale rounded to 1, 2
// or 5 times a power of ten, grid lines, two labels under each point, an optional shaded zone,
// and two arrows in the bottom band that page the period back and forth. Draw paints a
// GraphSettings record into a back buffer; the paint copies the buffer with white keyed out,
// so the page shows through wherever the chart draws nothing.
//
// A press on a point or an arrow calls the owner. The owner may rebuild or delete the chart
// from there; after such a call the chart goes on with the press only while it still lives
// in the same window.
class CDataGraph : public CStatic, public UIFactory
{
  public:
    static constexpr UINT kPreviousArrow = 147;
    static constexpr UINT kNextArrow = 148;
    static constexpr ARGB kSelectionMark = 0xFF75C4F0;
    static constexpr ARGB kZoneColor = 0xFFCCCCCC;

    CDataGraph(GraphPointPickedCallback onPoint, GraphArrowCallback onPrevious, GraphArrowCallback onNext);
    ~CDataGraph() override;

    // Keeps the size, starts a blank back buffer of it and forgets every hit rectangle, then
    // makes the window.
    BOOL Create(LPCWSTR text, DWORD style, const RECT &rect, CWnd *parent, UINT id = 0xFFFF) override;
    // Paints `settings` (the caller keeps it) into the back buffer in `language` and
    // invalidates the window. A null record draws an empty chart.
    void Draw(const GraphSettings *settings, WORD language);
    // The chart paints in its own paint handler.
    void Draw(CDC *dc) override;

    int GetSelectedPoint() const { return m_nSelectedPoint; }
    void SetSelectedPoint(int point) { m_nSelectedPoint = point; }
    // The selected point before the last click on a point.
    int GetPrevSelectedPoint() const { return m_nPrevSelectedPoint; }

    // What the last Draw laid out: the points and series that can be hit, their rectangles,
    // the arrows', the scale's top and the four value labels (from the top down).
    UINT GetHitPointCount() const { return m_nHitPoints; }
    UINT GetHitSeriesCount() const { return m_nHitSeries; }
    Gdiplus::RectF GetPointRect(UINT point, UINT series) const;
    Gdiplus::RectF GetPreviousArrowRect() const { return m_rcPrevious; }
    Gdiplus::RectF GetNextArrowRect() const { return m_rcNext; }
    double GetScaleTop() const { return m_dScaleTop; }
    CString GetValueLabel(int k) const;
    // A copy of the last record drawn (a default record before the first Draw).
    const GraphSettings &GetLastSettings() const { return m_lastSettings; }
    // The back buffer (null before Create).
    const Gdiplus::Bitmap *GetBackBuffer() const { return m_pBuffer.get(); }

    // The top of the value scale for the largest value shown.
    static double ScaleTop(double largest);

  protected:
    void OnPaint() override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    using CWnd::Create;

  private:
    void ClearHits();
    void DrawTitle(Gdiplus::Graphics &g, const GraphSettings &s, WORD language);
    void DrawArrows(Gdiplus::Graphics &g, const GraphSettings &s);
    void DrawPointLabels(Gdiplus::Graphics &g, const GraphSettings &s, float slot);
    void DrawSeries(Gdiplus::Graphics &g, const GraphSettings &s, float slot);
    // Formats the four value labels of the current scale and sizes their boxes; returns the widest.
    float LayOutValueLabels(Gdiplus::Graphics &g, const GraphSettings &s);
    void DrawValueLabels(Gdiplus::Graphics &g, const GraphSettings &s);
    // The height above the bottom band.
    float PlotHeight(const GraphSettings &s) const;
    // The y of a value on the present scale.
    float ValueY(float value) const;
    // FALSE when the call that was just made ended this chart or its window.
    static bool StillHere(const std::weak_ptr<int> &life, const CDataGraph *self, HWND window);

    ARGB m_crBackground = 0xFFFFFFFF;
    Gdiplus::ImageAttributes m_ImageAttributes;
    GraphPointPickedCallback m_pfnPoint;
    GraphArrowCallback m_pfnPrevious;
    GraphArrowCallback m_pfnNext;
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::unique_ptr<Gdiplus::Bitmap> m_pBuffer;
    Gdiplus::RectF m_rcPoints[GraphSettings::kMaxPoints][GraphSettings::kMaxSeries];
    Gdiplus::RectF m_rcPrevious;
    Gdiplus::RectF m_rcNext;
    UINT m_nHitPoints = 0;
    UINT m_nHitSeries = 0;
    int m_nSelectedPoint = -1;
    int m_nPrevSelectedPoint = -1;

    double m_dScaleTop = 1.0;
    float m_fPixelsPerUnit = 0.0f;
    CString m_strValueLabels[4];
    float m_fValueLabelWidths[4] = {};
    GraphSettings m_lastSettings;
};
