#pragma once

// The time fields every clock command of the monitor sends. They sit below the commands (the
// HID session, the Ulvex binding's MTP and SCSI commands, and the clock command that picks one
// of them), so that those depend on this and never on each other for it.

namespace vxsys
{
struct LocalFields;
}

// The computer's local time as every clock command hands it to the monitor: now from the one
// replaceable clock, broken into local fields, a leap second (60) given as 59 since the monitor
// knows no such second. False when the time cannot be broken down.
bool MonitorClockNow(vxsys::LocalFields &fields);
