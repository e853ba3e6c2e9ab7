#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ui/UIFactory.h"

// What the calendar calls when the picked date changes: the calendar's control id and the new
// date (seconds since 1970, read in local time).
using CalendarDatePickedCallback = void (*)(int controlId, int64_t date);

namespace vxui
{
// The month caption of the calendar: the language's pattern (string 586) with %Y the year, %b the
// month's short name and %m the month's number without a leading zero.
std::u16string CalendarCaption(WORD language, int year, int month);
} // namespace vxui

// The month calendar of the My Runs page: a top bar with the step arrows and "Today", a row of
// weekday names over six rows of day cells, and a bottom bar with the month arrows and the month
// on show. Everything is drawn into a back buffer at each redraw; a paint only copies it.
//
// Dates are instants (seconds since 1970) read and built in local time. Steps move the picked date
// by calendar days and keep its time of day, so a daylight-saving change never skips or repeats a
// day. Every date the control builds lies between 1970-03 and 2037-12.
class CCalendar : public CStatic, public UIFactory
{
  public:
    static constexpr int kTopBar = 27;
    static constexpr int kBottomBar = 27;

    explicit CCalendar(WORD language);
    ~CCalendar() override;

    void Draw(CDC *) override {}

    BOOL Create(LPCWSTR text, DWORD style, const RECT &rect, CWnd *parent, UINT id = 0xFFFF) override;

    // Null: changes are not reported.
    void SetDateCallback(CalendarDatePickedCallback callback) { m_pfnDatePicked = callback; }
    // 0 day mode, 1 week mode; redraws.
    void SetViewMode(int mode);
    int GetViewMode() const { return m_nViewMode; }
    void Redraw();
    // Move the picked date by one day (or one week in week mode) and show its month; the callback
    // hears of it as the last thing done. A step beyond the limits changes nothing.
    void StepBack();
    void StepForward();
    // The cell of a date's day in the grid of its month.
    Gdiplus::RectF GetDayCellRect(int64_t date) const;
    // The short name of month 1-12 in the control's language; empty for any other number.
    std::u16string GetMonthName(int month) const;

    // The cell of day 1-31 of the month on show as last drawn (empty when the month lacks it).
    Gdiplus::RectF GetDayCell(int day) const;
    Gdiplus::RectF GetStepBackArea() const { return m_rcStepBack; }
    Gdiplus::RectF GetStepForwardArea() const { return m_rcStepForward; }
    Gdiplus::RectF GetPrevMonthArea() const { return m_rcPrevMonth; }
    Gdiplus::RectF GetNextMonthArea() const { return m_rcNextMonth; }
    Gdiplus::RectF GetTodayArea() const { return m_rcToday; }
    const std::u16string &GetMonthCaption() const { return m_strMonthCaption; }
    const Gdiplus::Bitmap *GetBackBuffer() const { return m_pBackBuffer.get(); }
    int GetDrawWidth() const { return m_nWidth; }
    int GetDrawHeight() const { return m_nHeight; }

    // The picked day, and any instant in the month on show; the owner may set both and redraw.
    int64_t m_tSelected = 0;
    int64_t m_tShown = 0;

  protected:
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC *dc) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonDblClk(UINT flags, CPoint point) override;
    using CWnd::Create;

  private:
    // The click's action; true when the picked date changed and the callback is due.
    bool Click(CPoint point);
    // Moves the picked date by `days` calendar days when the result stays within the limits.
    bool Step(int days);
    // Calls the callback, if any, with the picked date; nothing of the control is used after it.
    void NotifyPicked();
    float CellHeight() const;
    void DrawDayNumber(Gdiplus::Graphics &g, int day, const Gdiplus::RectF &cell) const;

    std::unique_ptr<Gdiplus::Bitmap> m_pBackBuffer;
    int m_nViewMode = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nFullWidth = 0;
    int m_nFullHeight = 0;
    WORD m_wLanguage;
    std::u16string m_strWeekdays[7];
    std::u16string m_strToday;
    std::u16string m_strMonths[12];
    std::u16string m_strMonthCaption;
    float m_fTodayFontSize;
    CalendarDatePickedCallback m_pfnDatePicked = nullptr;
    Gdiplus::RectF m_rcDays[31];
    Gdiplus::RectF m_rcStepBack;
    Gdiplus::RectF m_rcStepForward;
    Gdiplus::RectF m_rcPrevMonth;
    Gdiplus::RectF m_rcNextMonth;
    Gdiplus::RectF m_rcToday;
};
