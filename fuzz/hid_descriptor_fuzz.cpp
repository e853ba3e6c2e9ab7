// Feeds arbitrary HID report descriptors (as the driver hands them out for a hidraw node) to the
// parser that gives the report lengths.
//
// Input: the descriptor.

#include "device/HidReportDescriptor.h"
#include "fuzz/FuzzInput.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // An exact-size copy: a read past the descriptor must show.
    auto descriptor = std::make_unique<std::uint8_t[]>(size ? size : 1);
    if (size)
        std::memcpy(descriptor.get(), data, size);

    HidReportLengths lengths;
    lengths.inputLength = 77;
    const bool ok = ParseHidReportDescriptor(size ? descriptor.get() : nullptr, size, lengths);
    if (!ok)
    {
        // A refused descriptor leaves nothing behind that a caller could take for lengths.
        VX_FUZZ_CHECK(lengths.inputLength == 0 && lengths.outputLength == 0 && !lengths.usesReportIds);
        return 0;
    }
    VX_FUZZ_CHECK(lengths.inputLength <= 0xFFFF && lengths.outputLength <= 0xFFFF);

    // The same bytes give the same answer (no state kept between calls).
    HidReportLengths again;
    VX_FUZZ_CHECK(ParseHidReportDescriptor(descriptor.get(), size, again));
    VX_FUZZ_CHECK(again.inputLength == lengths.inputLength && again.outputLength == lengths.outputLength &&
                  again.usesReportIds == lengths.usesReportIds);
    return 0;
}
