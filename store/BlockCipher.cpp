#include "store/BlockCipher.h"

#include <algorithm>
#include <cstring>

namespace
{
// ---- AES (FIPS-197) ----

uint8_t XTime(uint8_t b)
{
    return static_cast<uint8_t>((b << 1) ^ ((b & 0x80) ? 0x1B : 0x00));
}

uint8_t GfMul(uint8_t a, uint8_t b)
{
    uint8_t product = 0;
    while (b)
    {
        if (b & 1)
            product ^= a;
        a = XTime(a);
        b >>= 1;
    }
    return product;
}

struct SBoxes
{
    uint8_t forward[256];
    uint8_t inverse[256];

    SBoxes()
    {
        for (int x = 0; x < 256; ++x)
        {
            // Multiplicative inverse in GF(2^8) (0 maps to 0), then the affine map.
            uint8_t inv = 0;
            for (int y = 1; y < 256 && x != 0; ++y)
            {
                if (GfMul(static_cast<uint8_t>(x), static_cast<uint8_t>(y)) == 1)
                {
                    inv = static_cast<uint8_t>(y);
                    break;
                }
            }
            uint8_t s = inv;
            for (int shift = 1; shift <= 4; ++shift)
                s ^= static_cast<uint8_t>((inv << shift) | (inv >> (8 - shift)));
            s ^= 0x63;
            forward[x] = s;
            inverse[s] = static_cast<uint8_t>(x);
        }
    }
};

const SBoxes &Boxes()
{
    static const SBoxes boxes;
    return boxes;
}

// The state is kept as 16 bytes in input order: byte r + 4c is row r, column c.
void AddRoundKey(uint8_t *state, const uint8_t *roundKey)
{
    for (int i = 0; i < 16; ++i)
        state[i] ^= roundKey[i];
}

void ShiftRows(uint8_t *s)
{
    uint8_t t[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            t[r + 4 * c] = s[r + 4 * ((c + r) % 4)];
    std::memcpy(s, t, 16);
}

void InvShiftRows(uint8_t *s)
{
    uint8_t t[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            t[r + 4 * ((c + r) % 4)] = s[r + 4 * c];
    std::memcpy(s, t, 16);
}

void MixColumns(uint8_t *s, bool inverse)
{
    static const uint8_t fwd[4] = {2, 3, 1, 1};
    static const uint8_t inv[4] = {14, 11, 13, 9};
    const uint8_t *m = inverse ? inv : fwd;
    for (int c = 0; c < 4; ++c)
    {
        uint8_t *col = s + 4 * c;
        uint8_t t[4];
        for (int r = 0; r < 4; ++r)
        {
            t[r] = 0;
            for (int k = 0; k < 4; ++k)
                t[r] ^= GfMul(m[(k - r + 4) % 4], col[k]);
        }
        std::memcpy(col, t, 4);
    }
}

// ---- DES (FIPS 46-3) ----
// Tables number bits from 1 at the most significant end, as the standard does.

const uint8_t kIp[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                         62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                         57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                         61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

const uint8_t kFp[64] = {40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
                         38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
                         36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
                         34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};

const uint8_t kE[48] = {32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
                        12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
                        22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

const uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                        2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

const uint8_t kPc1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
                          35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
                          46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

const uint8_t kPc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                          26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                          51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

const uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

const uint8_t kSBox[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4, 9,  7,  2, 13, 12, 0,  5,  10, 3,  13, 4,  7, 15, 2,
     8,  14, 12, 0,  1,  10, 6,  9, 11, 5,  0, 14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,
     9,  3,  2,  15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0,  8,  13, 3, 12, 9,  7, 5,  10, 6,  1,  13, 0,  11, 7,  4, 9,
     1, 10, 14, 3,  5,  12, 2,  15, 8, 6,  1,  4, 11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0, 5,  9,  2,  6,  11, 13, 8,  1, 4,  10, 7, 9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2, 8,  4, 6, 15, 11, 1,  10, 9,  3, 14, 5,  0,  12, 7,  1,  15, 13, 8, 10, 3,
     7,  4, 12, 5, 6, 11, 0,  14, 9,  2,  7, 11, 4,  1,  9,  12, 14, 2,  0,  6, 10, 13,
     15, 3, 5,  8, 2, 1,  14, 7,  4,  10, 8, 13, 15, 12, 9,  0,  3,  5,  6,  11}};

uint64_t Permute(uint64_t in, int inBits, const uint8_t *table, int outBits)
{
    uint64_t out = 0;
    for (int i = 0; i < outBits; ++i)
        out = (out << 1) | ((in >> (inBits - table[i])) & 1);
    return out;
}

uint32_t Feistel(uint32_t right, uint64_t subkey)
{
    const uint64_t x = Permute(right, 32, kE, 48) ^ subkey;
    uint32_t out = 0;
    for (int box = 0; box < 8; ++box)
    {
        const unsigned six = static_cast<unsigned>((x >> (42 - 6 * box)) & 0x3F);
        const unsigned row = ((six >> 4) & 2) | (six & 1);
        const unsigned col = (six >> 1) & 0xF;
        out = (out << 4) | kSBox[box][row * 16 + col];
    }
    return static_cast<uint32_t>(Permute(out, 32, kP, 32));
}

uint64_t LoadBigEndian(const uint8_t *in, int n)
{
    uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | in[i];
    return v;
}

void StoreBigEndian(uint64_t v, uint8_t *out, int n)
{
    for (int i = n - 1; i >= 0; --i)
    {
        out[i] = static_cast<uint8_t>(v & 0xFF);
        v >>= 8;
    }
}

uint64_t DesBlock(uint64_t block, const uint64_t *subkeys, bool decrypt)
{
    const uint64_t ip = Permute(block, 64, kIp, 64);
    uint32_t left = static_cast<uint32_t>(ip >> 32);
    uint32_t right = static_cast<uint32_t>(ip);
    for (int round = 0; round < 16; ++round)
    {
        const uint64_t k = subkeys[decrypt ? 15 - round : round];
        const uint32_t next = left ^ Feistel(right, k);
        left = right;
        right = next;
    }
    const uint64_t preOutput = (static_cast<uint64_t>(right) << 32) | left;
    return Permute(preOutput, 64, kFp, 64);
}
} // namespace

BlockCipher::BlockCipher() = default;
BlockCipher::~BlockCipher() = default;

bool BlockCipher::SetKey(const uint8_t *key, std::size_t length)
{
    if (!key || (length != 8 && length != 16))
        return false;
    m_key.assign(key, key + length);
    m_keyWords = static_cast<int>(length / 4);
    m_rounds = m_keyWords + 6;
    m_keyLength = length;
    m_scheduleBuilt = false;
    return true;
}

void BlockCipher::BuildSchedule()
{
    if (m_keyLength == 16)
    {
        // AES-128 key expansion: 44 words of 4 bytes.
        const uint8_t *sbox = Boxes().forward;
        std::memcpy(m_schedule, m_key.data(), 16);
        uint8_t rcon = 1;
        for (int i = 4; i < 4 * (m_rounds + 1); ++i)
        {
            uint8_t t[4];
            std::memcpy(t, m_schedule + 4 * (i - 1), 4);
            if (i % 4 == 0)
            {
                const uint8_t first = t[0];
                t[0] = static_cast<uint8_t>(sbox[t[1]] ^ rcon);
                t[1] = sbox[t[2]];
                t[2] = sbox[t[3]];
                t[3] = sbox[first];
                rcon = XTime(rcon);
            }
            for (int b = 0; b < 4; ++b)
                m_schedule[4 * i + b] = static_cast<uint8_t>(m_schedule[4 * (i - 4) + b] ^ t[b]);
        }
    }
    else
    {
        const uint64_t cd = Permute(LoadBigEndian(m_key.data(), 8), 64, kPc1, 56);
        uint32_t c = static_cast<uint32_t>(cd >> 28) & 0x0FFFFFFF;
        uint32_t d = static_cast<uint32_t>(cd) & 0x0FFFFFFF;
        for (int round = 0; round < 16; ++round)
        {
            for (int s = 0; s < kShifts[round]; ++s)
            {
                c = ((c << 1) | (c >> 27)) & 0x0FFFFFFF;
                d = ((d << 1) | (d >> 27)) & 0x0FFFFFFF;
            }
            m_desKeys[round] = Permute((static_cast<uint64_t>(c) << 28) | d, 56, kPc2, 48);
        }
    }
    m_scheduleBuilt = true;
}

bool BlockCipher::EncryptBlockAes(const uint8_t in[16], uint8_t out[16])
{
    if (m_key.empty() || m_keyLength != 16 || !in || !out)
        return false;
    if (!m_scheduleBuilt)
        BuildSchedule();
    const uint8_t *sbox = Boxes().forward;
    uint8_t s[16];
    std::memcpy(s, in, 16);
    AddRoundKey(s, m_schedule);
    for (int round = 1; round <= m_rounds; ++round)
    {
        for (uint8_t &b : s)
            b = sbox[b];
        ShiftRows(s);
        if (round != m_rounds)
            MixColumns(s, false);
        AddRoundKey(s, m_schedule + 16 * round);
    }
    std::memcpy(out, s, 16);
    return true;
}

bool BlockCipher::DecryptBlockAes(const uint8_t in[16], uint8_t out[16])
{
    if (m_key.empty() || m_keyLength != 16 || !in || !out)
        return false;
    if (!m_scheduleBuilt)
        BuildSchedule();
    const uint8_t *inverse = Boxes().inverse;
    uint8_t s[16];
    std::memcpy(s, in, 16);
    AddRoundKey(s, m_schedule + 16 * m_rounds);
    for (int round = m_rounds - 1; round >= 0; --round)
    {
        InvShiftRows(s);
        for (uint8_t &b : s)
            b = inverse[b];
        AddRoundKey(s, m_schedule + 16 * round);
        if (round != 0)
            MixColumns(s, true);
    }
    std::memcpy(out, s, 16);
    return true;
}

bool BlockCipher::EncryptBlockDes(const uint8_t in[8], uint8_t out[8])
{
    if (m_key.empty() || m_keyLength != 8 || !in || !out)
        return false;
    if (!m_scheduleBuilt)
        BuildSchedule();
    StoreBigEndian(DesBlock(LoadBigEndian(in, 8), m_desKeys, false), out, 8);
    return true;
}

bool BlockCipher::DecryptBlockDes(const uint8_t in[8], uint8_t out[8])
{
    if (m_key.empty() || m_keyLength != 8 || !in || !out)
        return false;
    if (!m_scheduleBuilt)
        BuildSchedule();
    StoreBigEndian(DesBlock(LoadBigEndian(in, 8), m_desKeys, true), out, 8);
    return true;
}

bool BlockCipher::Encrypt(const uint8_t *input, std::size_t length, std::vector<uint8_t> *output)
{
    return Crypt(true, input, length, output);
}

bool BlockCipher::Decrypt(const uint8_t *input, std::size_t length, std::vector<uint8_t> *output)
{
    return Crypt(false, input, length, output);
}

bool BlockCipher::Crypt(bool encrypt, const uint8_t *input, std::size_t length, std::vector<uint8_t> *output)
{
    if (m_key.empty() || !input || length == 0 || !output)
        return false;
    const std::size_t blockSize = m_keyLength == 8 ? 8 : 16;
    const std::size_t blocks = length / blockSize + (length % blockSize ? 1 : 0);
    // The block buffer is filled with zeros once and not cleared between
    // blocks: a short last block keeps the previous block's bytes behind it.
    uint8_t block[16] = {};
    std::vector<uint8_t> out(blocks * blockSize, 0);
    for (std::size_t i = 0; i < blocks; ++i)
    {
        const std::size_t offset = i * blockSize;
        std::memcpy(block, input + offset, std::min(blockSize, length - offset));
        uint8_t *dest = out.data() + offset;
        bool ok;
        if (blockSize == 8)
            ok = encrypt ? EncryptBlockDes(block, dest) : DecryptBlockDes(block, dest);
        else
            ok = encrypt ? EncryptBlockAes(block, dest) : DecryptBlockAes(block, dest);
        if (!ok)
            return false;
    }
    *output = std::move(out);
    return true;
}

void HexEncodeReversed(const uint8_t *bytes, std::size_t n, char16_t *output, std::size_t capacity)
{
    if (!bytes || !output || capacity < 2 * n)
        return;
    std::fill(output, output + capacity, u'\0');
    static const char16_t digits[] = u"0123456789ABCDEF";
    for (std::size_t i = 0; i < n; ++i)
    {
        output[2 * n - 1 - 2 * i] = digits[bytes[i] & 0x0F];
        output[2 * n - 2 - 2 * i] = digits[bytes[i] >> 4];
    }
}

namespace
{
// 0-15 for '0'-'9' and 'A'-'F', 16 for anything else.
unsigned HexValue(char16_t ch)
{
    if (ch >= u'0' && ch <= u'9')
        return ch - u'0';
    if (ch >= u'A' && ch <= u'F')
        return ch - u'A' + 10;
    return 16;
}
} // namespace

void HexDecodeReversed(const char16_t *text, std::size_t count, uint8_t *output, std::size_t capacity)
{
    const std::size_t n = count / 2;
    if (!text || !output || n == 0 || capacity < n)
        return;
    for (std::size_t k = 0; k < n; ++k)
    {
        const std::size_t j = n - 1 - k; // pairs are taken from the end of the text
        const unsigned high = HexValue(text[2 * j]);
        const unsigned low = HexValue(text[2 * j + 1]);
        if (high > 15 || low > 15)
            return;
        output[k] = static_cast<uint8_t>(16 * high + low);
    }
}
