#include "device/DeviceClock.h"

#include "device/DeviceCommandSession.h"
#include "device/SupportedDevices.h"
#include "device/UlvexDevice.h"
#include "platform/sys/LocalTime.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/sim_hid/SimHidMonitor.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace
{
using vxtest::FakeUlvexLibrary;
using Bytes = std::vector<std::uint8_t>;

// 2010-12-31 23:59:30 UTC.
constexpr std::int64_t kNewYearsEve = 1293839970;

class ScopedNow
{
  public:
    explicit ScopedNow(std::int64_t now)
    {
        vxsys::SetCurrentTimeSource([now] { return now; });
    }
    ~ScopedNow() { vxsys::SetCurrentTimeSource({}); }
};

// A wrapper over the fake library whose detection found a device of the given type.
struct Scene
{
    FakeUlvexLibrary lib;
    UlvexDevice device{lib.Path()};
    DeviceCommandSession session;

    explicit Scene(DeviceType type, std::size_t entry = 3)
    {
        auto &state = lib.State();
        state.mtpFound = type == DeviceType::Mtp;
        std::strcpy(state.mtpVersion, "1.0");
        state.driveFound = type == DeviceType::MassStorage;
        state.driveLetter = 'D';
        state.hidOpens = type == DeviceType::Hid;
        state.scsiOpens = true;
        state.scsiSucceeds = true;
        const SupportedDeviceEntry &e = kSupportedDevices[entry];
        device.SetIds(e.szVendorId, e.szProductId);
        session.SetIds(e.szVendorId, e.szProductId);
        device.DetectType();
        EXPECT_EQ(device.GetDeviceType(), type);
        state.calls[vxfake::kGetVersionStringbyMtpInfo] = 0;
        state.mtpLookupCount = 0;
    }

    Bytes MtpData(int call)
    {
        const auto &c = lib.State().mtpCalls[call];
        return Bytes(c.data, c.data + std::min<unsigned>(c.dataLength, sizeof c.data));
    }
};

Bytes Le32(std::initializer_list<std::uint32_t> values)
{
    Bytes bytes;
    for (std::uint32_t v : values)
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return bytes;
}

Bytes MtpRecord(std::initializer_list<std::uint32_t> fields)
{
    Bytes record = Le32(fields);
    record.resize(36, 0);
    return record;
}

// An instant that the zone "right/UTC" breaks down with second 60, if the system has that zone.
std::optional<std::int64_t> LeapSecondInRightUtc()
{
    // Around the end of 2016, the last leap second so far; right/ zones count leap seconds.
    for (std::time_t t = 1483228800; t < 1483228800 + 40; ++t)
    {
        std::tm local{};
        if (localtime_r(&t, &local) && local.tm_sec == 60)
            return t;
    }
    return std::nullopt;
}
} // namespace

TEST(DeviceClockMtpTest, PrepareThenTheClockRecord)
{
    ScopedNow now(kNewYearsEve);
    Scene scene(DeviceType::Mtp);
    ASSERT_TRUE(SetDeviceClock(scene.device, scene.session));

    const auto &state = scene.lib.State();
    ASSERT_EQ(state.mtpCallCount, 2);
    const auto &prepare = state.mtpCalls[0];
    EXPECT_EQ(prepare.op, 0x9D04);
    EXPECT_EQ(prepare.paramCount, 0u);
    EXPECT_EQ(prepare.phase, 3u);
    EXPECT_FALSE(prepare.dataGiven);
    EXPECT_TRUE(prepare.deviceLive);

    const auto &clock = state.mtpCalls[1];
    EXPECT_EQ(clock.op, 0x9D03);
    EXPECT_EQ(clock.paramCount, 0u);
    EXPECT_EQ(clock.phase, 2u);
    EXPECT_TRUE(clock.deviceLive);
    EXPECT_EQ(clock.dataLength, 36u);
    // Year 2010, month 11 (December counted from 0), day 31, 23:59:30, then 12 zero bytes.
    EXPECT_EQ(scene.MtpData(1), MtpRecord({2010, 11, 31, 23, 59, 30}));
    EXPECT_EQ(scene.MtpData(1)[0], 0xDA);
    EXPECT_EQ(scene.MtpData(1)[1], 0x07);

    // Each command looked the device up for itself and gave its reference back.
    ASSERT_EQ(state.mtpLookupCount, 2);
    for (int i = 0; i < 2; ++i)
    {
        EXPECT_EQ(state.mtpLookups[i].vendor, VORMATIK_MONITOR_VENDOR_ID);
        EXPECT_EQ(state.mtpLookups[i].product, HexToU16(kSupportedDevices[3].szProductId));
        EXPECT_EQ(state.mtpLookups[i].versionCapacity, 100u);
        EXPECT_TRUE(state.mtpLookups[i].deviceWanted);
    }
    EXPECT_EQ(state.liveMtpDevices, 0);
}

