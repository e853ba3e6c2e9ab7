#include "usbaccess/ulvex_api.h"

#include "platform/dev/ScsiPassThrough.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace
{
using Bytes = std::vector<unsigned char>;

Bytes Le32(std::uint32_t v)
{
    return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
}

// The bytes a block must hold: everything zero except the listed fields.
Bytes ExpectedBlock(unsigned char cdbLength, bool dataIn, std::uint32_t dataLength)
{
    Bytes b(dataLength + 71, 0);
    const auto put = [&](std::size_t at, const Bytes &v) { std::copy(v.begin(), v.end(), b.begin() + at); };
    b[0] = 44;
    b[6] = cdbLength;
    b[7] = 18;
    b[8] = dataIn ? 1 : 0;
    put(12, Le32(dataLength));
    put(16, Le32(120));
    put(20, Le32(70));
    put(24, Le32(52));
    put(44, Le32(dataLength + 71));
    return b;
}

// A stand-in for the disk: records each SG_IO request and answers it.
struct FakeDisk
{
    int calls = 0;
    sg_io_hdr_t seen{};
    Bytes cdb;
    Bytes dataOut;
    Bytes dataIn;
    unsigned char status = 0;
    unsigned short hostStatus = 0;
    int rc = 0;
    int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);

    FakeDisk()
    {
        vxdev::SetSgIo([this](int, sg_io_hdr_t &h) {
            ++calls;
            seen = h;
            cdb.assign(h.cmdp, h.cmdp + h.cmd_len);
            auto *data = static_cast<unsigned char *>(h.dxferp);
            if (h.dxfer_direction == SG_DXFER_TO_DEV)
                dataOut.assign(data, data + h.dxfer_len);
            if (h.dxfer_direction == SG_DXFER_FROM_DEV)
                std::memcpy(data, dataIn.data(), std::min<std::size_t>(dataIn.size(), h.dxfer_len));
            h.status = status;
            h.host_status = hostStatus;
            return rc;
        });
    }
    ~FakeDisk()
    {
        vxdev::SetSgIo({});
        ::close(fd);
    }
};
} // namespace

TEST(AllocateSptTest, BlockLayoutByteForByte)
{
    const struct
    {
        unsigned char cdbLength;
        int isWrite;
        std::uint32_t dataLength;
    } cases[] = {{9, 0, 2}, {6, 1, 0}, {16, 1, 300}, {10, 0, 220}};
    for (const auto &c : cases)
    {
        SCOPED_TRACE(testing::Message() << int(c.cdbLength) << " " << c.isWrite << " " << c.dataLength);
        SPT_WITH_BUFFERS *block = AllocateSPT(c.cdbLength, c.isWrite, c.dataLength);
        ASSERT_NE(block, nullptr);
        const auto *bytes = reinterpret_cast<const unsigned char *>(block);
        EXPECT_EQ(Bytes(bytes, bytes + c.dataLength + 71),
                  ExpectedBlock(c.cdbLength, !c.isWrite, c.dataLength));
        std::free(block);
    }
    EXPECT_EQ(sizeof(SPT_WITH_BUFFERS), 71u);
    EXPECT_EQ(sizeof(ULVEX_SCSI_PASS_THROUGH), 44u);
}

TEST(AllocateSptTest, SizesThatDoNotFitAreRefused)
{
    EXPECT_EQ(AllocateSPT(6, 0, UINT_MAX), nullptr);
    EXPECT_EQ(AllocateSPT(6, 0, UINT_MAX - 70), nullptr);
}

