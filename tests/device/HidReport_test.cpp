#include "device/HidReport.h"

#include "tests/support/sim_hid/SimHidMonitor.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <numeric>
#include <unistd.h>
#include <vector>

namespace
{
using vxtest::SimHidMonitor;

std::vector<std::uint8_t> Pattern(std::size_t length, std::uint8_t start = 1)
{
    std::vector<std::uint8_t> bytes(length);
    std::iota(bytes.begin(), bytes.end(), start);
    return bytes;
}

// Feeds a block to the layer as the monitor would: one input report per 64 bytes.
void SendBlock(SimHidMonitor &monitor, const std::vector<std::uint8_t> &block, std::size_t reports)
{
    for (std::size_t i = 0; i < reports; ++i)
    {
        const std::size_t offset = i * 64;
        const std::size_t length = std::min<std::size_t>(64, block.size() - offset);
        ASSERT_TRUE(monitor.SendInputReport(
            std::vector<std::uint8_t>(block.begin() + static_cast<std::ptrdiff_t>(offset),
                                      block.begin() + static_cast<std::ptrdiff_t>(offset + length))));
    }
}

TEST(HidReport, OpenTakesReportLengthsFromTheDescriptorAndCloseIsIdempotent)
{
    SimHidMonitor monitor;
    ASSERT_TRUE(HidOpen(u"3a7e", u"0001"));
    EXPECT_EQ(HidInputReportLength(), 65u);
    EXPECT_EQ(HidOutputReportLength(), 65u);

    HidClose();
    HidClose();
    EXPECT_EQ(HidInputReportLength(), 0u);
    EXPECT_EQ(HidOutputReportLength(), 0u);
    EXPECT_EQ(monitor.Pauses(), std::vector<unsigned>{50}); // only the real close pauses
    EXPECT_TRUE(monitor.WaitUntilAllClosed());

    std::uint8_t byte = 0;
    EXPECT_EQ(HidWrite(&byte, 1, 0), 0u);
    EXPECT_EQ(HidRead(&byte, 1), 0u);
    EXPECT_FALSE(HidWriteReport(&byte, 1));
}

TEST(HidReport, DirectionWithoutPayloadTransfersNothing)
{
    SimHidMonitor::Options options;
    options.outputReportLength = 0; // the descriptor has no output report
    SimHidMonitor monitor(options);
    ASSERT_TRUE(HidOpen(u"3a7e", u"0001"));
    EXPECT_EQ(HidOutputReportLength(), 0u);
    const std::uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(HidWrite(bytes, sizeof bytes, 0), 0u);
    HidClose();
    EXPECT_TRUE(monitor.WaitUntilAllClosed());
    EXPECT_TRUE(monitor.OutputReports().empty());
}

TEST(HidReport, OpenFailsWithoutTheDevice)
{
    SimHidMonitor monitor;
    EXPECT_FALSE(HidOpen(u"3a7e", u"0002"));
    monitor.SetOpenFails(true);
    EXPECT_FALSE(HidOpen(u"3a7e", u"0001"));
    monitor.SetOpenFails(false);
    monitor.SetPresent(false);
    EXPECT_FALSE(HidOpen(u"3a7e", u"0001"));
    EXPECT_EQ(HidInputReportLength(), 0u);
    EXPECT_TRUE(monitor.Pauses().empty());
}

TEST(HidReport, HandleIsClosedWhenTheReportLengthsCannotBeRead)
{
    SimHidMonitor monitor;
    const std::vector<std::uint8_t> truncated = {0x75, 0x08, 0x96, 0x40};
    const std::vector<std::vector<std::uint8_t>> descriptors = {{}, truncated};
    for (const auto &descriptor : descriptors)
    {
        HidHooks hooks = GetHidHooks();
        const bool readable = !descriptor.empty();
        hooks.readDescriptor = [&descriptor, readable](const HidInterfaceRecord &, HidHandle,
                                                       std::vector<std::uint8_t> &out) {
            out = descriptor;
            return readable;
        };
        SetHidHooks(hooks);
        EXPECT_FALSE(HidOpen(u"3a7e", u"0001"));
        EXPECT_TRUE(monitor.WaitUntilAllClosed());
        EXPECT_EQ(monitor.OpenConnections(), 0);
        EXPECT_EQ(HidInputReportLength(), 0u);
    }
}

TEST(HidReport, WritesABlockAsWholeZeroPaddedReports)
{
    SimHidMonitor monitor;
    monitor.SetSilent(true); // raw reports, no protocol
    ASSERT_TRUE(HidOpen(u"3a7e", u"0001"));
    const std::vector<std::uint8_t> block = Pattern(220);
    EXPECT_EQ(HidWrite(block.data(), block.size(), 0x05), 220u);
    HidClose();
    ASSERT_TRUE(monitor.WaitUntilAllClosed());

    const auto reports = monitor.OutputReports();
    ASSERT_EQ(reports.size(), 4u);
    std::vector<std::uint8_t> payload;
    for (const auto &report : reports)
    {
        ASSERT_EQ(report.size(), 65u);
        EXPECT_EQ(report[0], 0x05);
        payload.insert(payload.end(), report.begin() + 1, report.end());
    }
    EXPECT_TRUE(std::equal(block.begin(), block.end(), payload.begin()));
    // The last report carries 28 bytes and 36 zero bytes.
    EXPECT_EQ(std::count(payload.begin() + 220, payload.end(), 0), 36);
    EXPECT_EQ(reports[3][28], block[219]);
}

class HidReportRead : public ::testing::TestWithParam<bool>
{
};

// 880 bytes take 14 reports, the last contributing 48; numbered and unnumbered devices
// give the same bytes.
TEST_P(HidReportRead, ReadsABlockFromWholeReports)
{
    SimHidMonitor::Options options;
    options.numberedReports = GetParam();
    SimHidMonitor monitor(options);
    monitor.SetSilent(true);
    ASSERT_TRUE(HidOpen(u"3a7e", u"0001"));

    std::vector<std::uint8_t> image = Pattern(880, 7);
    SendBlock(monitor, image, 14);
    // The 15th report must not be read.
    ASSERT_TRUE(monitor.SendInputReport({0xEE}));

    std::vector<std::uint8_t> out(880, 0xCC);
    EXPECT_EQ(HidRead(out.data(), out.size()), 880u);
    EXPECT_EQ(out, image);

    std::vector<std::uint8_t> report(65, 0xCC);
    ASSERT_TRUE(HidReadReport(report.data(), report.size()));
    EXPECT_EQ(report[0], GetParam() ? 1 : 0); // unnumbered: byte 0 stands in for the missing ID
    EXPECT_EQ(report[1], 0xEE);
    HidClose();
}

INSTANTIATE_TEST_SUITE_P(NumberedAndUnnumbered, HidReportRead, ::testing::Bool());

TEST(HidReport, SilentDeviceFailsAfterTheTimeoutAndKeepsWhatCame)
{
    EXPECT_EQ(DefaultHidHooks().reportTimeoutMs, 5000);
    SimHidMonitor monitor;
    monitor.SetSilent(true);
    monitor.SetReportTimeoutMs(100);
    ASSERT_TRUE(HidOpen(u"3a7e", u"0001"));

    const std::vector<std::uint8_t> image = Pattern(880);
    SendBlock(monitor, image, 3);
    std::vector<std::uint8_t> out(880, 0);
    EXPECT_EQ(HidRead(out.data(), out.size()), 192u);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 192, out.begin()));
    HidClose();
}