TEST(DeviceClockMtpTest, TheLocalTimeOfTheZone)
{
    ScopedNow now(kNewYearsEve);
    vxtest::ScopedTimeZone zone("JST-9"); // already 2011-01-01 08:59:30 there
    Scene scene(DeviceType::Mtp);
    ASSERT_TRUE(scene.device.SetClockMtp());
    EXPECT_EQ(scene.MtpData(0), MtpRecord({2011, 0, 1, 8, 59, 30}));
}

TEST(DeviceClockMtpTest, NoClockAfterARefusedPrepare)
{
    ScopedNow now(kNewYearsEve);
    Scene scene(DeviceType::Mtp);
    scene.lib.State().refusedMtpOps[0] = 0x9D04;
    EXPECT_FALSE(SetDeviceClock(scene.device, scene.session));
    ASSERT_EQ(scene.lib.State().mtpCallCount, 1);
    EXPECT_EQ(scene.lib.State().mtpCalls[0].op, 0x9D04);
    EXPECT_EQ(scene.lib.State().liveMtpDevices, 0);
}

TEST(DeviceClockMtpTest, ARefusedClockStillGivesTheDeviceBack)
{
    ScopedNow now(kNewYearsEve);
    Scene scene(DeviceType::Mtp);
    scene.lib.State().refusedMtpOps[0] = 0x9D03;
    EXPECT_FALSE(SetDeviceClock(scene.device, scene.session));
    EXPECT_EQ(scene.lib.State().mtpCallCount, 2);
    EXPECT_EQ(scene.lib.State().liveMtpDevices, 0);
}

TEST(DeviceClockMtpTest, NothingIsSentWithoutTheDevice)
{
    Scene scene(DeviceType::Mtp);
    scene.lib.State().mtpFound = false;
    EXPECT_FALSE(scene.device.ReadMtpInfo());
    EXPECT_FALSE(scene.device.SetClockMtp());
    EXPECT_EQ(scene.lib.Calls(vxfake::kGetVersionStringbyMtpInfo), 2);
    EXPECT_EQ(scene.lib.Calls(vxfake::kSendMTPCmd), 0);
}

TEST(DeviceClockMtpTest, OnlyForAnMtpDevice)
{
    for (DeviceType type : {DeviceType::None, DeviceType::MassStorage, DeviceType::Hid})
    {
        Scene scene(type);
        scene.lib.State().mtpFound = true;
        EXPECT_FALSE(scene.device.ReadMtpInfo());
        EXPECT_FALSE(scene.device.SetClockMtp());
        EXPECT_EQ(scene.lib.Calls(vxfake::kGetVersionStringbyMtpInfo), 0);
        EXPECT_EQ(scene.lib.Calls(vxfake::kSendMTPCmd), 0);
    }
}

TEST(DeviceClockScsiTest, TheNineByteCommandWithATwoByteRead)
{
    ScopedNow now(kNewYearsEve);
    Scene scene(DeviceType::MassStorage);
    ASSERT_TRUE(SetDeviceClock(scene.device, scene.session));
    const auto &state = scene.lib.State();
    ASSERT_EQ(state.scsiCallCount, 1);
    const auto &call = state.scsiCalls[0];
    EXPECT_TRUE(call.handleKnown);
    ASSERT_EQ(call.cdbLength, 9u);
    EXPECT_EQ(Bytes(call.cdb, call.cdb + 9), (Bytes{0xE0, 0x01, 0xDA, 0x07, 11, 31, 23, 59, 30}));
    EXPECT_FALSE(call.writeDataGiven);
    EXPECT_EQ(call.writeLength, 0u);
    EXPECT_EQ(call.isWrite, 0);
    EXPECT_TRUE(call.readBufferGiven);
    EXPECT_EQ(call.readLength, 2u);
    EXPECT_STREQ(state.lastProductId, kSupportedDevices[3].szProductId);
    EXPECT_EQ(scene.lib.OpenHandles(), 0);
}

