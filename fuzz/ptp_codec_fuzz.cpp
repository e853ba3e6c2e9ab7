// Feeds arbitrary bytes to the PTP container and dataset decoders, as a device's data phase or
// response would bring them.
//
// Input: byte 0 chooses the decoder (modulo 7: device info, storage info, object info, container
// header and parameters, the reader's string, array and number reads in the order byte 1 gives,
// an object property description, a device status); the rest is what it decodes.

#include "fuzz/FuzzInput.h"
#include "platform/mtp/PtpCodec.h"

#include <cstring>
#include <memory>

using namespace vxmtp;

namespace
{
// A decoded dataset, encoded again, decodes and encodes to the same bytes: what the codec writes
// it reads back unchanged.
template <typename Info>
void CheckDataset(std::span<const std::uint8_t> bytes, bool (*decode)(std::span<const std::uint8_t>, Info &),
                  std::vector<std::uint8_t> (*encode)(const Info &))
{
    Info info;
    if (!decode(bytes, info))
        return;
    const std::vector<std::uint8_t> once = encode(info);
    Info again;
    VX_FUZZ_CHECK(decode(once, again));
    VX_FUZZ_CHECK(encode(again) == once);
}

void CheckPropDesc(std::span<const std::uint8_t> bytes)
{
    ObjectPropDesc desc;
    if (!DecodeObjectPropDesc(bytes, desc))
    {
        VX_FUZZ_CHECK(bytes.size() < 5);
        return;
    }
    VX_FUZZ_CHECK(bytes.size() >= 5);
    // Only a GetSet byte of exactly 1 lets the property be set.
    VX_FUZZ_CHECK(desc.settable == (bytes[4] == 1));
    ObjectPropDesc again;
    VX_FUZZ_CHECK(DecodeObjectPropDesc(EncodeObjectPropDesc(desc), again));
    VX_FUZZ_CHECK(again.propertyCode == desc.propertyCode && again.dataType == desc.dataType &&
                  again.settable == desc.settable);
}

void CheckDeviceStatus(std::span<const std::uint8_t> bytes)
{
    DeviceStatus status;
    status.code = 0xBEEF;
    if (!DecodeDeviceStatus(bytes, status))
    {
        VX_FUZZ_CHECK(status.code == 0xBEEF); // untouched
        return;
    }
    const std::size_t length = bytes[0] | (bytes[1] << 8);
    VX_FUZZ_CHECK(length >= 4 && length <= bytes.size());
    // Only endpoints inside the length, never the control endpoint, at most eight.
    VX_FUZZ_CHECK(4 + 4 * status.haltedEndpoints.size() <= length);
    VX_FUZZ_CHECK(status.haltedEndpoints.size() <= 8);
    for (const std::uint8_t endpoint : status.haltedEndpoints)
        VX_FUZZ_CHECK((endpoint & 0x0F) != 0);
    DeviceStatus again;
    VX_FUZZ_CHECK(DecodeDeviceStatus(EncodeDeviceStatus(status), again));
    VX_FUZZ_CHECK(again.code == status.code && again.haltedEndpoints == status.haltedEndpoints);
}

void CheckContainer(std::span<const std::uint8_t> bytes)
{
    ContainerHeader header;
    header.length = 0xDEADBEEF;
    if (!DecodeHeader(bytes, header))
    {
        VX_FUZZ_CHECK(header.length == 0xDEADBEEF); // untouched
        const auto params = DecodeParams(bytes);
        VX_FUZZ_CHECK(params.empty());
        return;
    }
    VX_FUZZ_CHECK(bytes.size() >= kContainerHeaderSize && header.length >= kContainerHeaderSize);
    const auto params = DecodeParams(bytes);
    VX_FUZZ_CHECK(params.size() <= kMaxParams);
    // Only whole parameters inside both the container's length and the bytes given.
    const std::size_t end = std::min<std::size_t>(header.length, bytes.size());
    VX_FUZZ_CHECK(kContainerHeaderSize + 4 * params.size() <= end);
    for (std::size_t i = 0; i < params.size(); ++i)
    {
        std::uint32_t expected = 0;
        std::memcpy(&expected, bytes.data() + kContainerHeaderSize + 4 * i, 4);
        VX_FUZZ_CHECK(params[i] == expected);
    }
    // A container built from what was read reads back the same.
    const auto rebuilt = EncodeParamContainer(header.type, header.code, header.transactionId, params);
    ContainerHeader back;
    VX_FUZZ_CHECK(DecodeHeader(rebuilt, back));
    VX_FUZZ_CHECK(back.type == header.type && back.code == header.code &&
                  back.transactionId == header.transactionId && DecodeParams(rebuilt) == params);
}

void CheckReader(std::span<const std::uint8_t> bytes, std::uint8_t program)
{
    PtpReader reader(bytes);
    // Each two bits of program choose the next read; the reader never passes its span and stays
    // failed once it ran out.
    bool failed = false;
    for (int step = 0; step < 4; ++step)
    {
        const std::size_t before = reader.Remaining();
        bool ok = false;
        switch ((program >> (2 * step)) & 3)
        {
        case 0: {
            std::u16string text;
            ok = reader.String(text);
            VX_FUZZ_CHECK(!ok || text.find(u'\0') == std::u16string::npos);
            break;
        }
        case 1: {
            std::vector<std::uint16_t> values;
            ok = reader.U16Array(values);
            VX_FUZZ_CHECK(!ok || before - reader.Remaining() == 4 + 2 * values.size());
            break;
        }
        case 2: {
            std::vector<std::uint32_t> values;
            ok = reader.U32Array(values);
            VX_FUZZ_CHECK(!ok || before - reader.Remaining() == 4 + 4 * values.size());
            break;
        }
        default: {
            std::uint64_t value = 0;
            ok = reader.U64(value);
            break;
        }
        }
        VX_FUZZ_CHECK(reader.Remaining() <= before);
        if (failed)
            VX_FUZZ_CHECK(!ok);
        failed = failed || !ok;
        VX_FUZZ_CHECK(reader.Ok() == !failed);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t choice = data[0];
    // An exact-size copy: a read past the data must show.
    const std::size_t length = size - 1;
    auto copy = std::make_unique<std::uint8_t[]>(length ? length : 1);
    if (length)
        std::memcpy(copy.get(), data + 1, length);
    const std::span<const std::uint8_t> bytes(copy.get(), length);

    switch (choice % 7)
    {
    case 0:
        CheckDataset<DeviceInfo>(bytes, DecodeDeviceInfo, EncodeDeviceInfo);
        break;
    case 1:
        CheckDataset<StorageInfo>(bytes, DecodeStorageInfo, EncodeStorageInfo);
        break;
    case 2:
        CheckDataset<ObjectInfo>(bytes, DecodeObjectInfo, EncodeObjectInfo);
        break;
    case 3:
        CheckContainer(bytes);
        break;
    case 4:
        if (!bytes.empty())
            CheckReader(bytes.subspan(1), bytes[0]);
        break;
    case 5:
        CheckPropDesc(bytes);
        break;
    default:
        CheckDeviceStatus(bytes);
        break;
    }
    return 0;
}
