#include "usbaccess/UlvexMtp.h"
#include "usbaccess/ulvex_api.h"

#include "platform/mtp/MtpCustomCommand.h"
#include "platform/mtp/PtpCodec.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"
#include "tests/support/sim_mtp/SimMtpMonitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using vxmtp::DataPhase;
using vxmtp::kRespOk;
using vxsim::SimMtpMonitor;
using Bytes = std::vector<std::uint8_t>;

namespace
{
constexpr unsigned short kVid = 0x3a7e;
constexpr unsigned short kPid = 0x0001;
constexpr unsigned short kOpWrite = 0x9D03;
constexpr unsigned short kOpNone = 0x9D04;
constexpr unsigned short kOpRead = 0x9D05;
constexpr unsigned int kUntouched = 0xCDCDCDCD;

// Counts the transports that are open, so a test sees when a device's USB interface is let go.
class CountingTransport : public vxsim::PassThroughTransport
{
  public:
    CountingTransport(std::unique_ptr<vxmtp::PtpTransport> inner, std::shared_ptr<std::atomic<int>> live)
        : PassThroughTransport(std::move(inner)), m_live(std::move(live))
    {
        ++*m_live;
    }
    ~CountingTransport() override { --*m_live; }

  private:
    std::shared_ptr<std::atomic<int>> m_live;
};

// A device reference given back when the test ends.
struct DeviceRef
{
    ULVEX_MTP_DEVICE *device = nullptr;
    ~DeviceRef() { UlvexMtpDeviceRelease(device); }
};

// A bus with a root hub; monitors are simulated MTP devices, each also on the bus in sysfs unless
// told otherwise.
class UlvexMtpTest : public ::testing::Test
{
  protected:
    UlvexMtpTest() { sysfs.AddRootHub(1, 8); }

    SimMtpMonitor &AddMonitor(unsigned short vid, unsigned short pid, std::u16string serial,
                              std::optional<std::string> sysfsSerial,
                              std::u16string manufacturer = u"Maker Co", std::u16string version = u"FW 2.01")
    {
        auto sim = std::make_unique<SimMtpMonitor>();
        sim->Info().serialNumber = std::move(serial);
        sim->Info().manufacturer = std::move(manufacturer);
        sim->Info().deviceVersion = std::move(version);
        const int port = nextPort++;
        candidates.push_back(
            vxsim::WrapTransports(sim->Candidate(vid, pid, 1, {static_cast<std::uint8_t>(port)}),
                                  [live = live](std::unique_ptr<vxmtp::PtpTransport> inner) {
                                      return std::make_unique<CountingTransport>(std::move(inner), live);
                                  }));
        if (sysfsSerial)
            AddUsb(vid, pid, sysfsSerial, port);
        sims.push_back(std::move(sim));
        return *sims.back();
    }

    void AddUsb(unsigned short vid, unsigned short pid, std::optional<std::string> serial, int port = 0)
    {
        sysfs.AddUsbDevice("usb1", port != 0 ? port : nextPort++,
                           vxtest::UsbDevice(vid, pid, std::move(serial)));
    }

    // The device reference of the monitor with kVid/kPid; the monitor's logs start empty.
    ULVEX_MTP_DEVICE *Open(SimMtpMonitor &sim)
    {
        char version[32];
        ULVEX_MTP_DEVICE *device = nullptr;
        EXPECT_EQ(GetVersionStringbyMtpInfo(kVid, kPid, nullptr, version, sizeof version, &device), 1);
        sim.ClearLogs();
        return device;
    }

