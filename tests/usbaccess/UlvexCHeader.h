#pragma once

/* What the C translation unit UlvexCHeader.c found, for the tests to check. */

#include <stddef.h>

#ifdef __cplusplus
extern "C"
{
#endif

    struct UlvexCLayoutInfo
    {
        size_t passThroughSize;
        size_t cdbOffset;
        size_t blockSizeOffset;
        size_t senseOffset;
        size_t dataOffset;
        size_t mtpDeviceSize;
    };

    void UlvexCLayout(struct UlvexCLayoutInfo *info);
    int UlvexCReadId(const char *text);
    void UlvexCVenProd(const char *path, char *vendor, char *product);
    unsigned int UlvexCAllocatedBlockSize(unsigned int dataLength);
    // The results of AddRef, AddRef, Release on a device counted from 1, of Release on no
    // device, and of AddRef on no device plus the final count.
    void UlvexCReferenceSteps(unsigned long steps[5]);

#ifdef __cplusplus
}
#endif
