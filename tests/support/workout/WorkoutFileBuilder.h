#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vxtest
{
// One exercise record of a test image. Field values go into the file as they are, so out-of-range
// dates can be written too.
struct WorkoutRecordSpec
{
    int year = 2010;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    uint32_t duration = 0;
    uint32_t walkingSteps = 0;
    uint32_t runningSteps = 0;
    uint32_t walkingDistance = 0;
    uint32_t runningDistance = 0;
    uint32_t calories = 0;
    uint8_t heartRateBefore = 0;
    uint8_t heartRateAfter = 0;
};

// A record at a date and time with every other field zero.
WorkoutRecordSpec RecordAt(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Builds a workout file image: a 208-byte header (220 with the extended header), the records behind it,
// optional trailing bytes and a check byte that makes the whole image sum to zero unless told otherwise.
// Written independently of the program's own file code, so that a test compares two readings.
class WorkoutFileBuilder
{
  public:
    explicit WorkoutFileBuilder(bool extendedHeader = false);

    WorkoutFileBuilder &FirstName(const std::u16string &name); // written as given, up to 49 characters
    WorkoutFileBuilder &LastName(const std::u16string &name);
    WorkoutFileBuilder &Profile(uint8_t age, uint8_t gender, uint16_t height, uint8_t weight);
    // Any single header byte (the check byte excepted), e.g. the reserved byte or extended settings.
    WorkoutFileBuilder &HeaderByte(std::size_t offset, uint8_t value);
    WorkoutFileBuilder &AddRecord(const WorkoutRecordSpec &record);
    // Record count byte other than the number of records added.
    WorkoutFileBuilder &RecordCount(int count);
    WorkoutFileBuilder &Trailing(std::size_t bytes, uint8_t fill = 0);
    // The check byte off by one, so that the image does not sum to zero.
    WorkoutFileBuilder &WrongCheckByte();

    std::size_t HeaderLength() const { return m_header.size(); }
    std::vector<uint8_t> Build() const;

  private:
    std::vector<uint8_t> m_header;
    std::vector<WorkoutRecordSpec> m_records;
    int m_count = -1;
    std::size_t m_trailing = 0;
    uint8_t m_trailingFill = 0;
    bool m_wrongCheck = false;
};

// The record at an index of an image, decoded independently of the program's own file code.
WorkoutRecordSpec ReadRecordSpec(const std::vector<uint8_t> &image, std::size_t headerLength, int index);

// 8-bit sum of every byte of an image (0 for a correct image).
uint8_t ImageSum(const std::vector<uint8_t> &image);
} // namespace vxtest
