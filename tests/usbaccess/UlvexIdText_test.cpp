#include "usbaccess/ulvex_api.h"

#include "tests/support/fake_sysfs/FakeSysfs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(A16toiTest, ReadsFourHexDigits)
{
    struct Case
    {
        const char *text;
        int value;
    };
    const Case cases[] = {
        {"12aB", 0x12AB}, {"12AB", 0x12AB}, {"0000", 0},
        {"ffff", 0xFFFF}, {"3A7E", 0x3A7E}, {"12345", 0x1234}, // only the first four count
        {"12", 0x1200}, // the text's end stops the reading; missing digits are 0
        {"", 0},          {"1", 0x1000},    {"1g2h", 0x1020}, // a character that is no digit counts as 0
    };
    for (const Case &c : cases)
        EXPECT_EQ(a16toi(c.text), c.value) << c.text;
    EXPECT_EQ(a16toi(nullptr), 0);
}

TEST(A16toiTest, ShortTextIsNotReadPastItsEnd)
{
    // A two-byte allocation: reading four characters would overrun it (caught by ASan).
    char *text = new char[2]{'7', '\0'};
    EXPECT_EQ(a16toi(text), 0x7000);
    delete[] text;
}

TEST(GetVenProdByDevicePathTest, TakesTextsAfterTheMarkers)
{
    char vendor[ULVEX_NAME_TEXT_SIZE] = "unchanged";
    char product[ULVEX_NAME_TEXT_SIZE] = "unchanged";
    GetVenProdByDevicePath("\\\\?\\usbstor#disk&ven_ACME_CO&prod_X&rev_1.00#123#{53f56307}", vendor, product);
    EXPECT_STREQ(vendor, "ACME CO");
    EXPECT_STREQ(product, "X");

    // Case is kept as given; the last text runs to the end.
    GetVenProdByDevicePath("disk&ven_Acme&prod_Step_Counter", vendor, product);
    EXPECT_STREQ(vendor, "Acme");
    EXPECT_STREQ(product, "Step Counter");
}

TEST(GetVenProdByDevicePathTest, MissingMarkersAndNullOutputs)
{
    char vendor[ULVEX_NAME_TEXT_SIZE] = "old vendor";
    char product[ULVEX_NAME_TEXT_SIZE] = "old product";
    GetVenProdByDevicePath("no markers here", vendor, product);
    EXPECT_STREQ(vendor, "old vendor");
    EXPECT_STREQ(product, "old product");

    // A marker at the start of the text does not count.
    GetVenProdByDevicePath("VEN_FIRST&PROD_P", vendor, product);
    EXPECT_STREQ(vendor, "old vendor");
    EXPECT_STREQ(product, "P");

    GetVenProdByDevicePath("x&ven_A&prod_B", nullptr, product);
    EXPECT_STREQ(product, "B");
    GetVenProdByDevicePath("x&ven_A&prod_C", vendor, nullptr);
    EXPECT_STREQ(vendor, "A");
    GetVenProdByDevicePath(nullptr, vendor, product);
    EXPECT_STREQ(vendor, "A");
}

TEST(GetVenProdByDevicePathTest, LongNameIsCutToTheOutputSize)
{
    const std::string path = "x&ven_" + std::string(300, 'V') + "&prod_" + std::string(300, 'P');
    char vendor[ULVEX_NAME_TEXT_SIZE + 8];
    char product[ULVEX_NAME_TEXT_SIZE + 8];
    std::memset(vendor, '#', sizeof vendor);
    std::memset(product, '#', sizeof product);
    GetVenProdByDevicePath(path.c_str(), vendor, product);
    EXPECT_EQ(std::strlen(vendor), ULVEX_NAME_TEXT_SIZE - 1u);
    EXPECT_EQ(std::strlen(product), ULVEX_NAME_TEXT_SIZE - 1u);
    EXPECT_EQ(vendor[ULVEX_NAME_TEXT_SIZE], '#');
    EXPECT_EQ(product[ULVEX_NAME_TEXT_SIZE], '#');
}