    vxtest::FakeSysfs sysfs;
    int nextPort = 1;
    std::shared_ptr<std::atomic<int>> live = std::make_shared<std::atomic<int>>(0);
    std::vector<std::unique_ptr<SimMtpMonitor>> sims;
    std::vector<vxmtp::MtpDeviceCandidate> candidates;
    vxmtp::ScopedDeviceSource source{[this] { return candidates; }};
};

struct Lookup
{
    int ok = 0;
    std::string manufacturer;
    std::string version;
};

Lookup Ask(unsigned short vid, unsigned short pid)
{
    Lookup r;
    char manufacturer[ULVEX_MANUFACTURER_SIZE] = "unchanged";
    char version[32] = "unchanged";
    r.ok = GetVersionStringbyMtpInfo(vid, pid, manufacturer, version, sizeof version, nullptr);
    r.manufacturer = manufacturer;
    r.version = version;
    return r;
}

vxmtp::ContainerHeader Header(const Bytes &transfer)
{
    vxmtp::ContainerHeader h;
    EXPECT_TRUE(vxmtp::DecodeHeader(transfer, h));
    return h;
}
} // namespace

// ---- Finding the device ----

TEST_F(UlvexMtpTest, FindsTheMonitorWhoseSerialIsOnTheBus)
{
    AddUsb(0x1111, 0x2222, "OTHER");
    AddMonitor(kVid, kPid, u"SER42abc", "ser42ABC"); // compared without regard to case

    const Lookup r = Ask(kVid, kPid);
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.manufacturer, "Maker Co");
    EXPECT_EQ(r.version, "FW 2.01");
    EXPECT_EQ(*live, 0); // every device of the call was let go
}

TEST_F(UlvexMtpTest, ChoosesTheDeviceWhoseSerialIsOnTheBus)
{
    AddMonitor(kVid, kPid, u"FIRST", std::nullopt, u"First Co", u"1.0");
    AddMonitor(kVid, kPid, u"SECOND", "SECOND", u"Second Co", u"2.0");

    const Lookup r = Ask(kVid, kPid);
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.manufacturer, "Second Co");
    EXPECT_EQ(r.version, "2.0");
}

TEST_F(UlvexMtpTest, OnlyDevicesWithTheAskedIdsCount)
{
    // A monitor with another product ID, on the bus with its own serial.
    AddMonitor(kVid, 0x0002, u"SER1", "SER1");
    // A monitor whose serial is on the bus only under other IDs.
    AddMonitor(kVid, kPid, u"SER2", std::nullopt);
    AddUsb(kVid, 0x0003, "SER2");
    // A device on the bus with the asked IDs but another serial.
    AddUsb(kVid, kPid, "SER3");

    for (const auto &ids : {std::pair{kVid, kPid}, std::pair<unsigned short, unsigned short>{0, 0}})
    {
        const Lookup r = Ask(ids.first, ids.second);
        EXPECT_EQ(r.ok, 0);
        EXPECT_EQ(r.manufacturer, "unchanged");
        EXPECT_EQ(r.version, "unchanged");
    }
    EXPECT_EQ(Ask(kVid, 0x0002).ok, 1);
}

TEST_F(UlvexMtpTest, AMonitorWithoutASerialIsNotMatched)
{
    AddMonitor(kVid, kPid, u"", std::nullopt);
    AddUsb(kVid, kPid, std::nullopt);
    EXPECT_EQ(Ask(kVid, kPid).ok, 0);
}

TEST_F(UlvexMtpTest, NoDeviceGivesNoReference)
{
    char version[8] = "keep";
    char letter = 'Q';
    auto *device = reinterpret_cast<ULVEX_MTP_DEVICE *>(&letter);
    EXPECT_EQ(GetVersionStringbyMtpInfo(kVid, kPid, nullptr, version, sizeof version, &device), 0);
    EXPECT_EQ(device, nullptr);
    EXPECT_STREQ(version, "keep");
}

TEST_F(UlvexMtpTest, AnEmptyFirmwareVersionStillSucceeds)
{
    AddMonitor(kVid, kPid, u"SER", "SER", u"Maker Co", u"");
    const Lookup r = Ask(kVid, kPid);
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.version, "");
    EXPECT_EQ(r.manufacturer, "Maker Co");
}