TEST(HidReport, EmptyInputReportIsAFailedRead)
{
    SimHidMonitor monitor;
    monitor.SetSilent(true);
    ASSERT_TRUE(HidOpen(u"3a7e", u"0001"));
    ASSERT_TRUE(monitor.SendInputReport({}));
    std::uint8_t out[64];
    EXPECT_EQ(HidRead(out, sizeof out), 0u);
    HidClose();
}

TEST(HidReport, TransfersFailWhenTheDeviceIsUnplugged)
{
    SimHidMonitor monitor;
    monitor.SetSilent(true);
    ASSERT_TRUE(HidOpen(u"3a7e", u"0001"));
    monitor.Unplug();
    std::uint8_t bytes[64] = {};
    EXPECT_EQ(HidRead(bytes, sizeof bytes), 0u);
    EXPECT_EQ(HidWrite(bytes, sizeof bytes, 0), 0u);
    HidClose();
    EXPECT_FALSE(IsHidDeviceConnected(u"3a7e", u"0001"));
}

// A stand-in device on a pipe, to see what the layer does with writes the device does
// not take whole.
class PipeDevice
{
  public:
    explicit PipeDevice(std::uint32_t outputLength)
    {
        HidHooks hooks;
        hooks.enumerate = [] {
            return std::vector<HidInterfaceRecord>{
                {u"\\\\?\\hid#vid_3a7e&pid_0001#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                 "/dev/pipe"}};
        };
        hooks.open = [this](const HidInterfaceRecord &, bool nonBlocking) -> HidHandle {
            int ends[2];
            if (::pipe2(ends, O_CLOEXEC | (nonBlocking ? O_NONBLOCK : 0)) != 0)
                return kInvalidHidHandle;
            fcntl(ends[1], F_SETPIPE_SZ, 4096);
            readEnds.push_back(ends[0]);
            lastWriteEnd = ends[1];
            return ends[1];
        };
        hooks.readDescriptor = [outputLength](const HidInterfaceRecord &, HidHandle,
                                              std::vector<std::uint8_t> &out) {
            out = SimHidMonitor::ReportDescriptor(0, outputLength, false);
            return true;
        };
        hooks.sleep = [](unsigned) {};
        hooks.reportTimeoutMs = 100;
        SetHidHooks(hooks);
    }
    ~PipeDevice()
    {
        HidClose();
        ResetHidHooks();
        for (int fd : readEnds)
            ::close(fd);
    }

    std::vector<int> readEnds;
    int lastWriteEnd = -1;
};

TEST(HidReport, ShortWriteIsAFailedReport)
{
    // A pipe of one page takes 4096 bytes of an 8193-byte report and no more.
    PipeDevice device(8193);
    ASSERT_TRUE(HidOpen(u"3a7e", u"0001"));
    ASSERT_EQ(HidOutputReportLength(), 8193u);
    const std::vector<std::uint8_t> block = Pattern(8192);
    EXPECT_EQ(HidWrite(block.data(), block.size(), 0), 0u);
}

TEST(HidReport, StalledWriteFailsAfterTheTimeout)
{
    PipeDevice device(65);
    ASSERT_TRUE(HidOpen(u"3a7e", u"0001"));
    // Fill the pipe so the device takes nothing more.
    const std::vector<std::uint8_t> filler(65, 0);
    std::size_t reports = 0;
    while (::write(device.lastWriteEnd, filler.data(), filler.size()) == 65)
        ++reports;
    ASSERT_GT(reports, 0u);
    const std::vector<std::uint8_t> block = Pattern(100);
    EXPECT_EQ(HidWrite(block.data(), block.size(), 0), 0u);
}
} // namespace
