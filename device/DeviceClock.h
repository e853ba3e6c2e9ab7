#pragma once

class UlvexDevice;
class DeviceCommandSession;

// Sets the monitor's clock to the computer's local time over the transport of the device
// type the wrapper detected: the HID command for HID, the MTP pair (the clock only after the
// preparing operation succeeded) for MTP, the SCSI command for mass storage; nothing for no
// type. True when the clock was set. The device mutex is held throughout, so the MTP pair is
// not split by another device operation.
bool SetDeviceClock(UlvexDevice &device, DeviceCommandSession &session);
