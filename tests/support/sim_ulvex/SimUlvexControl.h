#pragma once

// The control entry points of libulvex-sim.so, the test-only variant of the Ulvex library: the
// library's own code with simulated monitors behind its copies of the device seams. It is never
// installed. Tests load it where the program loads the library (VORMATIK_ULVEX_LIBRARY) and reach
// these through the same module (tests/support/sim_ulvex/SimUlvex.h).
//
// Behind the library's MTP discovery: the MTP monitors added here. Behind its SG_IO call: a disk
// that completes every command with status 0 (a read gets zeros) and records it. Everything else
// (USB and HID enumeration, drive letters) comes from the fixture trees the environment names.

#include <stddef.h>

#ifdef __cplusplus
extern "C"
{
#endif

    // Forgets every monitor and recorded command.
    void UlvexSimReset(void);

    // Adds an MTP monitor found at bus 1, port `port`, with the serial number and firmware version
    // (the model code) given, one storage (0x00010001, "Internal") holding the folder "workout" with
    // the hidden file "FR.DAT" of the bytes given, answering the vendor operations 0x9D04 (no data)
    // and 0x9D03 (data from the host). Returns its index.
    int UlvexSimAddMtpMonitor(unsigned short vendorId, unsigned short productId, const char *serial,
                              const char *firmwareVersion, unsigned char port, const unsigned char *workout,
                              unsigned int workoutLength);

    // The bytes of the monitor's "FR.DAT" now (up to capacity); the whole length, or -1 without the file.
    long UlvexSimMtpWorkoutFile(int monitor, unsigned char *bytes, unsigned int capacity);

    // The vendor operations the monitor received: their number, and one of them (its code and the
    // data the host sent, up to capacity). 0 when there is no such call.
    int UlvexSimMtpVendorCallCount(int monitor);
    int UlvexSimMtpVendorCall(int monitor, int index, unsigned short *operation, unsigned char *data,
                              unsigned int capacity, unsigned int *length);

    // A connection to the monitor's bulk pipes, for the program's own MTP initiator, which the test
    // points at the same monitors (the program does not share the library's copy of the seams).
    // Statuses are those of vxmtp::TransferStatus.
    void *UlvexSimMtpConnect(int monitor);
    int UlvexSimMtpBulkOut(void *connection, const unsigned char *data, size_t length,
                           unsigned int timeoutMs);
    int UlvexSimMtpBulkIn(void *connection, unsigned char *buffer, size_t capacity, size_t *received,
                          unsigned int timeoutMs);
    size_t UlvexSimMtpMaxPacketSize(void *connection);
    void UlvexSimMtpDisconnect(void *connection);

    // The SCSI commands the library sent: their number, and one of them (its CDB, the data sent or
    // the length asked to read).
    int UlvexSimScsiCommandCount(void);
    int UlvexSimScsiCommand(int index, unsigned char *cdb, unsigned int *cdbLength, unsigned char *data,
                            unsigned int capacity, unsigned int *dataLength, int *toDevice);

#ifdef __cplusplus
}
#endif
