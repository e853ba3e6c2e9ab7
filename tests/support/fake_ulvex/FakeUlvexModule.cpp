// The module itself (see FakeUlvex.h). FAKE_ULVEX_PARTIAL leaves some exports out.
#include "tests/support/fake_ulvex/FakeUlvex.h"

#include "usbaccess/ulvex_api.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

#define FAKE_EXPORT extern "C"

using vxfake::FakeUlvexState;

namespace
{
FakeUlvexState g_state;

struct HandedOut
{
    int readEnd;
    int writeEnd;
};
std::vector<HandedOut> g_handles;

struct FakeDevice
{
    ULVEX_MTP_DEVICE base;
    unsigned long refs;
    bool live;
};

[[maybe_unused]] unsigned long DeviceAddRef(ULVEX_MTP_DEVICE *device)
{
    auto *fake = reinterpret_cast<FakeDevice *>(device);
    ++g_state.liveMtpDevices;
    return ++fake->refs;
}

[[maybe_unused]] unsigned long DeviceRelease(ULVEX_MTP_DEVICE *device)
{
    auto *fake = reinterpret_cast<FakeDevice *>(device);
    --g_state.liveMtpDevices;
    const unsigned long left = --fake->refs;
    if (left == 0)
        fake->live = false; // kept (not freed) so a use after release is seen, not a crash
    return left;
}

[[maybe_unused]] const ULVEX_MTP_DEVICE_VTBL kDeviceTable = {DeviceAddRef, DeviceRelease};
std::vector<FakeDevice *> g_devices;

bool HandleClosed(const HandedOut &h)
{
    pollfd p{h.readEnd, POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
}

int NewHandle()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return ULVEX_INVALID_HANDLE_VALUE;
    g_handles.push_back({fds[0], fds[1]});
    return fds[1];
}

[[maybe_unused]] bool HandleKnownAndOpen(int handle)
{
    for (const HandedOut &h : g_handles)
        if (h.writeEnd == handle && !HandleClosed(h))
            return true;
    return false;
}

void NoteIds(const char *vendorId, const char *productId)
{
    std::snprintf(g_state.lastVendorId, sizeof g_state.lastVendorId, "%s", vendorId ? vendorId : "(null)");
    std::snprintf(g_state.lastProductId, sizeof g_state.lastProductId, "%s",
                  productId ? productId : "(null)");
}

void CopyOut(char *out, unsigned capacity, const char *text)
{
    if (!out || capacity == 0)
        return;
    std::snprintf(out, capacity, "%s", text);
}
} // namespace

FAKE_EXPORT vxfake::FakeUlvexState *FakeUlvexGetState()
{
    return &g_state;
}

FAKE_EXPORT void FakeUlvexReset()
{
    for (const HandedOut &h : g_handles)
    {
        close(h.readEnd);
        // A handle the caller never closed is closed here, so one test's leak cannot close
        // a descriptor that another test's handle reuses.
        if (!HandleClosed(h))
            close(h.writeEnd);
    }
    g_handles.clear();
    for (FakeDevice *device : g_devices)
        delete device;
    g_devices.clear();
    g_state = FakeUlvexState{};
}

FAKE_EXPORT int FakeUlvexOpenHandles()
{
    int open = 0;
    for (const HandedOut &h : g_handles)
        open += HandleClosed(h) ? 0 : 1;
    return open;
}

FAKE_EXPORT ULVEX_BOOL IsUSBDevice(const char *vendorId, const char *productId)
{
    ++g_state.calls[vxfake::kIsUSBDevice];
    NoteIds(vendorId, productId);
    return g_state.usbOpens ? 1 : 0;
}

FAKE_EXPORT int GetMscDeviceInfo(int, char *, char **, char **, char **, char **, int)
{
    ++g_state.calls[vxfake::kGetMscDeviceInfo];
    return 0;
}

FAKE_EXPORT ULVEX_BOOL GetDriveLetterByVidPid(const char *vendorId, const char *productId, int driveType,
                                              char *driveLetter)
{
    ++g_state.calls[vxfake::kGetDriveLetterByVidPid];
    NoteIds(vendorId, productId);
    g_state.lastDriveType = driveType;
    if (!g_state.driveFound || !driveLetter)
        return 0;
    *driveLetter = g_state.driveLetter;
    return 1;
}

FAKE_EXPORT ULVEX_BOOL GetUSBDevicePath(const char *vendorId, const char *productId, char *path,
                                        unsigned int pathCapacity, char *parentId,
                                        unsigned int parentIdCapacity)
{
    ++g_state.calls[vxfake::kGetUSBDevicePath];
    NoteIds(vendorId, productId);
    g_state.lastPathCapacity = pathCapacity;
    g_state.lastParentIdCapacity = parentIdCapacity;
    if (!g_state.usbPathFound || !path)
        return 0;
    CopyOut(parentId, parentIdCapacity, "USB\\ROOT_HUB20\\1");
    // As the library does: cleared, then the path cut to the capacity less one.
    std::memset(path, 0, pathCapacity);
    std::strncpy(path, g_state.usbDevicePath, pathCapacity > 0 ? pathCapacity - 1 : 0);
    return 1;
}

