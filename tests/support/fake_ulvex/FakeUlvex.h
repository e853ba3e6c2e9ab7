#pragma once

// A stand-in for the Ulvex library, built as loadable modules for the binding tests: it
// answers the ten functions the program binds from a script and records how it was called.
// The test loads the same module file as the program's wrapper, so both see one state.
//
// Handles are the write ends of pipes the module keeps the read ends of, so it can tell
// which handles the caller has closed. MTP device references are counted objects.

#include <cstddef>
#include <cstdint>

namespace vxfake
{
// The functions the full module exports, in the wrapper's order. The partial module leaves out
// the ones marked below.
enum FakeUlvexFunction
{
    kIsUSBDevice,
    kGetMscDeviceInfo,
    kOpenUSBDevice, // not in the partial module
    kGetDriveLetterByVidPid,
    kGetUSBDevicePath,
    kGetVersionStringbyMtpInfo, // not in the partial module
    kOpenHIDDevice,
    kSendMTPCmd,  // not in the partial module
    kSendSCSICmd, // not in the partial module
    kOpenSCSIDevice,
    kFunctionCount
};

struct FakeMtpCall
{
    std::uint16_t op;
    unsigned paramCount;
    unsigned phase;
    bool deviceLive; // the reference passed was one handed out and not yet released
    bool dataGiven;
    bool dataLengthGiven;
    unsigned dataLength; // *dataLength as passed
    std::uint8_t data[64];
};

struct FakeScsiCall
{
    bool handleKnown; // a handle the module handed out and that is still open
    std::uint8_t cdb[16];
    unsigned cdbLength;
    bool writeDataGiven;
    unsigned writeLength;
    int isWrite;
    bool readBufferGiven;
    unsigned readLength;
};

struct FakeMtpLookup
{
    std::uint16_t vendor;
    std::uint16_t product;
    unsigned versionCapacity;
    bool deviceWanted;
};

struct FakeUlvexState
{
    // --- script ---
    bool usbOpens;     // OpenUSBDevice gives a handle
    bool hidOpens;     // OpenHIDDevice gives a handle
    bool scsiOpens;    // OpenSCSIDevice gives a handle
    bool usbPathFound; // GetUSBDevicePath succeeds with usbDevicePath
    char usbDevicePath[400];
    bool driveFound; // GetDriveLetterByVidPid succeeds with driveLetter
    char driveLetter;
    bool mtpFound; // GetVersionStringbyMtpInfo succeeds with mtpVersion
    char mtpVersion[300];
    std::uint16_t refusedMtpOps[4]; // SendMTPCmd answers these with a failure (0 ends the list)
    bool scsiSucceeds;              // SendSCSICmd's result
    std::uint8_t scsiAnswer[2];

    // --- records ---
    int calls[kFunctionCount];
    char lastVendorId[8]; // the ID texts of the last call that took them
    char lastProductId[8];
    int lastDriveType;
    unsigned lastPathCapacity;
    unsigned lastParentIdCapacity;
    FakeMtpLookup mtpLookups[8];
    int mtpLookupCount;
    FakeMtpCall mtpCalls[8];
    int mtpCallCount;
    FakeScsiCall scsiCalls[4];
    int scsiCallCount;
    int liveMtpDevices; // references handed out and not released
};
} // namespace vxfake

// Exported by both modules besides the Ulvex names.
extern "C"
{
    // The module's state; reset to "nothing found, nothing recorded" by FakeUlvexReset.
    vxfake::FakeUlvexState *FakeUlvexGetState();
    void FakeUlvexReset();
    // Handles handed out that the caller has not closed yet.
    int FakeUlvexOpenHandles();
}
