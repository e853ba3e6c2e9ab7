#include "usbaccess/ulvex_api.h"

// Storage and SCSI access is not available yet: every call reports failure.

extern "C" ULVEX_BOOL GetDeviceGeneralInfoByVidPid(const char *, const char *, int, char *, unsigned int,
                                                   char *, char *, char *)
{
    return 0;
}

extern "C" ULVEX_BOOL GetDeviceGeneralInfoByDriveLetter(char, char *, char *, int, char *, unsigned int,
                                                        char *, char *)
{
    return 0;
}

extern "C" ULVEX_BOOL GetSCSIDevicePath(const char *, const char *, int, char *, unsigned int)
{
    return 0;
}

extern "C" ULVEX_BOOL GetDriveLetterByDeviceNumber(unsigned int, char *)
{
    return 0;
}

extern "C" ULVEX_BOOL GetDriveLetterByVidPid(const char *, const char *, int, char *)
{
    return 0;
}

extern "C" ULVEX_BOOL GetVidPidByDriveLetter(int, char, char *, char *)
{
    return 0;
}

extern "C" ULVEX_BOOL GetVendorProductStringbyDriveLetter(char, char *, char *)
{
    return 0;
}

extern "C" ULVEX_BOOL GetVendorProductStringbyVidPid(const char *, const char *, char *, char *)
{
    return 0;
}

extern "C" int GetMscDeviceInfo(int, char *, char **, char **, char **, char **, int)
{
    return 0;
}

extern "C" ULVEX_HANDLE OpenSCSIDevice(const char *, const char *)
{
    return ULVEX_INVALID_HANDLE_VALUE;
}

extern "C" ULVEX_BOOL IsSCSIDevice(const char *, const char *)
{
    return 0;
}

extern "C" SPT_WITH_BUFFERS *AllocateSPT(unsigned char, ULVEX_BOOL, unsigned int)
{
    return nullptr;
}

extern "C" ULVEX_BOOL SendSCSICmd(ULVEX_HANDLE, const unsigned char *, unsigned char, const unsigned char *,
                                  unsigned int, ULVEX_BOOL, unsigned char *, unsigned int)
{
    return 0;
}
