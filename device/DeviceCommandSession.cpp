#include "device/DeviceCommandSession.h"

#include "device/DeviceMutex.h"
#include "device/MonitorClockTime.h"
#include "platform/sys/LocalTime.h"
#include "device/HidReport.h"
#include "platform/sys/TextConvert.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace
{
constexpr std::uint8_t kHostSends = 0;
constexpr std::uint8_t kHostReads = 1;
constexpr std::uint8_t kReportId = 0;

// Command 0x01 with a one-byte data phase sets the mode (host sends) or asks for the
// status (host reads); with seven bytes it sets the clock.
constexpr std::uint8_t kCommandModeOrStatus = 0x01;
constexpr std::uint8_t kCommandWriteRecords = 0x1C;
constexpr std::uint8_t kCommandReadRecords = 0x6E;
constexpr std::uint8_t kCommandSetClock = 0x01;
constexpr std::uint8_t kCommandDeviceInfo = 0x05;
constexpr std::uint8_t kCommandLanguages = 0x0F;

constexpr std::uint8_t kModeWriteRecords = 1;
constexpr std::uint8_t kModeReadRecords = 0;
constexpr std::uint8_t kModeSetClock = 2;
constexpr std::uint8_t kModeDeviceInfo = 0x1F;
constexpr std::uint8_t kModeLanguages = 3;

constexpr std::size_t kLanguageFlags = 117;

// Stores an ID of at most four characters; a longer one is stored empty (invalid).
void StoreId(char16_t (&field)[5], const char *text)
{
    std::fill(std::begin(field), std::end(field), u'\0');
    const std::size_t length = std::strlen(text);
    if (length > 4)
        return;
    vxsys::U16CopyBounded(field, 5, vxsys::Latin1ToUtf16(std::string_view(text, length)));
}

bool CopyId(const char16_t (&field)[5], char *out)
{
    if (vxsys::U16Length(field) != 4)
        return false;
    // A surrogate pair would narrow to one byte; only four bytes make an ID.
    const std::string narrow = vxsys::Utf16ToLatin1(std::u16string_view(field, 4));
    if (narrow.size() != 4)
        return false;
    std::memcpy(out, narrow.data(), 4);
    out[4] = '\0';
    return true;
}
} // namespace

DeviceCommandSession::DeviceCommandSession() : m_szVendorId{}, m_szProductId{}, m_nState(kNothingDone) {}

void DeviceCommandSession::SetIds(const char *vendor, const char *product)
{
    if (!vendor || !product)
        return;
    StoreId(m_szVendorId, vendor);
    StoreId(m_szProductId, product);
}

bool DeviceCommandSession::GetIds(char *vendorOut, char *productOut) const
{
    if (!vendorOut || !productOut)
        return false;
    if (vxsys::U16Length(m_szVendorId) != 4 || vxsys::U16Length(m_szProductId) != 4)
        return false;
    return CopyId(m_szVendorId, vendorOut) && CopyId(m_szProductId, productOut);
}

bool DeviceCommandSession::OpenDevice()
{
    m_nState = kBusy;
    return IsHidDeviceConnected(m_szVendorId, m_szProductId) && HidOpen(m_szVendorId, m_szProductId);
}

bool DeviceCommandSession::SendCommandFrame(std::uint8_t direction, std::uint16_t length,
                                            std::uint8_t command)
{
    const std::array<std::uint8_t, kFrameLength> frame = HidCommandFrame{direction, length, command}.Bytes();
    return HidWrite(frame.data(), frame.size(), kReportId) == frame.size();
}

bool DeviceCommandSession::ModeStep(std::uint8_t mode)
{
    std::uint8_t status = 0xFF;
    const bool exchanged = SendCommandFrame(kHostSends, 1, kCommandModeOrStatus) &&
                           HidWrite(&mode, 1, kReportId) == 1 &&
                           SendCommandFrame(kHostReads, 1, kCommandModeOrStatus) && HidRead(&status, 1) == 1;
    m_nState = (exchanged && status < 2) ? status : kBadModeStatus;
    if (m_nState == kReady)
        return true;
    HidClose();
    return false;
}

bool DeviceCommandSession::OpenInMode(std::uint8_t mode, std::uint16_t &state)
{
    const bool opened = OpenDevice();
    state = static_cast<std::uint16_t>(m_nState);
    if (!opened)
        return false;
    const bool ready = ModeStep(mode);
    state = static_cast<std::uint16_t>(m_nState);
    return ready;
}

bool DeviceCommandSession::ClosingExchange()
{
    std::uint8_t status = 0xFF;
    const bool answered = SendCommandFrame(kHostReads, 1, kCommandModeOrStatus) && HidRead(&status, 1) == 1;
    m_nState = (answered && status <= 2) ? status : kFailedAfterData;
    HidClose();
    return answered && status == 0;
}

