#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ui/UIListBox.h"

// The texts of a goal box, built from the item and the language's string table alone, so they can
// be checked without drawing.
namespace vxui
{
// A date pattern with its placeholders filled by name: %Y the year, %m and %d two-digit month and
// day, %b the month's short name (given), %% a percent sign. Anything else stands as it is, so each
// language may order day, month and year as its readers expect. Without `twoDigits` the month
// and day are written without a leading zero (the calendar's month caption).
std::u16string FillDatePattern(std::u16string_view pattern, uint32_t packedDate,
                               std::u16string_view monthName, bool twoDigits = true);

// A packed date in the language's date pattern (string 587), with the month names of the table.
std::u16string FormatPackedDate(uint32_t packedDate, WORD language);

// What the goal asks for, over which period, from which day: "5.0 km 10 days\nStart from 03/01/2009".
std::u16string GoalDescriptionText(const UIListBox::CListBoxItem &item, WORD language);
// The same as the list draws it in its narrow column: each figure joined to its unit by a no-break
// space, so a line breaks between "5.0 km" and "10 days", never between "10" and "days".
std::u16string GoalDescriptionToDraw(const UIListBox::CListBoxItem &item, WORD language);

// How much is still to go ("3hours to go", "less than 1hours to go"); empty for a reached goal.
std::u16string GoalToGoText(const UIListBox::CListBoxItem &item, WORD language);

// When a reached goal was reached: "on" and the last day of its period (the day before its end
// date). Only "on" when that day cannot be formed.
std::u16string GoalReachedText(const UIListBox::CListBoxItem &item, WORD language);

// A status text of more than 16 characters broken into two lines at a space: the last space that
// keeps the first line within 16 characters, else the first space. Texts without a space stay whole.
std::u16string BreakStatusText(std::u16string_view text);
} // namespace vxui
