#include "device/MonitorClockTime.h"

#include "platform/sys/LocalTime.h"

#include <algorithm>

bool MonitorClockNow(vxsys::LocalFields &fields)
{
    if (!vxsys::LocalFieldsFromTime(vxsys::CurrentTime(), &fields))
        return false;
    fields.second = std::min(fields.second, 59);
    return true;
}