bool DeviceCommandSession::WriteRecordBlock(const std::uint8_t *block, std::size_t length)
{
    if (!block || length < 1 || length > kRecordBlockWriteLength)
        return false;
    DeviceLock lock(DeviceMutex());
    if (!OpenDevice() || !ModeStep(kModeWriteRecords))
        return false;

    std::array<std::uint8_t, kRecordBlockWriteLength> data{};
    std::memcpy(data.data(), block, length);
    const bool complete = SendCommandFrame(kHostSends, kRecordBlockWriteLength, kCommandWriteRecords) &&
                          HidWrite(data.data(), data.size(), kReportId) == data.size();
    const bool finalReady = ClosingExchange();
    return complete && finalReady;
}

bool DeviceCommandSession::ReadRecordBlock(std::vector<std::uint8_t> &image, std::size_t &length)
{
    image.clear();
    length = 0;
    DeviceLock lock(DeviceMutex());
    if (!OpenDevice() || !ModeStep(kModeReadRecords))
        return false;

    std::vector<std::uint8_t> data(kRecordBlockReadLength, 0);
    const bool complete = SendCommandFrame(kHostReads, kRecordBlockReadLength, kCommandReadRecords) &&
                          HidRead(data.data(), data.size()) == data.size();
    const bool finalReady = ClosingExchange();
    if (!complete || !finalReady)
        return false;
    image = std::move(data);
    length = kRecordBlockReadLength;
    return true;
}

bool DeviceCommandSession::SetClock()
{
    vxsys::LocalFields local{};
    if (!MonitorClockNow(local))
        return false;
    const std::array<std::uint8_t, kClockLength> data = {
        static_cast<std::uint8_t>(local.year & 0xFF),
        static_cast<std::uint8_t>((local.year >> 8) & 0xFF),
        static_cast<std::uint8_t>(local.month),
        static_cast<std::uint8_t>(local.day),
        static_cast<std::uint8_t>(local.hour),
        static_cast<std::uint8_t>(local.minute),
        static_cast<std::uint8_t>(local.second),
    };

    DeviceLock lock(DeviceMutex());
    if (!OpenDevice() || !ModeStep(kModeSetClock))
        return false;
    const bool complete = SendCommandFrame(kHostSends, kClockLength, kCommandSetClock) &&
                          HidWrite(data.data(), data.size(), kReportId) == data.size();
    const bool finalReady = ClosingExchange();
    return complete && finalReady;
}

bool DeviceCommandSession::ReadDeviceInfo(std::uint16_t &state, std::uint8_t &major, std::uint8_t &minor,
                                          std::uint8_t &build, std::uint16_t &value, char *identityOut)
{
    state = kFailedAfterData;
    major = minor = build = 0;
    value = 0;
    if (identityOut)
        std::memset(identityOut, 0, kIdentityLength);

    DeviceLock lock(DeviceMutex());
    if (!OpenInMode(kModeDeviceInfo, state))
        return false;

    // The first byte of the block is the monitor's status; there is no closing exchange.
    std::array<std::uint8_t, kDeviceInfoLength> block{};
    const bool all = SendCommandFrame(kHostReads, kDeviceInfoLength, kCommandDeviceInfo) &&
                     HidRead(block.data(), block.size()) == block.size();
    HidClose();
    m_nState = (all && block[0] <= 2) ? block[0] : kFailedAfterData;
    state = static_cast<std::uint16_t>(m_nState);
    if (!all || block[0] != 0)
        return false;

    major = block[1];
    minor = block[2];
    build = block[3];
    value = static_cast<std::uint16_t>(block[4] | (block[5] << 8));
    if (identityOut)
    {
        // The identity bytes are sent lowest first; the text starts with the highest.
        for (std::size_t i = 0; i < 16; ++i)
            std::snprintf(identityOut + 2 * i, 3, "%02X", static_cast<unsigned>(block[21 - i]));
        identityOut[32] = '\0';
    }
    return true;
}

bool DeviceCommandSession::ReadLanguageList(std::uint16_t &state, DeviceLanguageList &list)
{
    state = kFailedAfterData;
    list.count = 0;
    list.codes.clear();

    DeviceLock lock(DeviceMutex());
    if (!OpenInMode(kModeLanguages, state))
        return false;

    std::array<std::uint8_t, kLanguageBlockLength> block{};
    const bool all = SendCommandFrame(kHostReads, kLanguageBlockLength, kCommandLanguages) &&
                     HidRead(block.data(), block.size()) == block.size();
    HidClose();
    m_nState = (all && block[0] <= 2) ? block[0] : kFailedAfterData;
    state = static_cast<std::uint16_t>(m_nState);
    if (!all || block[0] != 0)
        return false;

    list.codes.reserve(kLanguageFlags);
    for (std::size_t position = 1; position <= kLanguageFlags; ++position)
        if (block[position] == 1)
            list.codes.push_back(static_cast<std::uint8_t>(position - 1));
    list.count = static_cast<std::uint8_t>(list.codes.size());
    return true;
}
