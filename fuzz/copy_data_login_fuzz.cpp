// Feeds arbitrary records to the reader of the copy-data log-in request, which another program
// hands the main window with WM_COPYDATA.
//
// Input: byte 0 chooses the data type (low bit set: 1, the log-in type; else the byte itself);
// the rest is the record, copied into a buffer of exactly its length so that any read past it
// shows.

#include "app/CopyDataLogin.h"
#include "fuzz/FuzzInput.h"

#include <cstring>
#include <memory>

namespace
{
// The index of the first zero unit from byte `from` whose two bytes lie before `end`; npos when none.
std::size_t ZeroUnit(const std::uint8_t *bytes, std::size_t from, std::size_t end)
{
    for (std::size_t at = from; at + 1 < end; at += 2)
        if (bytes[at] == 0 && bytes[at + 1] == 0)
            return at;
    return std::string::npos;
}

bool SameUnits(const std::u16string &text, const std::uint8_t *bytes)
{
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)))
            return false;
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    vxfuzz::InputReader in(data, size);
    const std::uint8_t selector = in.U8();
    const std::uintptr_t type = (selector & 1) ? kCopyDataLoginType : selector;
    const auto record = in.Rest();
    auto buffer = std::make_unique<std::uint8_t[]>(record.size() + 1);
    std::memcpy(buffer.get(), record.data(), record.size());
    const std::uint8_t *bytes = buffer.get();

    CopyDataLogin out{u"user", u"text"};
    const bool ok = ParseCopyDataLogin(type, bytes, record.size(), &out);

    const std::size_t userEnd = record.size() > kCopyDataPasswordOffset
                                    ? ZeroUnit(bytes, 0, kCopyDataPasswordOffset)
                                    : std::string::npos;
    const std::size_t passwordEnd = userEnd != std::string::npos
                                        ? ZeroUnit(bytes, kCopyDataPasswordOffset, record.size())
                                        : std::string::npos;
    const bool whole = type == kCopyDataLoginType && passwordEnd != std::string::npos;
    VX_FUZZ_CHECK(ok == whole);
    if (!ok)
    {
        VX_FUZZ_CHECK(out.userId == u"user" && out.passwordText == u"text");
        // No data at all is refused too.
        CopyDataLogin none;
        VX_FUZZ_CHECK(!ParseCopyDataLogin(type, nullptr, record.size(), &none));
        return 0;
    }
    VX_FUZZ_CHECK(out.userId.size() == userEnd / 2 && out.userId.size() < 100);
    VX_FUZZ_CHECK(SameUnits(out.userId, bytes));
    VX_FUZZ_CHECK(out.passwordText.size() == (passwordEnd - kCopyDataPasswordOffset) / 2);
    VX_FUZZ_CHECK(SameUnits(out.passwordText, bytes + kCopyDataPasswordOffset));
    VX_FUZZ_CHECK(out.userId.find(u'\0') == std::u16string::npos);
    VX_FUZZ_CHECK(out.passwordText.find(u'\0') == std::u16string::npos);
    return 0;
}
