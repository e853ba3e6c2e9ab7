#include "app/KVTDlg.h"

#include "device/DeviceMutex.h"
#include "device/DeviceSettingsWriter.h"

namespace
{
template <std::size_t N> std::u16string TextOf(const std::array<char16_t, N> &text)
{
    std::size_t n = 0;
    while (n < N && text[n] != 0)
        ++n;
    return std::u16string(text.data(), n);
}
} // namespace

bool CKVTDlg::WriteDeviceSettings(bool freshHeader)
{
    DeviceSettingsWriteContext context;
    {
        // The watcher writes the wrapper's fields and the ID pair under the device mutex.
        DeviceLock lock(DeviceMutex());
        if (m_pDevice)
            context.deviceType = m_pDevice->GetDeviceType();
        if (m_pUsbIds)
            context.usbIds = *m_pUsbIds;
    }
    context.driveLetter = static_cast<char>(m_chDriveLetter);
    context.extendedHeader = m_nDeviceTableFlag != 0;
    context.hidSession = m_pCommandSession.get();
    context.firmware = m_FirmwareVersion;
    context.owner = WorkoutProfile{TextOf(m_szFirstName),
                                   TextOf(m_szLastName),
                                   static_cast<std::uint8_t>(m_nAge),
                                   static_cast<std::uint8_t>(m_nGender),
                                   static_cast<std::uint16_t>(m_nHeightCm),
                                   static_cast<std::uint8_t>(m_nWeightLb)};
    context.dataFolder = TextOf(m_szDataFolder);
    context.metricUnits = m_bMetric != FALSE;
    context.profile = m_ProfileSettings;
    context.settings = m_DeviceSettings;
    const bool written = ::WriteDeviceSettings(context, freshHeader);
    m_ProfileSettings.metric = context.profile.metric;
    return written;
}
