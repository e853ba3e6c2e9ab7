#pragma once

// The functions of the Ulvex library (libulvex.so), shared by the library and the program
// that loads it by file name. Every function is stateless: buffers and handles belong to
// the caller.
//
// - A handle is a file descriptor (ULVEX_HANDLE), closed by the caller with close();
//   ULVEX_INVALID_HANDLE_VALUE (-1) marks failure.
// - ULVEX_BOOL results are 1 for success and 0 for failure.
// - Vendor and product IDs are narrow text of four hexadecimal digits (any case) and a
//   terminating zero, or 16-bit numbers where a parameter says so.
// - Narrow text is single-byte Latin-1; UTF-16 outputs are char16_t.
// - An output with a capacity receives at most capacity - 1 characters and a terminator;
//   a null output is skipped (or fails the call where the output is the call's purpose).
//
// A C header (C11 or later), so that C programs can load the library too.

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h> // char16_t, the type C++ has built in
#endif

#if defined(ULVEX_BUILDING)
#define ULVEX_API __attribute__((visibility("default")))
#else
#define ULVEX_API
#endif

typedef int ULVEX_HANDLE;
typedef int ULVEX_BOOL;
#define ULVEX_INVALID_HANDLE_VALUE (-1)

// Fixed output sizes of the functions that take no capacity (terminator included).
#define ULVEX_ID_TEXT_SIZE 5    // "1234" and a zero
#define ULVEX_NAME_TEXT_SIZE 64 // vendor and product names taken from a device path
#define ULVEX_SERIAL_SIZE 256   // serial part of an instance ID or device path
#define ULVEX_MANUFACTURER_SIZE 128

// Drive types taken by the storage functions.
#define ULVEX_DRIVE_REMOVABLE 2
#define ULVEX_DRIVE_FIXED 3
#define ULVEX_DRIVE_CDROM 5

// The pass-through request block of one SCSI command: a fixed header of 70 bytes with
// 32-bit fields at fixed offsets (no pointers), followed by the data buffer. AllocateSPT
// gives a zeroed block of data length + 71 bytes.
#pragma pack(push, 1)
typedef struct ULVEX_SCSI_PASS_THROUGH
{
    uint16_t Length;             // 0: 44
    uint8_t ScsiStatus;          // 2: the target's status byte, out
    uint8_t PathId;              // 3: 0
    uint8_t TargetId;            // 4: 0
    uint8_t Lun;                 // 5: 0
    uint8_t CdbLength;           // 6
    uint8_t SenseInfoLength;     // 7: 18
    uint8_t DataIn;              // 8: 1 data from the device, 0 data to the device
    uint8_t Reserved[3];         // 9
    uint32_t DataTransferLength; // 12
    uint32_t TimeOutValue;       // 16: seconds, 120
    uint32_t DataBufferOffset;   // 20: 70
    uint32_t SenseInfoOffset;    // 24: 52
    uint8_t Cdb[16];             // 28
} ULVEX_SCSI_PASS_THROUGH;

typedef struct SPT_WITH_BUFFERS
{
    ULVEX_SCSI_PASS_THROUGH Spt; // 0
    uint32_t BlockSize;          // 44: data length + 71
    uint32_t Filler;             // 48: 0
    uint8_t SenseBuffer[18];     // 52
    uint8_t DataBuffer[1];       // 70: data length bytes (at least one byte is allocated)
} SPT_WITH_BUFFERS;
#pragma pack(pop)

#define ULVEX_SPT_LENGTH 44
#define ULVEX_SPT_SENSE_LENGTH 18
#define ULVEX_SPT_SENSE_OFFSET 52
#define ULVEX_SPT_DATA_OFFSET 70
#define ULVEX_SPT_OVERHEAD 71
#define ULVEX_SPT_TIMEOUT_SECONDS 120
#define ULVEX_SPT_MAX_CDB 16