TEST_F(UlvexMtpTest, TextsAreCutToTheirBuffers)
{
    const std::u16string longName(200, u'M');
    AddMonitor(kVid, kPid, u"SER", "SER", longName, u"FW 2.01-beta\u263A");

    // The manufacturer output holds 128 bytes; the bytes beyond it stay as they were.
    unsigned char manufacturer[160];
    std::memset(manufacturer, 0x7F, sizeof manufacturer);
    char version[16];
    std::memset(version, 'x', sizeof version);
    ASSERT_EQ(
        GetVersionStringbyMtpInfo(kVid, kPid, reinterpret_cast<char *>(manufacturer), version, 8, nullptr),
        1);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(manufacturer)), std::string(127, 'M'));
    EXPECT_EQ(manufacturer[127], 0);
    for (std::size_t i = 128; i < sizeof manufacturer; ++i)
        ASSERT_EQ(manufacturer[i], 0x7F) << i;
    EXPECT_STREQ(version, "FW 2.01");
    EXPECT_EQ(std::string(version + 8, 8), std::string(8, 'x'));

    // A character outside Latin-1 becomes '?'.
    ASSERT_EQ(GetVersionStringbyMtpInfo(kVid, kPid, nullptr, version, sizeof version, nullptr), 1);
    EXPECT_STREQ(version, "FW 2.01-beta?");
}

TEST_F(UlvexMtpTest, TheDeviceReferenceIsCounted)
{
    AddMonitor(kVid, kPid, u"OTHER", std::nullopt);
    AddMonitor(kVid, kPid, u"SER", "SER");

    char version[16];
    ULVEX_MTP_DEVICE *device = nullptr;
    ASSERT_EQ(GetVersionStringbyMtpInfo(kVid, kPid, nullptr, version, sizeof version, &device), 1);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(*live, 1); // the chosen device holds its interface, the other was let go

    EXPECT_EQ(UlvexMtpDeviceAddRef(device), 2u);
    EXPECT_EQ(UlvexMtpDeviceRelease(device), 1u);
    EXPECT_EQ(*live, 1);
    unsigned int returned[ULVEX_MTP_MAX_PARAMS];
    unsigned int count = 0;
    sims[1]->ScriptVendorOperation(kOpNone, {});
    EXPECT_EQ(
        SendMTPCmd(device, kOpNone, nullptr, 0, ULVEX_MTP_PHASE_NONE, returned, &count, nullptr, nullptr), 1);

    EXPECT_EQ(device->vtbl->Release(device), 0u);
    EXPECT_EQ(*live, 0);
    EXPECT_EQ(UlvexMtpDeviceRelease(nullptr), 0u);
}

TEST_F(UlvexMtpTest, AForeignDeviceObjectIsRefused)
{
    SimMtpMonitor &sim = AddMonitor(kVid, kPid, u"SER", "SER");
    sim.ScriptVendorOperation(kOpNone, {});
    const ULVEX_MTP_DEVICE_VTBL table = {[](ULVEX_MTP_DEVICE *) { return 1ul; },
                                         [](ULVEX_MTP_DEVICE *) { return 0ul; }};
    ULVEX_MTP_DEVICE foreign{&table};
    unsigned int returned[ULVEX_MTP_MAX_PARAMS];
    unsigned int count = 0;
    EXPECT_EQ(
        SendMTPCmd(&foreign, kOpNone, nullptr, 0, ULVEX_MTP_PHASE_NONE, returned, &count, nullptr, nullptr),
        0);
    EXPECT_EQ(
        SendMTPCmd(nullptr, kOpNone, nullptr, 0, ULVEX_MTP_PHASE_NONE, returned, &count, nullptr, nullptr),
        0);
    EXPECT_TRUE(sim.VendorLog().empty());
}

// ---- Custom commands on the simulated monitor ----

