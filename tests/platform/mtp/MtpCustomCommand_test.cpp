#include "platform/mtp/MtpCustomCommand.h"
#include "tests/support/sim_mtp/SimMtpMonitor.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vxmtp;
using vxsim::SimMtpMonitor;
using Bytes = std::vector<std::uint8_t>;

namespace
{
constexpr std::uint16_t kOpRead = 0x9D05;

std::shared_ptr<MtpDevice> Connect(SimMtpMonitor &sim)
{
    ScopedDeviceSource source([&] { return std::vector<MtpDeviceCandidate>{sim.Candidate(0x3a7e, 0x0001)}; });
    auto devices = MtpDeviceManager::EnumerateDevices();
    EXPECT_EQ(devices.size(), 1u);
    sim.ClearLogs();
    return devices.empty() ? nullptr : devices[0];
}

void Put32(Bytes &b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t Get32(const Bytes &b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// An input record: operation, parameters, next phase and write data.
Bytes Input(std::uint16_t op, std::vector<std::uint32_t> params, std::uint32_t phase, Bytes write = {})
{
    Bytes in(write.empty() ? 34 : 34 + 1024, 0);
    in[0] = static_cast<std::uint8_t>(op);
    in[1] = static_cast<std::uint8_t>(op >> 8);
    Put32(in, 2, static_cast<std::uint32_t>(params.size()));
    for (std::size_t i = 0; i < params.size() && i < 5; ++i)
        Put32(in, 6 + 4 * i, params[i]);
    Put32(in, 26, phase);
    Put32(in, 30, static_cast<std::uint32_t>(write.size()));
    std::copy(write.begin(), write.end(), in.begin() + 34);
    return in;
}
} // namespace

TEST(MtpCustomCommand, AReadFillsTheOutputRecord)
{
    SimMtpMonitor sim;
    sim.ScriptVendorOperation(kOpRead, {DataPhase::In, kRespOk, {0xA1, 0xB2}, Bytes{9, 8, 7}});
    auto device = Connect(sim);
    ASSERT_TRUE(device);

    Bytes out(2078, 0xEE);
    ASSERT_TRUE(MtpDeviceIoControl(*device, kIoctlMtpCustomCommand, Input(kOpRead, {5, 6}, 1), out));
    EXPECT_EQ(out[0] | (out[1] << 8), kRespOk);
    EXPECT_EQ(Get32(out, 2), 2u);
    EXPECT_EQ(Get32(out, 6), 0xA1u);
    EXPECT_EQ(Get32(out, 10), 0xB2u);
    EXPECT_EQ(Get32(out, 14), 0u);
    EXPECT_EQ(Get32(out, 26), 3u);
    EXPECT_EQ(Bytes(out.begin() + 30, out.begin() + 33), (Bytes{9, 8, 7}));
    EXPECT_EQ(out[33], 0xEE);
    ASSERT_EQ(sim.VendorLog().size(), 1u);
    EXPECT_EQ(sim.VendorLog()[0].params, (std::vector<std::uint32_t>{5, 6}));
}

TEST(MtpCustomCommand, AWriteSendsTheAnnouncedBytes)
{
    SimMtpMonitor sim;
    sim.ScriptVendorOperation(0x9D03, {DataPhase::Out, kRespOk, {}, {}});
    auto device = Connect(sim);
    ASSERT_TRUE(device);

    Bytes out(2078, 0);
    ASSERT_TRUE(
        MtpDeviceIoControl(*device, kIoctlMtpCustomCommand, Input(0x9D03, {}, 2, Bytes{1, 2, 3}), out));
    ASSERT_EQ(sim.VendorLog().size(), 1u);
    EXPECT_EQ(sim.VendorLog()[0].dataOut, (Bytes{1, 2, 3}));
    EXPECT_EQ(Get32(out, 26), 0u);
}

TEST(MtpCustomCommand, ARefusalIsAnAnsweredCommand)
{
    SimMtpMonitor sim;
    sim.ScriptResponse(0x9D04, kRespDeviceBusy);
    auto device = Connect(sim);
    ASSERT_TRUE(device);

    Bytes out(2078, 0);
    ASSERT_TRUE(MtpDeviceIoControl(*device, kIoctlMtpCustomCommand, Input(0x9D04, {}, 3), out));
    EXPECT_EQ(out[0] | (out[1] << 8), kRespDeviceBusy);

    sim.SetUnplugged(true);
    EXPECT_FALSE(MtpDeviceIoControl(*device, kIoctlMtpCustomCommand, Input(0x9D04, {}, 3), out));
}

TEST(MtpCustomCommand, MalformedRecordsAreRefusedBeforeSending)
{
    SimMtpMonitor sim;
    sim.ScriptVendorOperation(kOpRead, {DataPhase::In, kRespOk, {}, Bytes(100, 1)});
    auto device = Connect(sim);
    ASSERT_TRUE(device);

    Bytes sixParams = Input(kOpRead, {1, 2, 3, 4, 5}, 1);
    Put32(sixParams, 2, 6);
    Bytes tooLong = Input(0x9D03, {}, 2, Bytes(10, 1));
    Put32(tooLong, 30, 1025);
    Bytes beyondInput = Input(0x9D03, {}, 2, Bytes(10, 1));
    beyondInput.resize(34 + 5); // announces 10 bytes, carries 5
    struct Case
    {
        const char *what;
        std::uint32_t code;
        Bytes in;
        std::size_t outSize;
    };
    const Case cases[] = {
        {"another control code", 0x12345678, Input(kOpRead, {}, 1), 2078},
        {"a short input", kIoctlMtpCustomCommand, Bytes(33, 0), 2078},
        {"six parameters", kIoctlMtpCustomCommand, sixParams, 2078},
        {"phase 0", kIoctlMtpCustomCommand, Input(kOpRead, {}, 0), 2078},
        {"phase 4", kIoctlMtpCustomCommand, Input(kOpRead, {}, 4), 2078},
        {"write data beyond the area", kIoctlMtpCustomCommand, tooLong, 2078},
        {"write data beyond the input", kIoctlMtpCustomCommand, beyondInput, 2078},
        {"a short output", kIoctlMtpCustomCommand, Input(kOpRead, {}, 1), 29},
    };
    for (const Case &c : cases)
    {
        Bytes out(c.outSize, 0xEE);
        EXPECT_FALSE(MtpDeviceIoControl(*device, c.code, c.in, out)) << c.what;
        EXPECT_EQ(out, Bytes(c.outSize, 0xEE)) << c.what;
    }
    EXPECT_TRUE(sim.OutTransfers().empty());

    // More data than the output holds: the command ran, but the record is left alone.
    Bytes small(30 + 50, 0xEE);
    EXPECT_FALSE(MtpDeviceIoControl(*device, kIoctlMtpCustomCommand, Input(kOpRead, {}, 1), small));
    EXPECT_EQ(small, Bytes(80, 0xEE));
}
