#include "store/BlockCipher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::vector<uint8_t> Bytes(const std::string &hex)
{
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<uint8_t> Sequence(std::size_t n, uint8_t first = 1)
{
    std::vector<uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>(first + i);
    return out;
}

struct KnownAnswer
{
    const char *key;
    const char *plain;
    const char *cipher;
};

// FIPS-197 appendices B and C.1, and the all-zero key.
const KnownAnswer kAes[] = {
    {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
     "3925841d02dc09fbdc118597196a0b32"},
    {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"00000000000000000000000000000000", "00000000000000000000000000000000",
     "66e94bd4ef8a2c3b884cfa59ca342b2e"},
};

// The FIPS 46-3 worked example, the FIPS 81 example ("Now is t") and
// variable-plaintext and variable-key answers of the validation tables.
const KnownAnswer kDes[] = {
    {"133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
    {"0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815"},
    {"0e329232ea6d0d73", "8787878787878787", "0000000000000000"},
    {"0101010101010101", "8000000000000000", "95f8a5e5dd31d900"},
    {"8001010101010101", "0000000000000000", "95a8d72813daa94d"},
};
} // namespace

TEST(BlockCipher, AesKnownAnswers)
{
    for (const KnownAnswer &k : kAes)
    {
        BlockCipher cipher;
        const auto key = Bytes(k.key);
        ASSERT_TRUE(cipher.SetKey(key.data(), key.size()));
        EXPECT_EQ(10, cipher.GetRounds());
        const auto plain = Bytes(k.plain);
        uint8_t out[16];
        ASSERT_TRUE(cipher.EncryptBlockAes(plain.data(), out));
        EXPECT_EQ(Bytes(k.cipher), std::vector<uint8_t>(out, out + 16)) << k.key;
        uint8_t back[16];
        ASSERT_TRUE(cipher.DecryptBlockAes(out, back));
        EXPECT_EQ(plain, std::vector<uint8_t>(back, back + 16)) << k.key;
        // The block calls refuse the other cipher's block.
        EXPECT_FALSE(cipher.EncryptBlockDes(plain.data(), out));
    }
}

TEST(BlockCipher, DesKnownAnswers)
{
    for (const KnownAnswer &k : kDes)
    {
        BlockCipher cipher;
        const auto key = Bytes(k.key);
        ASSERT_TRUE(cipher.SetKey(key.data(), key.size()));
        EXPECT_EQ(8, cipher.GetRounds());
        EXPECT_EQ(2, cipher.GetKeyWords());
        const auto plain = Bytes(k.plain);
        uint8_t out[8];
        ASSERT_TRUE(cipher.EncryptBlockDes(plain.data(), out));
        EXPECT_EQ(Bytes(k.cipher), std::vector<uint8_t>(out, out + 8)) << k.key;
        uint8_t back[8];
        ASSERT_TRUE(cipher.DecryptBlockDes(out, back));
        EXPECT_EQ(plain, std::vector<uint8_t>(back, back + 8)) << k.key;
        EXPECT_FALSE(cipher.EncryptBlockAes(plain.data(), out));
    }
}

TEST(BlockCipher, BlockCallsMayWorkInPlace)
{
    BlockCipher cipher;
    const auto key = Bytes(kAes[0].key);
    cipher.SetKey(key.data(), key.size());
    auto block = Bytes(kAes[0].plain);
    ASSERT_TRUE(cipher.EncryptBlockAes(block.data(), block.data()));
    EXPECT_EQ(Bytes(kAes[0].cipher), block);
}

TEST(BlockCipher, SetKeyAcceptsOnlyEightOrSixteenBytes)
{
    BlockCipher cipher;
    const auto good = Bytes(kAes[1].key);
    ASSERT_TRUE(cipher.SetKey(good.data(), good.size()));
    const auto ten = Sequence(10);
    for (std::size_t length : {0u, 1u, 7u, 10u, 15u, 17u, 24u, 32u})
        EXPECT_FALSE(cipher.SetKey(ten.data(), length)) << length;
    EXPECT_FALSE(cipher.SetKey(nullptr, 16));
    // The earlier key still works.
    EXPECT_EQ(16u, cipher.GetKeyLength());
    const auto plain = Bytes(kAes[1].plain);
    uint8_t out[16];
    ASSERT_TRUE(cipher.EncryptBlockAes(plain.data(), out));
    EXPECT_EQ(Bytes(kAes[1].cipher), std::vector<uint8_t>(out, out + 16));
}

TEST(BlockCipher, NewKeyRebuildsTheSchedule)
{
    BlockCipher cipher;
    uint8_t out[16];
    for (const KnownAnswer &k : {kAes[0], kAes[1], kAes[0]})
    {
        const auto key = Bytes(k.key);
        ASSERT_TRUE(cipher.SetKey(key.data(), key.size()));
        const auto plain = Bytes(k.plain);
        ASSERT_TRUE(cipher.EncryptBlockAes(plain.data(), out));
        EXPECT_EQ(Bytes(k.cipher), std::vector<uint8_t>(out, out + 16));
    }
    // From AES to DES and back on the same object.
    const auto desKey = Bytes(kDes[0].key);
    ASSERT_TRUE(cipher.SetKey(desKey.data(), desKey.size()));
    const auto desPlain = Bytes(kDes[0].plain);
    ASSERT_TRUE(cipher.EncryptBlockDes(desPlain.data(), out));
    EXPECT_EQ(Bytes(kDes[0].cipher), std::vector<uint8_t>(out, out + 8));
}

TEST(BlockCipher, FramingRefusals)
{
    BlockCipher cipher;
    std::vector<uint8_t> out = {1};
    const uint8_t one = 1;
    EXPECT_FALSE(cipher.Encrypt(&one, 1, &out)); // no key yet
    EXPECT_FALSE(cipher.EncryptBlockAes(&one, out.data()));
    const auto key = Bytes(kAes[1].key);
    cipher.SetKey(key.data(), key.size());
    EXPECT_FALSE(cipher.Encrypt(&one, 0, &out));
    EXPECT_FALSE(cipher.Encrypt(nullptr, 1, &out));
    EXPECT_FALSE(cipher.Decrypt(&one, 0, &out));
    EXPECT_EQ(std::vector<uint8_t>{1}, out);
}

TEST(BlockCipher, FramingIntoWholeBlocks)
{
    BlockCipher cipher;
    const auto key = Bytes(kAes[1].key);
    cipher.SetKey(key.data(), key.size());
    struct Case
    {
        std::size_t in;
        std::size_t out;
    };
    for (const Case c : {Case{1, 16}, Case{15, 16}, Case{16, 16}, Case{17, 32}, Case{32, 32}, Case{33, 48}})
    {
        const auto input = Sequence(c.in);
        std::vector<uint8_t> out;
        ASSERT_TRUE(cipher.Encrypt(input.data(), input.size(), &out));
        EXPECT_EQ(c.out, out.size()) << c.in;
        std::vector<uint8_t> back;
        ASSERT_TRUE(cipher.Decrypt(out.data(), out.size(), &back));
        ASSERT_EQ(c.out, back.size());
        EXPECT_EQ(input, std::vector<uint8_t>(back.begin(), back.begin() + c.in)) << c.in;
    }
}

TEST(BlockCipher, ShortFirstBlockIsCompletedWithZeros)
{
    BlockCipher cipher;
    const auto key = Bytes(kAes[1].key);
    cipher.SetKey(key.data(), key.size());
    const uint8_t one = 0xAB;
    std::vector<uint8_t> framed;
    ASSERT_TRUE(cipher.Encrypt(&one, 1, &framed));
    uint8_t block[16] = {0xAB};
    uint8_t expected[16];
    cipher.EncryptBlockAes(block, expected);
    EXPECT_EQ(std::vector<uint8_t>(expected, expected + 16), framed);
}

TEST(BlockCipher, ShortLastBlockKeepsThePreviousBlocksBytes)
{
    BlockCipher cipher;
    const auto key = Bytes(kAes[1].key);
    cipher.SetKey(key.data(), key.size());
    const auto input = Sequence(17); // bytes 1..17
    std::vector<uint8_t> framed;
    ASSERT_TRUE(cipher.Encrypt(input.data(), input.size(), &framed));
    ASSERT_EQ(32u, framed.size());
    uint8_t second[16];
    ASSERT_TRUE(cipher.DecryptBlockAes(framed.data() + 16, second));
    // The 17th byte, then bytes 2 to 16 of the input.
    std::vector<uint8_t> expected = {17};
    for (uint8_t b = 2; b <= 16; ++b)
        expected.push_back(b);
    EXPECT_EQ(expected, std::vector<uint8_t>(second, second + 16));
}

TEST(BlockCipher, DesFramesEightByteBlocks)
{
    BlockCipher cipher;
    const auto key = Bytes(kDes[1].key);
    cipher.SetKey(key.data(), key.size());
    const auto input =
        Bytes("4e6f77206973207468652074696d6520666f7220616c6c20"); // "Now is the time for all "
    std::vector<uint8_t> out;
    ASSERT_TRUE(cipher.Encrypt(input.data(), input.size(), &out));
    // The FIPS 81 electronic-codebook example.
    EXPECT_EQ(Bytes("3fa40e8a984d48156a271787ab8883f9893d51ec4b563b53"), out);

    const auto nine = Sequence(9);
    ASSERT_TRUE(cipher.Encrypt(nine.data(), nine.size(), &out));
    ASSERT_EQ(16u, out.size());
    uint8_t second[8];
    ASSERT_TRUE(cipher.DecryptBlockDes(out.data() + 8, second));
    EXPECT_EQ((std::vector<uint8_t>{9, 2, 3, 4, 5, 6, 7, 8}), std::vector<uint8_t>(second, second + 8));
}

// ---- reversed hex text ----

TEST(HexText, EncodesBytesFromTheLastToTheFirst)
{
    const uint8_t bytes[3] = {0x01, 0x02, 0xAB};
    char16_t text[7];
    std::fill(text, text + 7, u'#');
    HexEncodeReversed(bytes, 3, text, 7);
    EXPECT_EQ(u"AB0201", std::u16string(text));

    uint8_t back[3] = {};
    HexDecodeReversed(u"AB0201", 6, back, 3);
    EXPECT_EQ(0x01, back[0]);
    EXPECT_EQ(0x02, back[1]);
    EXPECT_EQ(0xAB, back[2]);
}

TEST(HexText, EncodeCapacity)
{
    const uint8_t bytes[2] = {0xF0, 0x0F};
    char16_t text[5];
    // Too small: nothing written.
    std::fill(text, text + 5, u'#');
    HexEncodeReversed(bytes, 2, text, 3);
    EXPECT_EQ(u'#', text[0]);
    // Exactly 2n: the digits without a terminator, nothing past them.
    HexEncodeReversed(bytes, 2, text, 4);
    EXPECT_EQ(u"0FF0#", std::u16string(text, 5));
    // More: the whole output is cleared, so the text is terminated.
    std::fill(text, text + 5, u'#');
    HexEncodeReversed(bytes, 2, text, 5);
    EXPECT_EQ(std::u16string(u"0FF0\0", 5), std::u16string(text, 5));
    // Missing arguments write nothing.
    std::fill(text, text + 5, u'#');
    HexEncodeReversed(nullptr, 2, text, 5);
    HexEncodeReversed(bytes, 2, nullptr, 5);
    EXPECT_EQ(u'#', text[0]);
}

TEST(HexText, EveryByteRoundTrips)
{
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<uint8_t>(i);
    std::u16string text(513, u'\0');
    HexEncodeReversed(all.data(), all.size(), text.data(), text.size());
    EXPECT_EQ(u"FFFE", text.substr(0, 4));
    EXPECT_EQ(u"0100", text.substr(508, 4));
    std::vector<uint8_t> back(256, 0x55);
    HexDecodeReversed(text.data(), 512, back.data(), back.size());
    EXPECT_EQ(all, back);
}

TEST(HexText, DecodeStopsAtTheFirstPairOutsideTheDigits)
{
    struct Case
    {
        const char16_t *text;
        std::vector<uint8_t> expected; // 0x55 marks a byte left as it was
    };
    const Case cases[] = {
        {u"ab0201", {0x01, 0x02, 0x55}}, // lower case is not a digit
        {u"AB0201", {0x01, 0x02, 0xAB}},
        {u"AB:201", {0x01, 0x55, 0x55}}, // ':' and '@' lie between the
                                         // digits and the letters
        {u"AB02@1", {0x55, 0x55, 0x55}},
        {u"AB02G1", {0x55, 0x55, 0x55}},
        {u"AB 201", {0x01, 0x55, 0x55}},
        {u"0A0201", {0x01, 0x02, 0x0A}},
    };
    for (const Case &c : cases)
    {
        std::vector<uint8_t> out(3, 0x55);
        HexDecodeReversed(c.text, 6, out.data(), out.size());
        EXPECT_EQ(c.expected, out) << std::string(c.text, c.text + 6);
    }
}

TEST(HexText, DecodeLengthRules)
{
    std::vector<uint8_t> out(4, 0x55);
    // An odd count drops the last character; pairs are taken from the start.
    HexDecodeReversed(u"0102F", 5, out.data(), out.size());
    EXPECT_EQ((std::vector<uint8_t>{0x02, 0x01, 0x55, 0x55}), out);
    // Nothing for fewer than two characters, too small an output, or missing arguments.
    std::fill(out.begin(), out.end(), 0x55);
    HexDecodeReversed(u"1", 1, out.data(), out.size());
    HexDecodeReversed(u"010203", 6, out.data(), 2);
    HexDecodeReversed(nullptr, 6, out.data(), out.size());
    HexDecodeReversed(u"010203", 6, nullptr, 4);
    EXPECT_EQ(std::vector<uint8_t>(4, 0x55), out);
}