TEST_F(UlvexMtpTest, AWriteOf36BytesIsOneCommandAndOneDataContainer)
{
    SimMtpMonitor &sim = AddMonitor(kVid, kPid, u"SER", "SER");
    sim.ScriptVendorOperation(kOpWrite, {DataPhase::Out, kRespOk, {7}, {}});
    DeviceRef ref{Open(sim)};
    ASSERT_NE(ref.device, nullptr);

    Bytes record(36);
    for (std::size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<std::uint8_t>(i + 1);
    unsigned int length = 36;
    unsigned int returned[ULVEX_MTP_MAX_PARAMS];
    unsigned int count = kUntouched;
    ASSERT_EQ(SendMTPCmd(ref.device, kOpWrite, nullptr, 0, ULVEX_MTP_PHASE_WRITE, returned, &count,
                         record.data(), &length),
              1);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(returned[0], 7u);
    EXPECT_EQ(length, 36u);

    const auto out = sim.OutTransfers();
    ASSERT_EQ(out.size(), 2u);
    const vxmtp::ContainerHeader command = Header(out[0]);
    const vxmtp::ContainerHeader data = Header(out[1]);
    EXPECT_EQ(command.length, 12u);
    EXPECT_EQ(command.type, vxmtp::kContainerCommand);
    EXPECT_EQ(command.code, kOpWrite);
    EXPECT_EQ(data.length, 48u);
    EXPECT_EQ(data.type, vxmtp::kContainerData);
    EXPECT_EQ(data.transactionId, command.transactionId);
    ASSERT_EQ(sim.VendorLog().size(), 1u);
    EXPECT_EQ(sim.VendorLog()[0].dataOut, record);
}

TEST_F(UlvexMtpTest, AWriteLongerThanTheRecordIsRefusedBeforeSending)
{
    SimMtpMonitor &sim = AddMonitor(kVid, kPid, u"SER", "SER");
    sim.ScriptVendorOperation(kOpWrite, {DataPhase::Out, kRespOk, {}, {}});
    DeviceRef ref{Open(sim)};
    ASSERT_NE(ref.device, nullptr);

    Bytes data(1025, 0xAB);
    unsigned int length = 1025;
    unsigned int returned[ULVEX_MTP_MAX_PARAMS];
    unsigned int count = kUntouched;
    EXPECT_EQ(SendMTPCmd(ref.device, kOpWrite, nullptr, 0, ULVEX_MTP_PHASE_WRITE, returned, &count,
                         data.data(), &length),
              0);
    EXPECT_TRUE(sim.OutTransfers().empty());
    EXPECT_EQ(count, kUntouched);

    length = 1024; // the whole data area
    EXPECT_EQ(SendMTPCmd(ref.device, kOpWrite, nullptr, 0, ULVEX_MTP_PHASE_WRITE, returned, &count,
                         data.data(), &length),
              1);
    ASSERT_EQ(sim.VendorLog().size(), 1u);
    EXPECT_EQ(sim.VendorLog()[0].dataOut, Bytes(1024, 0xAB));
}

TEST_F(UlvexMtpTest, ACommandWithoutDataNeedsNoDataPointer)
{
    SimMtpMonitor &sim = AddMonitor(kVid, kPid, u"SER", "SER");
    sim.ScriptVendorOperation(kOpNone, {DataPhase::None, kRespOk, {}, {}});
    DeviceRef ref{Open(sim)};
    ASSERT_NE(ref.device, nullptr);

    const unsigned int params[5] = {10, 20, 30, 40, 50};
    unsigned int returned[ULVEX_MTP_MAX_PARAMS];
    unsigned int count = kUntouched;
    ASSERT_EQ(
        SendMTPCmd(ref.device, kOpNone, params, 5, ULVEX_MTP_PHASE_NONE, returned, &count, nullptr, nullptr),
        1);
    EXPECT_EQ(count, 0u);
    const auto log = sim.VendorLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].params, (std::vector<std::uint32_t>{10, 20, 30, 40, 50}));
    EXPECT_TRUE(log[0].dataOut.empty());
    ASSERT_EQ(sim.OutTransfers().size(), 1u);
    EXPECT_EQ(Header(sim.OutTransfers()[0]).length, 32u);
}

