#include "platform/dev/ScsiPassThrough.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace
{
// Installs a fake SG_IO for one test and records what it was asked.
struct FakeSgIo
{
    int calls = 0;
    sg_io_hdr_t seen{};
    std::vector<unsigned char> cdb;
    std::vector<unsigned char> dataOut;
    std::function<void(sg_io_hdr_t &)> answer;
    int rc = 0;

    FakeSgIo()
    {
        vxdev::SetSgIo([this](int, sg_io_hdr_t &h) {
            ++calls;
            seen = h;
            cdb.assign(h.cmdp, h.cmdp + h.cmd_len);
            if (h.dxfer_direction == SG_DXFER_TO_DEV)
                dataOut.assign(static_cast<unsigned char *>(h.dxferp),
                               static_cast<unsigned char *>(h.dxferp) + h.dxfer_len);
            if (answer)
                answer(h);
            return rc;
        });
    }
    ~FakeSgIo() { vxdev::SetSgIo({}); }
};
} // namespace

TEST(ScsiPassThroughTest, HeaderCarriesTheCommand)
{
    FakeSgIo fake;
    const unsigned char cdb[10] = {0xE0, 0x01, 2, 3, 4, 5, 6, 7, 8, 9};
    unsigned char data[4] = {};
    unsigned char sense[18] = {};
    fake.answer = [](sg_io_hdr_t &h) {
        std::memcpy(h.dxferp, "\x12\x34\x56\x78", 4);
        h.sb_len_wr = 0;
    };

    vxdev::ScsiCommand command;
    command.cdb = cdb;
    command.cdbLength = 10;
    command.direction = vxdev::ScsiDirection::FromDevice;
    command.data = data;
    command.dataLength = 4;
    command.sense = sense;
    command.senseLength = 18;
    vxdev::ScsiResult result;
    ASSERT_TRUE(vxdev::ScsiPassThrough(5, command, result));
    EXPECT_EQ(fake.calls, 1);
    EXPECT_EQ(fake.seen.interface_id, 'S');
    EXPECT_EQ(fake.seen.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(fake.seen.dxfer_len, 4u);
    EXPECT_EQ(fake.seen.mx_sb_len, 18);
    EXPECT_EQ(fake.seen.sbp, sense);
    EXPECT_EQ(fake.seen.timeout, 120000u);
    EXPECT_EQ(fake.cdb, std::vector<unsigned char>(cdb, cdb + 10));
    EXPECT_EQ(std::vector<unsigned char>(data, data + 4),
              (std::vector<unsigned char>{0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(result.scsiStatus, 0);

    // Writing, and a command without data.
    command.direction = vxdev::ScsiDirection::ToDevice;
    fake.answer = nullptr;
    ASSERT_TRUE(vxdev::ScsiPassThrough(5, command, result));
    EXPECT_EQ(fake.seen.dxfer_direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(fake.dataOut, (std::vector<unsigned char>{0x12, 0x34, 0x56, 0x78}));
    command.dataLength = 0;
    ASSERT_TRUE(vxdev::ScsiPassThrough(5, command, result));
    EXPECT_EQ(fake.seen.dxfer_direction, SG_DXFER_NONE);
    EXPECT_EQ(fake.seen.dxfer_len, 0u);
}

TEST(ScsiPassThroughTest, OutcomesOfTheCall)
{
    const unsigned char cdb[6] = {0x00};
    vxdev::ScsiCommand command;
    command.cdb = cdb;
    command.cdbLength = 6;

    const struct
    {
        int rc;
        unsigned char status;
        unsigned short host;
        unsigned short driver;
        bool ok;
    } cases[] = {
        {0, 0, 0, 0, true},        {-1, 0, 0, 0, false}, // the ioctl failed
        {0, 2, 0, 0x08, true},     // check condition with sense: delivered with its status
        {0, 0, 0x07, 0, false},    // host adapter error
        {0, 0, 0x03, 0, false},    // host time-out
        {0, 0, 0, 0x06, false},    // driver time-out
        {0, 0, 0, 0x08 | 4, false} // driver error beside sense
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.rc << " " << int(c.status) << " " << c.host << " " << c.driver);
        FakeSgIo fake;
        fake.rc = c.rc;
        fake.answer = [&](sg_io_hdr_t &h) {
            h.status = c.status;
            h.host_status = c.host;
            h.driver_status = c.driver;
        };
        vxdev::ScsiResult result;
        EXPECT_EQ(vxdev::ScsiPassThrough(3, command, result), c.ok);
        if (c.ok)
        {
            EXPECT_EQ(result.scsiStatus, c.status);
        }
    }
}

TEST(ScsiPassThroughTest, UnusableCommandsAreNotSent)
{
    FakeSgIo fake;
    const unsigned char cdb[17] = {};
    const auto send = [&](int fd, const unsigned char *bytes, unsigned char length, vxdev::ScsiDirection dir,
                          unsigned char *data, unsigned int dataLength) {
        vxdev::ScsiCommand command;
        command.cdb = bytes;
        command.cdbLength = length;
        command.direction = dir;
        command.data = data;
        command.dataLength = dataLength;
        vxdev::ScsiResult result;
        return vxdev::ScsiPassThrough(fd, command, result);
    };
    EXPECT_FALSE(send(-1, cdb, 6, vxdev::ScsiDirection::None, nullptr, 0));
    EXPECT_FALSE(send(3, nullptr, 6, vxdev::ScsiDirection::None, nullptr, 0));
    EXPECT_FALSE(send(3, cdb, 0, vxdev::ScsiDirection::None, nullptr, 0));
    EXPECT_FALSE(send(3, cdb, 17, vxdev::ScsiDirection::None, nullptr, 0));
    EXPECT_FALSE(send(3, cdb, 6, vxdev::ScsiDirection::FromDevice, nullptr, 2));
    EXPECT_FALSE(send(3, cdb, 6, vxdev::ScsiDirection::ToDevice, nullptr, 2));
    EXPECT_EQ(fake.calls, 0);
    EXPECT_TRUE(send(3, cdb, 16, vxdev::ScsiDirection::None, nullptr, 0));
    EXPECT_EQ(fake.calls, 1);
}

TEST(ScsiPassThroughTest, TheRealCallFailsOnAFileThatIsNoDisk)
{
    char path[] = "/tmp/vx-sgio-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    unlink(path);
    const unsigned char cdb[6] = {};
    vxdev::ScsiCommand command;
    command.cdb = cdb;
    command.cdbLength = 6;
    vxdev::ScsiResult result;
    EXPECT_FALSE(vxdev::ScsiPassThrough(fd, command, result));
    close(fd);
}