TEST(ExtractPidVidFromHardwareIDTest, Table)
{
    struct Case
    {
        const char *text;
        const char *vendor; // expected; "-" when untouched
        const char *product;
        const char *serial;
    };
    const Case cases[] = {
        {"USB\\VID_1234&PID_ABCD\\SER42", "1234", "ABCD", "SER42"},
        {"\\\\?\\usb#vid_1234&pid_abcd#ser42#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", "1234", "ABCD",
         "SER42"},
        {"USB\\VID_1234&PID_ABCD\\5&1A2B&0&2\\MORE", "1234", "ABCD", "5&1A2B&0&2"},
        {"usb\\vid_3a7e&pid_0001&mi_00\\x", "3A7E", "0001", "X"},
        {"VID_1234&PID_ABCD\\S", "-", "ABCD", "S"},      // vendor marker at the start does not count
        {"USB\\VID_1234", "1234", "-", "-"},             // no product: no serial either
        {"USB\\VID_1234&PID_ABCD", "1234", "ABCD", "-"}, // no separator after the product
        {"USB\\VID_12", "12", "-", "-"},                 // short text: read to its end only
        {"HID#VID_1234&PID_ABCD#ONLYONE", "1234", "ABCD", "ONLYONE"},
    };
    for (const Case &c : cases)
    {
        char vendor[ULVEX_ID_TEXT_SIZE] = "-";
        char product[ULVEX_ID_TEXT_SIZE] = "-";
        char serial[ULVEX_SERIAL_SIZE] = "-";
        ExtractPidVidFromHardwareID(c.text, static_cast<int>(std::strlen(c.text)), product, vendor, serial);
        EXPECT_STREQ(vendor, c.vendor) << c.text;
        EXPECT_STREQ(product, c.product) << c.text;
        EXPECT_STREQ(serial, c.serial) << c.text;
    }
}

TEST(ExtractPidVidFromHardwareIDTest, LengthNullOutputsAndLongSerial)
{
    char vendor[ULVEX_ID_TEXT_SIZE] = "-";
    char product[ULVEX_ID_TEXT_SIZE] = "-";
    const char *text = "USB\\VID_1234&PID_ABCD\\SER";
    // Only the first length bytes are looked at.
    ExtractPidVidFromHardwareID(text, 12, product, vendor, nullptr);
    EXPECT_STREQ(vendor, "1234");
    EXPECT_STREQ(product, "-");
    ExtractPidVidFromHardwareID(text, 0, product, vendor, nullptr);
    EXPECT_STREQ(product, "-");
    ExtractPidVidFromHardwareID(nullptr, 10, product, vendor, nullptr);
    ExtractPidVidFromHardwareID(text, static_cast<int>(std::strlen(text)), nullptr, nullptr, nullptr);

    const std::string longText = "USB\\VID_1234&PID_ABCD\\" + std::string(1000, 's');
    char serial[ULVEX_SERIAL_SIZE + 8];
    std::memset(serial, '#', sizeof serial);
    ExtractPidVidFromHardwareID(longText.c_str(), static_cast<int>(longText.size()), product, vendor, serial);
    EXPECT_EQ(std::strlen(serial), ULVEX_SERIAL_SIZE - 1u);
    EXPECT_EQ(serial[ULVEX_SERIAL_SIZE], '#');
}

TEST(GetPidVidByDeviceInfoTest, ReadsTheParentsInstanceId)
{
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::string name = sysfs.AddUsbDevice("usb1", 4, vxtest::UsbDevice(0x3a7e, 0x00c1, "abc123"));

    char vendor[ULVEX_ID_TEXT_SIZE] = "-";
    char product[ULVEX_ID_TEXT_SIZE] = "-";
    char serial[ULVEX_SERIAL_SIZE] = "-";
    // The interface's parent is the USB device.
    GetPidVidByDeviceInfo(sysfs.InterfaceDir(name, 0).c_str(), product, vendor, serial);
    EXPECT_STREQ(vendor, "3A7E");
    EXPECT_STREQ(product, "00C1");
    EXPECT_STREQ(serial, "ABC123");

    char untouched[ULVEX_ID_TEXT_SIZE] = "-";
    GetPidVidByDeviceInfo((sysfs.SysRoot() + "/nowhere").c_str(), untouched, nullptr, nullptr);
    GetPidVidByDeviceInfo(nullptr, untouched, nullptr, nullptr);
    EXPECT_STREQ(untouched, "-");
}
