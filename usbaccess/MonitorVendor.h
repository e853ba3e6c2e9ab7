#pragma once

// The USB vendor ID of the monitor, the one place it is written. The udev rule that gives
// the logged-in user access to the monitor's nodes is generated from this line.
#define VORMATIK_MONITOR_VENDOR_ID 0x3A7E