FAKE_EXPORT ULVEX_HANDLE OpenHIDDevice(const char *vendorId, const char *productId)
{
    ++g_state.calls[vxfake::kOpenHIDDevice];
    NoteIds(vendorId, productId);
    return g_state.hidOpens ? NewHandle() : ULVEX_INVALID_HANDLE_VALUE;
}

FAKE_EXPORT ULVEX_HANDLE OpenSCSIDevice(const char *vendorId, const char *productId)
{
    ++g_state.calls[vxfake::kOpenSCSIDevice];
    NoteIds(vendorId, productId);
    return g_state.scsiOpens ? NewHandle() : ULVEX_INVALID_HANDLE_VALUE;
}

#if !defined(FAKE_ULVEX_PARTIAL)
FAKE_EXPORT ULVEX_HANDLE OpenUSBDevice(const char *vendorId, const char *productId)
{
    ++g_state.calls[vxfake::kOpenUSBDevice];
    NoteIds(vendorId, productId);
    return g_state.usbOpens ? NewHandle() : ULVEX_INVALID_HANDLE_VALUE;
}

FAKE_EXPORT ULVEX_BOOL GetVersionStringbyMtpInfo(unsigned short vendor, unsigned short product,
                                                 char *manufacturer, char *version,
                                                 unsigned int versionCapacity, ULVEX_MTP_DEVICE **device)
{
    ++g_state.calls[vxfake::kGetVersionStringbyMtpInfo];
    if (g_state.mtpLookupCount < 8)
        g_state.mtpLookups[g_state.mtpLookupCount++] = {vendor, product, versionCapacity, device != nullptr};
    if (device)
        *device = nullptr;
    if (!g_state.mtpFound || !version)
        return 0;
    CopyOut(manufacturer, ULVEX_MANUFACTURER_SIZE, "Tarvex");
    std::memset(version, 0, versionCapacity);
    std::strncpy(version, g_state.mtpVersion, versionCapacity > 0 ? versionCapacity - 1 : 0);
    if (device)
    {
        auto *fake = new FakeDevice{{&kDeviceTable}, 1, true};
        g_devices.push_back(fake);
        ++g_state.liveMtpDevices;
        *device = &fake->base;
    }
    return 1;
}

FAKE_EXPORT ULVEX_BOOL SendMTPCmd(ULVEX_MTP_DEVICE *device, unsigned short operationCode,
                                  const unsigned int *, unsigned int paramCount, unsigned int nextPhase,
                                  unsigned int *returnParams, unsigned int *returnCount, unsigned char *data,
                                  unsigned int *dataLength)
{
    ++g_state.calls[vxfake::kSendMTPCmd];
    bool live = false;
    for (FakeDevice *fake : g_devices)
        live = live || (&fake->base == device && fake->live);
    if (g_state.mtpCallCount < 8)
    {
        vxfake::FakeMtpCall &call = g_state.mtpCalls[g_state.mtpCallCount++];
        call = {};
        call.op = operationCode;
        call.paramCount = paramCount;
        call.phase = nextPhase;
        call.deviceLive = live;
        call.dataGiven = data != nullptr;
        call.dataLengthGiven = dataLength != nullptr;
        call.dataLength = dataLength ? *dataLength : 0;
        if (data && dataLength && nextPhase == ULVEX_MTP_PHASE_WRITE)
            std::memcpy(call.data, data, *dataLength < sizeof call.data ? *dataLength : sizeof call.data);
    }
    if (!live || !returnParams || !returnCount)
        return 0;
    for (std::uint16_t refused : g_state.refusedMtpOps)
        if (refused != 0 && refused == operationCode)
            return 0;
    *returnCount = 0;
    return 1;
}

FAKE_EXPORT ULVEX_BOOL SendSCSICmd(ULVEX_HANDLE device, const unsigned char *cdb, unsigned char cdbLength,
                                   const unsigned char *writeData, unsigned int writeLength,
                                   ULVEX_BOOL isWrite, unsigned char *readBuffer, unsigned int readLength)
{
    ++g_state.calls[vxfake::kSendSCSICmd];
    if (g_state.scsiCallCount < 4)
    {
        vxfake::FakeScsiCall &call = g_state.scsiCalls[g_state.scsiCallCount++];
        call = {};
        call.handleKnown = HandleKnownAndOpen(device);
        call.cdbLength = cdbLength;
        if (cdb)
            std::memcpy(call.cdb, cdb, cdbLength <= 16 ? cdbLength : 16);
        call.writeDataGiven = writeData != nullptr;
        call.writeLength = writeLength;
        call.isWrite = isWrite;
        call.readBufferGiven = readBuffer != nullptr;
        call.readLength = readLength;
    }
    if (!g_state.scsiSucceeds)
        return 0;
    if (readBuffer)
        std::memcpy(readBuffer, g_state.scsiAnswer, readLength < 2 ? readLength : 2);
    return 1;
}
#endif
