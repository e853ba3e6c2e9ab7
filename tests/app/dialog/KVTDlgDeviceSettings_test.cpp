#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/TestEnvironment.h"
#include "tests/support/sim_hid/SimHidMonitor.h"
#include "usbaccess/MonitorVendor.h"

namespace
{
using Bytes = std::vector<std::uint8_t>;

std::string Hex(std::uint16_t value)
{
    char text[5];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

template <std::size_t N> void Put(std::array<char16_t, N> &field, const std::u16string &text)
{
    field.fill(0);
    std::copy(text.begin(), text.end(), field.begin());
}

std::u16string NameAt(const Bytes &block, std::size_t at)
{
    std::u16string name;
    for (std::size_t i = at; i + 1 < block.size(); i += 2)
    {
        const char16_t c = static_cast<char16_t>(block[i] | (block[i + 1] << 8));
        if (c == 0)
            break;
        name.push_back(c);
    }
    return name;
}

// The dialog hands its own fields to the write: the user, the units flag, both settings records and
// the firmware, and takes the units flag back into its profile settings.
TEST(MainDialogDeviceSettings, WritesTheDialogsUserAndSettingsToTheMonitor)
{
    vxtest::SimHidMonitor::Options options;
    options.vendorId = Hex(VORMATIK_MONITOR_VENDOR_ID);
    options.productId = Hex(0x5D03);
    vxtest::SimHidMonitor monitor(options);

    CKVTDlg dlg(1033);
    dlg.m_pCommandSession = std::make_shared<DeviceCommandSession>();
    dlg.m_pCommandSession->SetIds(options.vendorId.c_str(), options.productId.c_str());
    dlg.m_nDeviceTableFlag = 1;
    Put(dlg.m_szFirstName, u"Zo\u00eb");
    Put(dlg.m_szLastName, u"O'Neil");
    dlg.m_nAge = 41;
    dlg.m_nGender = 1;
    dlg.m_nUserHeightCm = 181;
    dlg.m_nWeightKg = 73;
    dlg.m_FirmwareVersion = FirmwareVersion{2, 2, 7};
    dlg.m_ProfileSettings = UserProfileSettings{0, 1, 0, 2, 70, 90};
    dlg.m_DeviceSettings = DeviceSettings{0, 1, 0, 1, 0, 5, 7, 8};

    for (const BOOL metric : {FALSE, TRUE})
    {
        SCOPED_TRACE(metric);
        dlg.m_bMetric = metric;
        monitor.ClearRecords();
        ASSERT_TRUE(dlg.WriteDeviceSettings(true));
        EXPECT_EQ(dlg.m_ProfileSettings.metric, metric ? 1u : 0u);
        ASSERT_TRUE(monitor.WaitUntilAllClosed());
        const auto &commands = monitor.Commands();
        ASSERT_FALSE(commands.empty());
        const Bytes block(commands.back().received.begin(),
                          commands.back().received.begin() +
                              std::min<std::size_t>(220, commands.back().received.size()));
        ASSERT_EQ(block.size(), 220u);
        EXPECT_EQ(NameAt(block, 1), u"Zo\u00eb");
        EXPECT_EQ(NameAt(block, 101), u"O'Neil");
        EXPECT_EQ(block[201], 41);
        EXPECT_EQ(block[202], 1);
        EXPECT_EQ(block[203] | (block[204] << 8), 181);
        EXPECT_EQ(block[205], 73);
        const std::uint8_t settings[] = {
            0, 70, 20, 2, 2, 7, 5, 7, 8, static_cast<std::uint8_t>(metric ? 0x1A : 0x0A), 0, 2};
        EXPECT_EQ(Bytes(block.begin() + 208, block.end()), Bytes(settings, settings + 12));
    }
}
} // namespace
