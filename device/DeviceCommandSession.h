#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The monitor's language codes as the device settings page offers them.
struct DeviceLanguageList
{
    std::uint8_t count = 0;
    std::vector<std::uint8_t> codes; // count codes
};

// The 8-byte payload of a command report: 0xAB, the direction of the data phase
// (0 the host sends, 1 the host reads), its length (16-bit little-endian), the command
// code and three zero bytes.
struct HidCommandFrame
{
    std::uint8_t direction = 0;
    std::uint16_t length = 0;
    std::uint8_t command = 0;

    std::array<std::uint8_t, 8> Bytes() const
    {
        return {0xAB,
                direction,
                static_cast<std::uint8_t>(length & 0xFF),
                static_cast<std::uint8_t>(length >> 8),
                command,
                0,
                0,
                0};
    }
};

// The HID model's command protocol. Every operation is one self-contained exchange:
// open the device, set the operating mode, check that the monitor is ready, run one
// command with its data phase, collect the final status, close the device. Each
// operation holds the device mutex throughout.
class DeviceCommandSession
{
  public:
    // The state left by the last operation.
    static constexpr std::int32_t kReady = 0;           // ready / the last operation succeeded
    static constexpr std::int32_t kBusy = 1;            // an operation runs, or the monitor answered busy
    static constexpr std::int32_t kFailedAfterData = 2; // failed after the data phase
    static constexpr std::int32_t kBadModeStatus = 3;   // the mode step failed or gave a bad status
    static constexpr std::int32_t kNothingDone = 4;     // no operation yet

    // Frame and block sizes of the protocol.
    static constexpr std::size_t kFrameLength = 8;
    static constexpr std::size_t kRecordBlockWriteLength = 220;
    static constexpr std::size_t kRecordBlockReadLength = 880;
    static constexpr std::size_t kClockLength = 7;
    static constexpr std::size_t kDeviceInfoLength = 38;
    static constexpr std::size_t kLanguageBlockLength = 118;
    static constexpr std::size_t kIdentityLength = 33; // 32 hexadecimal digits and a zero

    DeviceCommandSession();

    // Takes the vendor and product ID texts (single-byte, four hexadecimal digits each).
    // Does nothing unless both are given. An ID longer than four characters is stored
    // as invalid: GetIds then fails and no device matches.
    void SetIds(const char *vendor, const char *product);
    // Copies the four characters of each ID and a terminating zero (room for 5 bytes
    // each); false unless both outputs are given and both stored IDs have four characters.
    bool GetIds(char *vendorOut, char *productOut) const;

    std::int32_t GetState() const { return m_nState; }

    // Sends a block of 1 to 220 bytes, zero-padded to 220.
    bool WriteRecordBlock(const std::uint8_t *block, std::size_t length);
    // Reads the 880-byte workout image; on failure image is empty and length 0.
    bool ReadRecordBlock(std::vector<std::uint8_t> &image, std::size_t &length);
    // Sets the monitor's clock to the computer's local time.
    bool SetClock();
    // identityOut receives 33 bytes. state receives the session state after each step
    // (2 before the first); the other outputs start at 0.
    bool ReadDeviceInfo(std::uint16_t &state, std::uint8_t &major, std::uint8_t &minor, std::uint8_t &build,
                        std::uint16_t &value, char *identityOut);
    bool ReadLanguageList(std::uint16_t &state, DeviceLanguageList &list);

  private:
    bool OpenDevice();
    bool ModeStep(std::uint8_t mode);
    // OpenDevice, then ModeStep; state receives the session state after each step taken.
    bool OpenInMode(std::uint8_t mode, std::uint16_t &state);
    bool SendCommandFrame(std::uint8_t direction, std::uint16_t length, std::uint8_t command);
    bool ClosingExchange();

    char16_t m_szVendorId[5];
    char16_t m_szProductId[5];
    std::int32_t m_nState;
};
