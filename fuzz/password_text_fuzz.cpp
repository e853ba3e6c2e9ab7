// Feeds arbitrary texts to the hex reader and the password decipher of the records store (a stored
// password text comes from the database file, which anyone with the user's rights can edit), and
// arbitrary bytes and keys through the block cipher.
//
// Input: byte 0 chooses the part (modulo 3: stored password text, hex text with a capacity,
// cipher round trip); the rest is little-endian UTF-16 text, or for the cipher a key-size byte,
// the key and the bytes.

#include "fuzz/FuzzInput.h"
#include "platform/sys/TextConvert.h"
#include "store/BlockCipher.h"
#include "store/KvtDatabase.h"

#include <cstring>
#include <memory>

namespace
{
bool IsUpperHex(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

void CheckStoredPassword(std::u16string text)
{
    static KvtDatabase store(vxsys::Utf8ToUtf16(vxfuzz::ScratchFolder()));
    std::u16string password = u"unchanged";
    const int ok = store.DecryptPassword(text.c_str(), &password);
    const std::size_t length = vxsys::U16Length(text.c_str());
    if (length < 2)
    {
        VX_FUZZ_CHECK(!ok && password == u"unchanged");
        return;
    }
    VX_FUZZ_CHECK(ok == 1);
    // At most the deciphered bytes: whole blocks of the bytes the text gave.
    const std::size_t blocks = (length / 2 + 15) / 16;
    VX_FUZZ_CHECK(password.size() <= blocks * 8);
    VX_FUZZ_CHECK(password.find(u'\0') == std::u16string::npos);
}

void CheckHexText(const std::u16string &text, std::size_t capacity)
{
    // Exact-size buffers: a write past the capacity or a read past the text must show.
    auto input = std::make_unique<char16_t[]>(text.size() + 1);
    std::memcpy(input.get(), text.data(), text.size() * sizeof(char16_t));
    auto out = std::make_unique<std::uint8_t[]>(capacity + 1);
    std::memset(out.get(), 0xCC, capacity + 1);
    HexDecodeReversed(input.get(), text.size(), out.get(), capacity);
    VX_FUZZ_CHECK(out[capacity] == 0xCC);

    const std::size_t n = text.size() / 2;
    if (n == 0 || capacity < n)
    {
        for (std::size_t i = 0; i < capacity; ++i)
            VX_FUZZ_CHECK(out[i] == 0xCC);
        return;
    }
    // The pairs that were read, from the end of the text, are the bytes written; the first pair
    // that is no hex byte stops it.
    std::size_t written = 0;
    while (written < n && IsUpperHex(text[2 * (n - 1 - written)]) &&
           IsUpperHex(text[2 * (n - 1 - written) + 1]))
        ++written;
    for (std::size_t i = written; i < capacity; ++i)
        VX_FUZZ_CHECK(out[i] == 0xCC);
    std::vector<char16_t> back(2 * written + 1, u'x');
    HexEncodeReversed(out.get(), written, back.data(), back.size());
    VX_FUZZ_CHECK(std::u16string_view(back.data(), 2 * written) ==
                  std::u16string_view(text).substr(2 * (n - written), 2 * written));
    VX_FUZZ_CHECK(back[2 * written] == u'\0');
}

void CheckCipher(vxfuzz::InputReader &in)
{
    const bool des = in.Bool();
    const auto key = in.Bytes(des ? 8 : 16);
    const auto bytes = in.Rest();
    BlockCipher cipher;
    if (!cipher.SetKey(key.data(), key.size()))
    {
        VX_FUZZ_CHECK(key.size() != 8 && key.size() != 16);
        return;
    }
    const std::size_t blockSize = des ? 8 : 16;
    std::vector<std::uint8_t> sealed;
    if (!cipher.Encrypt(bytes.data(), bytes.size(), &sealed))
    {
        VX_FUZZ_CHECK(bytes.empty());
        return;
    }
    VX_FUZZ_CHECK(sealed.size() % blockSize == 0 && sealed.size() >= bytes.size() &&
                  sealed.size() < bytes.size() + blockSize);
    std::vector<std::uint8_t> opened;
    VX_FUZZ_CHECK(cipher.Decrypt(sealed.data(), sealed.size(), &opened));
    VX_FUZZ_CHECK(opened.size() == sealed.size());
    VX_FUZZ_CHECK(std::equal(bytes.begin(), bytes.end(), opened.begin()));
    // Deciphering anything of any length gives whole blocks.
    std::vector<std::uint8_t> any;
    VX_FUZZ_CHECK(cipher.Decrypt(bytes.data(), bytes.size(), &any));
    VX_FUZZ_CHECK(any.size() % blockSize == 0);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    vxfuzz::InputReader in(data, size);
    switch (in.U8() % 3)
    {
    case 0:
        CheckStoredPassword(vxfuzz::AsUtf16(in.Rest()));
        break;
    case 1: {
        const std::size_t capacity = in.U8();
        CheckHexText(vxfuzz::AsUtf16(in.Rest()), capacity);
        break;
    }
    default:
        CheckCipher(in);
        break;
    }
    return 0;
}