TEST(DeviceClockScsiTest, TheHandleIsClosedWhenTheCommandFails)
{
    Scene scene(DeviceType::MassStorage);
    scene.lib.State().scsiSucceeds = false;
    EXPECT_FALSE(scene.device.SetClockScsi());
    EXPECT_EQ(scene.lib.State().scsiCallCount, 1);
    EXPECT_EQ(scene.lib.OpenHandles(), 0);

    scene.lib.State().scsiOpens = false;
    EXPECT_FALSE(scene.device.SetClockScsi());
    EXPECT_EQ(scene.lib.State().scsiCallCount, 1);
}

TEST(DeviceClockTest, ALeapSecondIsSentAsTheLastSecondOfTheMinute)
{
    vxtest::ScopedTimeZone zone("right/UTC");
    const auto leap = LeapSecondInRightUtc();
    if (!leap)
        GTEST_SKIP() << "the system has no time zone that counts leap seconds";
    ScopedNow now(*leap);
    {
        Scene scene(DeviceType::MassStorage);
        ASSERT_TRUE(scene.device.SetClockScsi());
        const auto &call = scene.lib.State().scsiCalls[0];
        EXPECT_EQ(Bytes(call.cdb, call.cdb + 9), (Bytes{0xE0, 0x01, 0xE0, 0x07, 11, 31, 23, 59, 59}));
    }
    {
        Scene scene(DeviceType::Mtp);
        ASSERT_TRUE(scene.device.SetClockMtp());
        EXPECT_EQ(scene.MtpData(0), MtpRecord({2016, 11, 31, 23, 59, 59}));
    }
    {
        vxtest::SimHidMonitor monitor;
        DeviceCommandSession session;
        session.SetIds("3a7e", "0001");
        ASSERT_TRUE(session.SetClock());
        ASSERT_TRUE(monitor.WaitUntilAllClosed());
        const auto commands = monitor.Commands();
        ASSERT_EQ(commands.size(), 1u);
        ASSERT_GE(commands[0].received.size(), 7u);
        EXPECT_EQ(Bytes(commands[0].received.begin(), commands[0].received.begin() + 7),
                  (Bytes{0xE0, 0x07, 12, 31, 23, 59, 59}));
    }
}

TEST(DeviceClockTest, TheHidModelTakesTheSessionsClockCommand)
{
    ScopedNow now(kNewYearsEve);
    const SupportedDeviceEntry &hid = kSupportedDevices[kHidEntry];
    vxtest::SimHidMonitor::Options options;
    options.vendorId = "3a7e";
    options.productId = "5d03";
    ASSERT_EQ(HexToU16(options.productId.c_str()), HexToU16(hid.szProductId));
    vxtest::SimHidMonitor monitor(options);

    Scene scene(DeviceType::Hid, kHidEntry);
    ASSERT_TRUE(SetDeviceClock(scene.device, scene.session));
    ASSERT_TRUE(monitor.WaitUntilAllClosed());
    const auto commands = monitor.Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].command, 0x01);
    // The HID clock counts months from 1.
    ASSERT_GE(commands[0].received.size(), 7u);
    EXPECT_EQ(Bytes(commands[0].received.begin(), commands[0].received.begin() + 7),
              (Bytes{0xDA, 0x07, 12, 31, 23, 59, 30}));
    EXPECT_EQ(scene.lib.Calls(vxfake::kSendMTPCmd), 0);
    EXPECT_EQ(scene.lib.Calls(vxfake::kOpenSCSIDevice), 0);
}

TEST(DeviceClockTest, NoTypeNoCommand)
{
    vxtest::SimHidMonitor monitor;
    Scene scene(DeviceType::None);
    scene.lib.State().mtpFound = true;
    scene.lib.State().hidOpens = true;
    EXPECT_FALSE(SetDeviceClock(scene.device, scene.session));
    EXPECT_EQ(scene.lib.Calls(vxfake::kSendMTPCmd), 0);
    EXPECT_EQ(scene.lib.Calls(vxfake::kOpenSCSIDevice), 0);
    EXPECT_EQ(monitor.Opens(), 0);
}
