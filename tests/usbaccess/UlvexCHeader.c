/* Built as C: the library's header must serve C programs, its helpers included. */
#include "usbaccess/ulvex_api.h"

#include "tests/usbaccess/UlvexCHeader.h"

#include <stdlib.h>

_Static_assert(sizeof(char16_t) == 2, "UTF-16 units are two bytes");

void UlvexCLayout(struct UlvexCLayoutInfo *info)
{
    info->passThroughSize = sizeof(ULVEX_SCSI_PASS_THROUGH);
    info->cdbOffset = offsetof(ULVEX_SCSI_PASS_THROUGH, Cdb);
    info->blockSizeOffset = offsetof(SPT_WITH_BUFFERS, BlockSize);
    info->senseOffset = offsetof(SPT_WITH_BUFFERS, SenseBuffer);
    info->dataOffset = offsetof(SPT_WITH_BUFFERS, DataBuffer);
    info->mtpDeviceSize = sizeof(ULVEX_MTP_DEVICE);
}

int UlvexCReadId(const char *text)
{
    return a16toi(text);
}

void UlvexCVenProd(const char *path, char *vendor, char *product)
{
    GetVenProdByDevicePath(path, vendor, product);
}

unsigned int UlvexCAllocatedBlockSize(unsigned int dataLength)
{
    SPT_WITH_BUFFERS *block = AllocateSPT(6, 0, dataLength);
    if (block == NULL)
        return 0;
    const unsigned int size = block->BlockSize;
    free(block);
    return size;
}

/* A device whose table counts the calls, driven through the header's inline helpers. */
struct CountedDevice
{
    ULVEX_MTP_DEVICE base;
    unsigned long count;
};

static unsigned long CountedAddRef(ULVEX_MTP_DEVICE *device)
{
    return ++((struct CountedDevice *)device)->count;
}

static unsigned long CountedRelease(ULVEX_MTP_DEVICE *device)
{
    return --((struct CountedDevice *)device)->count;
}

static const ULVEX_MTP_DEVICE_VTBL kCountedTable = {CountedAddRef, CountedRelease};

void UlvexCReferenceSteps(unsigned long steps[5])
{
    struct CountedDevice device = {{&kCountedTable}, 1};
    steps[0] = UlvexMtpDeviceAddRef(&device.base);
    steps[1] = UlvexMtpDeviceAddRef(&device.base);
    steps[2] = UlvexMtpDeviceRelease(&device.base);
    steps[3] = UlvexMtpDeviceRelease(NULL);
    steps[4] = UlvexMtpDeviceAddRef(NULL) + device.count;
}
