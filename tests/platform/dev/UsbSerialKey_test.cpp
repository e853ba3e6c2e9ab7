#include "platform/dev/UsbSerialKey.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using vxtest::UsbDevice;

namespace
{
class UsbSerialKeyTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        sysfs.AddRootHub(1);
        sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x3a7e, 0x0001, "Ab12cd"));
        sysfs.AddUsbDevice("usb1", 2, UsbDevice(0x3a7e, 0x0002, "OTHER9"));
        sysfs.AddUsbDevice("usb1", 3, UsbDevice(0x3a7e, 0x0001, std::nullopt));
        sysfs.AddUsbDevice("usb1", 4, UsbDevice(0x3a7e, 0x0001, "HAS#HASH"));
    }
    vxtest::FakeSysfs sysfs;
};
} // namespace

TEST_F(UsbSerialKeyTest, SerialOfAPresentDeviceWithTheSameIdsIsAKeyWhateverItsCase)
{
    EXPECT_TRUE(vxdev::UsbSerialIsEnumerated(0x3a7e, 0x0001, "Ab12cd"));
    EXPECT_TRUE(vxdev::UsbSerialIsEnumerated(0x3a7e, 0x0001, "AB12CD"));
    EXPECT_TRUE(vxdev::UsbSerialIsEnumerated(0x3a7e, 0x0001, "ab12cd"));
    EXPECT_TRUE(vxdev::UsbSerialIsEnumerated(0x3a7e, 0x0002, "other9"));
}

TEST_F(UsbSerialKeyTest, OtherIdsPartialSerialsAndEmptySerialsAreNoKey)
{
    struct Case
    {
        std::uint16_t vid, pid;
        const char *serial;
    };
    const Case cases[] = {
        {0x3a7e, 0x0002, "Ab12cd"},   // a serial of another product
        {0x3a7f, 0x0001, "Ab12cd"},   // another vendor
        {0x3a7e, 0x0001, "Ab12c"},    // a prefix
        {0x3a7e, 0x0001, "Ab12cd "},  // trailing blank
        {0x3a7e, 0x0001, ""},         // the device without a serial
        {0x3a7e, 0x0001, "HAS#HASH"}, // listed under its location, not its serial
        {0x3a7e, 0x0001, "MISSING"},
    };
    for (const Case &c : cases)
        EXPECT_FALSE(vxdev::UsbSerialIsEnumerated(c.vid, c.pid, c.serial)) << c.serial;
}

TEST(UsbSerialKeyPresence, ADeviceThatIsGoneIsNoLongerAKey)
{
    {
        vxtest::FakeSysfs sysfs;
        sysfs.AddRootHub(1);
        sysfs.AddUsbDevice("usb1", 1, UsbDevice(0x3a7e, 0x0001, "SER42"));
        EXPECT_TRUE(vxdev::UsbSerialIsEnumerated(0x3a7e, 0x0001, "SER42"));
    }
    vxtest::FakeSysfs empty;
    empty.AddRootHub(1);
    EXPECT_FALSE(vxdev::UsbSerialIsEnumerated(0x3a7e, 0x0001, "SER42"));
}
