#include "platform/dev/DeviceOpen.h"
#include "platform/dev/Hidraw.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
// Two ends that keep each message whole, as a hidraw node keeps each report.
struct ReportPipe
{
    int device = -1;
    int host = -1;
    ReportPipe()
    {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) == 0)
        {
            device = ends[0];
            host = ends[1];
        }
    }
    ~ReportPipe()
    {
        vxdev::CloseHandle(device);
        vxdev::CloseHandle(host);
    }
};
} // namespace

TEST(HidrawTest, OneReportGoesEachWayWhole)
{
    ReportPipe pipe;
    ASSERT_GE(pipe.host, 0);
    const std::array<std::uint8_t, 4> out{0x01, 0x02, 0x03, 0x04};
    EXPECT_TRUE(vxdev::WriteHidrawReport(pipe.host, out.data(), out.size(), 1000));
    std::array<std::uint8_t, 8> got{};
    ASSERT_EQ(::read(pipe.device, got.data(), got.size()), 4);
    EXPECT_EQ(got[3], 0x04);

    const std::array<std::uint8_t, 3> report{0x10, 0x20, 0x30};
    ASSERT_EQ(::write(pipe.device, report.data(), report.size()), 3);
    ASSERT_EQ(::write(pipe.device, report.data(), 2), 2);
    got.fill(0);
    EXPECT_EQ(vxdev::ReadHidrawReport(pipe.host, got.data(), got.size(), 1000), 3) << "one report, not two";
    EXPECT_EQ(got[2], 0x30);
    EXPECT_EQ(vxdev::ReadHidrawReport(pipe.host, got.data(), got.size(), 1000), 2);
}

TEST(HidrawTest, NothingToReadWithinTheLimitOrAGoneDeviceIsAFailure)
{
    ReportPipe pipe;
    ASSERT_GE(pipe.host, 0);
    std::array<std::uint8_t, 8> got{};
    EXPECT_EQ(vxdev::ReadHidrawReport(pipe.host, got.data(), got.size(), 0), -1);
    EXPECT_EQ(vxdev::ReadHidrawReport(pipe.host, got.data(), got.size(), -5), -1) << "a negative limit is 0";
    EXPECT_EQ(vxdev::ReadHidrawReport(-1, got.data(), got.size(), 0), -1);
    EXPECT_FALSE(vxdev::WriteHidrawReport(-1, got.data(), got.size(), 0));

    vxdev::CloseHandle(pipe.device);
    pipe.device = -1;
    EXPECT_LT(vxdev::ReadHidrawReport(pipe.host, got.data(), got.size(), 1000), 1) << "the device went away";
}

TEST(HidrawTest, NodesOpenOnlyWhenThereAndFilesHaveNoDescriptor)
{
    const std::string dir = vxtest::MakeTempDir();
    const std::string node = dir + "/hidraw0";
    EXPECT_EQ(vxdev::OpenHidrawNode(node, true), -1) << "a missing node is not created";
    std::ofstream(node) << "x";
    for (const bool nonBlocking : {false, true})
    {
        const int fd = vxdev::OpenHidrawNode(node, nonBlocking);
        ASSERT_GE(fd, 0);
        std::vector<std::uint8_t> descriptor{1, 2};
        EXPECT_FALSE(vxdev::ReadHidrawDescriptor(fd, descriptor)) << "a plain file is no HID device";
        EXPECT_TRUE(descriptor.empty());
        EXPECT_TRUE(vxdev::CloseHandle(fd));
    }
    std::vector<std::uint8_t> descriptor;
    EXPECT_FALSE(vxdev::ReadHidrawDescriptor(-1, descriptor));
}
