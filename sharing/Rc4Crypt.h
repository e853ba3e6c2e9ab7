#pragma once

// RC4 over data in place: the standard key schedule over 256 state bytes (key byte i modulo
// keyLength for state byte i), then each data byte XORed with one keystream byte. Enciphering
// and deciphering are the same call. Nothing happens for a null or empty key or data.
void Rc4Crypt(const unsigned char *key, int keyLength, unsigned char *data, int dataLength);
