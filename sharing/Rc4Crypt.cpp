#include "sharing/Rc4Crypt.h"

#include <utility>

void Rc4Crypt(const unsigned char *key, int keyLength, unsigned char *data, int dataLength)
{
    if (!key || keyLength <= 0 || !data || dataLength <= 0)
        return;
    unsigned char state[256];
    for (int i = 0; i < 256; ++i)
        state[i] = static_cast<unsigned char>(i);
    unsigned j = 0;
    for (int i = 0; i < 256; ++i)
    {
        j = (j + state[i] + key[i % keyLength]) & 0xFF;
        std::swap(state[i], state[j]);
    }
    unsigned a = 0;
    unsigned b = 0;
    for (int n = 0; n < dataLength; ++n)
    {
        a = (a + 1) & 0xFF;
        b = (b + state[a]) & 0xFF;
        std::swap(state[a], state[b]);
        data[n] ^= state[(state[a] + state[b]) & 0xFF];
    }
}
