#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// The monitor's workout file "FR.DAT": a header with the owner's name and profile (and, on the device kind
// with the extended header, its settings), then 33-byte exercise records. Every multi-byte field is
// little-endian and read byte by byte: the record's 32-bit fields are not aligned.

constexpr std::size_t kWorkoutHeaderLength = 208;
constexpr std::size_t kWorkoutExtendedHeaderLength = 220;
constexpr std::size_t kWorkoutRecordSize = 33;
// No monitor writes more than a header and 255 records; a larger file is not one of theirs.
constexpr std::size_t kWorkoutFileMaxLength = 1024 * 1024;
// The image the HID monitor sends: an extended header and room for 20 records.
constexpr std::size_t kWorkoutHidImageLength = kWorkoutExtendedHeaderLength + 20 * kWorkoutRecordSize;
// Characters of a name field, its terminating zero not counted.
constexpr std::size_t kWorkoutNameMaxChars = 49;

constexpr std::size_t WorkoutHeaderLength(bool extendedHeader)
{
    return extendedHeader ? kWorkoutExtendedHeaderLength : kWorkoutHeaderLength;
}

// Byte offsets of the header fields.
namespace WorkoutHeaderOffset
{
constexpr std::size_t CheckByte = 0;
constexpr std::size_t FirstName = 1;
constexpr std::size_t LastName = 101;
constexpr std::size_t Age = 201;
constexpr std::size_t Gender = 202;
constexpr std::size_t Height = 203;
constexpr std::size_t Weight = 205;
constexpr std::size_t Reserved = 206;
constexpr std::size_t RecordCount = 207;
constexpr std::size_t Placement = 208;
constexpr std::size_t WalkingStep = 209;
constexpr std::size_t RunningStepExtra = 210;
constexpr std::size_t FirmwareMajor = 211;
constexpr std::size_t FirmwareMinor = 212;
constexpr std::size_t FirmwareBuild = 213;
constexpr std::size_t Language = 214;
constexpr std::size_t DeviceValueA = 215;
constexpr std::size_t DeviceValueB = 216;
constexpr std::size_t Flags = 217;
constexpr std::size_t Volume = 218;
constexpr std::size_t DoubleTapSpeed = 219;
} // namespace WorkoutHeaderOffset

// Bits of header byte 217.
namespace WorkoutFlag
{
constexpr uint8_t ShowTime = 0x01;
constexpr uint8_t ShowDistance = 0x02;
constexpr uint8_t ShowSteps = 0x04;
constexpr uint8_t ShowCalories = 0x08;
constexpr uint8_t Metric = 0x10;
constexpr uint8_t DoubleTapOff = 0x20;
} // namespace WorkoutFlag

// One exercise record as the monitor's clock stamped it.
struct WorkoutRecord
{
    uint16_t year;
    uint8_t month;
    uint8_t day;
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
    uint32_t duration; // seconds
    uint32_t walkingSteps;
    uint32_t runningSteps;
    uint32_t walkingDistance; // metres
    uint32_t runningDistance; // metres
    uint32_t calories;
    uint8_t heartRateBefore;
    uint8_t heartRateAfter;
};

// Reads or writes the record that starts at bytes[0]; false (nothing read or written) when fewer than
// 33 bytes are given.
bool ReadWorkoutRecord(std::span<const uint8_t> bytes, WorkoutRecord *record);
bool WriteWorkoutRecord(std::span<uint8_t> bytes, const WorkoutRecord &record);

// The owner's part of the header.
struct WorkoutProfile
{
    std::u16string firstName;
    std::u16string lastName;
    uint8_t age;
    uint8_t gender;
    uint16_t height;
    uint8_t weight;
};

// The device settings of the extended header. The running step is rebuilt as walking step plus the
// stored difference; the stored walking step keeps only its low 8 bits.
struct WorkoutExtendedSettings
{
    uint8_t placement; // 0 waist or neckline, 1 armband
    int walkingStep;   // centimetres
    int runningStep;   // centimetres
    uint8_t firmwareMajor;
    uint8_t firmwareMinor;
    uint8_t firmwareBuild;
    uint8_t language;
    uint8_t deviceValueA;
    uint8_t deviceValueB;
    uint8_t flags; // WorkoutFlag bits; bits 6-7 are written as 0
    uint8_t volume;
    uint8_t doubleTapSpeed;
};

// Header readers and writers over an image; each is false (nothing read or written) when the image is
// shorter than the header part it touches (208 bytes, or 220 for the extended settings).
bool ReadWorkoutProfile(std::span<const uint8_t> image, WorkoutProfile *profile);
// Names longer than 49 UTF-16 units are cut there (one unit earlier when the cut would split a
// surrogate pair); each is written with its terminating zero.
bool WriteWorkoutProfile(std::span<uint8_t> image, const WorkoutProfile &profile);
bool ReadWorkoutExtendedSettings(std::span<const uint8_t> image, WorkoutExtendedSettings *settings);
bool WriteWorkoutExtendedSettings(std::span<uint8_t> image, const WorkoutExtendedSettings &settings);

// The check byte that makes the 8-bit sum of itself and bytes[0..length-1] zero; 0 for a null or
// empty buffer.
uint8_t WorkoutChecksum(const uint8_t *bytes, uint64_t length);
// True when check plus the bytes sum to zero modulo 256; false for a null or empty buffer.
bool VerifyWorkoutChecksum(const uint8_t *bytes, uint64_t length, uint8_t check);