TEST_F(UlvexMtpTest, BadArgumentsSendNothing)
{
    SimMtpMonitor &sim = AddMonitor(kVid, kPid, u"SER", "SER");
    sim.ScriptVendorOperation(kOpRead, {DataPhase::In, kRespOk, {}, Bytes(4, 1)});
    DeviceRef ref{Open(sim)};
    ASSERT_NE(ref.device, nullptr);

    const unsigned int params[6] = {1, 2, 3, 4, 5, 6};
    unsigned int returned[ULVEX_MTP_MAX_PARAMS];
    unsigned int count = 0;
    unsigned char data[16];
    unsigned int length = sizeof data;
    struct Case
    {
        const char *what;
        const unsigned int *params;
        unsigned int paramCount;
        unsigned int phase;
        unsigned int *returned;
        unsigned int *count;
        unsigned char *data;
        unsigned int *length;
    };
    const Case cases[] = {
        {"no return parameters", nullptr, 0, 1, nullptr, &count, data, &length},
        {"no return count", nullptr, 0, 1, returned, nullptr, data, &length},
        {"six parameters", params, 6, 1, returned, &count, data, &length},
        {"a count without parameters", nullptr, 2, 1, returned, &count, data, &length},
        {"phase 0", nullptr, 0, 0, returned, &count, data, &length},
        {"phase 4", nullptr, 0, 4, returned, &count, data, &length},
        {"read without data", nullptr, 0, 1, returned, &count, nullptr, &length},
        {"read without a length", nullptr, 0, 1, returned, &count, data, nullptr},
        {"write without data", nullptr, 0, 2, returned, &count, nullptr, &length},
        {"write without a length", nullptr, 0, 2, returned, &count, data, nullptr},
    };
    for (const Case &c : cases)
    {
        EXPECT_EQ(SendMTPCmd(ref.device, kOpRead, c.params, c.paramCount, c.phase, c.returned, c.count,
                             c.data, c.length),
                  0)
            << c.what;
    }
    EXPECT_TRUE(sim.OutTransfers().empty());
    EXPECT_EQ(length, sizeof data);
}

TEST_F(UlvexMtpTest, ARefusalByTheDeviceGivesZero)
{
    SimMtpMonitor &sim = AddMonitor(kVid, kPid, u"SER", "SER");
    sim.ScriptVendorOperation(kOpRead, {DataPhase::In, kRespOk, {9}, Bytes(8, 0x55)});
    sim.ScriptResponse(kOpRead, vxmtp::kRespDeviceBusy);
    DeviceRef ref{Open(sim)};
    ASSERT_NE(ref.device, nullptr);

    unsigned int returned[ULVEX_MTP_MAX_PARAMS] = {kUntouched};
    unsigned int count = kUntouched;
    unsigned char data[16] = {};
    unsigned int length = sizeof data;
    EXPECT_EQ(
        SendMTPCmd(ref.device, kOpRead, nullptr, 0, ULVEX_MTP_PHASE_READ, returned, &count, data, &length),
        0);
    EXPECT_EQ(count, kUntouched);
    EXPECT_EQ(returned[0], kUntouched);
    EXPECT_EQ(length, sizeof data);
    EXPECT_EQ(sim.VendorLog().size(), 1u);

    // An operation the device does not know is refused the same way.
    EXPECT_EQ(
        SendMTPCmd(ref.device, 0x9DFF, nullptr, 0, ULVEX_MTP_PHASE_NONE, returned, &count, nullptr, nullptr),
        0);
    // And a device that is gone.
    sim.SetUnplugged(true);
    EXPECT_EQ(
        SendMTPCmd(ref.device, kOpRead, nullptr, 0, ULVEX_MTP_PHASE_READ, returned, &count, data, &length),
        0);
    EXPECT_EQ(count, kUntouched);
}

