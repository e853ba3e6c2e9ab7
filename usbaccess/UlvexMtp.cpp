#include "usbaccess/ulvex_api.h"

// MTP access is not available yet: every call reports failure and hands out no device.

extern "C" ULVEX_BOOL GetVersionStringbyMtpInfo(unsigned short, unsigned short, char *, char *, unsigned int,
                                                void **device)
{
    if (device != nullptr)
        *device = nullptr;
    return 0;
}

extern "C" int GetMtpDeviceInfo(char **, char **, char **, char **, unsigned int, int)
{
    return 0;
}

extern "C" ULVEX_BOOL SendMTPCmd(void *, unsigned short, const unsigned int *, unsigned int, unsigned int,
                                 unsigned int *, unsigned int *, unsigned char *, unsigned int *)
{
    return 0;
}