TEST(SendScsiCmdTest, ReadCommandCopiesTheDataBack)
{
    FakeDisk disk;
    disk.dataIn = {0xAB, 0xCD};
    const unsigned char cdb[9] = {0xE0, 0x01, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17};
    unsigned char read[2] = {};
    ASSERT_EQ(SendSCSICmd(disk.fd, cdb, 9, nullptr, 0, 0, read, 2), 1);
    EXPECT_EQ(disk.calls, 1);
    EXPECT_EQ(disk.seen.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(disk.seen.dxfer_len, 2u);
    EXPECT_EQ(disk.seen.cmd_len, 9);
    EXPECT_EQ(disk.cdb, Bytes(cdb, cdb + 9));
    EXPECT_EQ(disk.seen.mx_sb_len, 18);
    EXPECT_EQ(disk.seen.timeout, 120u * 1000u);
    EXPECT_EQ(read[0], 0xAB);
    EXPECT_EQ(read[1], 0xCD);
}

TEST(SendScsiCmdTest, WriteCommandSendsTheData)
{
    FakeDisk disk;
    const unsigned char cdb[10] = {0xE0, 0x01};
    const unsigned char payload[4] = {1, 2, 3, 4};
    ASSERT_EQ(SendSCSICmd(disk.fd, cdb, 10, payload, 4, 1, nullptr, 0), 1);
    EXPECT_EQ(disk.seen.dxfer_direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(disk.dataOut, Bytes({1, 2, 3, 4}));

    // The data phase takes the larger length; the rest of the buffer is zero.
    ASSERT_EQ(SendSCSICmd(disk.fd, cdb, 10, payload, 2, 1, nullptr, 0), 1);
    EXPECT_EQ(disk.dataOut, Bytes({1, 2}));
    unsigned char back[4] = {9, 9, 9, 9};
    ASSERT_EQ(SendSCSICmd(disk.fd, cdb, 10, payload, 2, 1, back, 4), 1);
    EXPECT_EQ(disk.dataOut, Bytes({1, 2, 0, 0}));

    // No data at all: no data phase.
    ASSERT_EQ(SendSCSICmd(disk.fd, cdb, 6, nullptr, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(disk.seen.dxfer_direction, SG_DXFER_NONE);
    EXPECT_EQ(disk.seen.cmd_len, 6);
}

TEST(SendScsiCmdTest, FailuresOfTheDeviceGiveZero)
{
    const unsigned char cdb[6] = {0x00};
    const struct
    {
        int rc;
        unsigned char status;
        unsigned short host;
    } cases[] = {{0, 2, 0}, {0, 0x18, 0}, {0, 0, 7}, {0, 0, 3}, {-1, 0, 0}};
    for (const auto &c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.rc << " " << int(c.status) << " " << c.host);
        FakeDisk disk;
        disk.rc = c.rc;
        disk.status = c.status;
        disk.hostStatus = c.host;
        disk.dataIn = {0x55};
        unsigned char read[1] = {0x77};
        EXPECT_EQ(SendSCSICmd(disk.fd, cdb, 6, nullptr, 0, 0, read, 1), 0);
        EXPECT_EQ(disk.calls, 1);
        EXPECT_EQ(read[0], 0x77);
    }
}

TEST(SendScsiCmdTest, BadArgumentsGiveZeroWithoutIo)
{
    FakeDisk disk;
    const unsigned char cdb[17] = {0x00};
    unsigned char buffer[8] = {};
    const int fd = disk.fd;
    EXPECT_EQ(SendSCSICmd(-1, cdb, 6, nullptr, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(SendSCSICmd(0, cdb, 6, nullptr, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(SendSCSICmd(fd, nullptr, 6, nullptr, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(SendSCSICmd(fd, cdb, 0, nullptr, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(SendSCSICmd(fd, cdb, 17, nullptr, 0, 0, nullptr, 0), 0);
    for (const int isWrite : {0, 1})
    {
        EXPECT_EQ(SendSCSICmd(fd, cdb, 6, nullptr, 4, isWrite, buffer, 4), 0) << isWrite;
        EXPECT_EQ(SendSCSICmd(fd, cdb, 6, buffer, 4, isWrite, nullptr, 4), 0) << isWrite;
    }
    // A data length whose block would not fit in 32 bits.
    EXPECT_EQ(SendSCSICmd(fd, cdb, 6, nullptr, 0, 0, buffer, UINT_MAX - 10), 0);
    EXPECT_EQ(disk.calls, 0);

    EXPECT_EQ(SendSCSICmd(fd, cdb, 16, nullptr, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(disk.calls, 1);
}

TEST(SendScsiCmdTest, RealCallOnAFileThatIsNoDiskFails)
{
    char path[] = "/tmp/vx-scsi-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    unlink(path);
    const unsigned char cdb[6] = {0x00};
    unsigned char read[2] = {};
    EXPECT_EQ(SendSCSICmd(fd, cdb, 6, nullptr, 0, 0, read, 2), 0);
    close(fd);
}
