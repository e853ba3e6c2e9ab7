#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A block cipher over whole buffers: AES-128 with a 16-byte key, DES with an
// 8-byte key, each block on its own (ECB). A partial last block is completed
// with the bytes the previous block had at those positions (zeros when there
// is no previous block); stored password texts depend on exactly this.
class BlockCipher
{
  public:
    BlockCipher();
    ~BlockCipher();
    BlockCipher(const BlockCipher &) = delete;
    BlockCipher &operator=(const BlockCipher &) = delete;

    // false, with nothing changed, unless the length is 8 or 16.
    bool SetKey(const uint8_t *key, std::size_t length);

    // false when no key is set or the input is missing or empty. The output is
    // a whole number of blocks (8 bytes for DES, 16 for AES).
    bool Encrypt(const uint8_t *input, std::size_t length, std::vector<uint8_t> *output);
    bool Decrypt(const uint8_t *input, std::size_t length, std::vector<uint8_t> *output);

    // One block; false unless a key of the matching size is set. The input is
    // read before the output is written, so both may be the same buffer.
    bool EncryptBlockAes(const uint8_t in[16], uint8_t out[16]);
    bool DecryptBlockAes(const uint8_t in[16], uint8_t out[16]);
    bool EncryptBlockDes(const uint8_t in[8], uint8_t out[8]);
    bool DecryptBlockDes(const uint8_t in[8], uint8_t out[8]);

    int GetRounds() const { return m_rounds; }
    int GetKeyWords() const { return m_keyWords; }
    std::size_t GetKeyLength() const { return m_keyLength; }

  private:
    bool Crypt(bool encrypt, const uint8_t *input, std::size_t length, std::vector<uint8_t> *output);
    void BuildSchedule();

    int m_blockWords = 4;
    int m_rounds = 10;
    int m_keyWords = 4;
    uint8_t m_schedule[240] = {};
    uint64_t m_desKeys[16] = {};
    std::vector<uint8_t> m_key;
    std::size_t m_keyLength = 16;
    bool m_scheduleBuilt = false;
};

// Writes the bytes as upper-case hexadecimal text from the last byte to the
// first, two digits each, high nibble first. Writes nothing when an argument is
// missing or the capacity (characters) is below 2n; clears the whole output
// first, so the text is terminated when the capacity exceeds 2n.
void HexEncodeReversed(const uint8_t *bytes, std::size_t n, char16_t *output, std::size_t capacity);

// The reverse of HexEncodeReversed for a text of count characters: count / 2
// bytes, taking the pairs from the end of the text. Stops at the first pair
// holding a character outside 0-9 and A-F; the bytes written so far stay.
// Writes nothing when an argument is missing, count / 2 is 0 or the capacity
// (bytes) is below count / 2.
void HexDecodeReversed(const char16_t *text, std::size_t count, uint8_t *output, std::size_t capacity);
