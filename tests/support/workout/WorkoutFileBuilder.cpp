#include "tests/support/workout/WorkoutFileBuilder.h"

#include <stdexcept>

namespace vxtest
{
namespace
{
void Put(std::vector<uint8_t> &out, std::size_t at, uint64_t value, int width)
{
    for (int i = 0; i < width; ++i)
        out.at(at + static_cast<std::size_t>(i)) = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t Get(const std::vector<uint8_t> &in, std::size_t at, int width)
{
    uint64_t value = 0;
    for (int i = 0; i < width; ++i)
        value |= static_cast<uint64_t>(in.at(at + static_cast<std::size_t>(i))) << (8 * i);
    return value;
}

void PutName(std::vector<uint8_t> &out, std::size_t at, const std::u16string &name)
{
    if (name.size() > 49)
        throw std::invalid_argument("a name field holds at most 49 characters");
    for (std::size_t i = 0; i < name.size(); ++i)
        Put(out, at + 2 * i, name[i], 2);
    Put(out, at + 2 * name.size(), 0, 2);
}
} // namespace

WorkoutRecordSpec RecordAt(int year, int month, int day, int hour, int minute, int second)
{
    WorkoutRecordSpec r;
    r.year = year;
    r.month = month;
    r.day = day;
    r.hour = hour;
    r.minute = minute;
    r.second = second;
    return r;
}

WorkoutFileBuilder::WorkoutFileBuilder(bool extendedHeader) : m_header(extendedHeader ? 220 : 208, 0) {}

WorkoutFileBuilder &WorkoutFileBuilder::FirstName(const std::u16string &name)
{
    PutName(m_header, 1, name);
    return *this;
}

WorkoutFileBuilder &WorkoutFileBuilder::LastName(const std::u16string &name)
{
    PutName(m_header, 101, name);
    return *this;
}

WorkoutFileBuilder &WorkoutFileBuilder::Profile(uint8_t age, uint8_t gender, uint16_t height, uint8_t weight)
{
    m_header[201] = age;
    m_header[202] = gender;
    Put(m_header, 203, height, 2);
    m_header[205] = weight;
    return *this;
}

WorkoutFileBuilder &WorkoutFileBuilder::HeaderByte(std::size_t offset, uint8_t value)
{
    if (offset == 0)
        throw std::invalid_argument("the check byte is computed");
    m_header.at(offset) = value;
    return *this;
}

WorkoutFileBuilder &WorkoutFileBuilder::AddRecord(const WorkoutRecordSpec &record)
{
    m_records.push_back(record);
    return *this;
}

WorkoutFileBuilder &WorkoutFileBuilder::RecordCount(int count)
{
    m_count = count;
    return *this;
}

WorkoutFileBuilder &WorkoutFileBuilder::Trailing(std::size_t bytes, uint8_t fill)
{
    m_trailing = bytes;
    m_trailingFill = fill;
    return *this;
}

WorkoutFileBuilder &WorkoutFileBuilder::WrongCheckByte()
{
    m_wrongCheck = true;
    return *this;
}

std::vector<uint8_t> WorkoutFileBuilder::Build() const
{
    std::vector<uint8_t> image = m_header;
    image[207] = static_cast<uint8_t>(m_count >= 0 ? m_count : static_cast<int>(m_records.size()));
    for (const WorkoutRecordSpec &r : m_records)
    {
        const std::size_t at = image.size();
        image.resize(at + 33, 0);
        Put(image, at + 0, static_cast<uint64_t>(r.year), 2);
        Put(image, at + 2, static_cast<uint64_t>(r.month), 1);
        Put(image, at + 3, static_cast<uint64_t>(r.day), 1);
        Put(image, at + 4, static_cast<uint64_t>(r.hour), 1);
        Put(image, at + 5, static_cast<uint64_t>(r.minute), 1);
        Put(image, at + 6, static_cast<uint64_t>(r.second), 1);
        Put(image, at + 7, r.duration, 4);
        Put(image, at + 11, r.walkingSteps, 4);
        Put(image, at + 15, r.runningSteps, 4);
        Put(image, at + 19, r.walkingDistance, 4);
        Put(image, at + 23, r.runningDistance, 4);
        Put(image, at + 27, r.calories, 4);
        Put(image, at + 31, r.heartRateBefore, 1);
        Put(image, at + 32, r.heartRateAfter, 1);
    }
    image.resize(image.size() + m_trailing, m_trailingFill);
    image[0] = 0;
    image[0] = static_cast<uint8_t>(0x100 - ImageSum(image) + (m_wrongCheck ? 1 : 0));
    return image;
}

WorkoutRecordSpec ReadRecordSpec(const std::vector<uint8_t> &image, std::size_t headerLength, int index)
{
    const std::size_t at = headerLength + 33 * static_cast<std::size_t>(index);
    WorkoutRecordSpec r;
    r.year = static_cast<int>(Get(image, at + 0, 2));
    r.month = static_cast<int>(Get(image, at + 2, 1));
    r.day = static_cast<int>(Get(image, at + 3, 1));
    r.hour = static_cast<int>(Get(image, at + 4, 1));
    r.minute = static_cast<int>(Get(image, at + 5, 1));
    r.second = static_cast<int>(Get(image, at + 6, 1));
    r.duration = static_cast<uint32_t>(Get(image, at + 7, 4));
    r.walkingSteps = static_cast<uint32_t>(Get(image, at + 11, 4));
    r.runningSteps = static_cast<uint32_t>(Get(image, at + 15, 4));
    r.walkingDistance = static_cast<uint32_t>(Get(image, at + 19, 4));
    r.runningDistance = static_cast<uint32_t>(Get(image, at + 23, 4));
    r.calories = static_cast<uint32_t>(Get(image, at + 27, 4));
    r.heartRateBefore = static_cast<uint8_t>(Get(image, at + 31, 1));
    r.heartRateAfter = static_cast<uint8_t>(Get(image, at + 32, 1));
    return r;
}

uint8_t ImageSum(const std::vector<uint8_t> &image)
{
    uint8_t sum = 0;
    for (uint8_t b : image)
        sum = static_cast<uint8_t>(sum + b);
    return sum;
}
} // namespace vxtest
