#include "usbaccess/ulvex_api.h"

#include "tests/usbaccess/UlvexCHeader.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

// The C translation unit sees the same records, calls the same exports and runs
// the same helpers as C++ does.
TEST(UlvexCHeader, RecordsHaveTheSameLayoutInC)
{
    UlvexCLayoutInfo c{};
    UlvexCLayout(&c);
    EXPECT_EQ(sizeof(ULVEX_SCSI_PASS_THROUGH), c.passThroughSize);
    EXPECT_EQ(std::size_t{ULVEX_SPT_LENGTH}, c.passThroughSize);
    EXPECT_EQ(offsetof(ULVEX_SCSI_PASS_THROUGH, Cdb), c.cdbOffset);
    EXPECT_EQ(offsetof(SPT_WITH_BUFFERS, BlockSize), c.blockSizeOffset);
    EXPECT_EQ(std::size_t{ULVEX_SPT_SENSE_OFFSET}, c.senseOffset);
    EXPECT_EQ(std::size_t{ULVEX_SPT_DATA_OFFSET}, c.dataOffset);
    EXPECT_EQ(sizeof(ULVEX_MTP_DEVICE), c.mtpDeviceSize);
}

TEST(UlvexCHeader, ExportsAreCalledFromC)
{
    EXPECT_EQ(0x12AB, UlvexCReadId("12aB"));
    EXPECT_EQ(0, UlvexCReadId(nullptr));
    char vendor[ULVEX_NAME_TEXT_SIZE] = "";
    char product[ULVEX_NAME_TEXT_SIZE] = "";
    UlvexCVenProd("\\\\?\\usbstor#disk&ven_ACME_CO&prod_X&rev_1.00#123#{53f56307}", vendor, product);
    EXPECT_EQ(std::string("ACME CO"), vendor);
    EXPECT_EQ(std::string("X"), product);
    EXPECT_EQ(512u + ULVEX_SPT_OVERHEAD, UlvexCAllocatedBlockSize(512));
}

TEST(UlvexCHeader, ReferenceHelpersWorkInC)
{
    unsigned long steps[5] = {};
    UlvexCReferenceSteps(steps);
    EXPECT_EQ(2ul, steps[0]);
    EXPECT_EQ(3ul, steps[1]);
    EXPECT_EQ(2ul, steps[2]);
    EXPECT_EQ(0ul, steps[3]);
    EXPECT_EQ(2ul, steps[4]);
}