#ifdef __cplusplus
extern "C"
{
#endif
    // ---- ID text ----

    // The value of the first four characters as hexadecimal digits, the first the most
    // significant. The text's end stops the reading: missing digits count as 0, as does
    // a character that is not a hexadecimal digit. A null text gives 0.
    ULVEX_API int a16toi(const char *text);

    // The texts after "VEN_" and "PROD_" of a device path, up to the next "&" or the end,
    // with "_" turned into a blank (ULVEX_NAME_TEXT_SIZE bytes each). A missing marker
    // leaves its output unchanged.
    ULVEX_API void GetVenProdByDevicePath(const char *devicePath, char *vendorText, char *productText);

    // Vendor ID, product ID (ULVEX_ID_TEXT_SIZE bytes each) and serial (ULVEX_SERIAL_SIZE
    // bytes) of a hardware ID, instance ID or device path of length bytes.
    ULVEX_API void ExtractPidVidFromHardwareID(const char *text, int length, char *productId, char *vendorId,
                                               char *serial);

    // ExtractPidVidFromHardwareID on the instance ID of the parent of a device, given by
    // its sysfs directory.
    ULVEX_API void GetPidVidByDeviceInfo(const char *deviceSysfsPath, char *productId, char *vendorId,
                                         char *serial);

    // ---- USB devices and HID ----

    ULVEX_API ULVEX_BOOL GetUSBDevicePath(const char *vendorId, const char *productId, char *path,
                                          unsigned int pathCapacity, char *parentId,
                                          unsigned int parentIdCapacity);
    ULVEX_API ULVEX_BOOL IsUSBDevice(const char *vendorId, const char *productId);
    // Opened for presence and queries only.
    ULVEX_API ULVEX_HANDLE OpenUSBDevice(const char *vendorId, const char *productId);

    ULVEX_API ULVEX_BOOL GetHIDDevicePath(const char *vendorId, const char *productId, char *path,
                                          unsigned int pathCapacity, char *parentId,
                                          unsigned int parentIdCapacity);
    // Opened for reading and writing.
    ULVEX_API ULVEX_HANDLE OpenHIDDevice(const char *vendorId, const char *productId);

    // ---- Hubs ----

    // The hub whose instance ID is exactly parentId (its first parentIdLength bytes).
    ULVEX_API ULVEX_BOOL GetUSBHubDevicePath(const char *parentId, unsigned int parentIdLength, char *hubPath,
                                             unsigned int hubPathCapacity);
    ULVEX_API ULVEX_BOOL GetNumPort(ULVEX_HANDLE hub, unsigned int *portCount);
    ULVEX_API ULVEX_BOOL GetPortIndex(unsigned short vendor, unsigned short product, ULVEX_HANDLE hub,
                                      unsigned int portCount, unsigned int *port);
    // String descriptor index of the device, language 0x0409, as UTF-16 text.
    ULVEX_API ULVEX_BOOL GetStringDescriptor(const char *vendorId, const char *productId, unsigned char index,
                                             char16_t *text, unsigned int capacity);

    // ---- Storage and SCSI ----
    //
    // driveType 2 or 3 selects USB disks, 5 USB CD-ROMs; any other value fails the call.
    // Only interfaces whose path begins with "\\?\usbstor" count. IDs found through a
    // drive are written as ULVEX_ID_TEXT_SIZE bytes, vendor and product texts (from the
    // interface path) as ULVEX_NAME_TEXT_SIZE bytes, paths as at most their capacity.
    // A drive letter exists only while the drive is mounted.

    ULVEX_API ULVEX_BOOL GetDeviceGeneralInfoByVidPid(const char *vendorId, const char *productId,
                                                      int driveType, char *path, unsigned int pathCapacity,
                                                      char *driveLetter, char *vendorText, char *productText);
    ULVEX_API ULVEX_BOOL GetDeviceGeneralInfoByDriveLetter(char driveLetter, char *vendorId, char *productId,
                                                           int driveType, char *path,
                                                           unsigned int pathCapacity, char *vendorText,
                                                           char *productText);
    ULVEX_API ULVEX_BOOL GetSCSIDevicePath(const char *vendorId, const char *productId, int driveType,
                                           char *path, unsigned int pathCapacity);
    ULVEX_API ULVEX_BOOL GetDriveLetterByDeviceNumber(unsigned int deviceNumber, char *driveLetter);
    ULVEX_API ULVEX_BOOL GetDriveLetterByVidPid(const char *vendorId, const char *productId, int driveType,
                                                char *driveLetter);
    ULVEX_API ULVEX_BOOL GetVidPidByDriveLetter(int driveType, char driveLetter, char *vendorId,
                                                char *productId);
    ULVEX_API ULVEX_BOOL GetVendorProductStringbyDriveLetter(char driveLetter, char *vendorText,
                                                             char *productText);
    ULVEX_API ULVEX_BOOL GetVendorProductStringbyVidPid(const char *vendorId, const char *productId,
                                                        char *vendorText, char *productText);
    // Up to maximum USB storage interfaces in enumeration order: position i receives the
    // drive letter (0 when it has none) in driveLetters[i] and IDs and texts in the buffers
    // the i-th pointers of the arrays point to. Null arrays and null pointers are skipped.
    ULVEX_API int GetMscDeviceInfo(int driveType, char *driveLetters, char **vendorIds, char **productIds,
                                   char **vendorTexts, char **productTexts, int maximum);
    // The USB disk opened for reading and writing (the handle carries SendSCSICmd).
    ULVEX_API ULVEX_HANDLE OpenSCSIDevice(const char *vendorId, const char *productId);
    ULVEX_API ULVEX_BOOL IsSCSIDevice(const char *vendorId, const char *productId);
    // A zeroed block for one command with dataLength bytes of data; the caller frees it with
    // free(). None when data length + 71 does not fit in 32 bits or memory runs out.
    ULVEX_API SPT_WITH_BUFFERS *AllocateSPT(unsigned char cdbLength, ULVEX_BOOL isWrite,
                                            unsigned int dataLength);
    // One command of 1 to 16 bytes on a handle from OpenSCSIDevice. The data phase moves
    // the larger of the two lengths; after a read, readLength bytes are copied back. 0 for
    // bad arguments (checked before any I/O; a handle of 0 or below is no handle), a failed
    // call, or a status other than 0.
    // Needs CAP_SYS_RAWIO for a vendor command on a disk.
    ULVEX_API ULVEX_BOOL SendSCSICmd(ULVEX_HANDLE device, const unsigned char *cdb, unsigned char cdbLength,
                                     const unsigned char *writeData, unsigned int writeLength,
                                     ULVEX_BOOL isWrite, unsigned char *readBuffer, unsigned int readLength);

    // ---- MTP ----

    // Next-phase values of SendMTPCmd, and the limits of its records.
#define ULVEX_MTP_PHASE_READ 1  // the device sends data
#define ULVEX_MTP_PHASE_WRITE 2 // the host sends data
#define ULVEX_MTP_PHASE_NONE 3
#define ULVEX_MTP_MAX_PARAMS 5
#define ULVEX_MTP_MAX_WRITE 1024
#define ULVEX_MTP_MAX_READ 2048

    // A reference to an MTP device. Opaque apart from its first member, a table with AddRef and
    // Release (each returns the new count); the object goes, and the device's USB interface is
    // freed, when the count reaches 0. Give every reference back before the library is unloaded.
    typedef struct ULVEX_MTP_DEVICE ULVEX_MTP_DEVICE;
    typedef struct ULVEX_MTP_DEVICE_VTBL
    {
        unsigned long (*AddRef)(ULVEX_MTP_DEVICE *device);
        unsigned long (*Release)(ULVEX_MTP_DEVICE *device);
    } ULVEX_MTP_DEVICE_VTBL;
    struct ULVEX_MTP_DEVICE
    {
        const ULVEX_MTP_DEVICE_VTBL *vtbl;
    };
    // Not exported: they call through the object's own table. A null device gives 0.
    static inline unsigned long UlvexMtpDeviceAddRef(ULVEX_MTP_DEVICE *device)
    {
        return device != NULL ? device->vtbl->AddRef(device) : 0;
    }
    static inline unsigned long UlvexMtpDeviceRelease(ULVEX_MTP_DEVICE *device)
    {
        return device != NULL ? device->vtbl->Release(device) : 0;
    }

    // The first MTP device with these USB IDs whose serial number a present USB device with the
    // same IDs carries (compared without regard to case). manufacturer (may be null) receives
    // up to ULVEX_MANUFACTURER_SIZE - 1 characters and a terminator: pass 128 bytes. version is
    // cleared and receives the firmware version, cut to versionCapacity - 1 characters; an
    // unreadable version leaves it empty. device (may be null) receives a reference that the
    // caller releases; it is set to null first.
    ULVEX_API ULVEX_BOOL GetVersionStringbyMtpInfo(unsigned short vendor, unsigned short product,
                                                   char *manufacturer, char *version,
                                                   unsigned int versionCapacity, ULVEX_MTP_DEVICE **device);
    // Every present USB device that an MTP device answers for, in enumeration order, up to maximum:
    // ID texts (ULVEX_ID_TEXT_SIZE bytes each), manufacturer (ULVEX_MANUFACTURER_SIZE bytes) and
    // version (versionCapacity bytes) of each; null manufacturer or version arrays are skipped,
    // null ID arrays give 0. Returns the count filled.
    ULVEX_API int GetMtpDeviceInfo(char **vendorIds, char **productIds, char **manufacturers, char **versions,
                                   unsigned int versionCapacity, int maximum);
    // One vendor operation with up to ULVEX_MTP_MAX_PARAMS parameters. returnParams holds
    // ULVEX_MTP_MAX_PARAMS values; *returnCount receives how many were filled. dataLength is, for
    // phase READ, the capacity of data in and the count received out (more than the capacity
    // gives 0), for phase WRITE the count to send (at most ULVEX_MTP_MAX_WRITE); phase NONE needs
    // neither. 1 only when the device answered OK (0x2001); a failure leaves every output as it was.
    ULVEX_API ULVEX_BOOL SendMTPCmd(ULVEX_MTP_DEVICE *device, unsigned short operationCode,
                                    const unsigned int *params, unsigned int paramCount,
                                    unsigned int nextPhase, unsigned int *returnParams,
                                    unsigned int *returnCount, unsigned char *data, unsigned int *dataLength);
#ifdef __cplusplus
}
#endif
