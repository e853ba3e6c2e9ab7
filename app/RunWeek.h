#pragma once

// The Monday-Sunday weeks of the My Runs page. The run graph's week points and the detail
// panel's week both come from here, so a label, a title and the sums read for them always
// name the same seven days and the same number.

#include <cstdint>

#include "store/DateParts.h"

struct RunWeek
{
    DateParts monday{};
    DateParts sunday{};
    // The store's week 1-52 (KvtDatabase::GetWeekRange) of whichever year holds the Monday, or
    // 53 for the week some years have between their week 52 and the next year's week 1 (the
    // store's count of that year carried on); 0 when the store cannot place the week.
    int number = 0;
};

// The week of a local calendar day (days since 1970-01-01); a Sunday belongs to the week that
// ends on it. Its sums are read with KvtDatabase::GetRangeStats(&monday, 7).
RunWeek RunWeekOfDay(int64_t day);