TEST_F(UlvexMtpTest, AReadFillsAtMostTheCallersBuffer)
{
    SimMtpMonitor &sim = AddMonitor(kVid, kPid, u"SER", "SER");
    Bytes sent(100);
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<std::uint8_t>(0x80 + i);
    sim.ScriptVendorOperation(kOpRead, {DataPhase::In, kRespOk, {1, 2, 3, 4, 5}, sent});
    DeviceRef ref{Open(sim)};
    ASSERT_NE(ref.device, nullptr);

    unsigned int returned[8];
    std::fill(std::begin(returned), std::end(returned), kUntouched);
    unsigned int count = 0;

    // Room for all of it: the data, its length and the five return parameters.
    unsigned char data[128];
    std::memset(data, 0xEE, sizeof data);
    unsigned int length = sizeof data;
    ASSERT_EQ(
        SendMTPCmd(ref.device, kOpRead, nullptr, 0, ULVEX_MTP_PHASE_READ, returned, &count, data, &length),
        1);
    EXPECT_EQ(length, 100u);
    EXPECT_EQ(Bytes(data, data + 100), sent);
    EXPECT_EQ(data[100], 0xEE);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(std::vector<unsigned int>(returned, returned + 5), (std::vector<unsigned int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(returned[5], kUntouched);

    // Room for less: nothing is copied.
    std::memset(data, 0xEE, sizeof data);
    length = 64;
    count = kUntouched;
    EXPECT_EQ(
        SendMTPCmd(ref.device, kOpRead, nullptr, 0, ULVEX_MTP_PHASE_READ, returned, &count, data, &length),
        0);
    EXPECT_EQ(length, 64u);
    EXPECT_EQ(count, kUntouched);
    EXPECT_TRUE(std::all_of(std::begin(data), std::end(data), [](unsigned char b) { return b == 0xEE; }));
}

TEST_F(UlvexMtpTest, AReadLongerThanTheRecordFails)
{
    SimMtpMonitor &sim = AddMonitor(kVid, kPid, u"SER", "SER");
    DeviceRef ref{Open(sim)};
    ASSERT_NE(ref.device, nullptr);

    Bytes data(4096, 0);
    unsigned int returned[ULVEX_MTP_MAX_PARAMS];
    unsigned int count = 0;
    for (const auto &[sent, ok] :
         {std::pair<std::size_t, int>{2048, 1}, std::pair<std::size_t, int>{2049, 0}})
    {
        sim.ScriptVendorOperation(kOpRead, {DataPhase::In, kRespOk, {}, Bytes(sent, 0x31)});
        unsigned int length = static_cast<unsigned int>(data.size());
        EXPECT_EQ(SendMTPCmd(ref.device, kOpRead, nullptr, 0, ULVEX_MTP_PHASE_READ, returned, &count,
                             data.data(), &length),
                  ok)
            << sent;
        EXPECT_EQ(length, ok ? sent : data.size());
    }
}

// ---- The command records ----

TEST(UlvexCustomCommandTest, TheInputRecordIsByteExact)
{
    std::vector<Bytes> inputs;
    std::vector<std::size_t> outputSizes;
    const ulvex::CustomCommandControl control = [&](std::span<const std::uint8_t> in,
                                                    std::span<std::uint8_t> out) {
        inputs.emplace_back(in.begin(), in.end());
        outputSizes.push_back(out.size());
        vxmtp::MtpCommandDataOut answer{};
        answer.responseCode = kRespOk;
        std::memcpy(out.data(), &answer, sizeof answer);
        return true;
    };

    const unsigned int params[2] = {0x11223344, 0x55667788};
    unsigned int returned[ULVEX_MTP_MAX_PARAMS];
    unsigned int count = 0;
    ASSERT_EQ(ulvex::SendCustomCommand(control, 0x9D04, params, 2, ULVEX_MTP_PHASE_NONE, returned, &count,
                                       nullptr, nullptr),
              1);
    unsigned char data[3] = {0xA1, 0xA2, 0xA3};
    unsigned int length = 3;
    ASSERT_EQ(ulvex::SendCustomCommand(control, 0x9D03, nullptr, 0, ULVEX_MTP_PHASE_WRITE, returned, &count,
                                       data, &length),
              1);

    ASSERT_EQ(inputs.size(), 2u);
    Bytes none(34, 0);
    const std::uint8_t noneHead[] = {0x04, 0x9D, 2,    0,    0, 0, 0x44, 0x33, 0x22, 0x11,
                                     0x88, 0x77, 0x66, 0x55, 0, 0, 0,    0,    0,    0,
                                     0,    0,    0,    0,    0, 0, 3,    0,    0,    0};
    std::copy(std::begin(noneHead), std::end(noneHead), none.begin());
    EXPECT_EQ(inputs[0], none);

    Bytes write(1058, 0);
    write[0] = 0x03;
    write[1] = 0x9D;
    write[26] = 2; // next phase
    write[30] = 3; // write-data size
    write[34] = 0xA1;
    write[35] = 0xA2;
    write[36] = 0xA3;
    EXPECT_EQ(inputs[1], write);
    EXPECT_EQ(outputSizes, (std::vector<std::size_t>{2078, 2078}));
}

TEST(UlvexCustomCommandTest, TheReturnCountIsCappedAtFive)
{
    const ulvex::CustomCommandControl control = [](std::span<const std::uint8_t>,
                                                   std::span<std::uint8_t> out) {
        vxmtp::MtpCommandDataOut answer{};
        answer.responseCode = kRespOk;
        answer.numReturnParams = 9;
        for (std::uint32_t i = 0; i < 5; ++i)
            answer.returnParams[i] = 100 + i;
        std::memcpy(out.data(), &answer, sizeof answer);
        return true;
    };
    unsigned int returned[8];
    std::fill(std::begin(returned), std::end(returned), kUntouched);
    unsigned int count = 0;
    ASSERT_EQ(ulvex::SendCustomCommand(control, 0x9D04, nullptr, 0, ULVEX_MTP_PHASE_NONE, returned, &count,
                                       nullptr, nullptr),
              1);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(std::vector<unsigned int>(returned, returned + 5),
              (std::vector<unsigned int>{100, 101, 102, 103, 104}));
    EXPECT_EQ(returned[5], kUntouched);
}

TEST(UlvexCustomCommandTest, AnOutputRecordClaimingMoreThanItsAreaIsRefused)
{
    const ulvex::CustomCommandControl control = [](std::span<const std::uint8_t>,
                                                   std::span<std::uint8_t> out) {
        vxmtp::MtpCommandDataOut answer{};
        answer.responseCode = kRespOk;
        answer.readDataSize = 3000;
        std::memcpy(out.data(), &answer, sizeof answer);
        return true;
    };
    Bytes data(4096, 0x5A);
    unsigned int length = static_cast<unsigned int>(data.size());
    unsigned int returned[ULVEX_MTP_MAX_PARAMS];
    unsigned int count = kUntouched;
    EXPECT_EQ(ulvex::SendCustomCommand(control, 0x9D05, nullptr, 0, ULVEX_MTP_PHASE_READ, returned, &count,
                                       data.data(), &length),
              0);
    EXPECT_EQ(length, 4096u);
    EXPECT_EQ(count, kUntouched);
    EXPECT_EQ(data, Bytes(4096, 0x5A));
}

TEST(UlvexCustomCommandTest, AFailedControlCallGivesZero)
{
    int calls = 0;
    const ulvex::CustomCommandControl control = [&](std::span<const std::uint8_t>,
                                                    std::span<std::uint8_t> out) {
        ++calls;
        vxmtp::MtpCommandDataOut answer{};
        answer.responseCode = kRespOk; // whatever the record holds, the call failed
        std::memcpy(out.data(), &answer, sizeof answer);
        return false;
    };
    unsigned int returned[ULVEX_MTP_MAX_PARAMS];
    unsigned int count = kUntouched;
    EXPECT_EQ(ulvex::SendCustomCommand(control, 0x9D04, nullptr, 0, ULVEX_MTP_PHASE_NONE, returned, &count,
                                       nullptr, nullptr),
              0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(count, kUntouched);
}

// ---- The list of MTP devices ----

TEST_F(UlvexMtpTest, ListsTheOneMtpDeviceAmongThree)
{
    AddUsb(0x1111, 0x2222, "A1");
    AddMonitor(kVid, kPid, u"SER42", "SER42", u"Maker Co", u"FW 2.01");
    AddUsb(0x5555, 0x6666, "B2");

    char ids[2][2][ULVEX_ID_TEXT_SIZE] = {{"v0", "p0"}, {"v1", "p1"}};
    char manufacturers[2][ULVEX_MANUFACTURER_SIZE] = {"m0", "m1"};
    char versions[2][16] = {"r0", "r1"};
    char *vendorIds[2] = {ids[0][0], ids[1][0]};
    char *productIds[2] = {ids[0][1], ids[1][1]};
    char *manufacturerOuts[2] = {manufacturers[0], manufacturers[1]};
    char *versionOuts[2] = {versions[0], versions[1]};

    ASSERT_EQ(GetMtpDeviceInfo(vendorIds, productIds, manufacturerOuts, versionOuts, 16, 2), 1);
    EXPECT_STREQ(vendorIds[0], "3A7E");
    EXPECT_STREQ(productIds[0], "0001");
    EXPECT_STREQ(manufacturers[0], "Maker Co");
    EXPECT_STREQ(versions[0], "FW 2.01");
    EXPECT_STREQ(vendorIds[1], "v1");
    EXPECT_STREQ(productIds[1], "p1");
    EXPECT_STREQ(manufacturers[1], "m1");
    EXPECT_STREQ(versions[1], "r1");
    EXPECT_EQ(*live, 0);

    // Without manufacturer and version outputs the IDs still come.
    EXPECT_EQ(GetMtpDeviceInfo(vendorIds, productIds, nullptr, nullptr, 0, 2), 1);
}

TEST_F(UlvexMtpTest, TheListStopsAtTheMaximum)
{
    SimMtpMonitor &first = AddMonitor(kVid, kPid, u"SER1", "SER1");
    SimMtpMonitor &second = AddMonitor(kVid, 0x0002, u"SER2", "SER2");

    char vendor[ULVEX_ID_TEXT_SIZE] = "v";
    char product[ULVEX_ID_TEXT_SIZE] = "p";
    char *vendorIds[1] = {vendor};
    char *productIds[1] = {product};
    char manufacturer[ULVEX_MANUFACTURER_SIZE] = "m";
    char *manufacturers[1] = {manufacturer};

    EXPECT_EQ(GetMtpDeviceInfo(vendorIds, productIds, manufacturers, nullptr, 0, 0), 0);
    EXPECT_STREQ(vendor, "v");
    EXPECT_STREQ(manufacturer, "m");
    EXPECT_TRUE(first.OperationLog().empty());
    EXPECT_TRUE(second.OperationLog().empty());

    EXPECT_EQ(GetMtpDeviceInfo(vendorIds, productIds, manufacturers, nullptr, 0, 1), 1);
    EXPECT_STREQ(product, "0001");
    EXPECT_FALSE(first.OperationLog().empty());
    EXPECT_TRUE(second.OperationLog().empty()); // never asked

    EXPECT_EQ(GetMtpDeviceInfo(nullptr, productIds, manufacturers, nullptr, 0, 1), 0);
}
